#include "streams/pmcs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/test_support.h"

namespace pagorix {
namespace {

using test::Bytes;
using test::ByteWriter;

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes Repeat(const std::string& s, size_t times) {
    Bytes out;
    for (size_t i = 0; i < times; ++i)
        out.insert(out.end(), s.begin(), s.end());
    return out;
}

// A source that hands out at most a few bytes per Read, as pipes and slow
// streams do; chunk 0 picks a pseudo-random size from 1 to 40,000 each time.
class TrickleStream : public TMemoryStream {
public:
    TrickleStream(test::Bytes bytes, std::int32_t chunk)
        : TMemoryStream(std::move(bytes)), m_chunk(chunk) {}
    std::int32_t Read(void* buffer, std::int32_t count) override {
        const std::int32_t limit =
            m_chunk > 0 ? m_chunk : static_cast<std::int32_t>(1 + m_sizes() % 40000);
        return TMemoryStream::Read(buffer, std::min(count, limit));
    }

private:
    std::int32_t m_chunk;
    std::mt19937 m_sizes{7};
};

Bytes Compress(TStream& source, std::int64_t count) {
    TMemoryStream out;
    TCompressStream().CompressStream(source, out, count);
    return out.Bytes();
}

Bytes Compress(const Bytes& input) {
    TMemoryStream source(input);
    return Compress(source, static_cast<std::int64_t>(input.size()));
}

Bytes Decompress(const Bytes& container) {
    TMemoryStream source(container);
    TMemoryStream out;
    TCompressStream().DecompressStream(source, out);
    EXPECT_EQ(source.Position(), source.Size()) << "the whole container is read";
    return out.Bytes();
}

// The container of the given blocks: signature, total, then length + data.
Bytes Container(const std::vector<Bytes>& blocks) {
    std::uint32_t total = 0;
    for (const auto& b : blocks)
        total += 4 + static_cast<std::uint32_t>(b.size());
    ByteWriter w;
    w.Text("PMCS10").U32(total);
    for (const auto& b : blocks)
        w.U32(static_cast<std::uint32_t>(b.size())).Raw(b);
    return w.Data();
}

TEST(Pmcs, KnownContainers) {
    Bytes hello = Repeat("hello ", 4);
    hello.back() = '!';
    Bytes run4096(4096, 'z');
    struct Case {
        const char* name;
        Bytes input;
        std::vector<Bytes> blocks;
    } cases[] = {
        {"empty", {}, {}},
        {"one byte", Text("x"), {{0x80, 0x78}}},
        {"eight bytes stored", Text("abcdefgh"), {ByteWriter().U8(0x80).Text("abcdefgh").Data()}},
        {"100 x 'a' as one run", Bytes(100, 'a'), {{0x40, 0x80, 0x00, 0x00, 0x00, 0x54, 0x61}}},
        {"abc six times", Repeat("abc", 6), {{0x40, 0x10, 0x00, 0x61, 0x62, 0x63, 0x00, 0x3C}}},
        {"hello four times",
         hello,
         {{0x40, 0x02, 0x00, 0x68, 0x65, 0x6C, 0x6C, 0x6F, 0x20, 0x00, 0x6E, 0x21}}},
        // Three literals and a copy of 5: as long as the input, still compressed.
        {"no gain is kept", Text("abcabcab"), {{0x40, 0x10, 0x00, 0x61, 0x62, 0x63, 0x00, 0x32}}},
        // Sixteen literals fill the first group; the copy opens a second one.
        {"second control word",
         Text("abcdefghijklmnopabcdefghijklmnop"),
         // compressed; control: sixteen literals; the literals; control: one
         // copy, shifted to bit 15; copy: offset 16, length 16
         {ByteWriter().U8(0x40).U16(0).Text("abcdefghijklmnop").U16(0x0080).U16(0x0D01).Data()}},
        // The run stops at 4,095; the last byte is a literal.
        {"run of 4096", run4096, {{0x40, 0x80, 0x00, 0x00, 0x0F, 0xEF, 0x7A, 0x7A}}},
    };
    // Each container is appended where the destination stands.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream out(Text("head"));
        out.Seek(0, soFromEnd);
        TMemoryStream source(c.input);
        TCompressStream().CompressStream(source, out, static_cast<std::int64_t>(c.input.size()));
        EXPECT_EQ(out.Position(), out.Size());
        EXPECT_EQ(out.Bytes(), ByteWriter().Text("head").Raw(Container(c.blocks)).Data());
        EXPECT_EQ(Decompress(Bytes(out.Bytes().begin() + 4, out.Bytes().end())), c.input);
    }
}

// Incompressible data is stored, in blocks of at most 32,783 bytes.
TEST(Pmcs, IncompressibleDataIsStoredInBlocksOf32783Bytes) {
    for (const size_t size : {32783, 32784, 65566, 65567}) {
        SCOPED_TRACE(size);
        const Bytes input = test::RandomBytes(size, static_cast<std::uint32_t>(size));
        std::vector<Bytes> blocks;
        for (size_t at = 0; at < size; at += 32783) {
            blocks.push_back({kPmcsStored});
            blocks.back().insert(blocks.back().end(), input.begin() + static_cast<long>(at),
                                 input.begin() + static_cast<long>(std::min(size, at + 32783)));
        }
        const Bytes container = Compress(input);
        EXPECT_TRUE(container == Container(blocks));
        EXPECT_EQ(Decompress(container), input);
    }
}

// Text-like, repetitive, random and mixed inputs of many sizes, read from
// sources that give one byte, a few bytes or everything per call.
TEST(Pmcs, RoundTrips) {
    std::mt19937 gen(11);
    // Pieces of runs, random bytes and repeated words, up to n bytes.
    auto mixed = [&](size_t n) {
        Bytes b;
        while (b.size() < n) {
            const size_t piece = 1 + gen() % 5000;
            const Bytes noise = test::RandomBytes(piece, gen());
            const Bytes words = Repeat("the page of a book ", piece / 19 + 1);
            const Bytes& from = gen() % 2 ? noise : words;
            if (gen() % 3 == 0) {
                b.insert(b.end(), piece, static_cast<std::uint8_t>(gen()));
            } else {
                b.insert(b.end(), from.begin(), from.begin() + static_cast<long>(piece));
            }
        }
        b.resize(n);
        return b;
    };
    const size_t sizes[] = {1,     2,     3,     4,     15,    16,    17,
                            18,    19,    255,   4095,  4096,  4097,  32767,
                            32768, 32769, 32782, 32783, 32784, 40000, 100000};
    for (size_t n : sizes) {
        const Bytes inputs[] = {Bytes(n, 0x55), test::RandomBytes(n, gen()), mixed(n)};
        for (const Bytes& input : inputs) {
            for (std::int32_t chunk : {0, 1, 1 << 20}) {
                if (chunk == 1 && n > 4096) continue;  // one block per byte: slow and no news
                SCOPED_TRACE(testing::Message() << "size " << n << " chunk " << chunk);
                TrickleStream source(input, chunk);
                const Bytes container = Compress(source, static_cast<std::int64_t>(n));
                ASSERT_EQ(Decompress(container), input);
            }
        }
    }
}

TEST(Pmcs, SourceEndingBeforeTheCountIsAReadError) {
    TMemoryStream source(Bytes(10, 'q'));
    TMemoryStream out;
    EXPECT_THROW(TCompressStream().CompressStream(source, out, 11), EReadError);
}

template <class E>
void ExpectFailure(const Bytes& container, const char* message, const Bytes& written) {
    TMemoryStream source(container);
    TMemoryStream out;
    try {
        TCompressStream().DecompressStream(source, out);
        ADD_FAILURE() << "no error";
    } catch (const E& e) {
        EXPECT_EQ(e.Message(), message);
    }
    EXPECT_EQ(out.Bytes(), written);
}

TEST(Pmcs, DamagedContainers) {
    const Bytes ab = ByteWriter().U8(0x80).Text("ab").Data();
    // Sixteen literals, then a control word with nothing after it.
    const Bytes wordAtEnd = ByteWriter().U8(0x40).U16(0).Fill(16, 'k').U16(0xFFFF).Data();
    // Nine runs of 4,111 bytes: 36,999 bytes of output from one block.
    ByteWriter nineRuns;
    nineRuns.U8(0x40).U8(0xFF).U8(0x80);  // method, control: nine set bits
    for (int i = 0; i < 9; ++i)
        nineRuns.U8(0x00).U8(0x0F).U8(0xFF).U8(0x33);

    EXPECT_TRUE(Decompress(Container({{0x80}})).empty());  // a stored block of nothing is fine
    ExpectFailure<Exception>(ByteWriter().Text("PMCS11").U32(0).Data(), SPmcsWrongFileType, {});
    ExpectFailure<EReadError>(Text("PMC"), messages::SReadError, {});
    // T promises a second block that is not there: the first one stays written.
    ExpectFailure<EReadError>(ByteWriter().Text("PMCS10").U32(100).U32(3).Raw(ab).Data(),
                              messages::SReadError, Text("ab"));
    // A block shorter than its length.
    ExpectFailure<EReadError>(ByteWriter().Text("PMCS10").U32(14).U32(10).Raw(ab).Data(),
                              messages::SReadError, {});
    // A length beyond the block area is refused before reading it.
    ExpectFailure<EPmcsCompressor>(
        ByteWriter().Text("PMCS10").U32(32793).U32(32785).Fill(32785, 0x80).Data(),
        SPmcsBlockTooLong, {});
    ExpectFailure<EPmcsCompressor>(Container({ab, {}}), SPmcsCorruptBlock, Text("ab"));
    ExpectFailure<EPmcsCompressor>(Container({{0x40, 0x00}}), SPmcsCorruptBlock, {});
    ExpectFailure<EPmcsCompressor>(Container({nineRuns.Data()}), SPmcsCorruptBlock, {});
    // A copy from before the first output byte.
    ExpectFailure<EPmcsCompressor>(Container({{0x40, 0x80, 0x00, 0x00, 0x13}}), SPmcsCorruptBlock,
                                   {});
    ExpectFailure<EPmcsCompressor>(Container({{0x40, 0x40, 0x00, 0x61, 0x00, 0x23}}),
                                   SPmcsCorruptBlock, {});
    // Items cut off by the end of the block.
    ExpectFailure<EPmcsCompressor>(Container({{0x40, 0x80, 0x00, 0x00}}), SPmcsCorruptBlock, {});
    ExpectFailure<EPmcsCompressor>(Container({{0x40, 0x80, 0x00, 0x00, 0x01, 0x00}}),
                                   SPmcsCorruptBlock, {});
    ExpectFailure<EPmcsCompressor>(Container({wordAtEnd}), SPmcsCorruptBlock, {});
}

}  // namespace
}  // namespace pagorix
