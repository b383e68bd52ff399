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
// Run requirements: those of the local bit reader, plus UncompressedSize,
// WorkArea, FlushWindow(n) and FlushOutput().
#pragma once

#include <algorithm>
#include <cstdint>

#include "archive/huffman.h"
#include "archive/local_bit_reader.h"
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

template <class Run, bool kBulk = true>
class Exploder {
public:
    Exploder(Run& run, std::uint16_t gpFlags)
        : m_run(run), m_in(run), m_window(run, true), m_flags(gpFlags) {}

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

    // A tree lookup with inverted bits; null on an invalid code.
    template <bool kFast>
    const HuffEntry* Lookup(const HuffmanTables& tables, unsigned bits) {
        if constexpr (!kFast) m_in.EnsureBits(bits);
        const HuffEntry* t = &tables.Root()[m_in.InvertedBits(bits)];
        unsigned op = t->Op;
        while (op > kOpLiteral) {
            if (op == kOpInvalid) return nullptr;
            m_in.DropBits(t->Bits);
            op -= 16;
            if constexpr (!kFast) m_in.EnsureBits(op);
            t = &tables.SubTable(*t)[m_in.InvertedBits(op)];
            op = t->Op;
        }
        if (op == kOpInvalid) return nullptr;
        m_in.DropBits(t->Bits);
        return t;
    }

    // One literal or match. False on an invalid code. A step takes at most
    // 1 + 7 + 16 + 16 + 8 = 48 bits (a match with 16-bit codes), within what
    // a bulk load leaves in the bit buffer.
    template <bool kFast>
    bool Step(bool threeTrees, unsigned dl, unsigned bb, unsigned bl, unsigned bd) {
        if constexpr (!kFast) m_in.EnsureBits(1);
        if (m_in.Bits(1) != 0) {
            m_in.DropBits(1);
            --m_s;
            if (threeTrees) {
                const HuffEntry* t = Lookup<kFast>(m_literals, bb);
                if (t == nullptr) return false;
                m_window.Put(static_cast<std::uint8_t>(t->Value));
            } else {
                if constexpr (!kFast) m_in.EnsureBits(8);
                const auto c = static_cast<std::uint8_t>(m_in.Bits(8));
                m_window.Put(c);
                m_in.DropBits(8);
            }
            return true;
        }
        m_in.DropBits(1);
        if constexpr (!kFast) m_in.EnsureBits(dl);
        std::uint32_t d = m_in.Bits(dl);
        m_in.DropBits(dl);
        const HuffEntry* t = Lookup<kFast>(m_distances, bd);
        if (t == nullptr) return false;
        d = (m_window.w - d - t->Value) & 0xFFFF;
        t = Lookup<kFast>(m_lengths, bl);
        if (t == nullptr) return false;
        unsigned n = t->Value;
        if (t->Op != 0) {
            if constexpr (!kFast) m_in.EnsureBits(8);
            n += m_in.Bits(8);
            m_in.DropBits(8);
        }
        m_s -= static_cast<std::int64_t>(n);
        m_window.Copy(d, n);
        return true;
    }

    void DecodeData(bool threeTrees, unsigned dl, unsigned bb, unsigned bl, unsigned bd) {
        m_s = m_run.UncompressedSize;
        while (m_s > 0) {
            bool ok;
            if (m_in.CanBulkLoad()) {
                m_in.BulkLoad();
                ok = Step<true>(threeTrees, dl, bb, bl, bd);
            } else {
                ok = Step<false>(threeTrees, dl, bb, bl, bd);
            }
            if (!ok) return;
        }
        m_window.FlushRest();
    }

    Run& m_run;
    LocalBitReader<Run, kBulk> m_in;
    SlidingWindow<Run, kExplodeWindowSize> m_window;
    std::uint16_t m_flags;
    std::int64_t m_s = 0;
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
