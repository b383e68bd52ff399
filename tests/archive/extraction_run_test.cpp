#include <gtest/gtest.h>

#include <memory>

#include "archive/archive_errors.h"
#include "archive/extraction_run.h"
#include "archive/local_bit_reader.h"
#include "archive/unzipper.h"
#include "archive_test_support.h"

namespace pagorix {
namespace {

using test::BackendDouble;
using test::Bytes;

// An archive of one stored entry "e" whose data the frame reads as an
// entry's compressed bytes. cutAfter > 0 cuts the file after that many data
// bytes (the directory is then rebuilt from the local header).
class Frame {
public:
    explicit Frame(const Bytes& data, size_t cutAfter = 0, std::uint16_t flags = 0) {
        test::EntryPlan plan{"e", data};
        plan.flags = flags;
        Bytes bytes = test::BuildZip({plan}).bytes;
        if (cutAfter > 0) bytes.resize(30 + 1 + cutAfter);
        test::WriteFile(m_dir / "frame.zip", bytes);
        zip.IncompleteZipMode = izAssumeBad;
        zip.SetZipName(m_dir / "frame.zip");
        zip.OpenZip();
        zip.CurrentEntry().Assign(*zip.Directory()->Entry(0));
        zip.ZipStream()->Seek(30 + 1, soFromBeginning);
        run = std::make_unique<ExtractionRun>(zip);
    }
    void Start() { run->StartEntry(nullptr); }

    TUnZipper zip;
    std::unique_ptr<ExtractionRun> run;

private:
    test::TempDir m_dir;
};

// Without pumping, a cancel asked for is not honoured: every byte still comes,
// and the request stays.
TEST(NextByte, DeliversEveryByteRefillingEvery16000AndNothingPastTheEnd) {
    const Bytes data = test::RandomBytes(40000, 5);
    for (const bool pumping : {true, false}) {
        BackendDouble backend;
        Frame frame(data);
        frame.zip.DoProcessMessages = pumping;
        frame.Start();
        if (!pumping) frame.zip.CancelUnZip();
        std::vector<int> pumpsAt;
        for (size_t i = 0; i < data.size(); ++i) {
            const int before = backend.pumps;
            std::uint16_t b = 0xFFFF;
            ASSERT_EQ(frame.run->NextByte(b), 8);
            ASSERT_EQ(b, data[i]) << i;
            if (backend.pumps != before) pumpsAt.push_back(static_cast<int>(i));
        }
        EXPECT_EQ(pumpsAt, pumping ? std::vector<int>({0, 16000, 32000}) : std::vector<int>());
        std::uint16_t b = 0x1234;
        EXPECT_EQ(frame.run->NextByte(b), 0);
        EXPECT_EQ(b, 0x1234);
        EXPECT_EQ(frame.run->NextByte(b), 0);
        EXPECT_EQ(frame.run->CompressedLeft, -2);
        EXPECT_EQ(frame.zip.Cancelled(), !pumping);
    }
}

TEST(NextByte, BulkTakesChangeNothingObservable) {
    const Bytes data = test::RandomBytes(40000, 6);
    BackendDouble backend;
    Frame frame(data);
    frame.Start();
    Bytes got;
    int step = 0;
    while (got.size() < data.size()) {
        const std::int32_t bulk = frame.run->BulkAvailable();
        if (bulk >= 8 && (++step % 3) != 0) {
            const std::int32_t n = std::min<std::int32_t>(bulk, 1 + step % 700);
            const std::uint8_t* p = frame.run->TakeBulk(n);
            got.insert(got.end(), p, p + n);
            EXPECT_EQ(frame.run->LastByte, got.back());
        } else {
            std::uint16_t b = 0;
            ASSERT_EQ(frame.run->NextByte(b), 8);
            got.push_back(static_cast<std::uint8_t>(b));
        }
    }
    EXPECT_EQ(got, data);
    EXPECT_EQ(backend.pumps, 3);
    EXPECT_EQ(frame.run->BulkAvailable(), 0);
}

TEST(BitReaders, LocalReaderCopiesTheLastBytePastTheEnd) {
    Frame frame({0xAB, 0xCD});
    frame.Start();
    LocalBitReader<ExtractionRun> reader(*frame.run);
    reader.EnsureBits(32);
    EXPECT_EQ(reader.Bits(16), 0xCDABu);
    reader.DropBits(12);
    EXPECT_EQ(reader.Bits(16), 0xDCDCu);
    EXPECT_EQ(reader.Count(), 20u);
}

TEST(BitReaders, SharedReaderMasksAndReportsExhaustion) {
    Frame frame({0xB4, 0xFF, 0x01});
    frame.Start();
    EXPECT_EQ(frame.run->ReadBits(3), 4);      // 100
    EXPECT_EQ(frame.run->ReadBits8(5), 0x16);  // 10110
    EXPECT_FALSE(frame.run->InputExhausted);
    EXPECT_EQ(frame.run->ReadBits(12), 0x1FF);
    EXPECT_EQ(frame.run->ReadBits(8), 0);  // nothing more arrived
    EXPECT_TRUE(frame.run->InputExhausted);
    EXPECT_EQ(mask[0], 0);
    EXPECT_EQ(mask[9], 0x1FF);
    EXPECT_EQ(mask[16], 0xFFFF);
}

// While pumping, a cancel asked for at a refill stops the run there.
TEST(NextByte, CancelIsHonouredAtARefillWhilePumping) {
    BackendDouble backend;
    Frame frame(Bytes(20000, 7));
    backend.onPump = [&] { frame.zip.CancelUnZip(); };
    frame.Start();
    std::uint16_t b = 0;
    try {
        frame.run->NextByte(b);
        FAIL() << "no exception";
    } catch (const EUserCanceled& e) {
        EXPECT_STREQ(e.what(), "User Aborted Operation");
    }
    EXPECT_FALSE(frame.zip.Cancelled());
}

TEST(Output, FlushesWriteComputeTheCrcAndReportProgress) {
    Frame frame({1});
    frame.zip.CurrentEntry().UncompressedSize = 40000;
    std::vector<int> filePercents;
    frame.zip.OnFilePercentDone = [&](TUnZipper&, std::int32_t p) { filePercents.push_back(p); };
    TMemoryStream out;
    frame.run->StartEntry(&out);
    const Bytes data = test::RandomBytes(40000, 11);
    std::copy(data.begin(), data.begin() + 30000, frame.run->WorkArea.begin());
    for (int i = 0; i < 5000; ++i)
        frame.run->PutByte(data[static_cast<size_t>(i)]);
    frame.run->FlushWindow(30000);  // fills OutBuf to 16,000 once, leaves 19,000 - 16,000
    EXPECT_EQ(frame.run->OutCount, 19000 - 16000);
    EXPECT_EQ(frame.run->OutPtr, frame.run->OutBuf.data() + frame.run->OutCount);
    frame.run->FlushOutput();
    frame.run->FlushOutput();  // nothing waiting: no event
    Bytes expected(data.begin(), data.begin() + 5000);
    expected.insert(expected.end(), data.begin(), data.begin() + 30000);
    EXPECT_EQ(out.Bytes(), expected);
    EXPECT_EQ(~frame.zip.RunningCRC(), Crc32Of(expected.data(), expected.size()));
    EXPECT_EQ(frame.run->EntryBytesOut, 35000);
    EXPECT_EQ(filePercents, (std::vector<int>{40, 80, 88}));
}

}  // namespace
}  // namespace pagorix
