// Unreduce: the decoder of compression methods 2 to 5 (reduced entries,
// compression factors 1 to 4).
//
// Design. The entry starts with 256 follower sets, one per byte value, from
// 255 down to 0: a 6-bit length and that many 8-bit followers. Each byte is
// then coded against the set of the byte read before it: with an empty set
// as 8 raw bits; otherwise a 1 bit and 8 raw bits, or a 0 bit and the
// follower's index in as many bits as the set's length needs. The byte
// stream is expanded by the escape 144: "144 0" is a literal 144; "144 V
// [E] C" is a match whose length comes from V's low bits (plus E when they
// are all 1) and whose distance from V's high bits and C. The window is the
// first 16,384 bytes of the work area and the follower table the next 16,384
// (256 rows of 64); until the window is flushed for the first time, a match
// that reaches back before the first byte yields zeros. Decoding runs until
// the uncompressed size is produced (a final match may overshoot it, and all
// of it is written), so it always ends: past the end of the data the shared
// bit reader gives zero bits.
//
// Speed. The loop keeps the bit reader, the window position and the state in
// locals. Bits are read with the shared reader's exact refill rule (one to
// four bytes, up to 25 bits or more), fed four bytes at a time straight from
// the input buffer; a refill that could reach the end of the buffer or of
// the entry goes through the run's reader, so input refills, pumping and the
// end of the data come exactly where they did byte by byte. A match that
// neither wraps nor reaches the window's end is one copy; the others take
// the window's piecewise rule.
//
// Run requirements: those of the shared bit reader, UncompressedSize,
// WorkArea, FlushWindow(n) and FlushOutput().
#pragma once

#include <cstdint>

#include "archive/shared_bit_reader.h"
#include "archive/window_copy.h"

namespace pagorix {

namespace unreduce_tables {
inline constexpr std::uint32_t kWindowSize = 16384;
inline constexpr unsigned kFollowerOffset = 16384;
inline constexpr unsigned kFollowerRow = 64;
inline constexpr std::uint8_t kEscape = 144;
// By factor 1..4 (index factor - 1).
inline constexpr std::uint8_t kLengthMask[4] = {0x7F, 0x3F, 0x1F, 0x0F};
inline constexpr unsigned kDistanceShift[4] = {7, 6, 5, 4};
inline constexpr std::uint8_t kDistanceMask[4] = {0x01, 0x03, 0x07, 0x0F};

// Bits of a follower index for a set of n followers: 8 for an empty set (not
// used), else max(1, ceil(log2 n)).
constexpr unsigned FollowerIndexBits(unsigned n) {
    if (n == 0) return 8;
    unsigned bits = 1;
    while ((1u << bits) < n)
        ++bits;
    return bits;
}
}  // namespace unreduce_tables

template <class Run>
class Unreducer {
public:
    Unreducer(Run& run, unsigned method)
        : m_run(run), m_area(&run.WorkArea[0]), m_factor(method - 2) {}

    void Unreduce() {
        using namespace unreduce_tables;
        Bits b = LoadFollowerSets(LoadBits());

        std::uint8_t* const window = m_area;
        const std::uint8_t* const followers = m_area + kFollowerOffset;
        const unsigned lengthMask = kLengthMask[m_factor];
        const unsigned distanceShift = kDistanceShift[m_factor];
        const unsigned distanceMask = kDistanceMask[m_factor];
        // Per byte value: whether its follower set is empty, its index bits.
        struct Row {
            bool hasSet;
            std::uint8_t bits;
        };
        Row rows[256];
        for (unsigned x = 0; x < 256; ++x) {
            rows[x] =
                Row{m_lengths[x] != 0, static_cast<std::uint8_t>(FollowerIndexBits(m_lengths[x]))};
        }

        std::int64_t s = m_run.UncompressedSize;
        std::uint32_t w = 0;
        bool beforeFirstFlush = true;
        unsigned state = 0;
        unsigned v = 0;
        unsigned len = 0;
        unsigned last = 0;
        // Writes out the full window and starts it again.
        const auto flushFull = [&] {
            StoreBits(b);
            m_run.FlushWindow(w);
            b = LoadBits();
            w = 0;
            beforeFirstFlush = false;
        };
        while (s > 0) {
            unsigned c;
            const Row row = rows[last];
            if (!row.hasSet || Read(b, 1) != 0) {
                c = Read(b, 8);
            } else {
                c = followers[last * kFollowerRow + Read(b, row.bits)];
            }
            if (state == 0) {
                if (c != kEscape) {
                    window[w++] = static_cast<std::uint8_t>(c);
                    if (w == kWindowSize) flushFull();
                    --s;
                } else {
                    state = 1;
                }
            } else if (state == 1) {
                if (c != 0) {
                    v = c;
                    len = v & lengthMask;
                    state = len == lengthMask ? 2 : 3;
                } else {
                    window[w++] = kEscape;
                    if (w == kWindowSize) flushFull();
                    --s;
                    state = 0;
                }
            } else if (state == 2) {
                len += c;
                state = 3;
            } else {
                unsigned n = len + 3;
                const std::uint32_t back = ((v >> distanceShift) & distanceMask) * 256 + c + 1;
                s -= static_cast<std::int64_t>(n);
                state = 0;
                if (back <= w && w + n < kWindowSize) {
                    // Inside the window, behind the write position, and not
                    // reaching its end.
                    CopyMatchPastEnd(window + w, back, n);
                    w += n;
                } else {
                    CopyAroundWindow<kWindowSize>(window, w, (w - back) & 0xFFFF, n,
                                                  beforeFirstFlush, flushFull);
                }
            }
            last = c;
        }
        StoreBits(b);
        m_run.FlushWindow(w);
        m_run.FlushOutput();
    }

private:
    using Bits = BulkBits;
    Bits LoadBits() const { return LoadBulkBits(m_run); }
    void StoreBits(const Bits& b) { StoreBulkBits(m_run, b); }

    // ReadBits8(n): a refill, when n bits are not there, takes one to four
    // bytes, up to 25 bits or more.
    unsigned Read(Bits& b, unsigned n) {
        if (n > b.count && b.avail < 4) {
            const Slow slow = ReadSlow(b, n);
            b = slow.bits;
            return slow.value;
        }
        return TakeBulkBits(b, n);
    }

    // Through the run's reader, which may refill the input buffer (pumping
    // messages, raising errors) or meet the end of the data.
    // The reader's state goes by value, so that it can stay in registers.
    struct Slow {
        Bits bits;
        unsigned value;
    };
    [[gnu::cold]] Slow ReadSlow(Bits b, unsigned n) {
        StoreBits(b);
        const unsigned value = ReadBits8(m_run, n);
        return Slow{LoadBits(), value};
    }

    Bits LoadFollowerSets(Bits b) {
        using namespace unreduce_tables;
        std::uint8_t* const followers = m_area + kFollowerOffset;
        for (int x = 255; x >= 0; --x) {
            const unsigned n = Read(b, 6);
            m_lengths[x] = static_cast<std::uint8_t>(n);
            for (unsigned i = 0; i < n; ++i) {
                followers[static_cast<unsigned>(x) * kFollowerRow + i] =
                    static_cast<std::uint8_t>(Read(b, 8));
            }
        }
        return b;
    }

    Run& m_run;
    std::uint8_t* m_area;
    unsigned m_factor;  // compression factor - 1
    std::uint8_t m_lengths[256] = {};
};

// The decoder's entry point: decodes the run's current entry of method 2..5.
template <class Run>
void Unreduce(Run& run, unsigned method) {
    Unreducer<Run>(run, method).Unreduce();
}

}  // namespace pagorix
