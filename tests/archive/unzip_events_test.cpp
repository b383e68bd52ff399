#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <set>

#include "archive/archive_errors.h"
#include "archive/unzipper.h"
#include "archive/zip_cipher.h"
#include "archive_test_support.h"
#include "framework/dialogs.h"
#include "framework/sysutils.h"
#include "platform/platform.h"

namespace pagorix {
namespace {

using test::BackendDouble;
using test::Bytes;
using test::EntryPlan;
using test::TempDir;

// Records every event as one line of text.
struct Recorder {
    explicit Recorder(TUnZipper& zip, const std::string& base = {}) : m_base(base) {
        zip.OnStartUnZipInfo = [this](TUnZipper&, std::int32_t n, std::int64_t total, bool& stop) {
            log.push_back(Format("info %d %lld", n, static_cast<long long>(total)));
            stop = stopNow;
        };
        zip.OnStartUnZip = [this](TUnZipper&, std::int32_t i, const std::string& name, bool& skip) {
            log.push_back(Format("start %d %s", i, Shown(name).c_str()));
            skip = skipIndex == i;
            if (onStart) onStart(i);
        };
        zip.OnFilePercentDone = [this](TUnZipper&, std::int32_t p) {
            log.push_back(Format("file %d", p));
        };
        zip.OnTotalPercentDone = [this](TUnZipper&, std::int32_t p) {
            log.push_back(Format("total %d", p));
        };
        zip.OnEndUnZip = [this](TUnZipper&, std::int32_t i, const std::string& name) {
            log.push_back(Format("end %d %s", i, Shown(name).c_str()));
        };
        zip.OnSkippingFile = [this](TUnZipper&, TSkipReason r, std::int32_t i) {
            log.push_back(Format("skip %d reason %d", i, static_cast<int>(r)));
        };
        zip.OnBadPassword = [this](TUnZipper&, std::int32_t i) {
            log.push_back(Format("badpassword %d", i));
        };
        zip.OnBadCRC = [this](TUnZipper&, std::uint32_t calc, std::uint32_t stored,
                              std::int32_t i) {
            log.push_back(Format("badcrc %d %08x %08x", i, calc, stored));
        };
    }
    // Paths relative to the destination, with "/" separators.
    std::string Shown(std::string path) const {
        if (!m_base.empty() && path.rfind(m_base, 0) == 0) path = path.substr(m_base.size());
        for (char& c : path) {
            if (c == platform::kPathDelim) c = '/';
        }
        return path;
    }
    std::vector<std::string> log;
    bool stopNow = false;
    int skipIndex = -1;
    std::function<void(int)> onStart;

private:
    std::string m_base;
};

std::vector<std::string> Only(const std::vector<std::string>& log,
                              const std::set<std::string>& kinds) {
    std::vector<std::string> out;
    for (const auto& line : log) {
        if (kinds.count(line.substr(0, line.find(' '))) != 0) out.push_back(line);
    }
    return out;
}

// An entry encrypted the way zip -P does it, the check byte from the CRC.
EntryPlan Encrypted(const std::string& name, const Bytes& plain, const std::string& password) {
    const std::uint32_t crc = Crc32Of(plain.data(), plain.size());
    Bytes header = test::RandomBytes(12, 77);
    header[11] = static_cast<std::uint8_t>(crc >> 24);
    ZipCipher cipher;
    cipher.InitKeys(password);
    header.insert(header.end(), plain.begin(), plain.end());
    Bytes data;
    for (const std::uint8_t p : header) {
        data.push_back(static_cast<std::uint8_t>(p ^ cipher.DecryptByte()));
        cipher.UpdateKeys(p);
    }
    EntryPlan plan{name, data};
    plan.flags = 1;
    plan.computeCrc = false;
    plan.crc = crc;
    plan.uncompressedSize = static_cast<std::int64_t>(plain.size());
    return plan;
}

class UnZipTest : public ::testing::Test {
protected:
    std::string Archive(const std::vector<EntryPlan>& entries) {
        test::WriteFile(dir / "a.zip", test::BuildZip(entries).bytes);
        return dir / "a.zip";
    }
    std::string Out(const std::string& name) const { return out + platform::kPathDelim + name; }
    // Every entry of the archive, into dest (out unless given).
    void Prepare(TUnZipper& zip, const std::string& archive, const std::string& dest = {}) {
        zip.SetZipName(archive);
        zip.SetDestDir(dest.empty() ? out : dest);
        zip.DoAll = true;
    }

    TempDir dir;
    std::string out = dir / "out";
    BackendDouble backend;
};

TEST_F(UnZipTest, CleanEntriesExtractWithTheirEventsInOrder) {
    const Bytes big = test::RandomBytes(40000, 1);
    TUnZipper zip;
    Prepare(zip, Archive({{"big.bin", big}, {"empty.txt", {}}, {"d/sub/n.txt", Bytes(10, 'n')}}));
    zip.RecreateDirs = true;
    Recorder rec(zip, out);
    EXPECT_EQ(zip.UnZip(), 3);
    EXPECT_EQ(rec.log,
              (std::vector<std::string>{
                  "info 3 40010", "start 0 /big.bin", "file 40", "total 40", "file 80", "total 80",
                  "file 100", "total 100", "end 0 /big.bin", "start 1 /empty.txt",
                  "end 1 /empty.txt",  // no progress event
                  "start 2 /d/sub/n.txt", "file 100", "total 100", "end 2 /d/sub/n.txt"}));
    EXPECT_EQ(test::ReadFile(Out("big.bin")), big);
    EXPECT_TRUE(test::Exists(Out("empty.txt")));
    EXPECT_EQ(test::ReadText(Out("d" + std::string(1, platform::kPathDelim) + "sub" +
                                 platform::kPathDelim + "n.txt")),
              std::string(10, 'n'));
    EXPECT_EQ(zip.ZipStream(), nullptr);  // released at the end
    EXPECT_EQ(zip.TotalBytes(), 40010);
    EXPECT_EQ(zip.BytesDone(), 40010);
}

TEST_F(UnZipTest, FilesKeepTheEntrysDateAndReadOnlyAttribute) {
    EntryPlan writable{"rw.txt", Bytes(5000, 'w')};
    EntryPlan readOnly{"ro.txt", Bytes(7, 'r')};
    readOnly.externalAttrs = 0x21;  // archive, read-only
    for (EntryPlan* e : {&writable, &readOnly})
        e->dosDateTime = 0x3A218C40;  // 2009-01-01 17:34:00
    TUnZipper zip;
    Prepare(zip, Archive({writable, readOnly}));
    EXPECT_EQ(zip.UnZip(), 2);
    std::tm local{};
    local.tm_year = 109;
    local.tm_mday = 1;
    local.tm_hour = 17;
    local.tm_min = 34;
    local.tm_isdst = -1;
    const double expected = static_cast<double>(std::mktime(&local));
    for (const char* name : {"rw.txt", "ro.txt"}) {
        EXPECT_EQ(platform::FileModifiedSeconds(Out(name)).value_or(-1), expected) << name;
    }
    EXPECT_EQ(platform::FileAttributes(Out("rw.txt")) & platform::faReadOnly, 0);
    EXPECT_NE(platform::FileAttributes(Out("ro.txt")) & platform::faReadOnly, 0);
    platform::ChangeFileAttributes(Out("ro.txt"), platform::faArchive);
}

TEST_F(UnZipTest, SelectionByPatternsAndDirectories) {
    const std::vector<EntryPlan> entries = {{"index.htm", Bytes(1, 'i')},
                                            {"DOCS/", {}},
                                            {"DOCS/Intro.HTM", Bytes(2, 'd')},
                                            {"img/logo.gif", Bytes(3, 'g')}};
    const struct {
        std::vector<std::string> patterns;
        bool doAll, recreate;
        std::int32_t result;
        std::vector<std::string> started;
    } cases[] = {
        {{"*.htm"}, false, false, 2, {"start 0 /index.htm", "start 2 /Intro.HTM"}},
        {{"docs\\*"}, false, true, 2, {"start 1 /DOCS/", "start 2 /DOCS/Intro.HTM"}},
        {{"LOGO.GIF", "*.htm"},
         false,
         true,
         3,
         {"start 0 /index.htm", "start 2 /DOCS/Intro.HTM", "start 3 /img/logo.gif"}},
        {{}, true, false, 3, {"start 0 /index.htm", "start 2 /Intro.HTM", "start 3 /logo.gif"}},
        {{}, false, false, 0, {}},
    };
    const std::string archive = Archive(entries);
    for (const auto& c : cases) {
        TempDir target;
        TUnZipper zip;
        Prepare(zip, archive, target.Path());
        zip.DoAll = c.doAll;
        zip.RecreateDirs = c.recreate;
        for (const auto& p : c.patterns)
            zip.FilesList.Add(p);
        Recorder rec(zip, target.Path());
        EXPECT_EQ(zip.UnZip(), c.result) << c.patterns.size();
        EXPECT_EQ(Only(rec.log, {"start"}), c.started);
    }
}

TEST_F(UnZipTest, WrongPasswordSkipsTheEntryAndGoesOn) {
    TUnZipper zip;
    Prepare(zip, Archive({Encrypted("secret.txt", Bytes(100, 's'), "right"),
                          {"plain.txt", Bytes(5, 'p')},
                          Encrypted("other.txt", Bytes(7, 'o'), "right")}));
    zip.Password = "wrong";
    Recorder rec(zip, out);
    EXPECT_EQ(zip.UnZip(), 1);
    EXPECT_EQ(rec.log,
              (std::vector<std::string>{"info 3 112", "badpassword 0", "skip 0 reason 0",
                                        "start 1 /plain.txt", "file 100", "total 4",
                                        "end 1 /plain.txt", "badpassword 2", "skip 2 reason 0"}));
    EXPECT_FALSE(test::Exists(Out("secret.txt")));
    EXPECT_TRUE(test::Exists(Out("plain.txt")));

    zip.Password = "right";
    rec.log.clear();
    zip.OverwriteMode = TUZOverwriteMode::Always;
    EXPECT_EQ(zip.UnZip(), 3);
    EXPECT_EQ(test::ReadText(Out("secret.txt")), std::string(100, 's'));
}

// Each row: entries of which some fail, what is reported, what is left. A
// failed entry leaves no file and the run goes on with the next entry.
TEST_F(UnZipTest, FailedEntriesAreReportedRemovedAndTheRunGoesOn) {
    EntryPlan badCrc{"bad.txt", Bytes(10, 'b')};
    badCrc.computeCrc = false;
    badCrc.crc = 0x12345678;
    EntryPlan encBad = Encrypted("enc.txt", Bytes(10, 'e'), "pw");
    encBad.data.back() ^= 0xFF;  // damaged data: the header check passes, the CRC fails
    EntryPlan tokenized{"t.dat", Bytes(10, 't')};
    tokenized.method = 7;
    EntryPlan unknownEmpty{"e.dat", {}};  // stored CRC 0 matches nothing written
    unknownEmpty.method = 99;
    EntryPlan shortData{"short.dat", {}};  // CRC 0, nothing there, 100,000 bytes declared
    shortData.uncompressedSize = 100000;
    const EntryPlan good{"z.txt", Bytes(3, 'z')};
    const std::string tooLong(256, 'n');
    std::string deepPath;  // short folder names, far more of them than a path takes
    for (int i = 0; i < 30000; ++i)
        deepPath += "a/";
    deepPath += "f";

    const std::string badCrcEvent =
        Format("badcrc 0 %08x 12345678", Crc32Of(badCrc.data.data(), badCrc.data.size()));

    // Each row is followed by the good entry z.txt, written at the end.
    const struct {
        const char* what;
        int boxes;
        std::vector<EntryPlan> entries;
        std::vector<std::string> events;
    } cases[] = {
        {"bad CRC-32", 0, {badCrc}, {badCrcEvent}},
        {"encrypted, bad CRC-32", 0, {encBad}, {"badpassword 0", "skip 0 reason 0"}},
        {"unknown methods", 2, {tokenized, unknownEmpty}, {"skip 0 reason 8", "skip 1 reason 8"}},
        {"fewer bytes than declared", 0, {shortData}, {"skip 0 reason 7"}},
        {"a file where a folder is needed",
         0,
         {{"docs", Bytes(1, 'd')}, {"docs/page.txt", Bytes(1, 'p')}},
         {"end 0 /docs", "skip 1 reason 4"}},
        {"a name longer than the host takes", 0, {{tooLong, Bytes(1, 'l')}}, {"skip 0 reason 3"}},
        {"a path of 60,000 bytes", 0, {{deepPath, Bytes(1, 'f')}}, {"skip 0 reason 3"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<EntryPlan> entries = c.entries;
        entries.push_back(good);
        std::vector<std::string> events = c.events;
        events.push_back("end " + std::to_string(c.entries.size()) + " /z.txt");
        TempDir target;
        backend.boxes.clear();
        TUnZipper zip;
        Prepare(zip, Archive(entries), target.Path());
        zip.RecreateDirs = true;
        zip.Password = "pw";
        Recorder rec(zip, target.Path());
        EXPECT_EQ(zip.UnZip(), static_cast<std::int32_t>(Only(events, {"end"}).size()));
        EXPECT_EQ(Only(rec.log, {"badcrc", "badpassword", "skip", "end"}), events);
        EXPECT_EQ(static_cast<int>(backend.boxes.size()), c.boxes);
        EXPECT_FALSE(test::Exists(target / "a"));  // no folder made for a refused path
        for (size_t i = 0; i < entries.size(); ++i) {
            const std::string end = "end " + std::to_string(i) + " /" + entries[i].name;
            if (std::find(events.begin(), events.end(), end) == events.end()) {
                EXPECT_FALSE(test::Exists(target / entries[i].name)) << entries[i].name;
            }
        }
    }
}

// An entry that claims more data than the archive holds writes only what is
// there (stored), or is stopped soon after its data ends (a reduced entry
// claiming hundreds of megabytes), and fails; the entries before it are
// written.
TEST_F(UnZipTest, EntriesCutByTheEndOfTheFile) {
    const test::BuiltZip built = test::BuildZip({{"cut.bin", test::RandomBytes(40000, 3)}});
    Bytes cut = built.bytes;
    cut.resize(30 + 7 + 20000);  // header, name, half of the data
    test::WriteFile(dir / "cut.zip", cut);
    // The second entry claims about 1,000,000 compressed bytes in its central
    // record.
    test::BuiltZip two =
        test::BuildZip({{"a.txt", Bytes(2, 'a')}, {"cut.bin", test::RandomBytes(40000, 3)}});
    two.bytes[two.centralPositions[1] + 22] = 0x0F;
    test::WriteFile(dir / "past.zip", two.bytes);
    const std::string data = test::TestDataDir() + platform::kPathDelim;
    const struct {
        std::string path;
        std::vector<std::string> written;  // and the skip, where checked
    } cases[] = {
        {dir / "cut.zip", {}},
        {dir / "past.zip", {"end 0 /a.txt", "skip 1 reason 6"}},  // premature end
        {data + "zip_stored_entry_larger_than_the_file.zip", {}},
        {data + "zip_reduced_entry_claims_83mb_without_data.zip", {}},
        {data + "zip_reduced_entry_claims_958mb_from_little_data.zip", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        TUnZipper zip;
        zip.IncompleteZipMode = izAssumeBad;
        zip.OverwriteMode = TUZOverwriteMode::Always;
        Prepare(zip, c.path);
        Recorder rec(zip, out);
        try {
            EXPECT_EQ(zip.UnZip(), static_cast<std::int32_t>(Only(c.written, {"end"}).size()));
        } catch (const EFatalUnzipError&) {
            // Refused whole: its directory does not hold together.
        }
        EXPECT_LE(zip.BytesDone(), 1 << 20);
        EXPECT_EQ(Only(rec.log, {"end"}), Only(c.written, {"end"}));
        if (!Only(c.written, {"skip"}).empty()) {
            EXPECT_EQ(Only(rec.log, {"skip"}), Only(c.written, {"skip"}));
        }
    }
    EXPECT_FALSE(test::Exists(Out("cut.bin")));
}

TEST_F(UnZipTest, StopNowAndSkipLeaveExistingFilesAlone) {
    const std::string archive = Archive({{"a.txt", Bytes(3, 'a')}, {"b.txt", Bytes(3, 'b')}});
    platform::MakeDirectory(out);
    test::WriteFile(Out("a.txt"), std::string("old"));
    {
        TUnZipper zip;
        Prepare(zip, archive);
        Recorder rec(zip, out);
        rec.stopNow = true;
        EXPECT_EQ(zip.UnZip(), 2);
        EXPECT_EQ(rec.log, (std::vector<std::string>{"info 2 6"}));
        EXPECT_FALSE(test::Exists(Out("b.txt")));
    }
    TUnZipper zip;
    Prepare(zip, archive);
    zip.OverwriteMode = TUZOverwriteMode::Always;
    Recorder rec(zip, out);
    rec.skipIndex = 0;
    EXPECT_EQ(zip.UnZip(), 1);
    EXPECT_EQ(test::ReadText(Out("a.txt")), "old");
    EXPECT_EQ(test::ReadText(Out("b.txt")), "bbb");
}

TEST_F(UnZipTest, OverwriteModes) {
    const std::string archive = Archive({{"a.txt", Bytes(3, 'a')}});
    platform::MakeDirectory(out);
    struct Case {
        const char* what;
        TUZOverwriteMode mode;
        int handler;  // -1 none (message box), 0 refuses, 1 accepts, 2 renames
        int boxAnswer;
        std::string written;  // the name written to; empty when the entry is skipped
        const char* content;  // a.txt afterwards
    } cases[] = {
        {"never", TUZOverwriteMode::Never, -1, 0, "", "old"},
        {"always", TUZOverwriteMode::Always, -1, 0, "a.txt", "aaa"},
        {"prompt refused", TUZOverwriteMode::Prompt, 0, 0, "", "old"},
        {"prompt accepted", TUZOverwriteMode::Prompt, 1, 0, "a.txt", "aaa"},
        {"prompt renames", TUZOverwriteMode::Prompt, 2, 0, "renamed.txt", "old"},
        {"box says no", TUZOverwriteMode::Prompt, -1, kIdNo, "", "old"},
        {"box says yes", TUZOverwriteMode::Prompt, -1, kIdYes, "a.txt", "aaa"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteFile(Out("a.txt"), std::string("old"));
        backend.boxes.clear();
        backend.boxAnswer = c.boxAnswer;
        TUnZipper zip;
        Prepare(zip, archive);
        zip.OverwriteMode = c.mode;
        Recorder rec(zip, out);
        if (c.handler >= 0) {
            zip.OnPromptForOverwrite = [&](TUnZipper&, bool& overwrite, std::int32_t,
                                           std::string& name) {
                overwrite = c.handler != 0;
                if (c.handler == 2) name = Out("renamed.txt");
            };
        }
        EXPECT_EQ(zip.UnZip(), c.written.empty() ? 0 : 1);
        EXPECT_EQ(test::ReadText(Out("a.txt")), c.content);
        const std::vector<std::string> events =
            c.written.empty()
                ? std::vector<std::string>{"skip 0 reason 1"}
                : std::vector<std::string>{"start 0 /" + c.written, "end 0 /" + c.written};
        EXPECT_EQ(Only(rec.log, {"start", "end", "skip"}), events);
        if (c.handler < 0 && c.mode == TUZOverwriteMode::Prompt) {
            EXPECT_EQ(backend.boxes,
                      (std::vector<std::string>{"File Exists Alert|Replace existing file a.txt?"}));
        }
    }
}

TEST_F(UnZipTest, UnsafeNamesAreNeverWritten) {
    TUnZipper zip;
    Prepare(zip, Archive({{"../evil.txt", Bytes(1, 'e')},
                          {"a/../../evil2.txt", Bytes(1, 'e')},
                          {"..", Bytes(1, 'e')},
                          {"/abs/x.txt", Bytes(1, 'x')},
                          {"ok/fine.txt", Bytes(1, 'f')},
                          {std::string("cut\0.txt", 8), Bytes(1, 'c')}}));
    zip.RecreateDirs = true;
    Recorder rec(zip, out);
    EXPECT_EQ(zip.UnZip(), 2);
    EXPECT_EQ(
        Only(rec.log, {"skip", "end"}),
        (std::vector<std::string>{"skip 0 reason 2", "skip 1 reason 2", "skip 2 reason 2",
                                  "end 3 /abs/x.txt", "end 4 /ok/fine.txt", "skip 5 reason 2"}));
    EXPECT_FALSE(test::Exists(dir / "evil.txt"));
    EXPECT_FALSE(test::Exists(Out("cut")));
    EXPECT_FALSE(test::Exists(dir.Path() + platform::kPathDelim + ".." + platform::kPathDelim +
                              "evil2.txt"));

    // Without stored directories the names alone count: "../evil.txt" is
    // evil.txt in the destination.
    TempDir flat;
    TUnZipper junk;
    Prepare(junk, dir / "a.zip", flat.Path());
    EXPECT_EQ(junk.UnZip(), 4);  // "..", and the name with a NUL byte, are still skipped
    EXPECT_TRUE(test::Exists(flat / "evil.txt"));
}

TEST_F(UnZipTest, CloseZipFromAHandlerWaitsForTheRunToEnd) {
    TUnZipper zip;
    Prepare(zip, Archive({{"a.txt", Bytes(3, 'a')}, {"b.txt", Bytes(3, 'b')}}));
    Recorder rec(zip, out);
    rec.onStart = [&](int i) {
        if (i == 0) {
            zip.CloseZip();
            zip.SetZipName(dir / "other.zip");
        }
    };
    EXPECT_EQ(zip.UnZip(), 2);
    EXPECT_EQ(test::ReadText(Out("b.txt")), "bbb");
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_TRUE(SameText(zip.ZipName(), dir / "other.zip"));
}

TEST_F(UnZipTest, RelativeDestinationIsTakenFromTheCurrentDirectory) {
    const std::string archive = Archive({{"r.txt", Bytes(2, 'r')}});
    const std::string saved = platform::CurrentDirectory();
    ASSERT_TRUE(platform::ChangeDirectory(dir.Path()));
    TUnZipper zip;
    Prepare(zip, archive, "rel");
    EXPECT_EQ(zip.UnZip(), 1);
    EXPECT_EQ(platform::CurrentDirectory(), dir.Path());
    platform::ChangeDirectory(saved);
    EXPECT_EQ(test::ReadText(dir / "rel" + platform::kPathDelim + "r.txt"), "rr");
}

TEST_F(UnZipTest, SplitArchiveExtractsInPhysicalOrderAndAsksForVolumes) {
    const std::string path = test::CorpusPath("iz_split.zip");
    TUnZipper zip;
    zip.SetZipName(path);
    zip.TestMode = true;
    zip.DoAll = true;
    zip.SortMode = TZipSortMode::ByUnCompressedSize;
    std::vector<int> disks;
    zip.OnGetNextDisk = [&](TUnZipper&, std::int32_t disk, std::string& name) {
        disks.push_back(disk);
        name = disk == 3 ? path : path.substr(0, path.size() - 4) + Format(".z%02d", disk);
    };
    std::vector<std::string> order;
    zip.OnStartUnZip = [&](TUnZipper& z, std::int32_t i, const std::string&, bool&) {
        order.push_back(z.SortedView()->Entry(i)->EntryName);
    };
    // rand100.bin starts in the first volume and runs on through both others.
    EXPECT_EQ(zip.UnZip(), 3);
    EXPECT_EQ(order, (std::vector<std::string>{"licenses.txt", "prog.bin", "rand100.bin"}));
    EXPECT_EQ(disks, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(zip.SortMode, TZipSortMode::ByUnCompressedSize);
    EXPECT_EQ(zip.EntryNames(0), "rand100.bin");

    // A volume nobody supplies ends the run.
    TUnZipper missing;
    missing.SetZipName(path);
    missing.TestMode = true;
    missing.DoAll = true;
    missing.OnGetNextDisk = [](TUnZipper&, std::int32_t, std::string& name) { name.clear(); };
    try {
        missing.UnZip();
        FAIL() << "no exception";
    } catch (const EUserCanceled& e) {
        EXPECT_STREQ(e.what(), "User canceled loading new disk.");
    }
}

// Stored entries let the message loop run at every block and stop on Cancel
// there, like the decoders.
TEST_F(UnZipTest, StoredEntriesPumpMessagesAndHonourCancel) {
    const std::string archive = Archive({{"big.bin", test::RandomBytes(40000, 8)}});
    {
        TUnZipper zip;
        Prepare(zip, archive);
        EXPECT_EQ(zip.UnZip(), 1);
        EXPECT_EQ(backend.pumps, 3);  // 16,000 + 16,000 + 8,000 bytes
    }
    TUnZipper zip;
    Prepare(zip, archive);
    zip.OverwriteMode = TUZOverwriteMode::Always;
    backend.onPump = [&] { zip.CancelUnZip(); };
    EXPECT_THROW(zip.UnZip(), EUserCanceled);
}

// Every entry of the corpus extracts with its CRC-32 and size.
TEST_F(UnZipTest, EveryCorpusEntryExtracts) {
    int checked = 0;
    for (const char* tsv : {"expected_generated.tsv", "expected_external.tsv"}) {
        for (const auto& [archive, rows] :
             test::LoadExpected(test::CorpusDir() + platform::kPathDelim + tsv)) {
            SCOPED_TRACE(archive);
            TempDir target;
            TUnZipper zip;
            const std::string path = test::CorpusPath(archive);
            test::UseSplitNaming(zip, path);
            Prepare(zip, path, target.Path());
            zip.RecreateDirs = true;
            zip.Password = "RKTM4V?PQ918XN2";
            // With RecreateDirs the directory entries count too.
            EXPECT_EQ(zip.UnZip(), static_cast<std::int32_t>(rows.size()));
            for (const auto& row : rows) {
                if (row.name.back() == '/') continue;
                ++checked;
                std::string file = target.Path() + platform::kPathDelim + row.name;
                for (char& c : file)
                    c = c == '/' ? platform::kPathDelim : c;
                const Bytes ours = test::ReadFile(file);
                EXPECT_EQ(ours.size(), row.size) << row.name;
                EXPECT_EQ(Crc32Of(ours.data(), ours.size()), row.crc) << row.name;
            }
        }
    }
    EXPECT_GT(checked, 380);
}

}  // namespace
}  // namespace pagorix
