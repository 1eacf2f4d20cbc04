// Linked into quovldr.exe only. The C++ runtime's error paths for strings and containers
// construct std::logic_error and friends, which drag in a second (reference-counted) string
// implementation and the standard exception classes. The loader's only such failure is a string
// that cannot grow, which is a lack of memory: it is reported as the runtime's out-of-memory
// exception (the final handler shows the out-of-memory text). The others cannot happen in the
// loader's code and end the process.
#include <cstdlib>
#include <new>

namespace std {
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_alloc(); }
void __throw_length_error(const char *) { throw std::bad_alloc(); }
void __throw_logic_error(const char *) { std::abort(); }
void __throw_out_of_range(const char *) { std::abort(); }
void __throw_out_of_range_fmt(const char *, ...) { std::abort(); }
void __throw_invalid_argument(const char *) { std::abort(); }
} // namespace std
