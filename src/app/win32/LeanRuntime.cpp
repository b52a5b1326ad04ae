// Smaller stand-ins for pieces of the C++ runtime that the window program
// links statically.
//
// The terminate handler: the library's prints the demangled type of the
// uncaught exception to stderr, which a GUI program does not have, and
// drags the whole demangler and printf machinery in. This one ends the
// program the same way, without the message.
//
// Guards of function-local statics: the library's take a lock (and bring
// the whole pthread layer into the executable); the program runs all its
// code on its one GUI thread, where a flag is enough.
//
// The library's throw helpers: only std::bad_alloc (and its subclass for
// array sizes) is ever caught here, so any other error they would throw
// ends the program through the terminate handler anyway. Ending it at once
// keeps the library's logic_error family, and the copy-on-write strings it
// is built on, out of the executable.
#include <cstdlib>
#include <new>

extern "C" int __cxa_guard_acquire(long long* guard) { return *reinterpret_cast<char*>(guard) == 0; }
extern "C" void __cxa_guard_release(long long* guard) { *reinterpret_cast<char*>(guard) = 1; }
extern "C" void __cxa_guard_abort(long long*) {}

namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_length_error(const char*) { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
}  // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
