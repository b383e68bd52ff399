// pagorix-stub.exe: the Windows book runtime. A book is this program with its
// payload archive appended; it takes no arguments and keeps no settings. The
// windows are the system's own, through the Win32 backend.
#include <cstdlib>

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

int main() {
    pagorix::win32::Win32Backend backend;
    pagorix::BookRun run;
    run.payload = {pagorix::platform::ExecutablePath(), pagorix::PayloadOffset};
    pagorix::RunBook(run);
    return 0;
}
