// Multi-level Huffman decoding tables, shared by inflate and explode.
//
// A table set is a first-level table of 2^m entries plus sub-tables for the
// codes longer than m bits. A lookup takes m bits from the bit buffer; an
// entry whose Op is above 16 links to a sub-table indexed by Op - 16 further
// bits. All tables of one code live in one growable arena owned by the
// HuffmanTables object, so building a code reuses the memory of the previous
// one instead of allocating per table; links are arena indices.
//
// Entry kinds by Op: 0..13 a base followed by Op extra bits, 15 end of block,
// 16 a literal, 17..32 a link, 99 an invalid code (the codes missing from an
// incomplete code decode as invalid).
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace pagorix {

struct HuffEntry {
    std::uint8_t Op;
    std::uint8_t Bits;
    std::uint16_t Value;  // literal, base, or the arena index of a sub-table
};

inline constexpr std::uint8_t kOpEndOfBlock = 15;
inline constexpr std::uint8_t kOpLiteral = 16;
inline constexpr std::uint8_t kOpInvalid = 99;

// Status codes of table building and decoding.
inline constexpr std::uint16_t kStatusOk = 0;
inline constexpr std::uint16_t kStatusBadData = 1;         // bad or incomplete data
inline constexpr std::uint16_t kStatusOverSubscribed = 2;  // or an invalid block type
inline constexpr std::uint16_t kStatusNoMemory = 3;

inline constexpr unsigned kMaxCodeLength = 16;
inline constexpr unsigned kMaxCodes = 288;

// The code after `code` among codes of length k, counted in bit-reversed
// order (the order in which tables indexed by the stream's bits are filled).
inline unsigned NextReversedCode(unsigned code, unsigned k) {
    unsigned bit = 1u << (k - 1);
    while ((code & bit) != 0) {
        code ^= bit;
        bit >>= 1;
    }
    return code ^ bit;
}

// The size in bits of the table the builder opens, pre bits below the root,
// for the next code of length k, with a + 1 codes of that length still to
// place: as many bits as the code has left, grown while the longer codes
// (c[n]: the number of codes of length n) leave patterns free, up to the
// root's size l and the longest length g.
inline unsigned SubTableBits(const unsigned* c, unsigned k, int pre, int l, unsigned g, int a) {
    const unsigned z = std::min<unsigned>(g - static_cast<unsigned>(pre), static_cast<unsigned>(l));
    unsigned bits = k - static_cast<unsigned>(pre);
    unsigned f = 1u << bits;
    if (f > static_cast<unsigned>(a) + 1) {
        f -= static_cast<unsigned>(a) + 1;
        while (bits < z) {
            if (++bits == z) break;
            f <<= 1;
            if (f <= c[static_cast<unsigned>(pre) + bits]) break;
            f -= c[static_cast<unsigned>(pre) + bits];
        }
    }
    return bits;
}

class HuffmanTables {
public:
    // Builds the decoding tables of a code given its code lengths.
    //   lengths: n code lengths (0 = unused symbol), each at most 16;
    //   s: symbols below s are literals (below 256) or end of block; symbols
    //      from s on take their base and extra bits from d and e at symbol - s;
    //   m: in: the lookup bits wanted, out: the lookup bits used.
    // Returns 0, 1 for an incomplete code (other than a single one-bit code;
    // the tables are usable and the missing codes decode as invalid), 2 for an
    // over-subscribed code, or 3 when memory runs out (after telling the user).
    // A code without any symbol gives empty tables, m = 0 and status 0.
    std::uint16_t Build(const std::uint16_t* lengths, unsigned n, unsigned s,
                        const std::uint16_t* d, const std::uint16_t* e, std::uint16_t& m);

    // Forgets the tables; the arena's memory is kept for the next code.
    void Free();

    bool Empty() const { return m_entries.empty(); }
    // The first-level table, or null when empty.
    const HuffEntry* Root() const { return m_entries.empty() ? nullptr : m_entries.data(); }
    const HuffEntry* SubTable(const HuffEntry& link) const { return m_entries.data() + link.Value; }

private:
    std::vector<HuffEntry> m_entries;
};

}  // namespace pagorix
