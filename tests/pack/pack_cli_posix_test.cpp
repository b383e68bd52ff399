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
         "book: 1 files, 5 bytes, in a book of 325", true},
        {"quiet", "-o book --title T --start INDEX.HTML --stub stub.bin -q", 0, "", true},
        {"help", "--help", 0, "--start", false},
        {"version", "--version", 0, "pagorix-pack 1.0.0", false},
        {"no title", "-o book --start index.html --stub stub.bin", 2, "--title is required", false},
        {"bad level", "-o book --title T --start index.html --stub stub.bin --level 10", 2,
         "--level", false},
        {"stub and target", "-o book --title T --start index.html --stub stub.bin --target linux",
         2, "excludes", false},
        {"no start page", "-o book --title T --start nope.html --stub stub.bin", 1,
         "pagorix-pack: the start page \"nope.html\" is not in the source folder\n", false},
    };
    for (const Call& call : calls) {
        test::TempDir dir;
        test::WriteTree(dir / "src", {{"index.html", {'<', 'p', '>', 'h', 'i'}}});
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

TEST(PackCommandLine, WithoutAStubBesideTheToolSaysSo) {
    // A copy of the tool in a folder of its own has no runtime beside it.
    test::TempDir dir;
    test::WriteTree(dir / "src", {{"index.html", {}}});
    fs::create_directory(dir / "bin");
    fs::copy_file(kTool, dir / "bin/pagorix-pack");
    fs::permissions(dir / "bin/pagorix-pack", fs::perms::owner_all);
    const struct {
        const char* target;
        std::string message;
    } cases[] = {
        {"linux",
         "pagorix-pack: there is no book runtime: pagorix-stub is not beside "
         "pagorix-pack in \"" +
             dir / "bin\"; build it, or give one with --stub PATH\n"},
        {"windows",
         "pagorix-pack: there is no Windows runtime: pagorix-stub.exe is not beside "
         "pagorix-pack in \"" +
             dir / "bin\" (it comes from a Windows build); give one with --stub PATH\n"},
    };
    for (const auto& c : cases) {
        const test::CommandResult result = test::RunCommand(
            test::Quote(dir / "bin/pagorix-pack") + " " + test::Quote(dir / "src") + " -o " +
            test::Quote(dir / "book") + " --title T --start index.html --target " + c.target);
        EXPECT_EQ(result.status, 1) << c.target;
        EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
        EXPECT_FALSE(fs::exists(dir / "book")) << c.target;
    }
}

}  // namespace
}  // namespace pagorix
