// Reads a book the way pagorix-stub.exe does, with the payload taken from the
// book file named on the command line: the end-to-end run of the Windows
// tests where the runtime itself cannot be used as the book's image (the
// 64-bit test build does not fit the runtime's size).
#include "framework/win32/win32_backend.h"
#include "launcher/fhtml.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    pagorix::win32::Win32Backend backend;
    pagorix::BookRun run;
    run.payload = {argv[1], pagorix::PayloadOffset};
    pagorix::RunBook(run);
    return 0;
}
