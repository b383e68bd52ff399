// Inflate: the decoder of compression method 8 (deflate).
//
// Design. The decoder works on the extraction run it is given (the frame of
// the decompressors): it takes compressed bytes from the run's input buffer,
// keeps its 32 KiB sliding window in the first 32,768 bytes of the run's work
// area, and writes the window out through the run's FlushWindow each time it
// fills and once at the end, then FlushOutput. Blocks are decoded with the
// multi-level tables of huffman.h (9 lookup bits for literal/length codes, 6
// for distances in dynamic blocks, 7 and 5 in fixed blocks).
//
// Speed without a change of behaviour: the local bit reader
// (local_bit_reader.h) loads bytes in bulk where that cannot move a refill,
// and stored blocks are copied with block moves under the same rule.
//
// Invariants: k (bits in b) <= 63; w < 32,768 between steps; a decoding step
// in the fast path consumes at most 48 bits. A stream that keeps decoding
// from the copies of its last byte (truncated or corrupt data) is stopped as
// bad data once it has used more than kPhantomInputLimit bytes past the end of
// the entry; a valid stream never does.
//
// Run requirements (all by these names): std::uint16_t NextByte(std::uint16_t&),
// the fields InPtr (pointer into the input buffer), InCount (16-bit),
// CompressedLeft (signed, 64-bit), LastByte (16-bit), WorkArea (byte pointer or
// array), and FlushWindow(n), FlushOutput().
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "archive/huffman.h"
#include "archive/local_bit_reader.h"
#include "archive/window_copy.h"

namespace pagorix {

namespace inflate_tables {
// Order in which the code-length code's lengths are stored.
inline constexpr std::uint16_t kBorder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                              11, 4,  12, 3, 13, 2, 14, 1, 15};
// Length bases and extra bits for codes 257..287; 286 and 287 are invalid.
inline constexpr std::uint16_t kLengthBase[31] = {3,  4,   5,   6,   7,   8,   9,   10, 11, 13, 15,
                                                  17, 19,  23,  27,  31,  35,  43,  51, 59, 67, 83,
                                                  99, 115, 131, 163, 195, 227, 258, 0,  0};
inline constexpr std::uint16_t kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                                   3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
// Distance bases and extra bits for codes 0..29.
inline constexpr std::uint16_t kDistBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr std::uint16_t kDistExtra[30] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                 4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
}  // namespace inflate_tables

inline constexpr std::uint32_t kInflateWindowSize = 32768;
// How far a decoder may read past the end of an entry's data before the
// stream counts as bad: a valid stream asks for at most a few bytes there.
inline constexpr std::int32_t kPhantomInputLimit = 64;

// kBulk: allow the bulk reader (off only to check, in tests, that it changes
// nothing).
template <class Run, bool kBulk = true>
class Inflater {
public:
    explicit Inflater(Run& run) : m_run(run), m_in(run), m_window(run, false) {}

    // Decodes the current entry. A non-zero status stops decoding without
    // flushing anything more; the CRC-32 check then rejects the entry.
    void Inflate() {
        bool last = false;
        do {
            if (DecodeBlock(last) != kStatusOk) return;
        } while (!last);
        m_window.FlushRest();
        m_run.FlushOutput();
    }

private:
    // ---- Bit input ----

    bool CanBulkLoad() const { return m_in.CanBulkLoad(); }
    void BulkLoad() { m_in.BulkLoad(); }
    void EnsureBits(unsigned n) { m_in.EnsureBits(n); }
    void DropBits(unsigned n) { m_in.DropBits(n); }
    unsigned Bits(unsigned n) const { return m_in.Bits(n); }

    bool RanOffTheEnd() const { return m_run.CompressedLeft < -kPhantomInputLimit; }

    // ---- Output ----

    // ---- Blocks ----

    std::uint16_t DecodeBlock(bool& last) {
        if (RanOffTheEnd()) return kStatusBadData;
        EnsureBits(1);
        last = Bits(1) != 0;
        DropBits(1);
        EnsureBits(2);
        const unsigned type = Bits(2);
        DropBits(2);
        switch (type) {
            case 0:
                return CopyStoredBlock();
            case 1:
                return DecodeFixedBlock();
            case 2:
                return DecodeDynamicBlock();
            default:
                return kStatusOverSubscribed;
        }
    }

    std::uint16_t CopyStoredBlock() {
        DropBits(m_in.Count() % 8);
        EnsureBits(16);
        unsigned n = Bits(16);
        DropBits(16);
        EnsureBits(16);
        if (n != m_in.InvertedBits(16)) return kStatusBadData;
        DropBits(16);
        while (n > 0) {
            if (m_in.Count() >= 8) {
                // Bytes already in the bit buffer.
                m_window.Put(static_cast<std::uint8_t>(Bits(8)));
                DropBits(8);
                --n;
            } else if (kBulk && m_run.BulkAvailable() > 0) {
                // Straight from the input buffer, up to its end, the entry's
                // end or the window's end, whichever comes first.
                std::uint32_t e =
                    std::min<std::uint32_t>(n, static_cast<std::uint32_t>(m_run.BulkAvailable()));
                e = std::min<std::uint32_t>(e, kInflateWindowSize - m_window.w);
                std::memcpy(m_window.Data() + m_window.w,
                            m_run.TakeBulk(static_cast<std::int32_t>(e)), e);
                m_window.w += e;
                n -= e;
                if (m_window.w == kInflateWindowSize) m_window.FlushFull();
            } else {
                EnsureBits(8);  // a refill, or a copy of the last byte
            }
        }
        return kStatusOk;
    }

    std::uint16_t DecodeFixedBlock() {
        using namespace inflate_tables;
        if (!m_fixedBuilt) {
            std::uint16_t lengths[288];
            std::fill(lengths, lengths + 144, 8);
            std::fill(lengths + 144, lengths + 256, 9);
            std::fill(lengths + 256, lengths + 280, 7);
            std::fill(lengths + 280, lengths + 288, 8);
            m_fixedBl = 7;
            std::uint16_t status =
                m_fixedLit.Build(lengths, 288, 257, kLengthBase, kLengthExtra, m_fixedBl);
            if (status != kStatusOk) return status;
            std::fill(lengths, lengths + 30, 5);
            m_fixedBd = 5;
            status = m_fixedDist.Build(lengths, 30, 0, kDistBase, kDistExtra, m_fixedBd);
            if (status > kStatusBadData) {
                m_fixedLit.Free();
                return status;
            }
            m_fixedBuilt = true;
        }
        return DecodeCodes(m_fixedLit, m_fixedDist, m_fixedBl, m_fixedBd) == kStatusOk
                   ? kStatusOk
                   : kStatusBadData;
    }

    std::uint16_t DecodeDynamicBlock() {
        using namespace inflate_tables;
        EnsureBits(5);
        const unsigned nl = 257 + Bits(5);
        DropBits(5);
        EnsureBits(5);
        const unsigned nd = 1 + Bits(5);
        DropBits(5);
        EnsureBits(4);
        const unsigned nb = 4 + Bits(4);
        DropBits(4);
        if (nl > 286 || nd > 30) return kStatusBadData;

        std::uint16_t ll[286 + 30] = {};
        for (unsigned j = 0; j < nb; ++j) {
            EnsureBits(3);
            ll[kBorder[j]] = static_cast<std::uint16_t>(Bits(3));
            DropBits(3);
        }
        for (unsigned j = nb; j < 19; ++j)
            ll[kBorder[j]] = 0;

        std::uint16_t bl = 7;
        std::uint16_t status = m_lit.Build(ll, 19, 19, nullptr, nullptr, bl);
        if (status != kStatusOk) return status;
        // The code-length code with no code at all cannot decode anything.
        if (m_lit.Empty()) return kStatusBadData;

        const unsigned n = nl + nd;
        unsigned i = 0;
        std::uint16_t prev = 0;
        while (i < n) {
            EnsureBits(bl);
            const HuffEntry& entry = m_lit.Root()[Bits(bl)];
            // Only the first level is used; a code missing from the
            // code-length code is bad data.
            if (entry.Op == kOpInvalid || entry.Op > kOpLiteral) return kStatusBadData;
            DropBits(entry.Bits);
            const unsigned j = entry.Value;
            unsigned repeat = 0;
            std::uint16_t value = 0;
            if (j < 16) {
                ll[i++] = static_cast<std::uint16_t>(j);
                prev = static_cast<std::uint16_t>(j);
                continue;
            }
            if (j == 16) {
                EnsureBits(2);
                repeat = 3 + Bits(2);
                DropBits(2);
                value = prev;
            } else if (j == 17) {
                EnsureBits(3);
                repeat = 3 + Bits(3);
                DropBits(3);
                prev = 0;
            } else {
                EnsureBits(7);
                repeat = 11 + Bits(7);
                DropBits(7);
                prev = 0;
            }
            if (i + repeat > n) return kStatusBadData;
            std::fill(ll + i, ll + i + repeat, value);
            i += repeat;
        }
        m_lit.Free();

        bl = 9;
        status = m_lit.Build(ll, nl, 257, kLengthBase, kLengthExtra, bl);
        if (status != kStatusOk) return status;
        std::uint16_t bd = 6;
        status = m_dist.Build(ll + nl, nd, 0, kDistBase, kDistExtra, bd);
        if (status != kStatusOk) return status;
        return DecodeCodes(m_lit, m_dist, bl, bd) == kStatusOk ? kStatusOk : kStatusBadData;
    }

    // Looks a code up in a table set, walking sub-tables. Null on an invalid
    // code or an empty table. kFast: the bits are known to be in the buffer.
    template <bool kFast>
    const HuffEntry* Lookup(const HuffmanTables& tables, unsigned bits) {
        if constexpr (!kFast) EnsureBits(bits);
        const HuffEntry* root = tables.Root();
        if (root == nullptr) return nullptr;
        const HuffEntry* t = &root[Bits(bits)];
        unsigned op = t->Op;
        while (op > kOpLiteral) {
            if (op == kOpInvalid) return nullptr;
            DropBits(t->Bits);
            op -= 16;
            if constexpr (!kFast) EnsureBits(op);
            t = &tables.SubTable(*t)[Bits(op)];
            op = t->Op;
        }
        if (op == kOpInvalid) return nullptr;
        DropBits(t->Bits);
        return t;
    }

    // Decodes one literal, end of block or match. Returns 1 at the end of
    // the block, 0 to go on, 2 on bad data.
    template <bool kFast>
    int DecodeStep(const HuffmanTables& tl, const HuffmanTables& td, unsigned bl, unsigned bd) {
        const HuffEntry* t = Lookup<kFast>(tl, bl);
        if (t == nullptr) return 2;
        unsigned op = t->Op;
        if (op == kOpLiteral) {
            m_window.Put(static_cast<std::uint8_t>(t->Value));
            return 0;
        }
        if (op == kOpEndOfBlock) return 1;

        if constexpr (!kFast) EnsureBits(op);
        unsigned n = t->Value + Bits(op);
        DropBits(op);

        t = Lookup<kFast>(td, bd);
        if (t == nullptr) return 2;
        op = t->Op;
        if constexpr (!kFast) EnsureBits(op);
        std::uint32_t d = (m_window.w - t->Value - Bits(op)) & 0xFFFF;
        DropBits(op);
        m_window.Copy(d, n);
        return 0;
    }

    // The hot loop: literals and matches with every piece of state in
    // locals, as long as the bit buffer holds a whole step (at most 48 bits)
    // or can be refilled from the input buffer without reaching its end or
    // the entry's. Returns 1 at the end of the block, 2 on bad data, 0 when
    // the input runs low (the exact reader then takes over).
    int DecodeCodesFast(const HuffmanTables& tl, const HuffmanTables& td, unsigned bl,
                        unsigned bd) {
        // An empty table decodes every code as invalid.
        static constexpr HuffEntry kNoCode{kOpInvalid, 0, 0};
        const HuffEntry* const lit = tl.Empty() ? &kNoCode : tl.Root();
        const HuffEntry* const dist = td.Empty() ? &kNoCode : td.Root();
        const unsigned ml = (1u << bl) - 1;
        const unsigned md = (1u << bd) - 1;
        std::uint8_t* const window = m_window.Data();
        FastBits f = m_in.BeginFast();
        std::uint32_t w = m_window.w;
        int result = 0;
        for (;;) {
            if (f.k < 48) {
                if (!f.CanRefill()) break;
                f.Refill();
            }
            HuffEntry t = lit[f.b & ml];
            if (t.Op > kOpLiteral) {
                while (t.Op > kOpLiteral && t.Op != kOpInvalid) {
                    f.Drop(t.Bits);
                    t = tl.SubTable(t)[f.Bits(t.Op - 16u)];
                }
                if (t.Op == kOpInvalid) {
                    result = 2;
                    break;
                }
            }
            f.Drop(t.Bits);
            if (t.Op == kOpLiteral) {
                window[w++] = static_cast<std::uint8_t>(t.Value);
                if (w == kInflateWindowSize) {
                    m_window.w = w;
                    m_window.FlushFull();
                    w = 0;
                }
                continue;
            }
            if (t.Op == kOpEndOfBlock) {
                result = 1;
                break;
            }
            const unsigned n = t.Value + f.Bits(t.Op);
            f.Drop(t.Op);
            t = dist[f.b & md];
            if (t.Op > kOpLiteral) {
                while (t.Op > kOpLiteral && t.Op != kOpInvalid) {
                    f.Drop(t.Bits);
                    t = td.SubTable(t)[f.Bits(t.Op - 16u)];
                }
                if (t.Op == kOpInvalid) {
                    result = 2;
                    break;
                }
            }
            f.Drop(t.Bits);
            const std::uint32_t back = t.Value + f.Bits(t.Op);
            f.Drop(t.Op);
            if (back <= w && n <= kInflateWindowSize - w) {
                // The common case: source and destination inside the window
                // without a wrap.
                CopyMatchInWindow(window + w, back, n);
                w += n;
                if (w == kInflateWindowSize) {
                    m_window.w = w;
                    m_window.FlushFull();
                    w = 0;
                }
            } else {
                m_window.w = w;
                m_window.Copy((w - back) & 0xFFFF, n);
                w = m_window.w;
            }
        }
        m_window.w = w;
        m_in.EndFast(f);
        return result;
    }

    std::uint16_t DecodeCodes(const HuffmanTables& tl, const HuffmanTables& td, unsigned bl,
                              unsigned bd) {
        for (;;) {
            int result = DecodeCodesFast(tl, td, bl, bd);
            if (result == 0) {
                if (RanOffTheEnd()) return kStatusBadData;
                result = DecodeStep<false>(tl, td, bl, bd);
            }
            if (result == 1) return kStatusOk;
            if (result == 2) return kStatusBadData;
        }
    }

    Run& m_run;
    LocalBitReader<Run, kBulk> m_in;
    SlidingWindow<Run, kInflateWindowSize> m_window;
    HuffmanTables m_lit;
    HuffmanTables m_dist;
    HuffmanTables m_fixedLit;
    HuffmanTables m_fixedDist;
    std::uint16_t m_fixedBl = 7;
    std::uint16_t m_fixedBd = 5;
    bool m_fixedBuilt = false;
};

// The decoder's entry point: decodes the run's current entry.
template <class Run>
void Inflate(Run& run) {
    Inflater<Run>(run).Inflate();
}

}  // namespace pagorix
