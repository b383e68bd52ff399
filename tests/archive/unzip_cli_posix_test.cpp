#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "archive_test_support.h"
#include "platform/platform.h"

namespace pagorix {
namespace {

#ifndef PAGORIX_UNZIP_EXE
#define PAGORIX_UNZIP_EXE ""  // not built: the tests skip
#endif

struct RunResult {
    int status = -1;
    std::string output;
};

// Runs pagorix-unzip with the arguments (a shell command line) and collects
// its standard output and error.
RunResult RunUnzip(const std::string& arguments) {
    RunResult result;
    const std::string command = std::string("'") + PAGORIX_UNZIP_EXE + "' " + arguments + " 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string Quote(const std::string& path) {
    return "'" + path + "'";
}

class UnzipCli : public ::testing::Test {
protected:
    void SetUp() override {
        if (*PAGORIX_UNZIP_EXE == '\0') GTEST_SKIP() << "pagorix-unzip is not built";
    }
};

std::string MethodWordOfShortName(const std::string& shortName) {
    static const std::map<std::string, std::string> kWords = {
        {"STOR", "stored"},    {"SHR", "shrunk"},     {"RED1", "reduced-1"}, {"RED2", "reduced-2"},
        {"RED3", "reduced-3"}, {"RED4", "reduced-4"}, {"IMP", "imploded"},   {"DEF", "deflated"}};
    const auto it = kWords.find(shortName);
    return it == kWords.end() ? shortName : it->second;
}

// pagorix-unzip -v agrees with the corpus listing on every archive.
TEST_F(UnzipCli, VerboseListingAgreesWithTheCorpus) {
    for (const char* tsv : {"expected_generated.tsv", "expected_external.tsv"}) {
        for (const auto& [archive, rows] :
             test::LoadExpected(test::CorpusDir() + platform::kPathDelim + tsv)) {
            SCOPED_TRACE(archive);
            const RunResult run = RunUnzip("-v " + Quote(test::CorpusPath(archive)));
            ASSERT_EQ(run.status, 0) << run.output;
            std::istringstream lines(run.output);
            std::string line;
            std::getline(lines, line);  // heading
            for (const auto& row : rows) {
                ASSERT_TRUE(std::getline(lines, line));
                std::istringstream fields(line);
                std::uint32_t length = 0, size = 0, offset = 0;
                std::string method, crc, flags, name;
                int volume = 0;
                fields >> length >> method >> size >> crc >> flags >> volume >> offset;
                std::getline(fields >> std::ws, name);
                EXPECT_EQ(name, row.name);
                EXPECT_EQ(length, row.size) << row.name;
                EXPECT_EQ(std::stoul(crc, nullptr, 16), row.crc) << row.name;
                EXPECT_EQ(MethodWordOfShortName(method), row.method) << row.name;
                EXPECT_GE(volume, 1);
            }
        }
    }
}

TEST_F(UnzipCli, ExitStatusesAndMessages) {
    test::TempDir dir;
    test::WriteFile(dir / "notzip.zip", test::Bytes(100, 'x'));
    const test::BuiltZip two = test::BuildZip({{"a", test::Bytes(5, 'a')}, {"b", {}}});
    test::Bytes overlap = two.bytes;
    overlap[two.centralPositions[0] + 20] = 30;  // a's data runs over b's header
    test::WriteFile(dir / "overlap.zip", overlap);
    test::Bytes countTooLow = two.bytes;
    countTooLow[two.endPosition + 8] = 1;   // entries on this volume
    countTooLow[two.endPosition + 10] = 1;  // entries in total
    test::WriteFile(dir / "count.zip", countTooLow);
    // A split archive whose first volume is missing.
    for (const char* part : {"iz_split.z02", "iz_split.zip"})
        test::WriteFile(dir / part, test::ReadFile(test::CorpusPath(part)));
    const struct {
        std::string arguments;
        int status;
        std::string shows;
    } cases[] = {
        {"-l " + Quote(dir / "notzip.zip"), 2, "no end of central directory record"},
        {"-l " + Quote(dir / "missing.zip"), 2, "cannot find"},
        {"-t " + Quote(dir / "overlap.zip"), 2, "entries overlap one another"},
        {"-t " + Quote(dir / "count.zip"), 2, "the central directory is damaged"},
        {"-t " + Quote(dir / "iz_split.zip"), 2,
         "volume 1 of 3 is missing: " + (dir / "iz_split.z01")},
        {"--version", 0, "pagorix-unzip 1.0"},
        {"--help", 0, "Usage: pagorix-unzip"},
        {"-l", 10, "Usage"},
        {"-x " + Quote(test::CorpusPath("iz_deflate.zip")), 10, "unknown option"},
        {"--sort sideways -l " + Quote(test::CorpusPath("iz_deflate.zip")), 10,
         "unknown sort mode"},
    };
    for (const auto& c : cases) {
        const RunResult run = RunUnzip(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find(c.shows), std::string::npos) << c.arguments << "\n" << run.output;
    }
}

TEST_F(UnzipCli, ListingFollowsTheSortMode) {
    const std::string archive = Quote(test::CorpusPath("iz_deflate.zip"));
    const RunResult byName = RunUnzip("--sort name -l " + archive);
    ASSERT_EQ(byName.status, 0);
    EXPECT_EQ(byName.output.substr(0, byName.output.find('\t')), "empty.dat");
    // A directory entry's name is empty; the listing goes on with its directory.
    EXPECT_NE(byName.output.find("\n\t"), std::string::npos);
    const RunResult bySize = RunUnzip(archive + " -l --sort uncompressed");
    ASSERT_EQ(bySize.status, 0);
    EXPECT_EQ(bySize.output.substr(0, bySize.output.find('\t')), "rep.dat");
}

TEST_F(UnzipCli, ExtractsTestsAndReportsFailures) {
    test::TempDir dir;
    const std::string store = Quote(test::CorpusPath("iz_store.zip"));
    const std::string encStore = Quote(test::CorpusPath("iz_enc_store.zip"));
    const std::string out = Quote(dir / "out");
    test::EntryPlan tokenized{"tok.dat", test::Bytes(5, 't')};
    tokenized.method = 7;  // tokenized: no tool decodes it
    test::WriteFile(dir / "tokenized.zip", test::BuildZip({tokenized}).bytes);
    // Names from an MS-DOS host: code page 437 unless -O names another.
    test::WriteFile(dir / "names.zip", test::BuildZip({{"caf\x82.txt", test::Bytes(1, 'c')},
                                                       {"\x1B[2Jx.txt", test::Bytes(1, 'x')}})
                                           .bytes);
    const std::string names = Quote(dir / "names.zip");
    const struct {
        std::string arguments;
        int status;
        const char* shows;
    } cases[] = {
        {store + " -d " + out + " -q", 0, ""},
        {"-d " + out + " -n " + store, 0, "skipping"},
        {store + " -o -d " + out, 0, "4 extracted OK"},
        {"-t -P 'RKTM4V?PQ918XN2' " + encStore, 0, "4 tested OK"},
        {"-t -P wrong " + encStore, 1, "licenses.txt: wrong password"},
        {"-t " + encStore, 1, "encrypted; give the password with -P"},
        {"-t " + Quote(test::CorpusPath("iz_deflate.zip")) + " 'sub/*'", 0, "1 tested OK"},
        {"-t " + Quote(dir / "tokenized.zip"), 1, "tok.dat: unsupported compression method 7"},
        {"-l " + names, 0, "caf\xC3\xA9.txt"},
        {"-l -O cp1252 " + names, 0, "caf\xE2\x80\x9A.txt"},
        {"-v " + names, 0, "\\x1b[2Jx.txt"},
        {"-O ebcdic " + names, 10, "unknown code page"},
        {"-q -d " + Quote(dir / "names") + " " + names, 0, ""},
    };
    for (const auto& c : cases) {
        const RunResult run = RunUnzip(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find(c.shows), std::string::npos) << c.arguments << "\n" << run.output;
    }
    EXPECT_EQ(test::ReadFile(dir / "out/sub/note.txt").size(), 30u);
    EXPECT_EQ(test::ReadFile(dir / "out/licenses.txt").size(), 73037u);
    EXPECT_TRUE(test::Exists(dir / "names/caf\xC3\xA9.txt"));

    const RunResult junked =
        RunUnzip("-j -q -d " + Quote(dir / "flat") + " " + store + " sub/note.txt");
    EXPECT_EQ(junked.status, 0) << junked.output;
    EXPECT_TRUE(test::Exists(dir / "flat/note.txt"));
    EXPECT_FALSE(test::Exists(dir / "flat/sub"));
}

// Data in front of an archive (a program, a book's runtime, with the bytes of
// a local header signature in it) changes nothing in what is listed and
// tested.
TEST_F(UnzipCli, ArchivesBehindAProgramListAndTestLikeTheBareArchive) {
    test::TempDir dir;
    test::Bytes program = test::RandomBytes(121459, 5);
    for (const std::uint8_t b : {0x50, 0x4B, 0x03, 0x04})
        program.push_back(b);
    const test::Bytes more = test::RandomBytes(5000, 6);
    program.insert(program.end(), more.begin(), more.end());
    for (const char* bare : {"iz_deflate.zip", "iz_dd_pipe.zip", "iz_store.zip"}) {
        SCOPED_TRACE(bare);
        const test::Bytes archive = test::ReadFile(test::CorpusPath(bare));
        test::Bytes joined = program;
        joined.insert(joined.end(), archive.begin(), archive.end());
        test::WriteFile(dir / "joined.zip", joined);
        const std::string original = Quote(test::CorpusPath(bare));
        const std::string behind = Quote(dir / "joined.zip");
        for (const char* option : {"-l", "-t"}) {
            const RunResult expected = RunUnzip(std::string(option) + " " + original);
            const RunResult got = RunUnzip(std::string(option) + " " + behind);
            EXPECT_EQ(got.status, 0) << got.output;
            EXPECT_EQ(got.output, expected.output) << option;
        }
    }
}

// A full disk (a small tmpfs, mounted when the tests run as root): the files
// that do not fit fail as write errors and leave nothing, the others are
// written, and the run ends with status 1.
TEST_F(UnzipCli, FullDiskFailsTheEntryAndLeavesNoPartialFile) {
    test::TempDir dir;
    const std::string small = dir / "small";
    platform::MakeDirectory(small);
    if (std::system(
            ("mount -t tmpfs -o size=64k tmpfs " + Quote(small) + " 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { (void)std::system(("umount " + path).c_str()); }
    } unmount{Quote(small)};
    const RunResult run =
        RunUnzip("-q -d " + Quote(small) + " " + Quote(test::CorpusPath("iz_deflate.zip")));
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("licenses.txt: write error"), std::string::npos) << run.output;
    EXPECT_FALSE(test::Exists(small + "/licenses.txt"));  // 73,037 bytes
    EXPECT_FALSE(test::Exists(small + "/rep.dat"));       // 120,000 bytes
    EXPECT_EQ(test::ReadFile(small + "/one.dat").size(), 1u);
}

}  // namespace
}  // namespace pagorix
