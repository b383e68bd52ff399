#include "streams/file_source.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "framework/exceptions.h"
#include "platform/platform.h"
#include "streams/pmcs.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

using test::Bytes;
using test::ByteWriter;

const std::string kDelim(1, platform::kPathDelim);

std::string TempBase() {
    std::string dir = platform::TempDirectory();
    dir.pop_back();
    return dir + kDelim + "~fs";
}

// An extension no other test or program uses, so that names are ours.
std::string UniqueExtension() {
    std::random_device device;
    return ".pgx" + std::to_string(device() % 1000000);
}

Bytes Blob(TFileSource& source) {
    TMemoryStream blob;
    source.WriteData(blob);
    return blob.Bytes();
}

void Load(TFileSource& target, const Bytes& blob) {
    TMemoryStream stream(blob);
    target.ReadData(stream);
}

TEST(FileSource, ExtensionComesFromTheLastDotAfterAnySeparator) {
    struct Case {
        std::string path, extension;
    } cases[] = {
        {"C:\\dir.x\\file", ""},
        {"clip.avi", ".avi"},
        {"a.b.c", ".c"},
        {"noext", ""},
        {"C:name", ""},
        {"C:.txt", ".txt"},
        {"dir.x" + kDelim + "file", ""},
        {kDelim + "tmp" + kDelim + ".hidden", ".hidden"},
        {"trailing.", "."},
        {"", ""},
    };
    for (const auto& c : cases) {
        TFileSource fs;
        fs.SetExtension(".old");
        fs.SetFileName(c.path);
        EXPECT_EQ(fs.Extension(), c.extension) << c.path;
    }
}

// Each layout saved and loaded again: the blob's shape and the private file
// it gives.
TEST(FileSource, SavesAndLoadsBothLayouts) {
    test::TempDir dir;
    const Bytes clip = ByteWriter().Text("RIFF").U32(1000).Fill(1000, 0x11).Data();
    struct Case {
        const char* name;
        bool compress;
        Bytes content;
        Bytes blobStart;
    } cases[] = {
        {"empty, plain", false, {}, {0, 0, 0, 0}},
        {"clip, plain", false, clip, ByteWriter().U32(1008).Text("RIFF").Data()},
        {"empty, compressed", true, {}, ByteWriter().Text("PMCS10").U32(0).Data()},
        {"clip, compressed", true, clip, ByteWriter().Text("PMCS10").Data()},
        {"random, compressed", true, test::RandomBytes(70000, 3),
         ByteWriter().Text("PMCS10").Data()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / "source.avi";
        test::WriteFile(path, c.content);
        TFileSource saver;
        saver.SetFileName(path);
        saver.SetCompress(c.compress);
        const Bytes blob = Blob(saver);
        ASSERT_GE(blob.size(), c.blobStart.size());
        EXPECT_TRUE(std::equal(c.blobStart.begin(), c.blobStart.end(), blob.begin()));
        if (!c.compress) {
            EXPECT_EQ(blob.size(), c.content.size() + 4);
        }

        TFileSource loader;
        loader.SetCompress(c.compress);
        loader.SetExtension(".avi");
        Load(loader, blob);
        const std::string made = loader.FileName();
        EXPECT_TRUE(loader.OwnsTempFile());
        EXPECT_EQ(made.rfind(TempBase(), 0), 0u) << made;
        EXPECT_EQ(made.substr(made.size() - 4), ".avi");
        if (platform::kPathDelim == '/') {  // private to its owner, where POSIX modes exist
            namespace stdfs = std::filesystem;
            EXPECT_EQ(stdfs::status(made).permissions(),
                      stdfs::perms::owner_read | stdfs::perms::owner_write);
        }
        EXPECT_EQ(test::ReadFile(made), c.content);
    }
}

TEST(FileSource, NameIsSecondsThenTheFirstFreeCounter) {
    // Every first candidate ("~fs" + S + "0") is taken, whatever the seconds;
    // the second candidate ("~fs" + S + "1") can never be one of them.
    const std::string extension = UniqueExtension();
    std::vector<std::string> taken;
    for (int s = 0; s < 60; ++s) {
        taken.push_back(TempBase() + std::to_string(s) + "0" + extension);
        test::WriteFile(taken.back(), "someone else's");
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int before = platform::Now().second;
        TFileSource fs;
        fs.SetExtension(extension);
        const std::string name = fs.MakeTempFileName();
        const int after = platform::Now().second;
        EXPECT_TRUE(test::Exists(name));
        EXPECT_TRUE(test::ReadFile(name).empty());
        platform::RemoveFile(name);
        if (before != after) continue;  // the clock moved on meanwhile: try again
        EXPECT_EQ(name, TempBase() + std::to_string(before) + "1" + extension);
        break;
    }
    for (const auto& t : taken) {
        EXPECT_EQ(test::ReadText(t), "someone else's");
        platform::RemoveFile(t);
    }
}

// The component deletes the files it made, when it drops them or dies, and
// never a file it was only pointed at.
TEST(FileSource, OnlyItsOwnTemporaryFilesAreDeleted) {
    test::TempDir dir;
    const std::string mine = dir / "mine.avi";
    test::WriteFile(mine, "keep me");
    std::string first, second, third;
    {
        TFileSource fs;
        fs.SetFileName(mine);
        Load(fs, {1, 0, 0, 0, 'a'});
        first = fs.FileName();
        fs.SetExtension(".second");   // so that the next name differs from the first
        Load(fs, {1, 0, 0, 0, 'b'});  // loading again drops the first file
        second = fs.FileName();
        EXPECT_FALSE(test::Exists(first));
        EXPECT_EQ(test::ReadText(second), "b");
        fs.SetFileName(mine);  // pointing it elsewhere drops the second
        EXPECT_FALSE(test::Exists(second));
        EXPECT_FALSE(fs.OwnsTempFile());
        EXPECT_EQ(fs.FileName(), mine);
    }
    EXPECT_EQ(test::ReadText(mine), "keep me");
    {
        TFileSource fs;
        Load(fs, {0, 0, 0, 0});
        third = fs.FileName();
        EXPECT_TRUE(test::Exists(third));
    }
    EXPECT_FALSE(test::Exists(third));
    {
        // Deleted by someone else: FileName goes empty, destruction is quiet.
        TFileSource fs;
        Load(fs, {0, 0, 0, 0});
        ASSERT_TRUE(platform::RemoveFile(fs.FileName()));
        EXPECT_EQ(fs.FileName(), "");
        EXPECT_TRUE(fs.OwnsTempFile());
    }
}

TEST(FileSource, SavingAMissingFileWritesNothing) {
    test::TempDir dir;
    const std::string missing = dir / "clip.avi";
    TFileSource fs;
    fs.SetName("fs");
    fs.SetFileName(missing);
    TMemoryStream blob;
    try {
        fs.WriteData(blob);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "fs cannot store file: " + missing + " (file is missing)");
    }
    EXPECT_EQ(blob.Size(), 0);
}

TEST(FileSource, DamagedBlobs) {
    struct Case {
        const char* name;
        bool compress;
        Bytes blob;
        const char* message;
    } cases[] = {
        {"no length", false, {1, 0}, messages::SReadError},
        {"shorter than its length", false, ByteWriter().U32(10).Text("abc").Data(),
         messages::SReadError},
        {"not a container", true, ByteWriter().U32(3).Text("abc").Data(), SPmcsWrongFileType},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string temp;
        {
            TFileSource fs;
            fs.SetCompress(c.compress);
            try {
                Load(fs, c.blob);
                ADD_FAILURE() << "no error";
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message(), c.message);
            }
            // The file was made before the blob failed; it is still ours.
            temp = fs.FileName();
            EXPECT_TRUE(fs.OwnsTempFile());
            EXPECT_TRUE(test::Exists(temp));
        }
        EXPECT_FALSE(test::Exists(temp));
    }
}

}  // namespace
}  // namespace pagorix
