// pagorix-stub: the book runtime. A book is this program with its payload
// archive appended; it takes no arguments and keeps no settings.
#include "framework/terminal/terminal_backend.h"
#include "launcher/fhtml.h"
#include "platform/platform.h"

int main() {
    pagorix::terminal::TerminalBackend backend;
    pagorix::BookRun run;
    run.payload = {pagorix::platform::ExecutablePath(), pagorix::PayloadOffset};
    pagorix::RunBook(run);
    return 0;
}
