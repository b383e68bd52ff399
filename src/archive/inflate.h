// Inflate: the decoder of compression method 8 (deflate).
//
// Design. The decoder works on the extraction run it is given (the frame of
// the decompressors): it takes compressed bytes from the run's input buffer,
// keeps its 32 KiB sliding window in the first 32,768 bytes of the run's work
// area, and writes the window out through the run's FlushWindow each time it
// fills and once at the end, then FlushOutput.
//
// Two decoders share each block. The fast loop (DecodeCodesFast) keeps the
// bit buffer, the input pointer and the window position in registers,
// refills the 64-bit bit buffer a word at a time, and decodes with the
// one-lookup tables of inflate_tables.h (11 bits for literal/length codes, 8
// for distances), up to three literals per refill. It runs only while the bit
// buffer holds a whole step (48 bits) or the bytes left before the end of the
// input buffer and of the entry can supply them, so it never calls NextByte.
// Near those ends the exact decoder takes over: it asks NextByte for each
// byte exactly when a walk of the multi-level tables of huffman.h (9 lookup
// bits for literal/length codes, 6 for distances; 7 and 5 in fixed blocks)
// needs it, so refills, message pumping, cancel checks, volume changes and
// reads past the end happen at the same byte and step as in a byte-wise
// decoder. For a dynamic block with complete codes it decodes with the fast
// tables and takes only the shape of the multi-level ones (TableShape, where
// their walk asks for more bits); fixed blocks and other codes walk the
// multi-level tables themselves (DecodeStep<false>). Either is prepared only
// when a block reaches such an end. Both decoders give the same symbols, the
// same invalid codes and the same window flushes; stored blocks are copied
// with block moves under the same rule.
//
// Everything but the fast loop and the block loop is marked cold: the
// compiler keeps it small, as it runs once per block or near the ends only.
//
// Invariants: k (bits in b) <= 63; w < 32,768 between steps; a decoding step
// consumes at most 48 bits, and the multi-level walk never asks for more than
// 48 bits from a step's start (no lookup beyond the longest code), so with
// 48 bits in hand the fast loop reads no byte the exact decoder would not. A stream that keeps
// decoding from the copies of its last byte (truncated or corrupt data) is
// stopped as bad data once it has used more than kPhantomInputLimit bytes past
// the end of the entry; a valid stream never does.
//
// Run requirements (all by these names): std::uint16_t NextByte(std::uint16_t&),
// the fields InPtr (pointer into the input buffer), InCount (16-bit),
// CompressedLeft (signed, 64-bit), LastByte (16-bit), WorkArea (byte pointer or
// array of at least 32,776 bytes), and FlushWindow(n), FlushOutput().
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "archive/huffman.h"
#include "archive/inflate_tables.h"
#include "archive/local_bit_reader.h"
#include "archive/window_copy.h"

namespace pagorix {

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

    [[gnu::cold]] std::uint16_t CopyStoredBlock() {
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

    // Fixed blocks decode with tables built once per process for the fast
    // loop, and once per entry for the exact decoder when it is needed.
    std::uint16_t DecodeFixedBlock() {
        m_exactFixed = true;
        return DecodeCodes(FixedLitLenTable(), FixedDistTable()) == kStatusOk ? kStatusOk
                                                                              : kStatusBadData;
    }

    [[gnu::cold]] std::uint16_t DecodeDynamicBlock() {
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

        std::uint16_t* const ll = m_lengths;
        std::fill(ll, ll + 286 + 30, std::uint16_t{0});
        for (unsigned j = 0; j < nb; ++j) {
            EnsureBits(3);
            ll[kBorder[j]] = static_cast<std::uint16_t>(Bits(3));
            DropBits(3);
        }
        for (unsigned j = nb; j < 19; ++j)
            ll[kBorder[j]] = 0;

        std::uint16_t bl = 7;
        std::uint16_t status = m_lit.Build(ll, 19, 19, nullptr, nullptr, bl);
        m_exactBuilt = false;
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
        m_nl = nl;
        m_nd = nd;

        status =
            BuildFastTable(m_tables->lit, kLitLenRootBits, ll, nl, 257, kLengthBase, kLengthExtra);
        if (status != kStatusOk) return status;
        status =
            BuildFastTable(m_tables->dist, kDistRootBits, ll + nl, nd, 0, kDistBase, kDistExtra);
        if (status != kStatusOk) return status;
        m_exactFixed = false;
        return DecodeCodes(m_tables->lit, m_tables->dist) == kStatusOk ? kStatusOk : kStatusBadData;
    }

    // Readies the exact decoder for the current block, once per block: the
    // fixed tables, the shapes of a dynamic block's complete codes, or else
    // the multi-level tables themselves. False when building them fails.
    [[gnu::cold]] bool PrepareExact() {
        using namespace inflate_tables;
        if (m_exactFixed) {
            if (!m_fixedBuilt) {
                std::uint16_t lengths[288];
                std::fill(lengths, lengths + 144, 8);
                std::fill(lengths + 144, lengths + 256, 9);
                std::fill(lengths + 256, lengths + 280, 7);
                std::fill(lengths + 280, lengths + 288, 8);
                m_fixedBl = 7;
                std::uint16_t status =
                    m_fixedLit.Build(lengths, 288, 257, kLengthBase, kLengthExtra, m_fixedBl);
                if (status != kStatusOk) return false;
                std::fill(lengths, lengths + 30, 5);
                m_fixedBd = 5;
                status = m_fixedDist.Build(lengths, 30, 0, kDistBase, kDistExtra, m_fixedBd);
                if (status > kStatusBadData) {
                    m_fixedLit.Free();
                    return false;
                }
                m_fixedBuilt = true;
            }
            return true;
        }
        if (m_exactBuilt) return true;
        m_exactShaped = ComputeTableShape(m_lengths, m_nl, 9, m_shapes->lit) &&
                        ComputeTableShape(m_lengths + m_nl, m_nd, 6, m_shapes->dist);
        if (!m_exactShaped) {
            m_bl = 9;
            if (m_lit.Build(m_lengths, m_nl, 257, kLengthBase, kLengthExtra, m_bl) != kStatusOk)
                return false;
            m_bd = 6;
            if (m_dist.Build(m_lengths + m_nl, m_nd, 0, kDistBase, kDistExtra, m_bd) != kStatusOk)
                return false;
        }
        m_exactBuilt = true;
        return true;
    }

    // One code through the fast tables, reading bytes where the walk of the
    // multi-level tables of the given shape would (see TableShape): every
    // byte that walk reads before it knows the code, and only those. Returns
    // the entry with its code bits dropped.
    std::uint32_t ShapedLookup(const std::uint32_t* table, unsigned rootBits,
                               const TableShape& shape) {
        for (;;) {
            // Bits above Count() are zero: an entry whose code fits in the
            // bits present is the right one.
            std::uint32_t e = table[m_in.Bits(rootBits)];
            unsigned length = e >> 8 & 0xF;
            if (e & kEntryLink) {
                e = table[(e >> 16) + (m_in.Bits(rootBits + length) >> rootBits)];
                length = rootBits + (e >> 8 & 0xF);
            }
            if (length > m_in.Count()) {
                // The walk reads at least up to the code's end.
                EnsureBits(m_in.Count() + 1);
                continue;
            }
            const unsigned l = shape.rootBits;
            unsigned need = l;
            if (length > l) need = l + shape.level1[m_in.Bits(l)];
            if (length > 2 * l) need = std::max(need, 2 * l + shape.Level2Bits(m_in.Bits(2 * l)));
            EnsureBits(need);
            DropBits(length);
            return e;
        }
    }

    // DecodeStep<false> for a block whose codes are complete, with the fast
    // tables and the shapes of the multi-level ones.
    [[gnu::cold]] int DecodeStepShaped(const std::uint32_t* lit, const std::uint32_t* dist) {
        std::uint32_t e = ShapedLookup(lit, kLitLenRootBits, m_shapes->lit);
        if (e & kEntryLiteral) {
            m_window.Put(static_cast<std::uint8_t>(e >> 16));
            return 0;
        }
        if (e & kEntryEndOfBlock) return 1;
        if (e & kEntryExceptional) return 2;
        unsigned extra = (e & 0xFF) - (e >> 8 & 0xF);
        EnsureBits(extra);
        const unsigned n = (e >> 16) + Bits(extra);
        DropBits(extra);

        e = ShapedLookup(dist, kDistRootBits, m_shapes->dist);
        if (e & kEntryExceptional) return 2;
        extra = (e & 0xFF) - (e >> 8 & 0xF);
        EnsureBits(extra);
        const std::uint32_t d = (m_window.w - (e >> 16) - Bits(extra)) & 0xFFFF;
        DropBits(extra);
        m_window.Copy(d, n);
        return 0;
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
    [[gnu::cold]] int DecodeStep(const HuffmanTables& tl, const HuffmanTables& td, unsigned bl,
                                 unsigned bd) {
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

    // The low bits of the step's saved bit buffer above the code: the extra
    // bits of a length or distance entry.
    static unsigned ExtraBits(std::uint64_t saved, std::uint32_t entry) {
        const unsigned total = entry & 0xFF;
        return (static_cast<std::uint32_t>(saved) & ((1u << total) - 1)) >> (entry >> 8 & 0xF);
    }

    // A match that wraps around the window's end, or whose source overlaps
    // its destination from the older half: the window's piecewise copy.
    // Returns the new write position.
    [[gnu::cold]] std::uint32_t CopyWrapping(std::uint32_t w, std::uint32_t back, unsigned n) {
        m_window.w = w;
        m_window.Copy((w - back) & 0xFFFF, n);
        return m_window.w;
    }

    // CopyMatchInWindow in whole words: for back >= 8 the words may run up to
    // 7 bytes past the match, into older history, which is read before and
    // put back after (the work area has room for the 8 bytes after the
    // window's end). Those bytes are never a source here: the last word read
    // ends at least one byte before the match's end.
    static void CopyMatch(std::uint8_t* dst, unsigned back, unsigned n) {
        if (back < 8) {
            CopyMatchInWindow(dst, back, n);
            return;
        }
        std::uint8_t after[8];
        std::memcpy(after, dst + n, 8);
        const std::uint8_t* src = dst - back;
        std::uint8_t* d = dst;
        std::uint8_t* const end = dst + n;
        do {
            std::memcpy(d, src, 8);
            d += 8;
            src += 8;
        } while (d < end);
        std::memcpy(end, after, 8);
    }

    // The hot loop: literals and matches with every piece of state in locals,
    // as long as the bit buffer holds a whole step (48 bits) or can be filled
    // from the input buffer without reaching its end or the entry's. Returns 1
    // at the end of the block, 2 on bad data, 0 when the input runs low (the
    // exact decoder then takes over).
    int DecodeCodesFast(const std::uint32_t* lit, const std::uint32_t* dist) {
        constexpr unsigned kStepBits = 48;
        constexpr std::uint32_t kLitMask = (1u << kLitLenRootBits) - 1;
        constexpr std::uint32_t kDistMask = (1u << kDistRootBits) - 1;
        std::uint8_t* const window = m_window.Data();
        FastBits f = m_in.BeginFast();
        std::uint32_t w = m_window.w;
        int result = 0;
        std::uint32_t e;
        for (;;) {
            // Far from the ends the refill is one unconditional word load.
            if (f.CanRefill())
                f.Refill();
            else if (f.k < kStepBits && !f.RefillBytes(kStepBits))
                break;
            e = lit[f.b & kLitMask];
        haveEntry:
            if (e & kEntryLiteral) {
                f.Drop(e & 0xFF);
                window[w++] = static_cast<std::uint8_t>(e >> 16);
                if (w < kInflateWindowSize - 2) {
                    // Two more literals fit in the bits left (15 each at most)
                    // and in the window.
                    e = lit[f.b & kLitMask];
                    if (e & kEntryLiteral) {
                        f.Drop(e & 0xFF);
                        window[w++] = static_cast<std::uint8_t>(e >> 16);
                        e = lit[f.b & kLitMask];
                        if (e & kEntryLiteral) {
                            f.Drop(e & 0xFF);
                            window[w++] = static_cast<std::uint8_t>(e >> 16);
                        }
                    }
                } else if (w == kInflateWindowSize) {
                    m_window.w = w;
                    m_window.FlushFull();
                    w = 0;
                }
                continue;
            }
            if (e & kEntryExceptional) {
                if (e & kEntryLink) {
                    f.Drop(e & 0xFF);
                    e = lit[(e >> 16) + f.Bits(e >> 8 & 0xF)];
                    if (e & kEntryLiteral) {
                        f.Drop(e & 0xFF);
                        window[w++] = static_cast<std::uint8_t>(e >> 16);
                        if (w == kInflateWindowSize) {
                            m_window.w = w;
                            m_window.FlushFull();
                            w = 0;
                        }
                        continue;
                    }
                }
                if (e & kEntryEndOfBlock) {
                    f.Drop(e & 0xFF);
                    result = 1;
                    break;
                }
                if (e & kEntryInvalid) {
                    result = 2;
                    break;
                }
            }
            std::uint64_t saved = f.b;
            f.Drop(e & 0xFF);
            const unsigned n = (e >> 16) + ExtraBits(saved, e);

            e = dist[f.b & kDistMask];
            if (e & kEntryExceptional) {
                if (e & kEntryLink) {
                    f.Drop(e & 0xFF);
                    e = dist[(e >> 16) + f.Bits(e >> 8 & 0xF)];
                }
                if (e & kEntryExceptional) {
                    result = 2;
                    break;
                }
            }
            saved = f.b;
            f.Drop(e & 0xFF);
            const std::uint32_t back = (e >> 16) + ExtraBits(saved, e);

            // The refill the next step would begin with, and its entry, come
            // before the copy, so that the entry's load overlaps the copy.
            const bool preloaded = f.CanRefill();
            if (preloaded) {
                f.Refill();
                e = lit[f.b & kLitMask];
            }
            const bool fits = n <= kInflateWindowSize - w;  // before the window's end
            if (fits && back <= w) {
                // Source and destination inside the window, no wrap.
                CopyMatch(window + w, back, n);
                w += n;
            } else if (fits && w + n <= back && kInflateWindowSize - back >= n) {
                // The source lies wholly in the older part of the window,
                // past the destination.
                CopyInPieces(window + w, window + kInflateWindowSize + w - back, n);
                w += n;
            } else {
                // Flushes the window itself whenever it fills.
                w = CopyWrapping(w, back, n);
            }
            if (w == kInflateWindowSize) {
                m_window.w = w;
                m_window.FlushFull();
                w = 0;
            }
            if (preloaded) goto haveEntry;
        }
        m_window.w = w;
        m_in.EndFast(f);
        return result;
    }

    std::uint16_t DecodeCodes(const std::uint32_t* lit, const std::uint32_t* dist) {
        for (;;) {
            int result = DecodeCodesFast(lit, dist);
            if (result == 0) {
                if (RanOffTheEnd()) return kStatusBadData;
                if (!PrepareExact()) return kStatusBadData;
                if (m_exactFixed)
                    result = DecodeStep<false>(m_fixedLit, m_fixedDist, m_fixedBl, m_fixedBd);
                else if (m_exactShaped)
                    result = DecodeStepShaped(lit, dist);
                else
                    result = DecodeStep<false>(m_lit, m_dist, m_bl, m_bd);
            }
            if (result == 1) return kStatusOk;
            if (result == 2) return kStatusBadData;
        }
    }

    // The fast loop's tables of the current dynamic block.
    struct FastTables {
        std::uint32_t lit[kLitLenTableSize];
        std::uint32_t dist[kDistTableSize];
    };

    Run& m_run;
    LocalBitReader<Run, kBulk> m_in;
    SlidingWindow<Run, kInflateWindowSize> m_window;
    std::unique_ptr<FastTables> m_tables = std::make_unique_for_overwrite<FastTables>();
    struct Shapes {
        TableShape lit;
        TableShape dist;
    };
    std::unique_ptr<Shapes> m_shapes = std::make_unique_for_overwrite<Shapes>();
    // The exact decoder's tables: the current dynamic block's, built from its
    // lengths when first needed, and the fixed ones.
    std::uint16_t m_lengths[286 + 30];
    unsigned m_nl = 0;
    unsigned m_nd = 0;
    bool m_exactFixed = false;
    bool m_exactBuilt = false;
    bool m_exactShaped = false;
    HuffmanTables m_lit;
    HuffmanTables m_dist;
    std::uint16_t m_bl = 9;
    std::uint16_t m_bd = 6;
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
