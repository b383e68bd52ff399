// pagorix-stub.exe: the Windows book runtime. A book is this program with its
// payload archive appended; it takes no arguments and keeps no settings. The
// windows are the system's own, through the Win32 backend.
#include <cstdlib>
#include <new>

#include "framework/exceptions.h"

#include "framework/win32/win32_backend.h"
#include "launcher/fhtml.h"
#include "platform/platform.h"

// The run-time's default terminate handler prints the exception's demangled
// type, which links the whole demangler in; a GUI program has nowhere to
// print it, so ending at once is all it would do anyway.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

// The container and string templates report misuse through these run-time
// functions. The run-time's own versions build std::logic_error and its
// kin, whose copy-on-write message strings pull in a second string
// implementation, its stream and random-device support: about 90 KB that a
// 325,120-byte runtime cannot carry. These raise the same conditions as the
// framework's Exception (the application shows its message like any other
// error) or as the run-time's small standard classes.
namespace std {
void __throw_bad_alloc() {
    throw std::bad_alloc();
}
void __throw_bad_array_new_length() {
    throw std::bad_array_new_length();
}
void __throw_length_error(const char* message) {
    throw pagorix::Exception(message);
}
void __throw_logic_error(const char* message) {
    throw pagorix::Exception(message);
}
void __throw_out_of_range_fmt(const char* format, ...) {
    throw pagorix::Exception(format);
}
}  // namespace std

int main() {
    pagorix::win32::Win32Backend backend;
    pagorix::BookRun run;
    run.payload = {pagorix::platform::ExecutablePath(), pagorix::PayloadOffset};
    pagorix::RunBook(run);
    return 0;
}
