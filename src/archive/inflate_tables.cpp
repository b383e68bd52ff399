#include "archive/inflate_tables.h"

#include <algorithm>
#include <array>
#include <memory>

#include "archive/huffman.h"

namespace pagorix {

namespace {

constexpr unsigned kMaxLength = 15;
constexpr unsigned kMaxSymbols = 288;
constexpr unsigned kMaxExtraBits = 13;

std::uint32_t MakeEntry(unsigned symbol, unsigned codeBits, unsigned s, const std::uint16_t* base,
                        const std::uint16_t* extra) {
    const std::uint32_t bits = codeBits << 8 | codeBits;
    if (symbol < s) {
        if (symbol < 256) return symbol << 16 | kEntryLiteral | bits;
        return kEntryEndOfBlock | bits;
    }
    const unsigned e = extra[symbol - s];
    if (e > kMaxExtraBits) return kEntryInvalid;
    return static_cast<std::uint32_t>(base[symbol - s]) << 16 | (bits + e);
}

}  // namespace

std::uint16_t BuildFastTable(std::uint32_t* table, unsigned rootBits, const std::uint16_t* lengths,
                             unsigned n, unsigned s, const std::uint16_t* base,
                             const std::uint16_t* extra) {
    const unsigned rootSize = 1u << rootBits;
    if (n > kMaxSymbols) return 2;
    std::array<unsigned, kMaxLength + 1> count{};
    for (unsigned i = 0; i < n; ++i) {
        if (lengths[i] > kMaxLength) return 2;
        ++count[lengths[i]];
    }
    if (count[0] == n) {
        std::fill(table, table + rootSize, kEntryInvalid);
        return 0;
    }
    unsigned shortest = 1;
    while (count[shortest] == 0)
        ++shortest;
    unsigned longest = kMaxLength;
    while (count[longest] == 0)
        --longest;

    // The code space left over: negative for an over-subscribed code.
    int left = 1 << shortest;
    for (unsigned len = shortest; len < longest; ++len) {
        left -= static_cast<int>(count[len]);
        if (left < 0) return 2;
        left <<= 1;
    }
    left -= static_cast<int>(count[longest]);
    if (left < 0) return 2;
    const std::uint16_t status = (left != 0 && longest != 1) ? 1 : 0;
    // An incomplete code leaves patterns that no code writes.
    if (left != 0) std::fill(table, table + rootSize, kEntryInvalid);

    // Symbols in canonical order (by length, then by value) with their codes,
    // held bit-reversed as the bit buffer delivers them.
    std::array<unsigned, kMaxLength + 2> offset;
    offset[1] = 0;
    for (unsigned len = 1; len <= kMaxLength; ++len)
        offset[len + 1] = offset[len] + count[len];
    std::array<std::uint16_t, kMaxSymbols> sorted;
    for (unsigned i = 0; i < n; ++i) {
        if (lengths[i] != 0) sorted[offset[lengths[i]]++] = static_cast<std::uint16_t>(i);
    }
    const unsigned coded = n - count[0];
    std::array<std::uint16_t, kMaxSymbols> codes;
    std::array<std::uint8_t, kMaxSymbols> lens;
    {
        unsigned code = 0;
        unsigned p = 0;
        for (unsigned len = shortest; len <= longest; ++len) {
            for (unsigned c = 0; c < count[len]; ++c, ++p) {
                codes[p] = static_cast<std::uint16_t>(code);
                lens[p] = static_cast<std::uint8_t>(len);
                // The next code: add one at the code's last bit, which is
                // the highest bit held.
                unsigned bit = 1u << (len - 1);
                while ((code & bit) != 0) {
                    code ^= bit;
                    bit >>= 1;
                }
                code ^= bit;
            }
        }
    }

    unsigned next = rootSize;  // where the next sub-table goes
    unsigned p = 0;
    for (; p < coded && lens[p] <= rootBits; ++p) {
        const unsigned len = lens[p];
        const std::uint32_t entry = MakeEntry(sorted[p], len, s, base, extra);
        for (unsigned i = codes[p]; i < rootSize; i += 1u << len)
            table[i] = entry;
    }
    // Longer codes, one group per first-level prefix; a group's codes are
    // consecutive in canonical order and its last code is its longest.
    const unsigned rootMask = rootSize - 1;
    while (p < coded) {
        const unsigned prefix = codes[p] & rootMask;
        unsigned q = p + 1;
        while (q < coded && (codes[q] & rootMask) == prefix)
            ++q;
        const unsigned subBits = lens[q - 1] - rootBits;
        const unsigned subSize = 1u << subBits;
        std::uint32_t* sub = table + next;
        if (left != 0) std::fill(sub, sub + subSize, kEntryInvalid);
        table[prefix] = next << 16 | kEntryLink | subBits << 8 | rootBits;
        for (; p < q; ++p) {
            const unsigned len = lens[p] - rootBits;
            const std::uint32_t entry = MakeEntry(sorted[p], len, s, base, extra);
            for (unsigned i = codes[p] >> rootBits; i < subSize; i += 1u << len)
                sub[i] = entry;
        }
        next += subSize;
    }
    return status;
}

bool ComputeTableShape(const std::uint16_t* lengths, unsigned n, unsigned m, TableShape& shape) {
    std::array<unsigned, kMaxLength + 1> c{};
    for (unsigned i = 0; i < n; ++i) {
        if (lengths[i] > kMaxLength) return false;
        ++c[lengths[i]];
    }
    if (c[0] == n) return false;
    unsigned j = 1;
    while (c[j] == 0)
        ++j;
    unsigned g = kMaxLength;
    while (c[g] == 0)
        --g;
    int y = 1 << j;
    for (unsigned len = j; len < g; ++len) {
        y -= static_cast<int>(c[len]);
        if (y < 0) return false;
        y <<= 1;
    }
    if (y != static_cast<int>(c[g])) return false;
    const int l = static_cast<int>(std::clamp<unsigned>(m, j, g));
    if (l > 9) return false;
    shape.rootBits = static_cast<unsigned>(l);
    shape.level2Count = 0;

    // The builder's walk over the codes in canonical order (bit-reversed
    // code, table level h, bits resolved above the current table pre),
    // opening tables where it does, without filling them.
    std::array<unsigned, kMaxLength + 1> x{};
    unsigned code = 0;
    int h = -1;
    int pre = -l;
    for (unsigned k = j; k <= g; ++k) {
        for (int a = static_cast<int>(c[k]) - 1; a >= 0; --a) {
            while (static_cast<int>(k) > pre + l) {
                ++h;
                pre += l;
                const unsigned jj = SubTableBits(c.data(), k, pre, l, g, a);
                if (h > 0) {
                    x[static_cast<unsigned>(h)] = code;
                    const unsigned key = code & ((1u << pre) - 1);
                    if (h == 1) {
                        shape.level1[key] = static_cast<std::uint8_t>(jj);
                    } else if (h == 2 && shape.level2Count < kMaxShapeLevel2) {
                        shape.level2[shape.level2Count++] = {static_cast<std::uint16_t>(key),
                                                             static_cast<std::uint8_t>(jj)};
                    } else {
                        return false;
                    }
                }
            }
            code = NextReversedCode(code, k);
            while ((code & ((1u << pre) - 1)) != x[static_cast<unsigned>(h)]) {
                --h;
                pre -= l;
            }
        }
    }
    return true;
}

namespace {

struct FixedTables {
    std::uint32_t lit[kLitLenTableSize];
    std::uint32_t dist[kDistTableSize];
};

std::unique_ptr<FixedTables> MakeFixedTables() {
    using namespace inflate_tables;
    auto t = std::make_unique_for_overwrite<FixedTables>();
    std::uint16_t lengths[288];
    std::fill(lengths, lengths + 144, std::uint16_t{8});
    std::fill(lengths + 144, lengths + 256, std::uint16_t{9});
    std::fill(lengths + 256, lengths + 280, std::uint16_t{7});
    std::fill(lengths + 280, lengths + 288, std::uint16_t{8});
    BuildFastTable(t->lit, kLitLenRootBits, lengths, 288, 257, kLengthBase, kLengthExtra);
    // 30 codes of 5 bits: codes 30 and 31 are left invalid.
    std::fill(lengths, lengths + 30, std::uint16_t{5});
    BuildFastTable(t->dist, kDistRootBits, lengths, 30, 0, kDistBase, kDistExtra);
    return t;
}

// On the heap, built on first use: the program carries no table.
const FixedTables& Fixed() {
    static const std::unique_ptr<FixedTables> tables = MakeFixedTables();
    return *tables;
}

}  // namespace

const std::uint32_t* FixedLitLenTable() {
    return Fixed().lit;
}

const std::uint32_t* FixedDistTable() {
    return Fixed().dist;
}

}  // namespace pagorix
