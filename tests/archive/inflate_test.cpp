// Inflate against zlib's deflate (used here as a black box only), hand-made
// streams for the edge cases, and the check that the bulk reader changes
// nothing that can be observed: the bytes, the flushes and the refills.
#include "archive/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/test_run.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

using test::Bytes;
using test::TestRun;

Bytes Deflate(const Bytes& data, int level, int strategy) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy) != Z_OK)
        throw std::runtime_error("zlib");
    Bytes out(deflateBound(&z, data.size()) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

template <bool kBulk = true>
TestRun Decode(const Bytes& compressed, std::int32_t refill = 16000) {
    TestRun run(compressed, refill);
    Inflater<TestRun, kBulk>(run).Inflate();
    return run;
}

Bytes Text(size_t n, std::uint32_t seed) {
    static const char* kWords[] = {"book ",    "page ", "the ", "reader ", "opens ",     "a ",
                                   "chapter ", "\n",    "<p>",  "</p>",    "index.htm ", "and "};
    Bytes out;
    std::uint32_t x = seed;
    while (out.size() < n) {
        x = x * 1103515245u + 12345u;
        const char* w = kWords[(x >> 16) % 12];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(n);
    return out;
}

TEST(Inflate, RoundTripsZlibAtEveryLevelAndStrategy) {
    const std::vector<Bytes> inputs = {
        Bytes{},
        Bytes{42},
        Text(32767, 1),
        Text(32768, 2),
        Text(32769, 3),
        Text(300000, 4),
        test::RandomBytes(70000, 5),
        Bytes(100000, 0x61),
    };
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (const Bytes& input : inputs) {
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : strategies) {
                const TestRun run = Decode(Deflate(input, level, strategy));
                ASSERT_EQ(run.output, input)
                    << "size " << input.size() << " level " << level << " strategy " << strategy;
            }
        }
    }
}

TEST(Inflate, BulkReadingChangesNoRefillNoFlushAndNoByte) {
    // Refill sizes that put buffer ends everywhere, down to one byte at a time.
    const Bytes input = Text(200000, 9);
    for (int level : {1, 6, 9}) {
        const Bytes compressed = Deflate(input, level, Z_DEFAULT_STRATEGY);
        for (std::int32_t refill : {16000, 4099, 17, 8, 7, 1}) {
            const TestRun fast = Decode<true>(compressed, refill);
            const TestRun exact = Decode<false>(compressed, refill);
            ASSERT_EQ(fast.output, input) << refill;
            EXPECT_EQ(fast.log, exact.log) << "level " << level << " refill " << refill;
        }
    }
    const Bytes stored = Deflate(test::RandomBytes(100000, 3), 0, Z_DEFAULT_STRATEGY);
    for (std::int32_t refill : {16000, 333, 1}) {
        EXPECT_EQ(Decode<true>(stored, refill).log, Decode<false>(stored, refill).log) << refill;
    }
}

// Writes a deflate stream bit by bit, least significant bit first.
class BitWriter {
public:
    BitWriter& Bits(std::uint32_t value, unsigned n) {
        for (unsigned i = 0; i < n; ++i) {
            if (m_count == 0) m_bytes.push_back(0);
            if ((value >> i) & 1) m_bytes.back() |= static_cast<std::uint8_t>(1u << m_count);
            m_count = (m_count + 1) % 8;
        }
        return *this;
    }
    // A Huffman code, sent most significant bit first.
    BitWriter& Code(std::uint32_t code, unsigned length) {
        for (unsigned i = length; i-- > 0;)
            Bits((code >> i) & 1, 1);
        return *this;
    }
    // A fixed-code literal/length symbol.
    BitWriter& Fixed(unsigned symbol) {
        if (symbol < 144) return Code(0x30 + symbol, 8);
        if (symbol < 256) return Code(0x190 + symbol - 144, 9);
        if (symbol < 280) return Code(symbol - 256, 7);
        return Code(0xC0 + symbol - 280, 8);
    }
    BitWriter& Align() {
        m_count = 0;
        return *this;
    }
    BitWriter& Byte(std::uint8_t b) {
        m_bytes.push_back(b);
        return *this;
    }
    const Bytes& Data() const { return m_bytes; }

private:
    Bytes m_bytes;
    unsigned m_count = 0;
};

// The header of the last block: type 0 stored, 1 fixed codes, 2 dynamic, 3 reserved.
BitWriter LastBlock(std::uint32_t type) {
    BitWriter w;
    w.Bits(1, 1).Bits(type, 2);
    return w;
}

TEST(Inflate, HandMadeStreams) {
    struct Case {
        const char* name;
        Bytes expected;  // the bytes written
        bool flushed;    // whether the end was reached (window flushed)
        Bytes stream;
    };
    const std::vector<Case> cases = {
        // Length 0 and its complement.
        {"empty stored block", {}, true, LastBlock(0).Align().Bits(0, 16).Bits(0xFFFF, 16).Data()},
        // 'x', length 258 (code 285) at distance 1 (distance code 0), end of block.
        {"distance 1 length 258 repeats one byte", Bytes(259, 'x'), true,
         LastBlock(1).Fixed('x').Fixed(285).Code(0, 5).Fixed(256).Data()},
        {"stored length not matching its complement", Bytes(), false,
         LastBlock(0).Align().Bits(5, 16).Bits(5, 16).Data()},
        {"block type 3", Bytes(), false, LastBlock(3).Data()},
        {"fixed length code 286", Bytes(), false, LastBlock(1).Fixed('a').Fixed(286).Data()},
        {"fixed length code 287", Bytes(), false, LastBlock(1).Fixed(287).Data()},
        {"distance code 30", Bytes(), false, LastBlock(1).Fixed('a').Fixed(257).Code(30, 5).Data()},
        {"distance code 31", Bytes(), false, LastBlock(1).Fixed('a').Fixed(257).Code(31, 5).Data()},
        // HLIT, HDIST, HCLEN.
        {"HLIT giving 287 lengths", Bytes(), false,
         LastBlock(2).Bits(30, 5).Bits(0, 5).Bits(0, 4).Data()},
        {"HDIST giving 31 lengths", Bytes(), false,
         LastBlock(2).Bits(0, 5).Bits(30, 5).Bits(0, 4).Data()},
        // 'q', end of block, then garbage.
        {"a later block after the last one is ignored", Bytes(1, 'q'), true,
         LastBlock(1).Fixed('q').Fixed(256).Bits(3, 8).Data()},
    };
    for (const Case& c : cases) {
        const TestRun run = Decode(c.stream);
        EXPECT_EQ(run.output, c.expected) << c.name;
        const bool flushed = !run.log.empty() && run.log.back().rfind("flush", 0) == 0;
        if (!c.expected.empty()) {
            EXPECT_EQ(flushed, c.flushed) << c.name;
        }
        if (!c.flushed) {
            EXPECT_TRUE(run.output.empty()) << c.name;
        }
    }
}

// A dynamic block: literal/length code with 'a' (1 bit) and end of block
// (1 bit), then the given distance code lengths, then "a", a match, end.
BitWriter DynamicWithDistances(const std::vector<unsigned>& distanceLengths) {
    BitWriter w = LastBlock(2);
    w.Bits(257 + 1 - 257, 5);  // nl = 258: symbols 0..257 (257 is length 3)
    w.Bits(static_cast<std::uint32_t>(distanceLengths.size() - 1), 5);
    w.Bits(19 - 4, 4);  // all 19 code-length code lengths follow
    // Code-length code: symbols 0, 1, 2 and 18 with 2 bits each (complete).
    const unsigned order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (unsigned sym : order)
        w.Bits((sym == 0 || sym == 1 || sym == 2 || sym == 18) ? 2 : 0, 3);
    // Canonical 2-bit codes: 0 -> 00, 1 -> 01, 2 -> 10, 18 -> 11.
    auto length = [&](unsigned len) { w.Code(len == 0 ? 0 : len == 1 ? 1 : 2, 2); };
    // Literal/length lengths: 'a' (97) 2, 256 2, 257 1; zeros elsewhere.
    auto zeros = [&](unsigned n) {
        while (n >= 11) {
            const unsigned r = std::min(n, 138u);
            w.Code(3, 2).Bits(r - 11, 7);
            n -= r;
        }
        for (; n > 0; --n)
            length(0);
    };
    zeros(97);
    length(2);  // 'a'
    zeros(256 - 98);
    length(2);  // end of block
    length(1);  // 257: length 3
    for (unsigned d : distanceLengths)
        length(d);
    // Literal/length code: 257 -> 0, 'a' -> 10, 256 -> 11.
    w.Code(2, 2);  // 'a'
    return w;
}

TEST(Inflate, SingleDistanceCodes) {
    // One distance code of one bit is accepted; the match copies "aaa".
    const Bytes accepted = DynamicWithDistances({1}).Code(0, 1).Code(0, 1).Code(3, 2).Data();
    EXPECT_EQ(Decode(accepted).output, (Bytes{'a', 'a', 'a', 'a'}));
    // One distance code of two bits is an incomplete code: rejected.
    const Bytes rejected = DynamicWithDistances({2}).Code(0, 1).Code(0, 2).Code(3, 2).Data();
    EXPECT_TRUE(Decode(rejected).output.empty());
}

TEST(Inflate, BadDataNeverHangsOrWritesPastTheWindow) {
    // Streams that decode forever from the copies of their last byte stop.
    for (int value = 0; value < 256; ++value) {
        for (size_t length : {size_t{1}, size_t{2}, size_t{7}, size_t{40}}) {
            const Bytes stream(length, static_cast<std::uint8_t>(value));
            const TestRun run = Decode(stream);
            EXPECT_LT(run.output.size(), 64u * 1024u * 1024u) << value;
        }
    }
    // Truncations of a real stream, and random garbage.
    const Bytes good = Deflate(Text(50000, 7), 6, Z_DEFAULT_STRATEGY);
    for (size_t cut = 0; cut < good.size(); cut += 97) {
        Decode(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
    }
    for (std::uint32_t seed = 0; seed < 300; ++seed)
        Decode(test::RandomBytes(200 + seed * 7, seed));
}

}  // namespace
}  // namespace pagorix
