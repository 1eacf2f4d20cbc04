// Included first in every C++ file of the stub tree. The C++ runtime declares the std::string
// member functions as instantiated in the library; the library's instantiation object then comes
// in whole (every member, about 33 KB). Switching the extern declarations off makes each file
// instantiate only the members it uses, and the linker keeps one copy of each.
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
// Three string constructors (from another string, moved or copied, and from a C string) then end
// up as private copies, one per file that calls them out of line, which the link-time optimiser
// does not merge (five of the move constructor). Declared as instantiated elsewhere, they are
// emitted once, by stub_prelude.cpp.
#include <string>
extern template std::string::basic_string(std::string &&) noexcept;
extern template std::string::basic_string(const std::string &);
extern template std::string::basic_string(const char *, const std::allocator<char> &);
