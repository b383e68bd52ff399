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
// Run requirements: those of the shared bit reader, UncompressedSize,
// WorkArea, FlushWindow(n) and FlushOutput().
#pragma once

#include <algorithm>
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
        : m_run(run),
          m_window(run, true),
          m_followers(m_window.Data() + unreduce_tables::kFollowerOffset),
          m_factor(method - 2) {}

    void Unreduce() {
        using namespace unreduce_tables;
        LoadFollowerSets();
        const std::uint8_t lengthMask = kLengthMask[m_factor];
        std::int64_t s = m_run.UncompressedSize;
        unsigned state = 0;
        unsigned v = 0;
        unsigned len = 0;
        unsigned last = 0;
        while (s > 0) {
            unsigned c;
            const unsigned n = m_lengths[last];
            if (n == 0 || ReadBits8(m_run, 1) != 0) {
                c = ReadBits8(m_run, 8);
            } else {
                c = m_followers[last * kFollowerRow + ReadBits8(m_run, FollowerIndexBits(n))];
            }
            switch (state) {
                case 0:
                    if (c != kEscape) {
                        m_window.Put(static_cast<std::uint8_t>(c));
                        --s;
                    } else {
                        state = 1;
                    }
                    break;
                case 1:
                    if (c != 0) {
                        v = c;
                        len = v & lengthMask;
                        state = len == lengthMask ? 2 : 3;
                    } else {
                        m_window.Put(kEscape);
                        --s;
                        state = 0;
                    }
                    break;
                case 2:
                    len += c;
                    state = 3;
                    break;
                default: {
                    const unsigned count = len + 3;
                    const std::uint32_t back =
                        ((v >> kDistanceShift[m_factor]) & kDistanceMask[m_factor]) * 256 + c + 1;
                    s -= static_cast<std::int64_t>(count);
                    m_window.Copy((m_window.w - back) & 0xFFFF, count);
                    state = 0;
                    break;
                }
            }
            last = c;
        }
        m_window.FlushRest();
        m_run.FlushOutput();
    }

private:
    void LoadFollowerSets() {
        using namespace unreduce_tables;
        for (int x = 255; x >= 0; --x) {
            const unsigned n = ReadBits8(m_run, 6);
            m_lengths[x] = static_cast<std::uint8_t>(n);
            for (unsigned i = 0; i < n; ++i) {
                m_followers[static_cast<unsigned>(x) * kFollowerRow + i] = ReadBits8(m_run, 8);
            }
        }
    }

    Run& m_run;
    SlidingWindow<Run, unreduce_tables::kWindowSize> m_window;
    std::uint8_t* m_followers;
    unsigned m_factor;  // compression factor - 1
    std::uint8_t m_lengths[256] = {};
};

// The decoder's entry point: decodes the run's current entry of method 2..5.
template <class Run>
void Unreduce(Run& run, unsigned method) {
    Unreducer<Run>(run, method).Unreduce();
}

}  // namespace pagorix
