// Whole runs of a book on the GTK backend under Xvfb, answered by a reader
// who types through the X server (xdotool): the introduction, the password
// and the closing box of a small book; Cancel clicked while a large book is
// being unpacked. The browser is a script registered for text/html in the
// session's private desktop; it records what it was given.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "framework/application.h"
#include "gtk_session.h"
#include "launcher/fhtml.h"
#include "launcher/work_dir.h"
#include "pack/book_writer.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

namespace fs = std::filesystem;

bool HaveProgram(const char* name) {
    gchar* path = g_find_program_in_path(name);
    g_free(path);
    return path != nullptr;
}

void Xdotool(const std::string& arguments) {
    const std::string command = "xdotool " + arguments;
    g_spawn_command_line_sync(command.c_str(), nullptr, nullptr, nullptr, nullptr);
}

// The screen position of a point of a widget.
void ScreenPoint(GtkWidget* widget, int dx, int dy, int& x, int& y) {
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    int wx = 0, wy = 0;
    gtk_widget_translate_coordinates(widget, top, dx, dy, &wx, &wy);
    gdk_window_get_origin(gtk_widget_get_window(top), &x, &y);
    x += wx;
    y += wy;
}

// Keys go where the pointer is: there is no window manager to give focus.
// Each command is one xdotool run ("type" takes the rest of its line).
void KeysTo(GtkWidget* dialog, const std::vector<std::string>& commands) {
    int x = 0, y = 0;
    ScreenPoint(dialog, gtk_widget_get_allocated_width(dialog) / 2, 10, x, y);
    Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y));
    for (const std::string& command : commands)
        Xdotool(command);
}

void CollectLabels(GtkWidget* widget, std::string& text) {
    if (GTK_IS_LABEL(widget)) text += std::string(gtk_label_get_text(GTK_LABEL(widget))) + "|";
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* c = children; c != nullptr; c = c->next)
            CollectLabels(static_cast<GtkWidget*>(c->data), text);
        g_list_free(children);
    }
}

template <class T>
T* FindWidget(GtkWidget* widget) {
    if (G_TYPE_CHECK_INSTANCE_TYPE(widget, T::Type())) return reinterpret_cast<T*>(widget);
    T* found = nullptr;
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* c = children; c != nullptr && found == nullptr; c = c->next)
            found = FindWidget<T>(static_cast<GtkWidget*>(c->data));
        g_list_free(children);
    }
    return found;
}
struct Bar {
    static GType Type() { return GTK_TYPE_PROGRESS_BAR; }
};
struct Button {
    static GType Type() { return GTK_TYPE_BUTTON; }
};

// A step of the reader: tried every 100 ms until it reports done.
using Step = std::function<bool()>;

// Answers the dialog whose texts hold `text` with keys, and notes the text.
Step Answer(std::vector<std::string>& seen, const std::string& text,
            std::vector<std::string> keys) {
    return [&seen, text, keys] {
        GtkWidget* dialog = test::OpenDialog();
        if (dialog == nullptr) return false;
        std::string labels;
        CollectLabels(dialog, labels);
        if (labels.find(text) == std::string::npos) return false;
        seen.push_back(text);
        KeysTo(dialog, keys);
        return true;
    };
}

// Takes the steps in turn, from the message loop, for as long as it lives.
class Reader {
public:
    explicit Reader(std::vector<Step> steps) : m_steps(std::move(steps)) {
        m_source = g_timeout_add(100, OnTick, this);
    }
    ~Reader() { g_source_remove(m_source); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    bool Done() const { return m_next == m_steps.size(); }

private:
    static gboolean OnTick(gpointer self) {
        auto* reader = static_cast<Reader*>(self);
        if (!reader->Done() && reader->m_steps[reader->m_next]()) ++reader->m_next;
        return G_SOURCE_CONTINUE;
    }
    std::vector<Step> m_steps;
    size_t m_next = 0;
    guint m_source = 0;
};

class BookRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        PAGORIX_NEED_DISPLAY();
        if (!HaveProgram("xdotool")) GTEST_SKIP() << "xdotool is not installed";
        Application().ResetState();
        // The browser: a script that records its directory and arguments.
        browser = dir / "browser.sh";
        test::WriteFile(browser, "#!/bin/sh\n{ pwd; echo \"$1\"; } > '" + record + ".part'\nmv '" +
                                     record + ".part' '" + record + "'\n");
        fs::permissions(browser, fs::perms::owner_all);
        const std::string home = test::SessionHome();
        fs::create_directories(home + "/data/applications");
        fs::create_directories(home + "/config");
        test::WriteFile(home + "/data/applications/pagorix-test-browser.desktop",
                        "[Desktop Entry]\nType=Application\nName=Test browser\nExec=" + browser +
                            " %f\nMimeType=text/html;\n");
        test::WriteFile(home + "/config/mimeapps.list",
                        "[Default Applications]\ntext/html=pagorix-test-browser.desktop\n");
        fs::create_directories(source);
        fs::create_directories(temp);
        test::WriteFile(source + "/index.html", "<html><body><h1>Start</h1></body></html>\n");
        test::WriteFile(dir / "stub", std::string(PayloadOffset, '\0'));
    }
    void TearDown() override { Application().ResetState(); }

    std::string MakeBook(const BookManifest& manifest) {
        PackRequest request;
        request.sourceDir = source;
        request.output = dir / "book";
        request.stub = dir / "stub";
        request.manifest = manifest;
        request.level = 1;
        PackBook(request);
        return request.output;
    }
    void Run(const std::string& book) {
        BookRun run;
        run.payload = {book, PayloadOffset};
        run.tempDir = temp;
        RunBook(run);
    }
    bool TempIsEmpty() const { return fs::is_empty(temp); }

    test::TempDir dir;
    const std::string source = dir / "source";
    const std::string temp = dir / "temp";
    const std::string record = dir / "browser.txt";
    std::string browser;
};

TEST_F(BookRunTest, AReaderAnswersTheIntroductionThePasswordAndTheClosingBox) {
    BookManifest manifest;
    manifest.title = "A Book About Books";
    manifest.introduction = "Open the book now?";
    manifest.startPage = "index.html";
    manifest.password = "s3cret";
    manifest.closing = "Thanks for reading";
    const std::string book = MakeBook(manifest);
    std::vector<std::string> seen;
    // The browser script ends at once, as one that hands the page to a
    // running browser does: the book stays until the reader closes a box
    // captioned with its title.
    std::string handOffCaption;
    const Step handOff = Answer(seen, launcher_messages::kHandOff, {"key Return"});
    Reader reader({Answer(seen, "Open the book now?", {"key Return"}),
                   Answer(seen, "Please enter the password :", {"type s3cret", "key Return"}),
                   [&] {
                       GtkWidget* dialog = test::OpenDialog();
                       if (dialog == nullptr) return false;
                       std::string labels;
                       CollectLabels(dialog, labels);
                       if (labels.find(launcher_messages::kHandOff) == std::string::npos) {
                           return false;
                       }
                       const gchar* title = gtk_window_get_title(GTK_WINDOW(dialog));
                       handOffCaption = title != nullptr ? title : "";
                       return handOff();
                   },
                   Answer(seen, "Thanks for reading", {"key Return"})});
    Run(book);
    EXPECT_TRUE(reader.Done());
    EXPECT_EQ(seen, (std::vector<std::string>{"Open the book now?", "Please enter the password :",
                                              launcher_messages::kHandOff, "Thanks for reading"}));
    EXPECT_EQ(handOffCaption, "A Book About Books");
    ASSERT_TRUE(test::Exists(record));
    std::istringstream lines(test::ReadText(record));
    std::string cwd, page;
    std::getline(lines, cwd);
    std::getline(lines, page);
    EXPECT_EQ(fs::path(cwd).parent_path(), fs::path(temp));
    EXPECT_EQ(page, cwd + "/index.html");
    EXPECT_TRUE(TempIsEmpty());
}

TEST_F(BookRunTest, CancelDuringTheExtractionOfALargeBookLeavesNothingAndStartsNoBrowser) {
    // Text that deflates, so that the engine reads it in many blocks and
    // handles the reader's click between two of them.
    const test::Bytes noise = test::RandomBytes(15 * 1024 * 1024, 7);
    gchar* text = g_base64_encode(noise.data(), noise.size());
    test::WriteFile(source + "/data.txt", std::string(text));
    g_free(text);
    BookManifest manifest;
    manifest.title = "A Large Book";
    manifest.startPage = "index.html";
    const std::string book = MakeBook(manifest);
    std::vector<std::string> seen;
    const fs::path shots = PAGORIX_ARTEFACT_DIR;
    fs::create_directories(shots);
    // Once the bar moves: a picture of the splash at work, then Cancel.
    Step clickCancel = [&] {
        GtkWidget* splash = nullptr;
        GList* windows = gtk_window_list_toplevels();
        for (GList* w = windows; w != nullptr; w = w->next) {
            const gchar* title = gtk_window_get_title(GTK_WINDOW(w->data));
            if (title != nullptr && std::string(title) == "A Large Book" &&
                gtk_widget_get_mapped(GTK_WIDGET(w->data))) {
                splash = GTK_WIDGET(w->data);
            }
        }
        g_list_free(windows);
        if (splash == nullptr) return false;
        auto* bar = FindWidget<Bar>(splash);
        auto* cancel = FindWidget<Button>(splash);
        if (bar == nullptr || cancel == nullptr) return false;
        if (gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(bar)) <= 0.0) return false;
        const std::string shot = (shots / "splash-extracting.png").string();
        g_spawn_command_line_sync(("import -window root '" + shot + "'").c_str(), nullptr, nullptr,
                                  nullptr, nullptr);
        int x = 0, y = 0;
        auto* button = GTK_WIDGET(cancel);
        ScreenPoint(button, gtk_widget_get_allocated_width(button) / 2,
                    gtk_widget_get_allocated_height(button) / 2, x, y);
        Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
        seen.push_back("Cancel");
        return true;
    };
    Reader reader({clickCancel, Answer(seen, "User Aborted Operation.", {"key Return"})});
    Run(book);
    EXPECT_TRUE(reader.Done());
    EXPECT_EQ(seen, (std::vector<std::string>{"Cancel", "User Aborted Operation."}));
    EXPECT_FALSE(test::Exists(record));
    EXPECT_TRUE(TempIsEmpty());
}

// Debian's chromium as the desktop's browser, headless: it renders the
// sample book's start page into a picture and ends, and the picture must
// show a page (many colours, not one flat tone).
TEST_F(BookRunTest, ARealBrowserOpensAndRendersThePackedSampleBook) {
    gchar* chromium = g_find_program_in_path("chromium");
    const std::string program = chromium != nullptr ? chromium : "";
    g_free(chromium);
    if (program.empty()) GTEST_SKIP() << "chromium is not installed";
    if (!HaveProgram("identify")) GTEST_SKIP() << "no ImageMagick";
    const fs::path shots = PAGORIX_ARTEFACT_DIR;
    fs::create_directories(shots);
    const std::string shot = (shots / "sample-book-in-chromium.png").string();
    fs::remove(shot);
    const std::string home = test::SessionHome();
    test::WriteFile(
        home + "/data/applications/pagorix-test-chromium.desktop",
        "[Desktop Entry]\nType=Application\nName=Chromium (test)\nExec=" + program +
            " --headless --no-sandbox --disable-gpu --screenshot=" + shot +
            " --window-size=1024,768 --user-data-dir=" + (dir / "chromium") +
            " --no-first-run --no-default-browser-check --disable-background-networking"
            " --disable-component-update --disable-sync --disable-default-apps"
            " --disable-extensions --disable-domain-reliability --metrics-recording-only"
            " --hide-scrollbars %f\nMimeType=text/html;\n");
    test::WriteFile(home + "/config/mimeapps.list",
                    "[Default Applications]\ntext/html=pagorix-test-chromium.desktop\n");
    PackRequest request;
    request.sourceDir = PAGORIX_SAMPLE_BOOK;
    request.output = dir / "sample-book";
    request.stub = dir / "stub";
    request.manifest.title = "How a Compiled Book Works";
    request.manifest.startPage = "index.html";
    PackBook(request);
    // Should chromium be done within the hand-off limit, the box follows.
    std::vector<std::string> seen;
    Reader reader({Answer(seen, launcher_messages::kHandOff, {"key Return"})});
    const auto begin = std::chrono::steady_clock::now();
    Run(request.output);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin);
    RecordProperty("browser_seconds", std::to_string(seconds.count()));
    ASSERT_TRUE(test::Exists(shot)) << "chromium wrote no picture";
    gchar* out = nullptr;
    const std::string command = "identify -format '%k %[fx:standard_deviation]' '" + shot + "'";
    g_spawn_command_line_sync(command.c_str(), &out, nullptr, nullptr, nullptr);
    std::istringstream stats(out != nullptr ? out : "");
    g_free(out);
    int colours = 0;
    double deviation = 0;
    stats >> colours >> deviation;
    EXPECT_GT(colours, 50) << "the page looks blank";
    EXPECT_GT(deviation, 0.02) << "the page looks blank";
    EXPECT_TRUE(TempIsEmpty());
}

}  // namespace
}  // namespace pagorix
