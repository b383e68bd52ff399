#include "pack/book_writer.h"

#include <fnmatch.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "archive/unzipper.h"
#include "framework/sysutils.h"
#include "pack/deflated_files.h"
#include "pack_test_support.h"

namespace pagorix {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// Text that deflates to about two thirds of its size.
Bytes Text(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes out(size);
    for (auto& c : out)
        c = static_cast<std::uint8_t>("book page <p> chapter\n"[random() % 22]);
    return out;
}

// Text and binary (.bin, .dat) files of 0 to 600 kB, names with blanks,
// Windows-1252 letters and folders, and pages enough to keep every core busy.
std::map<std::string, Bytes> RandomBook() {
    std::map<std::string, Bytes> files = {
        {"index.html", Text(1200, 1)},
        {"empty.txt", {}},
        {"chapters/Caf\u00E9 \u2013 \u00E9t\u00E9.html", Text(200000, 4)},
        {"Chapters/Start Page.HTML", Text(5000, 5)},
        {"data/\u00DCber \u0152uvre \u20AC.txt", Text(65536, 6)},
        {"sub/deeper/x y z.dat", test::RandomBytes(65537, 7)},
        {"big text.txt", Text(600000, 8)},
    };
    for (int i = 0; i < 30; ++i)
        files["pages/p" + std::to_string(i) + ".html"] = Text(1 + 1500 * i, 10 + i);
    return files;
}

// Whichever core deflates a file, the book comes back whole through the
// engine and Info-ZIP, in the book's order, each file deflated only when that
// shrinks it; progress rises to 1 with the files and bytes counted.
TEST(PackBook, RoundTripThroughTheEngineAndInfoZip) {
    std::map<std::string, Bytes> stored;  // by stored name, in the book's order
    std::uint64_t bytes = 0;
    for (const auto& [name, data] : RandomBook()) {
        stored[Utf8ToCp1252(name).text] = data;
        bytes += data.size();
    }
    for (const int level : {6, 0}) {
        test::TempDir dir;
        test::WriteTree(dir / "src", RandomBook());
        PackRequest request = test::Request(dir);
        request.level = level;
        request.manifest.startPage = "chapters\\start page.html";  // found whatever the case
        std::vector<double> seen;
        const PackStats stats = PackBook(request, [&](const PackStats& s, double fraction) {
            EXPECT_EQ(s.files, stored.size());
            EXPECT_EQ(s.bytes, bytes);
            seen.push_back(fraction);
        });
        ASSERT_GE(seen.size(), 3u) << level;
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << level;
        EXPECT_EQ(seen.back(), 1.0);
        EXPECT_EQ(test::Names(dir.Path()), (std::vector<std::string>{"book", "src", "stub.bin"}));
        const Bytes book = test::ReadFile(request.output);
        EXPECT_EQ(stats.bookSize, book.size());
        EXPECT_TRUE(std::equal(book.begin(), book.begin() + PayloadOffset,
                               test::ReadFile(request.stub).begin()));

        const std::string payload = test::CutPayload(request.output, dir);
        const auto entries = test::ReadWithLibzip(payload);
        ASSERT_EQ(entries.size(), stored.size() + 1);
        std::size_t index = 1;  // after the manifest
        for (const auto& [name, data] : stored) {
            const test::EntryInfo& entry = entries.at(name);
            EXPECT_EQ(entry.index, index++) << name;
            EXPECT_TRUE(entry.encrypted) << name;
            const bool shrinks =
                data.size() > 1 && !name.ends_with(".bin") && !name.ends_with(".dat");
            EXPECT_EQ(entry.method, level > 0 && shrinks ? 8 : 0) << level << " " << name;
        }
        const test::EntryInfo& manifest = entries.at(kManifestName);
        EXPECT_EQ(manifest.index, 0u);
        EXPECT_EQ(manifest.method, level > 0 ? 8 : 0);
        BookManifest expected = request.manifest;
        expected.startPage = "Chapters/Start Page.HTML";  // its path in the unpacked book
        expected.folders = true;
        EXPECT_EQ(std::string(manifest.data.begin(), manifest.data.end()), WriteManifest(expected));

        // Every file comes back under its stored name, and nothing else but the
        // manifest, from the engine (as a book extracts) and from Info-ZIP.
        TUnZipper zip;
        zip.SetZipName(payload);
        fs::create_directory(dir / "engine");
        zip.SetDestDir(dir / "engine");
        zip.Password = kArchivePassword;
        zip.DoAll = true;
        zip.RecreateDirs = true;
        zip.DoProcessMessages = false;
        EXPECT_EQ(zip.UnZip(), static_cast<std::int32_t>(stored.size() + 1));
        const std::string unzip = "unzip -qq -P " + test::Quote(kArchivePassword) + " " +
                                  test::Quote(payload) + " -d " + test::Quote(dir / "infozip");
        EXPECT_EQ(test::RunCommand(unzip).status, 0);  // Info-ZIP is one of the project's tools
        for (const char* folder : {"engine", "infozip"}) {
            auto tree = test::ReadTree(dir / folder);
            tree.erase(kManifestName);
            EXPECT_TRUE(tree == stored) << folder;
        }
    }
}

struct Refusal {
    std::map<std::string, Bytes> files;  // written into the source folder
    std::function<void(const test::TempDir&, PackRequest&)> setUp;
    std::string message;      // an fnmatch pattern
    bool pullTheRug = false;  // src/z.bin goes at the first progress
};

TEST(PackBook, RefusalsNameTheProblemAndLeaveNoFile) {
    const auto flat = [](auto&, auto& r) { r.scan.flat = true; };
    const Refusal cases[] = {
        {{},
         [](auto& d, auto& r) { r.sourceDir = d / "missing"; },
         "the source folder \"*/missing\" does not exist"},
        {{}, [](auto&, auto& r) { r.sourceDir = r.stub; }, "\"*stub.bin\" is not a folder"},
        {{},
         [](auto&, auto& r) { r.manifest.startPage = "../stub.bin"; },
         "the start page \"../stub.bin\" is not in the source folder"},
        {{},
         [](auto& d, auto& r) { r.output = d / "src/sub/../book"; },
         "the book \"*/src/sub/../book\" would be inside the source folder \"*/src\""},
        {{},
         [](auto& d, auto& r) { r.output = d.Path(); },
         "\"*\" is a folder; give the book's file name"},
        {{},
         [](auto& d, auto& r) { r.output = d / "no/book"; },
         "cannot write \"*/no/book\": its folder does not exist"},
        {{},
         [](auto&, auto& r) { test::WriteFile(r.stub, "MZ"); },
         "the runtime \"*stub.bin\" is 2 bytes long; a book's runtime must be exactly 325120 "
         "bytes"},
        {{},
         [](auto& d, auto& r) { r.stub = d / "nothing"; },
         "cannot open the runtime \"*/nothing\": No such file or directory"},
        {{{"a/\u00C9t\u00E9.txt", {}},
          {"b/\u00E9T\u00C9.txt", {}},
          {"c/INDEX.html", {}},
          {"d/index.HTML", {}}},
         flat,
         "2 problems with the file names, one per line:\n"
         "  \"c/INDEX.html\", \"d/index.HTML\" and \"index.html\" would all be unpacked as*\n"
         "  \"a/\u00C9t\u00E9.txt\" and \"b/\u00E9T\u00C9.txt\" would both be unpacked as "
         "\"\u00C9t\u00E9.txt\" "
         "(a flat book unpacks all its files into one folder); rename all but one"},
        {{{"x/Pagorix.kbm", {}}}, flat, "the file \"x/Pagorix.kbm\" has a name that the book*"},
        {{{"x/Pagorix.Lck", {}}}, {}, "the file \"x/Pagorix.Lck\" has a name that the book*"},
        {{{"Doc/A.html", {}}, {"doc/a.html", {}}},
         {},
         "\"Doc/A.html\" and \"doc/a.html\" are one file on Windows, where letter case does not*"},
        {{{"Notes", {}}, {"notes/a.html", {}}},
         {},
         "the file \"Notes\" and the folder of \"notes/a.html\" are one name on Windows*"},
        {{{"aux/Con.html", {}}},
         {},
         "the folder \"aux\" is the name of the Windows device \"aux\"*"},
        {{{"why?.html", {}}}, {}, "the file name \"why?.html\" holds \"?\", which a Windows file*"},
        {{{"notes.", {}}}, {}, "the file \"notes.\" ends with a dot, which Windows cannot create*"},
        {{{"lpt1 ", {}}}, {}, "the file \"lpt1 \" ends with a blank, which Windows cannot*"},
        {{{"\u03A9.html", {}}}, {}, "the file name \"\u03A9.html\" holds \"\u03A9\" (U+03A9)*"},
        {{{"home.html", {}}},
         [](auto& d, auto& r) {
             fs::remove(d / "src/index.html");
             r.manifest.startPage.clear();
         },
         "\"*/src\" has no index.html or index.htm at the top; name the page the book opens with*"},
        {{{"a.html", test::B("<a href=nope.html>x</a><img src='b c.png'>")}},
         [](auto&, auto& r) { r.strictLinks = true; },
         "2 links lead to nothing in the book:\n"
         "  a.html: \"nope.html\" leads to nothing in the book\n"
         "  a.html: \"b c.png\" leads to nothing in the book"},
        {{{"index.html", test::B("<title>\u03A9</title>")}},
         [](auto&, auto& r) { r.manifest.title.clear(); },
         "the title holds \"\u03A9\" (U+03A9), which Windows-1252 cannot hold (the title is read "
         "from \"index.html\" unless given); give one with --title"},
        {{},
         [](auto& d, auto&) {
             // Sparse: no data is written, and the size alone is refused.
             std::ofstream(d / "src/huge.bin").close();
             fs::resize_file(d / "src/huge.bin", 0xFFFFFFFFull - 100);
         },
         "the files of \"*/src\" come to 4294967295 bytes; a book holds less than 4 GiB"},
        // With nothing to deflate, the first progress comes from the archive
        // writer, which reads the stored files.
        {{{"z.bin", test::RandomBytes(100000, 2)}},
         [](auto&, auto& r) { r.level = 0; },
         "cannot write \"*/book\": *",
         true},
    };
    for (const Refusal& c : cases) {
        test::TempDir dir;
        test::WriteTree(dir / "src", {{"index.html", Text(100, 1)}});
        test::WriteTree(dir / "src", c.files);
        PackRequest request = test::Request(dir);
        test::WriteFile(request.output, "old book");  // kept as it was
        if (c.setUp) c.setUp(dir, request);
        const auto before = test::Names(dir.Path());
        bool pulled = false;
        try {
            PackBook(request, [&](const PackStats&, double) {
                if (c.pullTheRug && !pulled) pulled = fs::remove(dir / "src/z.bin");
            });
            ADD_FAILURE() << c.message << ": accepted";
        } catch (const EPackError& e) {
            EXPECT_EQ(fnmatch(c.message.c_str(), e.what(), 0), 0) << e.what();
        }
        EXPECT_EQ(pulled, c.pullTheRug);
        EXPECT_EQ(test::Names(dir.Path()), before) << c.message;
        EXPECT_EQ(test::ReadText(dir / "book"), "old book") << c.message;
    }
}

// Deflated bytes come back the same whether they waited in memory (which
// the round trip reads back) or on disk, and a file that does not shrink is
// left to be stored. A file that cannot be read fails the work for the first
// failing file in the book's order, whichever core met its failure first.
TEST(DeflatedFiles, GiveEachFileBackOrFailForTheFirstFileThatCannotBeRead) {
    test::TempDir dir;
    std::vector<BookFile> files;
    std::vector<Bytes> contents;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "f" + std::to_string(i);
        contents.push_back(i % 3 == 1 ? test::RandomBytes(30000 * i, i) : Text(1 + 90000 * i, i));
        test::WriteFile(dir / name, contents.back());
        files.push_back({dir / name, name, name, contents.back().size()});
    }
    std::vector<Bytes> packed[2];
    for (const std::uint64_t memory : {std::uint64_t{0}, DeflatedFiles::kKeptInMemory}) {
        DeflatedFiles deflated(files, kDefaultPackLevel, dir / "book", {}, memory);
        for (std::size_t i = 0; i < files.size(); ++i) {
            ASSERT_EQ(deflated[i].deflated, i % 3 != 1 && i > 0) << i;
            const auto crc = crc32(0, contents[i].data(), static_cast<uInt>(contents[i].size()));
            EXPECT_TRUE(!deflated[i].deflated || deflated[i].crc == crc) << i;
            Bytes& bytes = packed[memory > 0].emplace_back(deflated[i].packedSize);
            for (std::size_t at = 0; at < bytes.size();)  // in the small reads libzip makes
                at += deflated.Read(i, at, bytes.data() + at, 1000);
        }
    }
    EXPECT_TRUE(packed[0] == packed[1]);
    fs::create_directory(dir / "folder");  // opens, but gives no bytes
    files.insert(files.begin() + 9, {dir / "gone", "gone", "gone", 1});
    files.insert(files.begin() + 5, {dir / "folder", "folder", "folder", 1});
    try {
        DeflatedFiles(files, kDefaultPackLevel, dir / "book", {}, 0);
        ADD_FAILURE() << "no failure";
    } catch (const EPackError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot read \"" + dir / "folder" + "\"");
    }
    EXPECT_EQ(test::Names(dir.Path()).size(), 13u);
}

}  // namespace
}  // namespace pagorix
