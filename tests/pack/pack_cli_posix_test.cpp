// The command line: exit status, messages, the runtime chosen, the reader
// password and the executable bit of the book.
#include <fnmatch.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
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

// A copy of the tool in dir/bin, with runtimes of both kinds beside it when
// asked: the first bytes of a Linux program and of a Windows one, padded.
std::string CopyOfTheTool(const std::string& dir, bool withRuntimes) {
    fs::create_directories(dir + "/bin");
    fs::copy_file(kTool, dir + "/bin/pagorix-pack");
    for (const auto& [name, magic] :
         {std::pair{"pagorix-stub", "\177ELF"}, {"pagorix-stub.exe", "MZ"}}) {
        std::string bytes = magic;
        bytes.resize(static_cast<size_t>(PayloadOffset), '\0');
        if (withRuntimes) test::WriteFile(dir + "/bin/" + name, bytes);
    }
    return dir + "/bin/pagorix-pack";
}

struct Call {
    std::string arguments;  // after SOURCE_DIR, which is "site"
    int status = 0;
    std::string output = {};    // a pattern for a part of what the tool prints; "": nothing
    char book = 0;              // the first byte of the book named after -o; 0: no book
    std::string manifest = {};  // a pattern for a part of the book's manifest
    std::string input = {};     // typed in
    bool runtimes = true;       // beside the tool
};

TEST(PackCommandLine, ExitStatusMessagesAndTheBook) {
    const char elf = '\x7f';
    const Call calls[] = {
        {"-o book", 0, "book: 2 files, 39 bytes, in a book of 325", elf,
         "\r\nA Site\r\n\xA7\r\nINDEX.HTM\r\nLoading, please "
         "wait...\r\n\xA7\r\n\xA7\r\n*\r\n1\r\n"},
        {"-o book --start B.HTML", 0, "  title \"site\", start page b.html, folders kept\n", elf},
        {"-o book -q --title T", 0, "", elf, "\r\nT\r\n"},
        {"--version", 0, "pagorix-pack 1.0.0"},
        {"-o book --exclude b.html", 0,
         "pagorix-pack: warning: INDEX.HTM: \"b.html\" leads to nothing in the book\n", elf},
        {"-o book --exclude b.html --strict", 1,
         "pagorix-pack: 1 link leads to nothing in the book:\n  INDEX.HTM: \"b.html\""},
        {"-o book --password x --ask-password", 2,
         "pagorix-pack: --password excludes --ask-password (see --help)\n"},
        {"--title T", 2, "pagorix-pack: --output is required (see --help)\n"},
        {"-o book --level 10", 2, "pagorix-pack: --level: Value 10 not in range 0 to 9"},
        {"-o book --stub x --target linux", 2, "pagorix-pack: --stub excludes --target"},
        {"-o site.exe", 0, "site.exe: 2 files", 'M'},
        {"-o Site.EXE --target linux", 0,
         "pagorix-pack: warning: \"Site.EXE\" is a Linux book; its name ends in \".exe\" as if it "
         "were for Windows\n",
         elf},
        {"-o book --target windows", 0,
         "pagorix-pack: warning: \"book\" is a Windows book; Windows runs it only when its name "
         "ends in \".exe\"\n",
         'M'},
        {"-o book --target linux", 1,
         "pagorix-pack: there is no book runtime: pagorix-stub is not beside pagorix-pack in "
         "\"*/without/bin\"; build it, or give one with --stub PATH\n",
         0, "", "", false},
        {"-o book --target windows", 1,
         "pagorix-pack: there is no Windows runtime: pagorix-stub.exe is not beside pagorix-pack "
         "in \"*/without/bin\" (it comes from a Windows build); give one with --stub PATH\n",
         0, "", "", false},
        {"-o book --password-file pw.txt", 0, "book: 2 files", elf, "wait...\r\ns\xE9same\r\n"},
        {"-o book --ask-password", 0, "Reader password", elf, "wait...\r\ntyped\r\n", "typed\n"},
        {"-o book --ask-password", 0, "Reader password", elf, "wait...\r\n\xA7\r\n", "\n"},
        {"-o book --password-file nope.txt", 1,
         "pagorix-pack: cannot read the password file \"nope.txt\"\n"},
    };
    test::TempDir tools;
    const std::string withRuntimes = CopyOfTheTool(tools / "with", true);
    const std::string without = CopyOfTheTool(tools / "without", false);
    for (const Call& call : calls) {
        test::TempDir dir;
        test::WriteTree(dir / "site",
                        {{"INDEX.HTM", test::B("<title>A Site</title><a href=b.html>")},
                         {"b.html", test::B("<p>")}});
        test::WriteFile(dir / "pw.txt", "s\u00E9same\r\nsecond line\n");
        const std::string tool = call.runtimes ? withRuntimes : without;
        const test::CommandResult result = test::RunCommand(
            "cd " + test::Quote(dir.Path()) + " && printf " + test::Quote(call.input) + " | " +
            test::Quote(tool) + " site/ " + call.arguments);
        EXPECT_EQ(result.status, call.status) << call.arguments << ": " << result.output;
        EXPECT_EQ(fnmatch(("*" + call.output + "*").c_str(), result.output.c_str(), 0), 0)
            << call.arguments << ": " << result.output;
        EXPECT_TRUE(!call.output.empty() || result.output.empty()) << call.arguments;
        // Nothing but the expected message or warning starts with the tool's name.
        EXPECT_EQ(result.output.find("pagorix-pack: ") != std::string::npos,
                  call.output.find("pagorix-pack: ") != std::string::npos)
            << call.arguments << ": " << result.output;
        std::string book = "book";  // the word after -o
        std::istringstream words(call.arguments);
        for (std::string word; words >> word;) {
            if (word == "-o") words >> book;
        }
        book = dir / book;
        ASSERT_EQ(fs::exists(book), call.book != 0) << call.arguments;
        if (call.book == 0) continue;
        EXPECT_EQ(test::ReadFile(book)[0], static_cast<std::uint8_t>(call.book)) << call.arguments;
        const fs::perms perms = fs::status(book).permissions();
        EXPECT_NE(perms & fs::perms::owner_exec, fs::perms::none) << call.arguments;
        EXPECT_NE(perms & fs::perms::others_exec, fs::perms::none) << call.arguments;
        EXPECT_EQ(
            fnmatch(("*" + call.manifest + "*").c_str(), test::ManifestOf(book, dir).c_str(), 0), 0)
            << call.arguments;
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
