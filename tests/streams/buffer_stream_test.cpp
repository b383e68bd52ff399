#include "streams/buffer_stream.h"

#include <gtest/gtest.h>

#include <numeric>

#include "framework/exceptions.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

using test::Bytes;
using test::CountingStream;

CountingStream FileOf(size_t size) {
    Bytes bytes(size);
    std::iota(bytes.begin(), bytes.end(), 0);
    return CountingStream(bytes);
}

TEST(BufferStreamRead, FetchesWholeBuffersFromTheUnderlyingStream) {
    CountingStream file = FileOf(20000);
    TS_BufferStream stream(&file);
    Bytes out(20000);

    // Each step: bytes asked, bytes expected, fills seen by then.
    struct Step {
        std::int32_t ask, got;
        size_t fills;
        std::int64_t position, underlying;
    } steps[] = {
        {10, 10, 1, 10, 8192},          // the first read fills one buffer
        {8182, 8182, 1, 8192, 8192},    // the rest of that buffer: no new fill
        {8190, 8190, 2, 16382, 16384},  // the second fill
        // The end: fewer than asked (a third fill, then an empty one), then 0.
        {5000, 3618, 4, 20000, 20000},
        {10, 0, 5, 20000, 20000},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(stream.Read(out.data(), s.ask), s.got);
        EXPECT_EQ(file.reads.size(), s.fills) << "after asking " << s.ask;
        EXPECT_EQ(stream.Position(), s.position);
        EXPECT_EQ(file.Position(), s.underlying);
    }
    for (std::int32_t r : file.reads)
        EXPECT_EQ(r, kBufferStreamSize);
}

// Put-back gives the byte read last to the next read; on a new stream, with
// nothing read, it fails. A bad seek origin is a general error, not a stream
// error. The messages come from the string table.
TEST(BufferStream, PutBackAndTheErrorMessages) {
    CountingStream file = FileOf(20000);
    TS_BufferStream stream(&file);
    try {
        stream.PutBack(1);
        ADD_FAILURE() << "put-back on a new stream must fail";
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message(), "Putback overflow");
    }
    std::uint8_t b[5];
    ASSERT_EQ(stream.Read(b, 5), 5);
    EXPECT_EQ(stream.Position(), 5);
    EXPECT_EQ(file.Position(), 8192);
    stream.PutBack(b[4]);
    EXPECT_EQ(stream.Position(), 4);
    std::uint8_t again = 0;
    ASSERT_EQ(stream.Read(&again, 1), 1);
    EXPECT_EQ(again, 4);
    try {
        stream.Seek(0, 3);
        ADD_FAILURE() << "origin 3 must fail";
    } catch (const EStreamError&) {
        ADD_FAILURE() << "a bad origin is a general error, not a stream error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Invalid seek origin (3)");
    }
}

TEST(BufferStreamSeek, FromEndIgnoresTheSignAndSameSpotKeepsTheBuffer) {
    CountingStream file = FileOf(100);
    TS_BufferStream stream(&file);
    EXPECT_EQ(stream.Seek(10, soFromEnd), 90);
    EXPECT_EQ(stream.Seek(-10, soFromEnd), 90);
    std::uint8_t b = 0;
    ASSERT_EQ(stream.Read(&b, 1), 1);
    EXPECT_EQ(b, 90);
    const size_t fills = file.reads.size();
    EXPECT_EQ(stream.Seek(0, soFromCurrent), 91);
    EXPECT_EQ(stream.Seek(91, soFromBeginning), 91);
    ASSERT_EQ(stream.Read(&b, 1), 1);
    EXPECT_EQ(b, 91);
    EXPECT_EQ(file.reads.size(), fills) << "a seek to the current position must keep the buffer";
}

TEST(BufferStreamWrite, PendingBytesStayInTheBufferUntilNeeded) {
    CountingStream file;
    {
        TS_BufferStream stream(&file);
        EXPECT_EQ(stream.Write("abc", 3), 3);
        EXPECT_EQ(file.Size(), 0);
        EXPECT_EQ(stream.Position(), 3);
        EXPECT_EQ(stream.Size(), 3);
    }
    EXPECT_EQ(file.Size(), 3) << "destroying the stream writes what is pending";

    CountingStream big;
    TS_BufferStream stream(&big);
    const Bytes data = test::RandomBytes(20000, 7);
    EXPECT_EQ(stream.Write(data.data(), 20000), 20000);
    EXPECT_EQ(big.writes, (std::vector<std::int32_t>{8192, 8192}));
    EXPECT_EQ(stream.Position() - big.Size(), 3616);
}

TEST(BufferStreamWrite, ExactlyOneBufferThenReadDoesNotReturnStaleBytes) {
    // A write of exactly one buffer leaves nothing pending; a read right after
    // must come from the underlying stream, not from the buffer's old bytes.
    CountingStream file = FileOf(10000);
    TS_BufferStream stream(&file);
    const Bytes data(8192, 0xEE);
    ASSERT_EQ(stream.Write(data.data(), 8192), 8192);
    std::uint8_t b = 0;
    ASSERT_EQ(stream.Read(&b, 1), 1);
    EXPECT_EQ(b, static_cast<std::uint8_t>(8192 & 0xFF));
    EXPECT_EQ(stream.Position(), 8193);
}

TEST(BufferStreamWrite, WriteAfterAReadThatReachedTheEndDoesNotHang) {
    CountingStream file = FileOf(4);
    TS_BufferStream stream(&file);
    std::uint8_t b[8];
    ASSERT_EQ(stream.Read(b, 8), 4);
    EXPECT_EQ(stream.Write("xy", 2), 2);
    stream.Seek(0, soFromBeginning);
    ASSERT_EQ(stream.Read(b, 8), 6);
    EXPECT_EQ(b[4], 'x');
    EXPECT_EQ(b[5], 'y');
}

TEST(BufferStreamMixed, ReadAfterWriteAndWriteAfterRead) {
    CountingStream file = FileOf(100);
    {
        TS_BufferStream stream(&file);
        ASSERT_EQ(stream.Write("AB", 2), 2);
        std::uint8_t b = 0;
        ASSERT_EQ(stream.Read(&b, 1), 1);
        EXPECT_EQ(b, 2) << "reading after writing continues after the written bytes";
        std::uint8_t skip[7];
        ASSERT_EQ(stream.Read(skip, 7), 7);
        EXPECT_EQ(stream.Write("Z", 1), 1)
            << "writing after reading writes at the logical position";
    }
    const Bytes& bytes = file.Bytes();
    EXPECT_EQ(bytes[0], 'A');
    EXPECT_EQ(bytes[1], 'B');
    EXPECT_EQ(bytes[10], 'Z');
    EXPECT_EQ(bytes[11], 11);
    EXPECT_EQ(bytes.size(), 100u);
}

// A short underlying write stops taking bytes, and fails a seek that flushes.
TEST(BufferStreamWrite, ShortUnderlyingWritesStopTakingBytesAndFailTheSeek) {
    CountingStream file;
    file.writeLimit = 100;
    TS_BufferStream stream(&file);
    const Bytes data(20000, 1);
    EXPECT_EQ(stream.Write(data.data(), 20000), 8192);
    CountingStream small;
    small.writeLimit = 1;
    TS_BufferStream pending(&small);
    ASSERT_EQ(pending.Write("abc", 3), 3);
    try {
        pending.Seek(0, soFromBeginning);
        ADD_FAILURE() << "a short flush during a seek must fail";
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message(), "Seek error");
    }
}

// The long-name file stream writes and reads back; a missing file raises
// (the message is checked with TFileStream).
TEST(LfnFileStream, OpensReadsAndReportsMissingFiles) {
    test::TempDir dir;
    const std::string name = dir / "data.bin";
    TLFNFileStream(name, platform::fmCreate).WriteBuffer("hello", 5);
    TLFNFileStream in(name, platform::fmOpenRead | platform::fmShareDenyWrite);
    char buf[6] = {};
    in.ReadBuffer(buf, 5);
    EXPECT_STREQ(buf, "hello");
    EXPECT_THROW(TLFNFileStream(dir / "none.bin", platform::fmOpenRead), EFOpenError);
}

}  // namespace
}  // namespace pagorix
