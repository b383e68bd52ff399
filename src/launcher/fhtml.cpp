#include "launcher/fhtml.h"

#include <algorithm>

#include "book/book_format.h"
#include "framework/application.h"
#include "framework/dialogs.h"
#include "launcher/launcher_components.h"
#include "launcher/manifest.h"
#include "launcher/splash_clip.h"
#include "platform/platform.h"
#include "splash/animation.h"
#include "splash/hide_app_btn.h"
#include "splash/resolution_fix.h"

namespace pagorix {

namespace {

using V = TStoredValue;

TStoredProperty P(const char* name, TStoredValue value) {
    return {name, std::move(value)};
}

TStoredComponent Place(const char* className, const char* name, int left, int top, int width,
                       int height, std::vector<TStoredProperty> more) {
    std::vector<TStoredProperty> properties = {P("Left", V::Int(left)), P("Top", V::Int(top)),
                                               P("Width", V::Int(width)),
                                               P("Height", V::Int(height))};
    for (auto& p : more)
        properties.push_back(std::move(p));
    return {className, name, std::move(properties), {}};
}

TStoredComponent Plain(const char* className, const char* name,
                       std::vector<TStoredProperty> properties) {
    return {className, name, std::move(properties), {}};
}

TStoredComponent MakeDescription() {
    return {
        "Tfhtml",
        "fhtml",
        {P("Caption", V::Str(kApplicationTitle)), P("ClientWidth", V::Int(kDesignWidth)),
         P("ClientHeight", V::Int(kDesignHeight)), P("Position", V::Ident("poScreenCenter")),
         P("BorderStyle", V::Ident("bsSingle")), P("BorderIcons", V::Strings({"biSystemMenu"})),
         P("PixelsPerInch", V::Int(kDesignPixelsPerInch)), P("OnShow", V::Ident("FormShow")),
         P("OnCloseQuery", V::Ident("FormCloseQuery"))},
        {
            Place("TLabel", "texte", 8, 96, 209, 33,
                  {P("AutoSize", V::Bool(false)), P("WordWrap", V::Bool(true)),
                   P("Caption", V::Str(launcher_messages::kInitializing))}),
            Place("TMemo", "fich", 48, 8, 169, 41, {P("WordWrap", V::Bool(false))}),
            Place("TMemo", "lignes", 8, 8, 273, 41,
                  {P("Visible", V::Bool(false)), P("WordWrap", V::Bool(false)),
                   P("WantReturns", V::Bool(false))}),
            Place("TProgressBar", "jauge", 8, 72, 273, 17,
                  {P("Min", V::Int(0)), P("Max", V::Int(100)), P("Position", V::Int(0))}),
            Place("TAnimation", "anim", 8, 0, 273, 65,
                  {P("Center", V::Bool(true)), P("Transparent", V::Bool(true)),
                   P("Playing", V::Bool(false)), P("StartFrame", V::Int(1)),
                   P("EndFrame", V::Int(0)), P("RepeatCount", V::Int(0))}),
            Place("TButton", "bcancel", 224, 96, 57, 25,
                  {P("Caption", V::Str("&Cancel")), P("OnClick", V::Ident("bcancelClick"))}),
            Plain("TUnZipper", "unzip",
                  {P("OverwriteMode", V::Ident("Always")), P("RetainAttributes", V::Bool(false)),
                   P("NameCodePage", V::Int(kCodePage1252)),
                   P("OnTotalPercentDone", V::Ident("unzipTotalPercentDone")),
                   P("OnBadPassword", V::Ident("unzipBadPassword")),
                   P("OnBadCRC", V::Ident("unzipBadCRC")),
                   P("OnStartUnZip", V::Ident("unzipStartUnZip"))}),
            Plain("TExecFile", "exec",
                  {P("Associate", V::Bool(false)), P("Wait", V::Bool(true)),
                   P("WaitStyle", V::Ident("wSuspend")), P("WindowStyle", V::Ident("wsMaximize")),
                   P("Priority", V::Ident("pcNormal")), P("OnFail", V::Ident("execFail"))}),
            Plain("TResolutionFix", "res", {P("DesignRes", V::Int(kDesignPixelsPerInch))}),
            Plain("TTimer", "tic",
                  {P("Enabled", V::Bool(false)), P("Interval", V::Int(kPauseMs)),
                   P("OnTimer", V::Ident("ticTimer"))}),
            Plain("THideAppBtn", "app", {P("AppVisible", V::Bool(true))}),
            Plain("TFileSource", "fs",
                  {P("Compress", V::Bool(kSplashClipCompress)),
                   P("Extension", V::Str(kSplashClipExtension)),
                   P("Store", V::Bool(kSplashClipStore)),
                   P(TFileSource::kFileDataName, V::Binary(SplashClipBlob()))}),
        }};
}

TWindowStyle WindowStyleOf(const std::string& line) {
    switch (ManifestWindowStyle(line)) {
        case ManifestWindow::Normal:
            return TWindowStyle::wsNorm;
        case ManifestWindow::Minimized:
            return TWindowStyle::wsMinimize;
        case ManifestWindow::Maximized:
            break;
    }
    return TWindowStyle::wsMaximize;
}

}  // namespace

const TStoredComponent& FhtmlDescription() {
    static const TStoredComponent description = MakeDescription();
    return description;
}

Tfhtml::Tfhtml(TComponent* owner, BookRun run) : TForm(owner), m_run(std::move(run)) {
    RegisterLauncherComponents();
    DefineMethod("FormShow", TNotifyEvent([this](TComponent* s) { FormShow(s); }));
    DefineMethod("FormCloseQuery",
                 TCloseQueryEvent([this](TComponent* s, bool& c) { FormCloseQuery(s, c); }));
    DefineMethod("ticTimer", TNotifyEvent([this](TComponent* s) { ticTimer(s); }));
    DefineMethod("bcancelClick", TNotifyEvent([this](TComponent* s) { bcancelClick(s); }));
    DefineMethod("unzipTotalPercentDone",
                 TUnZipper::TPercentEvent(
                     [this](TUnZipper& s, std::int32_t p) { unzipTotalPercentDone(s, p); }));
    DefineMethod("unzipBadCRC",
                 TUnZipper::TBadCRCEvent([this](TUnZipper& s, std::uint32_t c, std::uint32_t st,
                                                std::int32_t i) { unzipBadCRC(s, c, st, i); }));
    DefineMethod("unzipBadPassword",
                 TUnZipper::TBadPasswordEvent(
                     [this](TUnZipper& s, std::int32_t i) { unzipBadPassword(s, i); }));
    DefineMethod("unzipStartUnZip", TUnZipper::TStartUnZipEvent(
                                        [this](TUnZipper& s, std::int32_t i, const std::string& f,
                                               bool& skip) { unzipStartUnZip(s, i, f, skip); }));
    DefineMethod("execFail", TExecFile::TNotifyEvent([this](TExecFile& s) { execFail(s); }));
    ReadDescription(FhtmlDescription());
    m_texte = &FindAs<TLabel>("texte");
    m_fich = &FindAs<TMemo>("fich");
    m_lignes = &FindAs<TMemo>("lignes");
    m_jauge = &FindAs<TProgressBar>("jauge");
    m_anim = &FindAs<TAnimation>("anim");
    m_unzip = &FindAs<TUnZipper>("unzip");
    // An entry the engine could not write ends the run: a full disk (or a
    // file that cannot be made) with the disk-space message, anything else
    // like damaged data.
    m_unzip->OnSkippingFile = [this](TUnZipper&, TSkipReason reason, std::int32_t) {
        if (reason == srWriteFailed || reason == srCreateFailed) {
            MessageDlg(launcher_messages::kDiskSpace, TMsgDlgType::mtError, mbOK);
            AbortRun();
        } else if (reason >= srReadFailed) {
            MessageDlg(launcher_messages::kBadPagorix, TMsgDlgType::mtCustom, mbOK);
            AbortRun();
        }
    };
    m_exec = &FindAs<TExecFile>("exec");
    m_res = &FindAs<TResolutionFix>("res");
    m_tic = &FindAs<TTimer>("tic");
    m_app = &FindAs<THideAppBtn>("app");
    m_fs = &FindAs<TFileSource>("fs");
}

std::string Tfhtml::Line(int n) const {
    return m_lignes->Lines().Line(n);
}

std::string Tfhtml::InWorkDir(const std::string& name) const {
    return m_workDir + platform::kPathDelim + name;
}

void Tfhtml::FormShow(TComponent*) {
    SweepAbandonedWorkDirectories(m_run.tempDir);
    m_workDir = MakeWorkDirectory(m_run.tempDir);
    m_owner = LockWorkDirectory(m_workDir);
    // The clip goes where the sweep looks, so a killed run leaves no clip.
    m_clip = MoveClipInto(*m_fs, m_workDir);
    m_anim->SetAVIFile(m_fs->FileName());
    CopyPayload(m_run.payload, m_workDir);

    const int d = Screen().PixelsPerInch();
    SetBounds(Left(), Top(), d * kDesignWidth / kDesignPixelsPerInch,
              d * kDesignHeight / kDesignPixelsPerInch);
    SetPixelsPerInch(d);
    m_res->SetDesignRes(PixelsPerInch());
    m_res->Apply();

    platform::ChangeDirectory(m_workDir);
    m_unzip->SetDestDir(m_workDir);
    m_unzip->SetZipName(InWorkDir(kArchiveCopyName));
    m_unzip->FilesList.Clear();
    m_unzip->Password = kArchivePassword;
    m_unzip->FilesList.Add(kManifestName);
    if (RunUnZip() == 0) {
        MessageDlg(launcher_messages::kDiskSpaceAtStart, TMsgDlgType::mtError, mbOK);
        AbortRun();
    }
    if (m_stopped) return;

    const std::string manifest = InWorkDir(kManifestName);
    m_lignes->LoadFromFile(manifest);
    platform::RemoveFile(manifest);

    Application().SetTitle(Line(kLineTitle));
    const std::string introduction = Line(kLineIntroduction);
    if (!IsManifestSentinel(introduction) &&
        MessageDlg(introduction, TMsgDlgType::mtCustom, mbYes | mbNo) == mrNo) {
        AbortRun();
    }
    SetCaption(Line(kLineTitle));
    const std::string password = Line(kLinePassword);
    if (!IsManifestSentinel(password) &&
        InputBox(launcher_messages::kPasswordCaption, launcher_messages::kPasswordPrompt, "") !=
            password) {
        MessageDlg(launcher_messages::kPasswordIncorrect, TMsgDlgType::mtError, mbOK);
        AbortRun();
    }
    m_texte->SetCaption(Line(kLineStatus));
    m_anim->Play();
    m_tic->SetEnabled(true);
}

void Tfhtml::FormCloseQuery(TComponent* sender, bool& canClose) {
    // The close box cancels the run like the Cancel button, so the work
    // directory never stays behind; once the run has stopped it just closes.
    if (m_stopped) return;
    canClose = false;
    bcancelClick(sender);
}

void Tfhtml::ticTimer(TComponent*) {
    m_tic->SetEnabled(false);
    if (m_stopped) return;
    m_unzip->FilesList.Clear();
    m_unzip->DoAll = true;
    // A book marked as keeping its folders is unpacked with them (the
    // engine refuses any entry that would land outside the work directory);
    // any other book flat, into the work directory itself.
    const bool folders = IsFolderBook(Line(kLineBookKind));
    m_unzip->RecreateDirs = folders;
    const std::int32_t n = RunUnZip();
    if (m_stopped) return;
    FillListing();
    m_unzip->CloseZip();
    platform::RemoveFile(InWorkDir(kManifestName));
    platform::RemoveFile(InWorkDir(kArchiveCopyName));
    if (n == 0) {
        MessageDlg(launcher_messages::kDiskSpace, TMsgDlgType::mtError, mbOK);
        Application().Terminate();
    }
    // A start page that is not one file of the book (empty, a folder, a
    // path leading elsewhere) is opened like one missing from the archive:
    // not at all.
    std::string page = Line(kLineStartPage);
    if (folders) std::replace(page.begin(), page.end(), '/', platform::kPathDelim);
    std::string startPage;
    if (StaysInside(page)) {
        // The page's name as the engine wrote the book's files on this host.
        TZipHeaderInfo named;
        named.EntryName = page;
        startPage = InWorkDir(m_unzip->HostEntryName(named));
        const std::int32_t attributes = platform::FileAttributes(startPage);
        if (attributes < 0 || (attributes & platform::faDirectory) != 0) startPage.clear();
    }
    LaunchAndCleanUp(startPage);
}

void Tfhtml::LaunchAndCleanUp(const std::string& startPage) {
    m_anim->Stop();
    Hide();
    m_app->SetAppVisible(false);

    m_exec->SetAssociate(true);
    m_exec->SetCommandLine(startPage);
    m_exec->SetWindowStyle(WindowStyleOf(Line(kLineWindowStyle)));
    const std::uint32_t start = platform::TickCount();
    const bool started = !startPage.empty() && m_exec->Execute();
    if (startPage.empty()) execFail(*m_exec);
    const std::uint32_t lived = platform::TickCount() - start;
    if (m_run.onLaunched) m_run.onLaunched(*m_exec, m_workDir);
    if (started && lived < m_run.handOffMs) {
        if (m_exec->ExitStatus() == 0) {
            // Handed off: the browser reads the book after its starter has
            // ended, so the book stays until the reader says so.
            m_app->SetAppVisible(true);
            MessageDlg(launcher_messages::kHandOff, TMsgDlgType::mtCustom, mbOK);
        } else {
            // Ended at once reporting a failure (an opener that found no
            // browser, a browser that refused to start): nothing shows the
            // book.
            execFail(*m_exec);
        }
    }

    m_stopped = true;
    RemoveBook();
    const std::string closing = Line(kLineClosing);
    if (!IsManifestSentinel(closing)) MessageDlg(closing, TMsgDlgType::mtCustom, mbOK);
    Application().Terminate();
}

void Tfhtml::bcancelClick(TComponent*) {
    m_unzip->CancelUnZip();
    m_tic->SetEnabled(false);
    if (m_stopped) return;
    if (m_inUnZip) {
        // The engine stops at its next check; the clean-up follows once it
        // has left (RunUnZip).
        m_cleanUpPending = true;
    } else {
        CleanUp();
    }
    Application().Terminate();
}

void Tfhtml::AbortRun() {
    if (m_inUnZip) throw AbortSignal{};  // RunUnZip cleans up once UnZip has left
    CleanUp();
    Application().Halt();
}

void Tfhtml::unzipTotalPercentDone(TUnZipper&, std::int32_t percent) {
    if (m_unzip->DoAll) m_jauge->SetPosition(percent);
}

void Tfhtml::unzipBadCRC(TUnZipper&, std::uint32_t, std::uint32_t, std::int32_t) {
    MessageDlg(launcher_messages::kBadPagorix, TMsgDlgType::mtCustom, mbOK);
    AbortRun();
}

void Tfhtml::unzipBadPassword(TUnZipper&, std::int32_t) {
    MessageDlg(launcher_messages::kBadPagorix, TMsgDlgType::mtCustom, mbOK);
    AbortRun();
}

void Tfhtml::unzipStartUnZip(TUnZipper&, std::int32_t, const std::string& fName, bool& skip) {
    // The owner file and the archive copy are the run's; a book file of
    // either name must not replace them.
    if (IsOwnerFileName(fName) || SameFileName(BareName(fName), kArchiveCopyName)) {
        skip = true;
        return;
    }
    // The clean-up deletes exactly what the engine wrote, under the name it
    // wrote it, whatever characters the name holds.
    m_written.insert(fName);
}

void Tfhtml::execFail(TExecFile&) {
    MessageDlg(launcher_messages::kCannotRunBrowser, TMsgDlgType::mtCustom, mbOK);
}

std::int32_t Tfhtml::RunUnZip() {
    struct Flag {
        bool& flag;
        explicit Flag(bool& f) : flag(f) { flag = true; }
        ~Flag() { flag = false; }
    };
    std::int32_t n = 0;
    try {
        Flag inside(m_inUnZip);
        n = m_unzip->UnZip();
    } catch (const AbortSignal&) {
        AbortRun();
    } catch (...) {
        if (m_cleanUpPending) CleanUp();
        throw;
    }
    // A Cancel in the last pump of a run that then ended normally.
    if (m_cleanUpPending) CleanUp();
    return n;
}

void Tfhtml::FillListing() {
    TStringList listing;
    m_unzip->FillList(listing);
    m_fich->Lines().Clear();
    for (const std::string& line : listing)
        m_fich->Lines().Add(line);
    m_fich->UpdateLines();
}

void Tfhtml::CleanUp() {
    if (m_stopped) return;
    m_stopped = true;
    m_cleanUpPending = false;
    FillListing();
    m_unzip->CloseZip();
    if (!m_workDir.empty()) {
        platform::ChangeDirectory(m_workDir);
        platform::RemoveFile(InWorkDir(kArchiveCopyName));
        RemoveBook();
    }
}

void Tfhtml::RemoveBook() {
    for (const std::string& path : m_written)
        platform::RemoveFile(path);
    RemoveFoldersOfFiles(m_workDir, m_written);
    if (!m_clip.empty()) {
        m_anim->SetAVIFile("");  // the host control may hold the clip open
        platform::RemoveFile(m_clip);
    }
    UnlockWorkDirectory(m_owner, m_workDir);
    RemoveWorkDirectory(m_workDir, DirectoryOf(m_run.payload.executable));
}

void RunBook(const BookRun& run) {
    Application().SetTitle(kApplicationTitle);
    try {
        Application().CreateForm<Tfhtml>(run);
    } catch (const std::exception& error) {
        Application().ShowException(error);
        return;
    }
    Application().Run();
}

}  // namespace pagorix
