// Included first in every C++ file of the stub tree. The C++ runtime declares the std::string
// member functions as instantiated in the library; the library's instantiation object then comes
// in whole (every member, about 33 KB). Switching the extern declarations off makes each file
// instantiate only the members it uses, and the linker keeps one copy of each.
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
