// The decoding tables of inflate's fast loop.
//
// Design. One lookup gives everything a decoding step needs: a 32-bit entry
// holds the symbol's value (literal byte, length base or distance base), its
// kind, the number of code bits at this table level and the total number of
// bits to drop (code bits plus extra bits), so a step costs one dependent
// load. The first level takes 11 bits for literal/length codes and 8 for
// distances, which covers almost every code of real streams; the rest go
// through one sub-table, sized to the longest code that shares its prefix.
//
// Entry layout:
//   bits 0-7    bits to drop (at this level: code bits + extra bits; for a
//               link, the first level's bits)
//   bits 8-11   code bits at this level (the extra bits start above them);
//               for a link, the sub-table's index bits
//   bit 12      literal          bit 13  end of block
//   bit 14      link             bit 15  invalid code
//   bits 16-31  literal, base, or the sub-table's first entry for a link
//
// The status of a build is the one the multi-level tables of huffman.h give
// for the same lengths (0; 1 for an incomplete code other than a single
// one-bit code; 2 for an over-subscribed code), and the bit patterns an
// incomplete or empty code leaves unused decode as invalid, as there. Only
// the bits consumed differ from those tables, never the symbols.
#pragma once

#include <cstdint>

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

inline constexpr std::uint32_t kEntryLiteral = 1u << 12;
inline constexpr std::uint32_t kEntryEndOfBlock = 1u << 13;
inline constexpr std::uint32_t kEntryLink = 1u << 14;
inline constexpr std::uint32_t kEntryInvalid = 1u << 15;
// Anything but a literal or a plain base: end of block, link, invalid.
inline constexpr std::uint32_t kEntryExceptional = kEntryEndOfBlock | kEntryLink | kEntryInvalid;

inline constexpr unsigned kLitLenRootBits = 11;
inline constexpr unsigned kDistRootBits = 8;
// First level plus the largest set of sub-tables a code of at most 288
// symbols and 15-bit codes can need, complete or not.
inline constexpr unsigned kLitLenTableSize = (1u << kLitLenRootBits) + 288 * 16;
inline constexpr unsigned kDistTableSize = (1u << kDistRootBits) + 32 * 128;
inline constexpr unsigned kMaxShapeLevel2 = 32;

// Builds the table of a code from its n lengths (0 = unused, at most 15).
// Symbols below s are literals (below 256) or end of block; from s on they
// take base and extra bits from base[symbol - s] and extra[symbol - s], where
// an extra-bit count above 13 marks an invalid symbol. Returns the status.
std::uint16_t BuildFastTable(std::uint32_t* table, unsigned rootBits, const std::uint16_t* lengths,
                             unsigned n, unsigned s, const std::uint16_t* base,
                             const std::uint16_t* extra);

// Where the multi-level tables of huffman.h would ask for more bits: the
// exact decoder uses this to read its bytes at the same points as a walk of
// those tables without building them. For a complete code with lookup bits l
// (the value HuffmanTables::Build returns in m), a code of length L costs
// ensuring l bits when L <= l, l + level1[first l bits] when L <= 2l, and
// also 2l + the level-2 table's bits (found by the first 2l bits) beyond.
struct TableShape {
    unsigned rootBits = 0;
    std::uint8_t level1[1u << 9];
    struct Deeper {
        std::uint16_t key;
        std::uint8_t bits;
    };
    Deeper level2[kMaxShapeLevel2];
    unsigned level2Count = 0;

    unsigned Level2Bits(unsigned key) const {
        for (unsigned i = 0; i < level2Count; ++i) {
            if (level2[i].key == key) return level2[i].bits;
        }
        return 0;
    }
};

// The shape of the tables HuffmanTables::Build makes for a complete code of
// n lengths with m lookup bits wanted (m <= 9, lengths at most 15). False for
// a code that is not complete, or has more levels than inflate's codes can.
bool ComputeTableShape(const std::uint16_t* lengths, unsigned n, unsigned m, TableShape& shape);

// The tables of fixed blocks, built on first use.
const std::uint32_t* FixedLitLenTable();
const std::uint32_t* FixedDistTable();

}  // namespace pagorix
