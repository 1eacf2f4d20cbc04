// The one instantiation of the string members that stub_prelude.h declares as instantiated
// elsewhere, linked into the loader. The C++ runtime's own instantiation serves the move and copy
// constructors to other programs that link the layers; it lacks the constructor from a C string,
// which this language version declares as a template, so such a program must not call that one
// out of line (none does: its link would say so).
#include <string>

template std::string::basic_string(std::string &&) noexcept;
template std::string::basic_string(const std::string &);
template std::string::basic_string(const char *, const std::allocator<char> &);
