// The launcher in a process of its own, for tests that kill a run: runs the
// book named by the first argument on the headless backend and, at the
// moment named by the second ("pause": the timer is armed; "extraction": the
// progress bar has passed 30; "browser": nothing, the fake browser is the
// marker), writes the file named by the third and waits to be killed.
#include <unistd.h>

#include <fstream>
#include <string>

#include "framework/headless/headless_backend.h"
#include "launcher/fhtml.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const std::string moment = argv[2];
    const std::string marker = argv[3];
    pagorix::headless::HeadlessBackend backend;
    const auto hold = pagorix::headless::ScriptAction::Call([marker] {
        std::ofstream(marker) << "here\n";
        for (;;)
            pause();
    });
    if (moment == "pause") backend.WhenTimerArmed("tic", hold);
    if (moment == "extraction") backend.WhenProgressReaches("jauge", 30, hold);
    pagorix::BookRun run;
    run.payload = {argv[1], pagorix::PayloadOffset};
    pagorix::RunBook(run);
    return 0;
}
