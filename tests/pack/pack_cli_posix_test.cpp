// The command line: exit status, messages, the default runtime and the
// executable bit of the book.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "book/book_format.h"
#include "pack_test_support.h"

namespace pagorix {
namespace {

namespace fs = std::filesystem;

#ifdef PAGORIX_PACK_EXE
const std::string kTool = PAGORIX_PACK_EXE;
#else
const std::string kTool = "pagorix-pack";
#endif

struct Call {
    const char* what;
    std::string arguments;  // after SOURCE_DIR, which is "src"
    int status;
    std::string output;  // a part of what the tool prints
    bool makesBook;
};

TEST(PackCommandLine, ExitStatusAndMessages) {
    const Call calls[] = {
        {"done", "-o book --title T --start index.html --stub stub.bin", 0,
         "book: 1 files, 18 bytes, in a book of 325", true},
        {"quiet", "-o book --title T --start INDEX.HTML --stub stub.bin -q", 0, "", true},
        {"help", "--help", 0, "--start", false},
        {"version", "--version", 0, "pagorix-pack 1.0.0", false},
        {"title and start page from the site", "-o book --stub stub.bin", 0,
         "  title \"src\", start page index.html, folders kept\n", true},
        {"broken link: a warning", "-o book --stub stub.bin --title T", 0,
         "pagorix-pack: warning: index.html: \"gone.html\" leads to nothing in the book\n", true},
        {"broken link: strict", "-o book --stub stub.bin --strict", 1,
         "pagorix-pack: 1 link leads to nothing in the book:\n  index.html: \"gone.html\"", false},
        {"two passwords", "-o book --stub stub.bin --password x --ask-password", 2, "excludes",
         false},
        {"no output", "--stub stub.bin", 2, "--output is required", false},
        {"bad level", "-o book --title T --start index.html --stub stub.bin --level 10", 2,
         "--level", false},
        {"stub and target", "-o book --title T --start index.html --stub stub.bin --target linux",
         2, "excludes", false},
    };
    for (const Call& call : calls) {
        test::TempDir dir;
        fs::create_directory(dir / "src");
        test::WriteFile(dir / "src/index.html", "<a href=gone.html>");
        test::WriteFakeStub(dir);
        const test::CommandResult result =
            test::RunCommand("cd " + test::Quote(dir.Path()) + " && " + test::Quote(kTool) +
                             " src " + call.arguments);
        EXPECT_EQ(result.status, call.status) << call.what << ": " << result.output;
        if (call.output.empty()) {
            EXPECT_EQ(result.output, "") << call.what;
        } else {
            EXPECT_NE(result.output.find(call.output), std::string::npos)
                << call.what << ": " << result.output;
        }
        EXPECT_EQ(fs::exists(dir / "book"), call.makesBook) << call.what;
        if (call.makesBook) {
            const fs::perms perms = fs::status(dir / "book").permissions();
            EXPECT_NE(perms & fs::perms::owner_exec, fs::perms::none) << call.what;
            EXPECT_NE(perms & fs::perms::others_exec, fs::perms::none) << call.what;
        }
    }
}

// A copy of the tool in dir/bin, with runtimes of both kinds beside it when
// asked: the first bytes of a Linux program and of a Windows one, padded.
std::string CopyOfTheTool(const test::TempDir& dir, bool withRuntimes) {
    fs::create_directory(dir / "bin");
    fs::copy_file(kTool, dir / "bin/pagorix-pack");
    fs::permissions(dir / "bin/pagorix-pack", fs::perms::owner_all);
    for (const auto& [name, magic] : {std::pair{"pagorix-stub",
                                                "\x7f"
                                                "ELF"},
                                      {"pagorix-stub.exe", "MZ"}}) {
        if (!withRuntimes) break;
        std::string bytes = magic;
        bytes.resize(static_cast<size_t>(PayloadOffset), '\0');
        test::WriteFile(dir / (std::string("bin/") + name), bytes);
    }
    return dir / "bin/pagorix-pack";
}

std::string ManifestOf(const std::string& book, const test::TempDir& dir) {
    const test::Bytes manifest =
        test::ReadWithLibzip(test::CutPayload(book, dir)).at(kManifestName).data;
    return std::string(manifest.begin(), manifest.end());
}

// The book's name or --target chooses the runtime beside the tool; a
// runtime that is not there is named, with the folder it was looked for in
// ("BIN" in the messages below).
TEST(PackCommandLine, TheBooksNameChoosesItsSystem) {
    const struct {
        const char* arguments;
        const char* book;
        char firstByte;  // 0: no book, no runtime beside the tool
        std::string message;
    } cases[] = {
        {"-o site.exe", "site.exe", 'M', ""},
        {"-o book", "book", '\x7f', ""},
        {"-o Site.EXE --target linux", "Site.EXE", '\x7f',
         "pagorix-pack: warning: \"Site.EXE\" is a Linux book; its name ends in \".exe\" as if "
         "it were for Windows\n"},
        {"-o book --target windows", "book", 'M',
         "pagorix-pack: warning: \"book\" is a Windows book; Windows runs it only when its name "
         "ends in \".exe\"\n"},
        {"-o book --target linux", "book", 0,
         "pagorix-pack: there is no book runtime: pagorix-stub is not beside pagorix-pack in "
         "\"BIN\"; build it, or give one with --stub PATH\n"},
        {"-o book --target windows", "book", 0,
         "pagorix-pack: there is no Windows runtime: pagorix-stub.exe is not beside "
         "pagorix-pack in \"BIN\" (it comes from a Windows build); give one with --stub PATH\n"},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const std::string tool = CopyOfTheTool(dir, c.firstByte != 0);
        fs::create_directory(dir / "site");
        test::WriteFile(dir / "site/index.html", "<title>A Site</title><p>hi");
        const test::CommandResult result = test::RunCommand(
            "cd " + test::Quote(dir.Path()) + " && " + test::Quote(tool) + " site " + c.arguments);
        std::string message = c.message;
        if (message.find("BIN") != std::string::npos)
            message.replace(message.find("BIN"), 3, dir / "bin");
        EXPECT_EQ(result.status, c.firstByte != 0 ? 0 : 1) << c.arguments << ": " << result.output;
        EXPECT_EQ(result.output.find("pagorix-pack: ") != std::string::npos, !message.empty())
            << result.output;
        if (!message.empty()) {
            EXPECT_NE(result.output.find(message), std::string::npos) << result.output;
        }
        const std::string book = dir / c.book;
        ASSERT_EQ(fs::exists(book), c.firstByte != 0) << c.arguments;
        if (c.firstByte == 0) continue;
        EXPECT_EQ(test::ReadFile(book)[0], static_cast<std::uint8_t>(c.firstByte)) << c.arguments;
        EXPECT_NE(ManifestOf(book, dir).find("\r\nA Site\r\n"), std::string::npos);
    }
}

TEST(PackCommandLine, PasswordFromAFileOrTyped) {
    const struct {
        const char* what;
        std::string command;  // before the tool
        std::string options;
        int status;
        std::string line5;
    } cases[] = {
        {"file", "", "--password-file pw.txt", 0, "s\xE9same"},
        {"typed", "printf 'typed\\n' |", "--ask-password", 0, "typed"},
        {"typed empty", "printf '\\n' |", "--ask-password", 0, "\xA7"},
        {"no file", "", "--password-file nope.txt", 1, ""},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        fs::create_directory(dir / "src");
        test::WriteFile(dir / "src/index.html", "<p>");
        test::WriteFile(dir / "pw.txt", "s\u00E9same\r\nsecond line\n");
        test::WriteFakeStub(dir);
        const test::CommandResult result =
            test::RunCommand("cd " + test::Quote(dir.Path()) + " && " + c.command + " " +
                             test::Quote(kTool) + " src -o book --stub stub.bin " + c.options);
        ASSERT_EQ(result.status, c.status) << c.what << ": " << result.output;
        if (c.status != 0) continue;
        const std::string manifest = ManifestOf(dir / "book", dir);
        std::size_t at = 0;
        for (int line = 0; line < kLinePassword; ++line)
            at = manifest.find("\r\n", at) + 2;
        EXPECT_EQ(manifest.substr(at, manifest.find("\r\n", at) - at), c.line5) << c.what;
    }
}

TEST(PackCommandLine, InstalledToolFindsItsRuntime) {
    // The build tree is three folders up from the tool (apps/pack/pagorix-pack).
    const fs::path build = fs::path(kTool).parent_path().parent_path().parent_path();
    if (!fs::exists(build / "apps/stub/pagorix-stub") ||
        !fs::exists(build / "apps/unzip/pagorix-unzip")) {
        GTEST_SKIP() << "the runtime and pagorix-unzip are not built in " << build;
    }
    test::TempDir dir;
    const test::CommandResult install = test::RunCommand(
        "cmake --install " + test::Quote(build.string()) + " --prefix " + test::Quote(dir / "usr"));
    ASSERT_EQ(install.status, 0) << install.output;
    EXPECT_TRUE(fs::exists(dir / "usr/bin/pagorix-unzip"));
    EXPECT_EQ(test::ReadFile(dir / "usr/lib/pagorix/pagorix-stub"),
              test::ReadFile((build / "apps/stub/pagorix-stub").string()));
    fs::create_directory(dir / "site");
    test::WriteFile(dir / "site/index.html", "<title>T</title>");
    const test::CommandResult pack = test::RunCommand(
        test::Quote(dir / "usr/bin/pagorix-pack") + " " + test::Quote(dir / "site") + " -o " +
        test::Quote(dir / "book") + " --target linux");
    ASSERT_EQ(pack.status, 0) << pack.output;
}

}  // namespace
}  // namespace pagorix
