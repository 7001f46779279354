// Replacements for parts of the static C++ runtime that this program can do without, each
// ending the process as the runtime's own version does here, only without linking in what
// that version needs. Linked into the program only, not into the tests.
#include <cstdlib>
#include <new>

// The default terminate handler prints the exception's demangled type to standard error,
// which this windowed program does not have, then aborts; the message costs the whole symbol
// demangler (about a fifth of the executable).
namespace __gnu_cxx {
[[noreturn]] void __verbose_terminate_handler();
[[noreturn]] void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

// What std::string throws for misuse (null pointer, size past max_size, position past the
// end). Nothing in the program catches logic_error, length_error or out_of_range, so each
// ended in terminate, then abort; the runtime's versions bring in those exception classes,
// built on a second, copy-on-write string implementation. std::bad_alloc, which the log
// writer catches, is still thrown, and so it is where a vector of wide characters would be
// longer than memory can address (the runtime's bad_array_new_length is a bad_alloc too).
namespace std {
[[noreturn]] void __throw_bad_alloc();
[[noreturn]] void __throw_bad_array_new_length();
[[noreturn]] void __throw_logic_error(const char*);
[[noreturn]] void __throw_length_error(const char*);
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...);
[[noreturn]] void __throw_bad_alloc() {
    throw std::bad_alloc();
}
[[noreturn]] void __throw_bad_array_new_length() {
    throw std::bad_alloc();
}
[[noreturn]] void __throw_logic_error(const char*) {
    std::abort();
}
[[noreturn]] void __throw_length_error(const char*) {
    std::abort();
}
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) {
    std::abort();
}
} // namespace std
