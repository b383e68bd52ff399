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

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "archive/shared_bit_reader.h"

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
                    CopyMatch(window + w, back, n);
                    w += n;
                } else {
                    // Pieces that end where the source or the destination
                    // reaches the window's end.
                    std::uint32_t d = (w - back) & 0xFFFF;
                    while (n > 0) {
                        d &= kWindowSize - 1;
                        unsigned e = kWindowSize - std::max(d, w);
                        if (e > n) e = n;
                        n -= e;
                        if (beforeFirstFlush && d >= w) {
                            std::memset(window + w, 0, e);
                        } else if (w - d < e) {  // overlapping, d < w: repeats
                            for (unsigned i = 0; i < e; ++i)
                                window[w + i] = window[d + i];
                        } else {
                            std::memmove(window + w, window + d, e);
                        }
                        w += e;
                        d += e;
                        if (w == kWindowSize) flushFull();
                    }
                }
            }
            last = c;
        }
        StoreBits(b);
        m_run.FlushWindow(w);
        m_run.FlushOutput();
    }

private:
    // The shared bit reader's state (BitBuffer, BitCount, InputExhausted),
    // with the input taken straight from the buffer up to `avail` bytes.
    struct Bits {
        std::uint32_t buffer;
        unsigned count;
        const std::uint8_t* in;
        std::uint32_t avail;
        bool exhausted;
    };

    Bits LoadBits() const {
        return Bits{m_run.BitBuffer, m_run.BitCount, &m_run.InPtr[0],
                    static_cast<std::uint32_t>(m_run.BulkAvailable()), m_run.InputExhausted};
    }
    void StoreBits(const Bits& b) {
        const auto taken = static_cast<std::uint32_t>(b.in - &m_run.InPtr[0]);
        m_run.InPtr += taken;
        m_run.InCount = static_cast<std::uint16_t>(m_run.InCount - taken);
        m_run.CompressedLeft -= taken;
        m_run.BitBuffer = b.buffer;
        m_run.BitCount = static_cast<std::uint16_t>(b.count);
        m_run.InputExhausted = b.exhausted;
    }

    // ReadBits8(n): a refill, when n bits are not there, takes one to four
    // bytes, up to 25 bits or more.
    unsigned Read(Bits& b, unsigned n) {
        if (n > b.count) {
            if (b.avail < 4) {
                const Slow slow = ReadSlow(b, n);
                b = slow.bits;
                return slow.value;
            }
            const unsigned want = (32 - b.count) >> 3;
            const std::uint64_t word = static_cast<std::uint64_t>(b.in[0]) | (b.in[1] << 8) |
                                       (b.in[2] << 16) |
                                       (static_cast<std::uint64_t>(b.in[3]) << 24);
            const unsigned top = b.count + 8 * want;
            b.buffer |=
                static_cast<std::uint32_t>((word << b.count) & ((std::uint64_t{1} << top) - 1));
            b.count = top;
            b.in += want;
            b.avail -= want;
            b.exhausted = false;
        }
        const unsigned value = b.buffer & ((1u << n) - 1);
        b.buffer >>= n;
        b.count -= n;
        return value;
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

    // Copies a match of n >= 2 bytes from back bytes behind dst; when
    // back < n the bytes just written repeat. The copy goes 8 bytes at a time
    // and may write up to 7 bytes past n, which are put back afterwards: they
    // are older history, or the next table. dst + n + 8 must stay inside the
    // work area.
    static void CopyMatch(std::uint8_t* dst, unsigned back, unsigned n) {
        const std::uint8_t* src = dst - back;
        std::uint8_t after[8];
        std::memcpy(after, dst + n, 8);
        if (back >= 8) {
            // Each piece reads only bytes written before it.
            unsigned i = 0;
            do {
                std::memcpy(dst + i, src + i, 8);
                i += 8;
            } while (i < n);
        } else if (back == 1) {
            const std::uint64_t run = 0x0101010101010101u * *src;
            unsigned i = 0;
            do {
                std::memcpy(dst + i, &run, 8);
                i += 8;
            } while (i < n);
        } else {
            for (unsigned i = 0; i < n; ++i)
                dst[i] = src[i];
        }
        std::memcpy(dst + n, after, 8);
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
