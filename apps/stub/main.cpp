// pagorix-stub: the book runtime. A book is this program with its payload
// archive appended; it takes no arguments and keeps no settings. It shows its
// windows on the desktop when a display can be opened, and on the terminal
// otherwise.
#include <memory>

#include "framework/backend_choice.h"
#include "framework/gtk/gtk_backend.h"
#include "framework/terminal/terminal_backend.h"
#include "launcher/fhtml.h"
#include "launcher/work_dir.h"
#include "platform/platform.h"

int main() {
    const pagorix::ChosenBackend chosen = pagorix::ChooseBackend(
        pagorix::gtk::OpenGtkBackend,
        [] { return std::make_unique<pagorix::terminal::TerminalBackend>(); });
    pagorix::BookRun run;
    run.payload = {pagorix::platform::ExecutablePath(), pagorix::PayloadOffset};
    const pagorix::ReaderVisibleParent parent;
    run.tempDir = parent.Path();
    pagorix::RunBook(run);
    return 0;
}
