// The book runtime's splash form fhtml (class Tfhtml) and the whole run of a
// book, from the payload copy to the clean-up.
//
// The form is read from its stored description (FhtmlDescription). Its show
// event makes the work directory, copies the payload, extracts and applies
// the manifest (title, introduction, password, status) and arms the one-shot
// timer; the timer extracts everything, and LaunchAndCleanUp opens the start
// page, waits for the browser, deletes what was extracted and ends the run.
//
// Every way out leaves nothing behind:
// - Cancel (the button, or the window's close box) and AbortRun (a refusal or
//   a fatal error) clean up the same way: every file the engine began to
//   write (recorded by its full path as the engine names it), the archive
//   copy, the splash clip and the work directory go.
// - The splash clip is moved into the work directory as soon as that
//   exists, so the sweep that removes what killed runs left takes it too.
// - While UnZip runs, the engine's archive and the file it writes must stay
//   in place. So a Cancel there only requests the cancellation and the quit
//   and marks the clean-up pending, and an AbortRun there unwinds the
//   extraction first (AbortSignal); the clean-up runs once UnZip has left,
//   when the file being written is closed and can be deleted too.
// - The run is stopped at most once: after a clean-up no later step starts.
// - A browser that is already running takes the page over from the one we
//   start, which then ends at once. A started program that ends within
//   kHandOffMs is therefore taken for such a hand-off: the program shows its
//   taskbar button again and a box, and cleans up only once the reader has
//   closed it. The work directory's owner lock (work_dir.h) lets the next
//   run remove what a killed one left.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "archive/unzipper.h"
#include "exec/exec_file.h"
#include "framework/form.h"
#include "launcher/work_dir.h"
#include "platform/platform.h"

namespace pagorix {

class TAnimation;
class THideAppBtn;
class TResolutionFix;
class TFileSource;

inline constexpr const char* kApplicationTitle = "Pagorix 1.0";

// The run's own texts.
namespace launcher_messages {
inline constexpr const char* kDiskSpaceAtStart = "Error : please verify disk space.";
inline constexpr const char* kDiskSpace = "Error : please verify disk space";
inline constexpr const char* kPasswordCaption = "Password protection";
inline constexpr const char* kPasswordPrompt = "Please enter the password :";
inline constexpr const char* kPasswordIncorrect =
    "Password incorrect. You may be not allowed to access to this Pagorix.";
inline constexpr const char* kBadPagorix = "Error : bad Pagorix ! Aborting !";
inline constexpr const char* kCannotRunBrowser = "Sorry ! Cannot run your web browser !";
inline constexpr const char* kInitializing = "Initializing the data... Please wait...";
inline constexpr const char* kHandOff =
    "The book is open in your web browser. Click OK when you have finished reading.";
}  // namespace launcher_messages

// Design-time size of the window, at 96 pixels per inch.
inline constexpr int kDesignWidth = 300;
inline constexpr int kDesignHeight = 162;
inline constexpr int kDesignPixelsPerInch = 96;
inline constexpr unsigned kPauseMs = 300;
// A started program that ends sooner than this after its start has handed
// the page over to another process.
inline constexpr std::uint32_t kHandOffMs = 5000;

// What one run of a book needs besides the user.
struct BookRun {
    PayloadSource payload;
    // Where the work directory is made; empty for the system's temporary
    // directory.
    std::string tempDir;
    // Called right after the start page's program has ended (or failed to
    // start), before the clean-up; lets a caller see what was launched.
    std::function<void(const TExecFile& exec, const std::string& workDir)> onLaunched;
    // The hand-off limit; only tests change it.
    std::uint32_t handOffMs = kHandOffMs;
};

// The form's stored description: components, places and settings.
const TStoredComponent& FhtmlDescription();

class Tfhtml : public TForm {
public:
    Tfhtml(TComponent* owner, BookRun run);

    // Event handlers named by the description.
    void FormShow(TComponent* sender);
    void FormCloseQuery(TComponent* sender, bool& canClose);
    void ticTimer(TComponent* sender);
    void unzipTotalPercentDone(TUnZipper& sender, std::int32_t percent);
    void unzipBadCRC(TUnZipper& sender, std::uint32_t calcCRC, std::uint32_t storedCRC,
                     std::int32_t fileIndex);
    void unzipBadPassword(TUnZipper& sender, std::int32_t fileIndex);
    void unzipStartUnZip(TUnZipper& sender, std::int32_t fileIndex, const std::string& fName,
                         bool& skip);
    void execFail(TExecFile& sender);
    void bcancelClick(TComponent* sender);

    // An empty start page opens nothing: the reader gets the launch failure.
    void LaunchAndCleanUp(const std::string& startPage);
    // Cleans up and ends the program at once.
    [[noreturn]] void AbortRun();

private:
    // Thrown by AbortRun inside UnZip to leave the extraction first; not a
    // std::exception, so nothing on the way handles it.
    struct AbortSignal {};

    // UnZip, with the clean-ups that Cancel and AbortRun asked for meanwhile
    // run once it has left.
    std::int32_t RunUnZip();
    // Writes the archive listing into fich.
    void FillListing();
    // Steps of Cancel after the cancellation request: listing, archive
    // closed, archive copy and listed files deleted, work directory removed.
    void CleanUp();
    // The listed files, the owner file and the work directory, deleted.
    void RemoveBook();
    std::string Line(int n) const;
    std::string InWorkDir(const std::string& name) const;

    BookRun m_run;
    std::string m_workDir;
    platform::OwnerLock m_owner;  // held from the work directory's making to its removal
    bool m_inUnZip = false;
    bool m_cleanUpPending = false;
    bool m_stopped = false;  // cleaned up: no later step runs
    // Every file the engine began to write, by its full path.
    std::set<std::string> m_written;
    // The splash clip once it is in the work directory; empty while fs
    // keeps it in the temporary directory.
    std::string m_clip;

    TLabel* m_texte = nullptr;
    TMemo* m_fich = nullptr;
    TMemo* m_lignes = nullptr;
    TProgressBar* m_jauge = nullptr;
    TAnimation* m_anim = nullptr;
    TUnZipper* m_unzip = nullptr;
    TExecFile* m_exec = nullptr;
    TResolutionFix* m_res = nullptr;
    TTimer* m_tic = nullptr;
    THideAppBtn* m_app = nullptr;
    TFileSource* m_fs = nullptr;
};

// The program: sets the application title, creates the splash form and runs
// the main loop until the run has ended. The GUI backend must be installed.
void RunBook(const BookRun& run);

}  // namespace pagorix
