// The command line: exit status, messages, the runtime chosen, the reader
// password and the executable bit of the book.
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

// A copy of the tool in dir/bin, with runtimes of both kinds beside it when
// asked: the first bytes of a Linux program and of a Windows one, padded.
std::string CopyOfTheTool(const std::string& dir, bool withRuntimes) {
    fs::create_directories(dir + "/bin");
    fs::copy_file(kTool, dir + "/bin/pagorix-pack");
    for (const auto& [name, magic] : {std::pair{"pagorix-stub",
                                                "\x7f"
                                                "ELF"},
                                      {"pagorix-stub.exe", "MZ"}}) {
        std::string bytes = magic;
        bytes.resize(static_cast<size_t>(PayloadOffset), '\0');
        if (withRuntimes) test::WriteFile(dir + "/bin/" + name, bytes);
    }
    return dir + "/bin/pagorix-pack";
}

struct Call {
    std::string arguments = {};  // after SOURCE_DIR, which is "site"
    int status = 0;
    std::string output = {};    // a part of what the tool prints, BIN for its folder; "": nothing
    char book = 0;              // the first byte of the book named after -o; 0: no book
    std::string manifest = {};  // a part of the book's manifest
    std::string input = {};     // typed in
    bool runtimes = true;       // beside the tool
};

TEST(PackCommandLine, ExitStatusMessagesAndTheBook) {
    const char elf = '\x7f';
    const Call calls[] = {
        {.arguments = "-o book",
         .output = "book: 2 files, 39 bytes, in a book of 325",
         .book = elf,
         .manifest = "\r\nA Site\r\n\xA7\r\nindex.html\r\n"},
        {.arguments = "-o book --title T --start B.HTML",
         .output = "  title \"T\", start page b.html, folders kept\n",
         .book = elf},
        {.arguments = "-o book -q", .book = elf},
        {.arguments = "--help", .output = "--start"},
        {.arguments = "--version", .output = "pagorix-pack 1.0.0"},
        {.arguments = "-o book --exclude b.html",
         .output = "pagorix-pack: warning: index.html: \"b.html\" leads to nothing in the book\n",
         .book = elf},
        {.arguments = "-o book --exclude b.html --strict",
         .status = 1,
         .output = "pagorix-pack: 1 link leads to nothing in the book:\n  index.html: \"b.html\""},
        {.arguments = "-o book --password x --ask-password",
         .status = 2,
         .output = "pagorix-pack: --password excludes --ask-password (see --help)\n"},
        {.arguments = "--title T",
         .status = 2,
         .output = "pagorix-pack: --output is required (see --help)\n"},
        {.arguments = "-o book --level 10",
         .status = 2,
         .output = "pagorix-pack: --level: Value 10 not in range 0 to 9"},
        {.arguments = "-o book --stub x --target linux",
         .status = 2,
         .output = "pagorix-pack: --stub excludes --target (see --help)\n"},
        {.arguments = "-o site.exe", .output = "site.exe: 2 files", .book = 'M'},
        {.arguments = "-o Site.EXE --target linux",
         .output = "pagorix-pack: warning: \"Site.EXE\" is a Linux book; its name ends in \".exe\" "
                   "as if it were for Windows\n",
         .book = elf},
        {.arguments = "-o book --target windows",
         .output = "pagorix-pack: warning: \"book\" is a Windows book; Windows runs it only when "
                   "its name ends in \".exe\"\n",
         .book = 'M'},
        {.arguments = "-o book --target linux",
         .status = 1,
         .output = "pagorix-pack: there is no book runtime: pagorix-stub is not beside "
                   "pagorix-pack in \"BIN\"; build it, or give one with --stub PATH\n",
         .runtimes = false},
        {.arguments = "-o book --target windows",
         .status = 1,
         .output = "pagorix-pack: there is no Windows runtime: pagorix-stub.exe is not beside "
                   "pagorix-pack in \"BIN\" (it comes from a Windows build); give one with --stub "
                   "PATH\n",
         .runtimes = false},
        {.arguments = "-o book --password-file pw.txt",
         .output = "book: 2 files",
         .book = elf,
         .manifest = "wait...\r\ns\xE9same\r\n"},
        {.arguments = "-o book --ask-password",
         .output = "Reader password",
         .book = elf,
         .manifest = "wait...\r\ntyped\r\n",
         .input = "typed\n"},
        {.arguments = "-o book --ask-password",
         .output = "Reader password",
         .book = elf,
         .manifest = "wait...\r\n\xA7\r\n",
         .input = "\n"},
        {.arguments = "-o book --password-file nope.txt",
         .status = 1,
         .output = "pagorix-pack: cannot read the password file \"nope.txt\"\n"},
    };
    test::TempDir tools;
    const std::string withRuntimes = CopyOfTheTool(tools / "with", true);
    const std::string without = CopyOfTheTool(tools / "without", false);
    for (const Call& call : calls) {
        test::TempDir dir;
        test::WriteTree(dir / "site",
                        {{"index.html", test::B("<title>A Site</title><a href=b.html>")},
                         {"b.html", test::B("<p>")}});
        test::WriteFile(dir / "pw.txt", "s\u00E9same\r\nsecond line\n");
        const std::string tool = call.runtimes ? withRuntimes : without;
        const test::CommandResult result = test::RunCommand(
            "cd " + test::Quote(dir.Path()) + " && printf " + test::Quote(call.input) + " | " +
            test::Quote(tool) + " site " + call.arguments);
        std::string output = call.output;
        if (output.find("BIN") != std::string::npos)
            output.replace(output.find("BIN"), 3, fs::path(tool).parent_path().string());
        EXPECT_EQ(result.status, call.status) << call.arguments << ": " << result.output;
        EXPECT_NE(result.output.find(output), std::string::npos)
            << call.arguments << ": " << result.output;
        EXPECT_TRUE(!output.empty() || result.output.empty()) << call.arguments;
        // Nothing but the expected message or warning starts with the tool's name.
        EXPECT_EQ(result.output.find("pagorix-pack: ") != std::string::npos,
                  output.find("pagorix-pack: ") != std::string::npos)
            << call.arguments << ": " << result.output;
        const std::size_t named = call.arguments.find("-o ");
        const std::string book =
            named == std::string::npos
                ? dir / "book"
                : dir / call.arguments.substr(named + 3,
                                              call.arguments.find(' ', named + 3) - named - 3);
        ASSERT_EQ(fs::exists(book), call.book != 0) << call.arguments;
        if (call.book == 0) continue;
        EXPECT_EQ(test::ReadFile(book)[0], static_cast<std::uint8_t>(call.book)) << call.arguments;
        const fs::perms perms = fs::status(book).permissions();
        EXPECT_NE(perms & fs::perms::owner_exec, fs::perms::none) << call.arguments;
        EXPECT_NE(perms & fs::perms::others_exec, fs::perms::none) << call.arguments;
        EXPECT_NE(test::ManifestOf(book, dir).find(call.manifest), std::string::npos)
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
