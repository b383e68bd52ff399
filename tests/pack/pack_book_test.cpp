#include "pack/book_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string_view>

#include "archive/unzipper.h"
#include "framework/sysutils.h"
#include "pack/book_folder.h"
#include "pack_test_support.h"

namespace pagorix {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

Bytes Text(std::size_t size, std::uint32_t seed) {
    static const char* const kWords[] = {"book ", "page ", "browser ", "archive ", "\n",
                                         "<p>",   "</p>",  "runtime ", "chapter "};
    std::mt19937 random(seed);
    Bytes out;
    while (out.size() < size) {
        const char* word = kWords[random() % std::size(kWords)];
        out.insert(out.end(), word, word + std::strlen(word));
    }
    out.resize(size);
    return out;
}

// A book folder of text and binary files, sizes 0 to 3 MB, names with blanks,
// Windows-1252 letters and subfolders.
std::map<std::string, Bytes> RandomBook() {
    return {
        {"index.html", Text(1200, 1)},
        {"empty.txt", {}},
        {"one.txt", Text(1, 2)},
        {"img/photo one.bin", test::RandomBytes(3 * 1024 * 1024, 3)},
        {"chapters/Caf\u00E9 \u2013 \u00E9t\u00E9.html", Text(200000, 4)},
        {"data/\u00DCber \u0152uvre \u20AC.txt", Text(65536, 5)},
        {"sub/deeper/x y z.dat", test::RandomBytes(65537, 6)},
        {"big text.txt", Text(2500000, 7)},
        {"edge.bin", test::RandomBytes(65535, 8)},
    };
}

PackRequest Request(const test::TempDir& dir) {
    PackRequest request;
    request.sourceDir = dir / "src";
    request.output = dir / "book";
    request.stub = test::WriteFakeStub(dir);
    request.manifest.producer = "pagorix-pack test";
    request.manifest.title = "Test book";
    request.manifest.startPage = "index.html";
    request.manifest.built = "2026-12-06";
    return request;
}

// Whether `text` matches `pattern`, where "*" stands for any run of characters.
bool Like(std::string_view pattern, std::string_view text) {
    if (pattern.empty()) return text.empty();
    if (pattern[0] == '*') {
        for (size_t skip = 0; skip <= text.size(); ++skip) {
            if (Like(pattern.substr(1), text.substr(skip))) return true;
        }
        return false;
    }
    return !text.empty() && pattern[0] == text[0] && Like(pattern.substr(1), text.substr(1));
}

std::string Cp1252(const std::string& utf8) {
    return Utf8ToCp1252(utf8).text;
}

// Extracts the payload copy as a book does: every entry, with the archive
// password, flat or with the folders. Returns the number of entries written.
std::int32_t ExtractWithEngine(const std::string& payload, const std::string& out, bool folders) {
    TUnZipper zip;
    zip.SetZipName(payload);
    zip.SetDestDir(out);
    zip.Password = kArchivePassword;
    zip.DoAll = true;
    zip.RecreateDirs = folders;
    zip.DoProcessMessages = false;
    zip.OnBadPassword = [](TUnZipper&, std::int32_t i) { ADD_FAILURE() << "bad password " << i; };
    return zip.UnZip();
}

TEST(PackBook, RoundTripThroughTheEngineAndInfoZip) {
    test::TempDir dir;
    const auto files = RandomBook();
    test::WriteTree(dir / "src", files);
    const PackRequest request = Request(dir);
    const PackStats stats = PackBook(request);
    EXPECT_EQ(stats.files, files.size());

    const Bytes book = test::ReadFile(request.output);
    EXPECT_EQ(stats.bookSize, book.size());
    EXPECT_TRUE(
        std::equal(book.begin(), book.begin() + PayloadOffset, test::FakeStubBytes().begin()));
    const std::string payload = test::CutPayload(request.output, dir);

    // Every file comes back under its stored (Windows-1252) name, and nothing
    // else but the manifest.
    const auto expectFiles = [&](const std::string& folder) {
        const auto tree = test::ReadTree(folder);
        EXPECT_EQ(tree.size(), files.size() + 1) << folder;
        for (const auto& [name, bytes] : files) {
            const auto found = tree.find(Cp1252(name));
            ASSERT_NE(found, tree.end()) << name;
            EXPECT_TRUE(found->second == bytes) << name;
        }
    };
    // The engine recreates the folders, by the names as stored.
    fs::create_directory(dir / "engine");
    EXPECT_EQ(ExtractWithEngine(payload, dir / "engine", true),
              static_cast<std::int32_t>(files.size() + 1));
    expectFiles(dir / "engine");

    if (test::RunCommand("unzip -v").status != 0) GTEST_SKIP() << "Info-ZIP unzip is not installed";
    const test::CommandResult unzip =
        test::RunCommand("unzip -qq -P " + test::Quote(kArchivePassword) + " " +
                         test::Quote(payload) + " -d " + test::Quote(dir / "infozip"));
    ASSERT_EQ(unzip.status, 0) << unzip.output;
    expectFiles(dir / "infozip");
}

TEST(PackBook, DeflatesOnlyWhatGetsSmallerAndWritesTheManifest) {
    const std::map<std::string, Bytes> files = {
        {"Chapters/Start Page.HTML", Text(5000, 1)},
        {"noise.bin", test::RandomBytes(40000, 2)},
        {"empty", {}},
    };
    const struct {
        int level;
        std::uint16_t text, noise, empty, manifest;
    } cases[] = {
        {6, 8, 0, 0, 8},
        {0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        test::WriteTree(dir / "src", files);
        PackRequest request = Request(dir);
        request.level = c.level;
        request.manifest.startPage = "chapters\\start page.html";  // found whatever the case
        PackBook(request);
        const auto entries = test::ReadWithLibzip(test::CutPayload(request.output, dir));
        ASSERT_EQ(entries.size(), 4u);
        for (const auto& [name, info] : entries)
            EXPECT_TRUE(info.encrypted) << name;
        EXPECT_EQ(entries.at("Chapters/Start Page.HTML").method, c.text) << c.level;
        EXPECT_EQ(entries.at("noise.bin").method, c.noise) << c.level;
        EXPECT_EQ(entries.at("empty").method, c.empty) << c.level;
        EXPECT_EQ(entries.at(kManifestName).method, c.manifest) << c.level;
        BookManifest expected = request.manifest;
        expected.startPage = "Chapters/Start Page.HTML";  // its path in the unpacked book
        expected.folders = true;
        const Bytes manifest = entries.at(kManifestName).data;
        EXPECT_EQ(std::string(manifest.begin(), manifest.end()), WriteManifest(expected));
    }
}

struct Refusal {
    const char* what;
    std::function<void(const test::TempDir&, PackRequest&)> setUp;
    std::string message;
};

TEST(PackBook, RefusalsNameTheProblemAndLeaveNoFile) {
    const Refusal cases[] = {
        {"no source", [](auto& d, auto& r) { r.sourceDir = d / "missing"; },
         "the source folder \"*/missing\" does not exist"},
        {"source is a file", [](auto&, auto& r) { r.sourceDir = r.stub; },
         "\"*stub.bin\" is not a folder"},
        {"no start page", [](auto&, auto& r) { r.manifest.startPage = "nope.html"; },
         "the start page \"nope.html\" is not in the source folder"},
        {"start page outside", [](auto&, auto& r) { r.manifest.startPage = "../stub.bin"; },
         "the start page \"../stub.bin\" is not in the source folder"},
        {"output inside source", [](auto& d, auto& r) { r.output = d / "src/sub/../book"; },
         "the book \"*/src/sub/../book\" would be inside the source folder \"*/src\""},
        {"output is a folder",
         [](auto& d, auto& r) {
             fs::create_directory(d / "shelf");
             r.output = d / "shelf";
         },
         "\"*/shelf\" is a folder; give the book's file name"},
        {"output folder missing", [](auto& d, auto& r) { r.output = d / "no/book"; },
         "cannot write \"*/no/book\": its folder does not exist"},
        {"short stub",
         [](auto& d, auto& r) {
             test::WriteFile(r.stub, test::Bytes(static_cast<size_t>(PayloadOffset) - 1, 0));
             static_cast<void>(d);
         },
         "the runtime \"*stub.bin\" is 325119 bytes long; a book's runtime must be exactly 325120 "
         "bytes"},
        {"no stub", [](auto& d, auto& r) { r.stub = d / "nothing"; },
         "cannot open the runtime \"*/nothing\": No such file or directory"},
        {"flat: same name",
         [](auto& d, auto& r) {
             test::WriteTree(d / "src", {{"b/Index.HTML", {}}});
             r.scan.flat = true;
         },
         "\"b/Index.HTML\" and \"index.html\" would both be unpacked as \"Index.HTML\" (a flat "
         "book unpacks all its files into one folder); rename all but one"},
        {"flat: every clash at once",
         [](auto& d, auto& r) {
             test::WriteTree(d / "src", {{"a/\u00C9t\u00E9.txt", {}},
                                         {"b/\u00E9T\u00C9.txt", {}},
                                         {"c/INDEX.html", {}},
                                         {"d/index.HTML", {}}});
             r.scan.flat = true;
         },
         "2 problems with the file names, one per line:\n"
         "  \"c/INDEX.html\", \"d/index.HTML\" and \"index.html\" would all be unpacked as*\n"
         "  \"a/\u00C9t\u00E9.txt\" and \"b/\u00E9T\u00C9.txt\" would both be unpacked as*"},
        {"flat: manifest's name in a folder",
         [](auto& d, auto& r) {
             test::WriteTree(d / "src", {{"x/Pagorix.kbm", {}}});
             r.scan.flat = true;
         },
         "the file \"x/Pagorix.kbm\" has a name that the book runtime keeps for its own files; "
         "rename it"},
        {"folders: same path but for case",
         [](auto& d, auto&) {
             test::WriteTree(d / "src", {{"Doc/A.html", {}}, {"doc/a.html", {}}});
         },
         "\"Doc/A.html\" and \"doc/a.html\" are one file on Windows, where letter case does not "
         "tell names apart; rename all but one"},
        {"folders: a file and a folder of one name",
         [](auto& d, auto&) {
             test::WriteTree(d / "src", {{"Notes", {}}, {"notes/a.html", {}}});
         },
         "the file \"Notes\" and the folder of \"notes/a.html\" are one name on Windows; rename "
         "one"},
        {"folders: a folder with a device name",
         [](auto& d, auto&) {
             test::WriteTree(d / "src", {{"aux/a.html", {}}});
         },
         "the folder \"aux\" is the name of the Windows device \"aux\", which Windows cannot "
         "create; rename it"},
        {"folders: owner file's name in a folder",
         [](auto& d, auto&) {
             test::WriteTree(d / "src", {{"x/Pagorix.Lck", {}}});
         },
         "the file \"x/Pagorix.Lck\" has a name that the book runtime keeps for its own files; "
         "rename it"},
        {"no index page",
         [](auto& d, auto& r) {
             fs::rename(d / "src/index.html", d / "src/home.html");
             r.manifest.startPage.clear();
         },
         "\"*/src\" has no index.html or index.htm at the top; name the page the book opens "
         "with --start PAGE"},
        {"strict: broken links",
         [](auto& d, auto& r) {
             test::WriteFile(d / "src/a.html", "<a href=nope.html>x</a><img src='b c.png'>");
             r.strictLinks = true;
         },
         "2 links lead to nothing in the book:\n"
         "  a.html: \"nope.html\" leads to nothing in the book\n"
         "  a.html: \"b c.png\" leads to nothing in the book"},
        {"title of the page beyond Windows-1252",
         [](auto& d, auto& r) {
             test::WriteFile(d / "src/index.html", "<title>\u03A9</title>");
             r.manifest.title.clear();
         },
         "the title holds \"\u03A9\" (U+03A9), which Windows-1252 cannot hold (the title is read "
         "from \"index.html\" unless given); give one with --title"},
        {"archive copy's name", [](auto& d, auto&) { test::WriteFile(d / "src/PAGORIX.zip", "x"); },
         "the file \"PAGORIX.zip\" has a name that the book runtime keeps*"},
        {"owner file's name", [](auto& d, auto&) { test::WriteFile(d / "src/pagorix.LCK", "x"); },
         "the file \"pagorix.LCK\" has a name that the book runtime keeps*"},
        {"Windows name", [](auto& d, auto&) { test::WriteFile(d / "src/why?.html", "x"); },
         "the file name \"why?.html\" holds \"?\", which a Windows file name cannot hold"},
        {"device name",
         [](auto& d, auto&) {
             test::WriteTree(d / "src", {{"sub/Con.html", {}}});
         },
         "the file \"sub/Con.html\" is the name of the Windows device \"con\", which Windows "
         "cannot create; rename it"},
        {"name ending with a dot", [](auto& d, auto&) { test::WriteFile(d / "src/notes.", "x"); },
         "the file \"notes.\" ends with a dot, which Windows cannot create*"},
        {"name ending with a blank", [](auto& d, auto&) { test::WriteFile(d / "src/lpt1 ", "x"); },
         "the file \"lpt1 \" ends with a blank, which Windows cannot create*"},
        {"password longer than the box",
         [](auto&, auto& r) {
             for (int i = 0; i < 256; ++i)
                 r.manifest.password += "\u00E9";  // 512 bytes of UTF-8, 256 characters
         },
         "the password is 256 characters long; the book's password box takes at most 255"},
        {"name beyond Windows-1252",
         [](auto& d, auto&) { test::WriteFile(d / "src/\u03A9.html", "x"); },
         "the file name \"\u03A9.html\" holds \"\u03A9\" (U+03A9), which Windows-1252 cannot hold"},
        {"4 GiB",
         [](auto& d, auto&) {
             // Sparse: no data is written, and the size alone is refused.
             std::ofstream(d / "src/huge.bin").close();
             fs::resize_file(d / "src/huge.bin", 0xFFFFFFFFull - 100);
         },
         "the files of \"*/src\" come to 4294967295 bytes; a book holds less than 4 GiB"},
    };
    for (const Refusal& c : cases) {
        test::TempDir dir;
        test::WriteTree(dir / "src", {{"index.html", Text(100, 1)}});
        PackRequest request = Request(dir);
        test::WriteFile(request.output, "old book");  // kept as it was
        c.setUp(dir, request);
        const auto before = test::Names(dir.Path());
        try {
            PackBook(request);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const EPackError& e) {
            EXPECT_TRUE(Like(c.message, e.what())) << c.what << ": " << e.what();
        }
        EXPECT_EQ(test::Names(dir.Path()), before) << c.what;
        if (fs::is_regular_file(dir / "book")) {
            EXPECT_TRUE(test::ReadText(dir / "book") == "old book") << c.what << ": book replaced";
        }
    }
}

TEST(PackBook, ProgressRisesToOneWithTheFilesAndBytes) {
    for (const int level : {0, 6}) {
        test::TempDir dir;
        test::WriteTree(dir / "src",
                        {{"index.html", Text(300000, 1)}, {"a.bin", test::RandomBytes(200000, 2)}});
        PackRequest request = Request(dir);
        request.level = level;
        std::vector<double> seen;
        PackBook(request, [&](const PackStats& stats, double fraction) {
            EXPECT_EQ(stats.files, 2u);
            EXPECT_EQ(stats.bytes, 500000u);
            seen.push_back(fraction);
        });
        ASSERT_GE(seen.size(), 3u) << level;
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << level;
        EXPECT_GE(seen.front(), 0.0);
        EXPECT_EQ(seen.back(), 1.0);
    }
}

TEST(PackBook, AFailureWhileWritingLeavesNoFile) {
    test::TempDir dir;
    test::WriteTree(dir / "src",
                    {{"index.html", Text(100, 1)}, {"z.bin", test::RandomBytes(100000, 2)}});
    PackRequest request = Request(dir);
    request.level = 0;  // no size checks: the first progress comes from the archive writer
    const auto before = test::Names(dir.Path());
    bool removed = false;
    const auto pullTheRug = [&](const PackStats&, double) {
        if (!removed) removed = fs::remove(dir / "src/z.bin");
    };
    EXPECT_THROW(PackBook(request, pullTheRug), EPackError);
    EXPECT_TRUE(removed);
    EXPECT_EQ(test::Names(dir.Path()), before);
}

}  // namespace
}  // namespace pagorix
