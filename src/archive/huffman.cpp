#include "archive/huffman.h"

#include <algorithm>
#include <array>
#include <new>

#include "framework/dialogs.h"

namespace pagorix {

namespace {
constexpr const char* kOutOfMemoryText = "*** inflate out of memory ***";
constexpr const char* kOutOfMemoryCaption = "Error";
}  // namespace

void HuffmanTables::Free() {
    m_entries.clear();
}

std::uint16_t HuffmanTables::Build(const std::uint16_t* lengths, unsigned n, unsigned s,
                                   const std::uint16_t* d, const std::uint16_t* e,
                                   std::uint16_t& m) {
    m_entries.clear();
    if (n > kMaxCodes) return kStatusOverSubscribed;
    std::array<unsigned, kMaxCodeLength + 1> c{};  // codes per length
    for (unsigned i = 0; i < n; ++i) {
        if (lengths[i] > kMaxCodeLength) return kStatusOverSubscribed;
        ++c[lengths[i]];
    }
    if (c[0] == n) {
        m = 0;
        return kStatusOk;
    }

    unsigned j = 1;  // shortest length
    while (c[j] == 0)
        ++j;
    unsigned g = kMaxCodeLength;  // longest length
    while (c[g] == 0)
        --g;
    int l = m;  // lookup bits
    if (l < static_cast<int>(j)) l = static_cast<int>(j);
    if (l > static_cast<int>(g)) l = static_cast<int>(g);
    m = static_cast<std::uint16_t>(l);

    // The code space: an over-subscribed code is refused, the codes missing
    // from an incomplete one are added at the longest length as invalid codes.
    int y = 1 << j;
    for (unsigned len = j; len < g; ++len) {
        y -= static_cast<int>(c[len]);
        if (y < 0) return kStatusOverSubscribed;
        y <<= 1;
    }
    y -= static_cast<int>(c[g]);
    if (y < 0) return kStatusOverSubscribed;
    c[g] += static_cast<unsigned>(y);

    // Symbols sorted by code length.
    std::array<unsigned, kMaxCodeLength + 2> x{};
    for (unsigned len = 1; len < g; ++len)
        x[len + 1] = x[len] + c[len];
    std::array<std::uint16_t, kMaxCodes> v{};
    unsigned coded = 0;  // symbols that have a code
    for (unsigned i = 0; i < n; ++i) {
        const unsigned len = lengths[i];
        if (len != 0) {
            v[x[len]++] = static_cast<std::uint16_t>(i);
            ++coded;
        }
    }

    try {
        std::array<std::uint32_t, kMaxCodeLength> u{};  // arena index of each level's table
        unsigned code = 0;                              // held bit-reversed
        unsigned p = 0;
        int h = -1;
        int pre = -l;
        x[0] = 0;
        unsigned z = 0;
        for (unsigned k = j; k <= g; ++k) {
            for (int a = static_cast<int>(c[k]) - 1; a >= 0; --a) {
                while (static_cast<int>(k) > pre + l) {
                    ++h;
                    pre += l;
                    const unsigned jj = SubTableBits(c.data(), k, pre, l, g, a);
                    z = 1u << jj;
                    const auto start = static_cast<std::uint32_t>(m_entries.size());
                    m_entries.resize(m_entries.size() + z, HuffEntry{kOpInvalid, 0, 0});
                    u[static_cast<unsigned>(h)] = start;
                    if (h > 0) {
                        x[static_cast<unsigned>(h)] = code;
                        const HuffEntry link{static_cast<std::uint8_t>(16 + jj),
                                             static_cast<std::uint8_t>(l),
                                             static_cast<std::uint16_t>(start)};
                        m_entries[u[static_cast<unsigned>(h) - 1] + (code >> (pre - l))] = link;
                    }
                }

                HuffEntry r{kOpInvalid, static_cast<std::uint8_t>(k - static_cast<unsigned>(pre)),
                            0};
                if (p < coded) {
                    const unsigned symbol = v[p++];
                    if (symbol < s) {
                        r.Op = symbol < 256 ? kOpLiteral : kOpEndOfBlock;
                        r.Value = static_cast<std::uint16_t>(symbol);
                    } else {
                        r.Op = static_cast<std::uint8_t>(e[symbol - s]);
                        r.Value = d[symbol - s];
                    }
                }

                const unsigned step = 1u << (k - static_cast<unsigned>(pre));
                HuffEntry* table = m_entries.data() + u[static_cast<unsigned>(h)];
                for (unsigned i = code >> pre; i < z; i += step)
                    table[i] = r;

                code = NextReversedCode(code, k);

                while ((code & ((1u << pre) - 1)) != x[static_cast<unsigned>(h)]) {
                    --h;
                    pre -= l;
                }
            }
        }
    } catch (const std::bad_alloc&) {
        m_entries.clear();
        m_entries.shrink_to_fit();
        ShowMessageBox(kOutOfMemoryText, kOutOfMemoryCaption, kMbOk);
        return kStatusNoMemory;
    }

    return (y != 0 && g != 1) ? kStatusBadData : kStatusOk;
}

}  // namespace pagorix
