// Explode: the decoder of compression method 6 (imploded entries).
//
// Design. An imploded entry starts with two or three Shannon-Fano trees sent
// as run-length coded tables of code lengths (whole bytes, read through the
// run's NextByte), followed by bit-coded data: a flag bit, then either a
// literal (tree-coded, or 8 raw bits without a literal tree) or a match of
// raw low distance bits, a distance tree code, a length tree code and, after
// length code 63, 8 raw bits. The trees are decoded with the tables of
// huffman.h; their codes are sent bit-complemented, so every lookup inverts
// the bits it indexes with. General-purpose flag bit 1 selects the 8 KiB
// dictionary (else 4 KiB), bit 2 the literal tree with a minimum match of 3
// (else raw literals and a minimum of 2).
//
// The window is the first 32,768 bytes of the run's work area whatever the
// dictionary size; it is flushed when full and at the end. Until the first
// flush, a match that reaches back before the first byte produces zeros.
// Decoding runs until the entry's uncompressed size is produced (a final
// match may overshoot it, and all of it is written), so it always ends. A
// malformed length table or a failing table build ends the entry with
// nothing written; an invalid code ends the data loop without flushing the
// window, and only the output buffer is flushed.
//
// Speed. The data loop keeps the bit buffer, the input position, the window
// position and the bytes still to produce in locals. While at least 8 input
// bytes are left before the end of the input buffer and of the entry, every
// step starts by topping the 64-bit bit buffer up from one 8-byte load (a step
// takes at most 48 bits), exactly as often and as far as the local bit
// reader's bulk load does, so the input is taken at the same points and
// LastByte ends the same. Otherwise a step takes its bytes one at a time
// through the run's NextByte, where refills, pumping, the end of the data
// and its copies of the last byte happen. A match that neither wraps nor
// reaches the window's end is one copy; the others take the window's
// piecewise rule.
//
// Run requirements: NextByte, LastByte, InPtr, BulkAvailable() and
// TakeBulk(n), CompressedLeft, UncompressedSize, WorkArea, FlushWindow(n) and
// FlushOutput().
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "archive/huffman.h"
#include "archive/window_copy.h"

namespace pagorix {

namespace explode_tables {
inline constexpr std::uint16_t kStatusMalformedLengths = 4;
inline constexpr std::uint16_t kGpFlag8kDictionary = 0x0002;
inline constexpr std::uint16_t kGpFlagThreeTrees = 0x0004;
inline constexpr std::int32_t kBigEntry = 200000;

constexpr auto MakeTable(std::uint16_t first, std::uint16_t step) {
    struct Table {
        std::uint16_t v[64];
    } t{};
    for (unsigned i = 0; i < 64; ++i)
        t.v[i] = static_cast<std::uint16_t>(first + step * i);
    return t;
}
inline constexpr auto kLengthBaseTwoTrees = MakeTable(2, 1);
inline constexpr auto kLengthBaseThreeTrees = MakeTable(3, 1);
inline constexpr auto kDistBase4k = MakeTable(1, 64);
inline constexpr auto kDistBase8k = MakeTable(1, 128);
constexpr auto MakeExtra() {
    struct Table {
        std::uint16_t v[64];
    } t{};
    t.v[63] = 8;
    return t;
}
inline constexpr auto kLengthExtra = MakeExtra();
}  // namespace explode_tables

inline constexpr std::uint32_t kExplodeWindowSize = 32768;

// kBulk = false keeps every step on the byte-at-a-time reader.
template <class Run, bool kBulk = true>
class Exploder {
public:
    Exploder(Run& run, std::uint16_t gpFlags) : m_run(run), m_flags(gpFlags) {}

    void Explode() {
        using namespace explode_tables;
        std::uint16_t bl = 7;
        std::uint16_t bd = m_run.CompressedLeft > kBigEntry ? 8 : 7;
        const std::uint16_t* distBase =
            (m_flags & kGpFlag8kDictionary) != 0 ? kDistBase8k.v : kDistBase4k.v;
        const unsigned dl = (m_flags & kGpFlag8kDictionary) != 0 ? 7 : 6;
        std::uint16_t lengths[256];
        std::uint16_t bb = 9;
        const bool threeTrees = (m_flags & kGpFlagThreeTrees) != 0;
        if (threeTrees) {
            if (ReadExplodeLengths(lengths, 256) != kStatusOk) return;
            if (m_literals.Build(lengths, 256, 256, nullptr, nullptr, bb) != kStatusOk) return;
        }
        if (ReadExplodeLengths(lengths, 64) != kStatusOk) return;
        if (m_lengths.Build(lengths, 64, 0,
                            threeTrees ? kLengthBaseThreeTrees.v : kLengthBaseTwoTrees.v,
                            kLengthExtra.v, bl) != kStatusOk) {
            return;
        }
        if (ReadExplodeLengths(lengths, 64) != kStatusOk) return;
        if (m_distances.Build(lengths, 64, 0, distBase, kLengthExtra.v, bd) != kStatusOk) return;
        DecodeData(threeTrees, dl, bb, bl, bd);
        m_run.FlushOutput();
    }

private:
    // The bit buffer: k valid bits in b (above them, in fast steps, the
    // bytes that follow), and the input taken straight from the buffer.
    struct Reader {
        std::uint64_t b;
        unsigned k;
        const std::uint8_t* in;
        std::uint32_t avail;  // bytes left before the end of the buffer or the entry
    };

    // Reads a run-length coded table of n code lengths, whole bytes at a time.
    std::uint16_t ReadExplodeLengths(std::uint16_t* lengths, unsigned n) {
        m_run.NextByte(m_run.LastByte);
        const unsigned count = (m_run.LastByte & 0xFF) + 1u;
        unsigned i = 0;
        for (unsigned c = 0; c < count; ++c) {
            m_run.NextByte(m_run.LastByte);
            const auto len = static_cast<std::uint16_t>((m_run.LastByte & 0x0F) + 1);
            const unsigned reps = ((m_run.LastByte & 0xFF) >> 4) + 1u;
            if (i + reps > n) return explode_tables::kStatusMalformedLengths;
            std::fill(lengths + i, lengths + i + reps, len);
            i += reps;
        }
        return i == n ? kStatusOk : explode_tables::kStatusMalformedLengths;
    }

    // Gives the bytes taken so far back to the run (which sets LastByte to
    // the last of them) and keeps only the valid bits.
    void Commit(Reader& r) {
        m_run.TakeBulk(static_cast<std::int32_t>(r.in - &m_run.InPtr[0]));
        r.in = &m_run.InPtr[0];
        r.b = r.k == 0 ? 0 : (r.b & (~std::uint64_t{0} >> (64 - r.k)));
    }

    // Tops the bit buffer up to 56 bits or more from the next 8 bytes,
    // taking only the whole bytes that fit.
    static void Refill(Reader& r) {
        std::uint64_t word;
        std::memcpy(&word, r.in, 8);
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
        r.b |= word << r.k;
        const unsigned take = (63 - r.k) >> 3;
        r.in += take;
        r.avail -= take;
        r.k |= 56;
    }

    // At least n bits, one byte at a time through NextByte.
    void Ensure(Reader& r, unsigned n) {
        if (r.k < n) r = TakeBytes(r, n);
    }
    // Out of line and by value: the reader stays in registers in the loop.
    [[gnu::cold]] Reader TakeBytes(Reader r, unsigned n) {
        while (r.k < n) {
            m_run.NextByte(m_run.LastByte);
            r.b |= static_cast<std::uint64_t>(m_run.LastByte & 0xFF) << r.k;
            r.k += 8;
        }
        return r;
    }

    static void Drop(Reader& r, unsigned n) {
        r.b >>= n;
        r.k -= n;
    }

    // A tree lookup with inverted bits; null on an invalid code.
    const HuffEntry* Lookup(Reader& r, const HuffEntry* root, const HuffmanTables& tables,
                            unsigned bits) {
        Ensure(r, bits);
        const HuffEntry* t = &root[~static_cast<unsigned>(r.b) & ((1u << bits) - 1)];
        unsigned op = t->Op;
        while (op > kOpLiteral) {
            if (op == kOpInvalid) return nullptr;
            Drop(r, t->Bits);
            op -= 16;
            Ensure(r, op);
            t = &tables.SubTable(*t)[~static_cast<unsigned>(r.b) & ((1u << op) - 1)];
            op = t->Op;
        }
        if (op == kOpInvalid) return nullptr;
        Drop(r, t->Bits);
        return t;
    }

    void DecodeData(bool threeTrees, unsigned dl, unsigned bb, unsigned bl, unsigned bd) {
        std::uint8_t* const window = &m_run.WorkArea[0];
        const HuffEntry* const literalRoot = threeTrees ? m_literals.Root() : nullptr;
        const HuffEntry* const lengthRoot = m_lengths.Root();
        const HuffEntry* const distanceRoot = m_distances.Root();
        const unsigned lowMask = (1u << dl) - 1;
        std::int64_t s = m_run.UncompressedSize;
        std::uint32_t w = 0;
        bool beforeFirstFlush = true;
        Reader r{0, 0, &m_run.InPtr[0],
                 kBulk ? static_cast<std::uint32_t>(m_run.BulkAvailable()) : 0u};

        // Writes out the full window. In a fast step the input taken so far
        // is given back first, as the flush may end the entry with an
        // exception; a byte-wise step has taken its input through the run.
        bool fast = false;
        const auto flushFull = [&] {
            if (fast) Commit(r);
            m_run.FlushWindow(w);
            w = 0;
            beforeFirstFlush = false;
        };

        // One literal or match; false on an invalid code. The same code
        // serves both readers: after a refill every Ensure finds its bits
        // there (a step takes at most 48 of the 56 or more), so only a
        // byte-wise step takes bytes in it.
        const auto step = [&]() -> bool {
            Ensure(r, 1);
            if ((r.b & 1) != 0) {
                Drop(r, 1);
                --s;
                if (threeTrees) {
                    const HuffEntry* t = Lookup(r, literalRoot, m_literals, bb);
                    if (t == nullptr) return false;
                    window[w++] = static_cast<std::uint8_t>(t->Value);
                } else {
                    Ensure(r, 8);
                    window[w++] = static_cast<std::uint8_t>(r.b);
                    Drop(r, 8);
                }
                if (w == kExplodeWindowSize) flushFull();
                return true;
            }
            Drop(r, 1);
            Ensure(r, dl);
            const unsigned low = static_cast<unsigned>(r.b) & lowMask;
            Drop(r, dl);
            const HuffEntry* t = Lookup(r, distanceRoot, m_distances, bd);
            if (t == nullptr) return false;
            const std::uint32_t back = low + t->Value;
            t = Lookup(r, lengthRoot, m_lengths, bl);
            if (t == nullptr) return false;
            unsigned n = t->Value;
            if (t->Op != 0) {
                Ensure(r, 8);
                n += static_cast<unsigned>(r.b) & 0xFF;
                Drop(r, 8);
            }
            s -= static_cast<std::int64_t>(n);
            if (back <= w && w + n < kExplodeWindowSize) {
                CopyMatchPastEnd(window + w, back, n);
                w += n;
                return true;
            }
            // Zeros for a source before the first byte.
            CopyAroundWindow<kExplodeWindowSize>(window, w, (w - back) & 0xFFFF, n,
                                                 beforeFirstFlush, flushFull);
            return true;
        };

        while (s > 0) {
            bool ok;
            fast = r.avail >= 8;
            if (fast) {
                Refill(r);
                ok = step();
            } else {
                Commit(r);
                ok = step();
                r.in = &m_run.InPtr[0];
                r.avail = kBulk ? static_cast<std::uint32_t>(m_run.BulkAvailable()) : 0u;
            }
            if (!ok) {
                Commit(r);
                return;
            }
        }
        Commit(r);
        m_run.FlushWindow(w);
    }

    Run& m_run;
    std::uint16_t m_flags;
    HuffmanTables m_literals;
    HuffmanTables m_lengths;
    HuffmanTables m_distances;
};

// The decoder's entry point: decodes the run's current entry with the
// entry's general-purpose flags.
template <class Run>
void Explode(Run& run, std::uint16_t gpFlags) {
    Exploder<Run>(run, gpFlags).Explode();
}

}  // namespace pagorix
