// make-legacy-zip: writes benchmark archives in the classic methods that no
// tool on a current system writes any more (shrink, reduce, implode), so that
// their decoders can be timed on inputs of realistic size.
//
//   make-legacy-zip shrink|reduce1..reduce4|implode OUT.zip FILE...
//
// Each FILE becomes one entry, named by its path as given. The encoders aim
// at valid, reasonably compact streams, not at the best ratio:
//   shrink   LZW, 9 to 13 bits, the code size raised by the 256,1 escape just
//            before a code needs it; a full table is partly cleared (256,2).
//   reduce   greedy LZ77 matches (length 4 and up, so the escape's first byte
//            is never 0) over the 144 escape, then follower sets of the
//            2 to 32 most frequent successors per byte where they pay.
//   implode  8 KiB dictionary, three trees (literal, length, distance); code
//            lengths are Huffman lengths limited to 16 bits, every symbol
//            coded, so each tree is complete; codes are the canonical ones,
//            stored bit-complemented as the method wants them.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <queue>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

class BitWriter {
public:
    void Put(std::uint32_t value, unsigned bits) {
        m_acc |= static_cast<std::uint64_t>(value & ((1u << bits) - 1)) << m_count;
        m_count += bits;
        while (m_count >= 8) {
            m_out.push_back(static_cast<std::uint8_t>(m_acc));
            m_acc >>= 8;
            m_count -= 8;
        }
    }
    void PutByte(std::uint8_t b) { m_out.push_back(b); }  // only while aligned
    Bytes Finish() {
        if (m_count > 0) m_out.push_back(static_cast<std::uint8_t>(m_acc));
        m_acc = 0;
        m_count = 0;
        return std::move(m_out);
    }

private:
    Bytes m_out;
    std::uint64_t m_acc = 0;
    unsigned m_count = 0;
};

// ---- shrink ----------------------------------------------------------------

Bytes Shrink(const Bytes& in) {
    BitWriter out;
    if (in.empty()) return out.Finish();
    constexpr std::uint32_t kTableEnd = 8192;
    std::unordered_map<std::uint32_t, std::uint16_t> table;  // (prefix << 8 | byte) -> code
    table.reserve(16384);
    std::vector<std::int32_t> prefix(kTableEnd, -1);  // as the decoder keeps it; -1: free
    std::vector<std::uint8_t> suffix(kTableEnd, 0);
    std::uint32_t freeCode = 257;
    unsigned codeSize = 9;
    auto emit = [&](std::uint32_t code) {
        while (code >= (1u << codeSize)) {
            out.Put(256, codeSize);
            out.Put(1, codeSize);
            ++codeSize;
        }
        out.Put(code, codeSize);
    };
    // The partial clear: every code that no other code extends is freed.
    // Issued as soon as the table is full (decoders such as Info-ZIP's take a
    // full table without it as damage), right after a literal, so the code
    // the decoder extends next is never one that is freed.
    auto clear = [&] {
        out.Put(256, codeSize);
        out.Put(2, codeSize);
        std::vector<bool> referenced(kTableEnd, false);
        for (std::uint32_t c = 257; c < kTableEnd; ++c)
            if (prefix[c] > 256) referenced[static_cast<std::uint32_t>(prefix[c])] = true;
        freeCode = kTableEnd;
        for (std::uint32_t c = 257; c < kTableEnd; ++c) {
            if (referenced[c]) continue;
            table.erase((static_cast<std::uint32_t>(prefix[c]) << 8) | suffix[c]);
            prefix[c] = -1;
            freeCode = std::min(freeCode, c);
        }
    };
    auto add = [&](std::uint32_t key, std::uint32_t w, std::uint8_t c) {
        table.emplace(key, static_cast<std::uint16_t>(freeCode));
        prefix[freeCode] = static_cast<std::int32_t>(w);
        suffix[freeCode] = c;
        do {
            ++freeCode;
        } while (freeCode < kTableEnd && prefix[freeCode] != -1);
    };
    std::uint32_t w = in[0];
    for (std::size_t i = 1; i < in.size(); ++i) {
        const std::uint32_t key = (w << 8) | in[i];
        auto it = table.find(key);
        if (it != table.end()) {
            w = it->second;
            continue;
        }
        emit(w);
        add(key, w, in[i]);
        w = in[i];
        if (freeCode < kTableEnd) continue;
        // The table is full: the next byte goes out alone, as a literal, and
        // the clear follows it.
        emit(w);
        clear();
        if (++i == in.size()) return out.Finish();
        add((w << 8) | in[i], w, in[i]);
        w = in[i];
    }
    emit(w);
    return out.Finish();
}

// ---- LZ77 match finder shared by reduce and implode -------------------------

struct Token {
    std::uint16_t length;  // 0: literal
    std::uint16_t distance;
    std::uint8_t literal;
};

std::vector<Token> Parse(const Bytes& in, std::uint32_t maxDistance, std::uint32_t minLength,
                         std::uint32_t maxLength) {
    constexpr unsigned kHashBits = 15;
    constexpr int kMaxProbes = 24;
    std::vector<std::int32_t> head(1u << kHashBits, -1);
    std::vector<std::int32_t> prev(in.size(), -1);
    auto hash = [&](std::size_t p) {
        return ((in[p] << 10) ^ (in[p + 1] << 5) ^ in[p + 2]) & ((1u << kHashBits) - 1);
    };
    auto insert = [&](std::size_t p) {
        if (p + 2 >= in.size()) return;
        const auto h = hash(p);
        prev[p] = head[h];
        head[h] = static_cast<std::int32_t>(p);
    };
    std::vector<Token> tokens;
    std::size_t pos = 0;
    while (pos < in.size()) {
        std::uint32_t bestLength = 0, bestDistance = 0;
        if (pos + 2 < in.size()) {
            std::int32_t cand = head[hash(pos)];
            const std::size_t limit = std::min<std::size_t>(maxLength, in.size() - pos);
            for (int probe = 0; probe < kMaxProbes && cand >= 0; ++probe, cand = prev[cand]) {
                const std::size_t distance = pos - static_cast<std::size_t>(cand);
                if (distance > maxDistance) break;
                std::size_t n = 0;
                while (n < limit && in[cand + n] == in[pos + n])
                    ++n;
                if (n > bestLength) {
                    bestLength = static_cast<std::uint32_t>(n);
                    bestDistance = static_cast<std::uint32_t>(distance);
                    if (n == limit) break;
                }
            }
        }
        if (bestLength >= minLength) {
            tokens.push_back({static_cast<std::uint16_t>(bestLength),
                              static_cast<std::uint16_t>(bestDistance), 0});
            for (std::uint32_t k = 0; k < bestLength; ++k)
                insert(pos + k);
            pos += bestLength;
        } else {
            tokens.push_back({0, 0, in[pos]});
            insert(pos);
            ++pos;
        }
    }
    return tokens;
}

// ---- reduce ----------------------------------------------------------------

unsigned IndexWidth(unsigned n) {
    unsigned bits = 1;
    while ((1u << bits) < n)
        ++bits;
    return bits;
}

Bytes Reduce(const Bytes& in, unsigned factor) {
    const unsigned lengthMask = 0x7Fu >> (factor - 1);
    const unsigned distanceShift = 8 - factor;
    const std::uint32_t maxDistance = 256u << factor;
    const std::uint32_t maxLength = lengthMask + 255 + 3;
    // The byte stream before the follower coding.
    Bytes mid;
    for (const Token& t : Parse(in, maxDistance, 4, maxLength)) {
        if (t.length == 0) {
            mid.push_back(t.literal);
            if (t.literal == 144) mid.push_back(0);
            continue;
        }
        const unsigned len = t.length - 3u;  // >= 1, so the escape's byte is never 0
        const unsigned d = t.distance - 1u;
        const unsigned field = std::min(len, lengthMask);
        mid.push_back(144);
        mid.push_back(static_cast<std::uint8_t>(((d >> 8) << distanceShift) | field));
        if (field == lengthMask) mid.push_back(static_cast<std::uint8_t>(len - lengthMask));
        mid.push_back(static_cast<std::uint8_t>(d & 0xFF));
    }
    // Follower sets: per predecessor, the most frequent successors, as many
    // as pay for their index bits.
    std::vector<std::array<std::uint32_t, 256>> counts(256);
    for (auto& row : counts)
        row.fill(0);
    std::uint8_t last = 0;
    for (std::uint8_t c : mid) {
        ++counts[last][c];
        last = c;
    }
    std::array<std::vector<std::uint8_t>, 256> sets;
    std::array<std::array<int, 256>, 256> slot;
    for (unsigned x = 0; x < 256; ++x) {
        std::vector<std::uint8_t> order(256);
        for (unsigned c = 0; c < 256; ++c)
            order[c] = static_cast<std::uint8_t>(c);
        std::stable_sort(order.begin(), order.end(),
                         [&](auto a, auto b) { return counts[x][a] > counts[x][b]; });
        std::uint64_t total = 0;
        for (unsigned c = 0; c < 256; ++c)
            total += counts[x][c];
        std::uint64_t bestCost = total * 8;
        unsigned bestSize = 0;
        for (unsigned size : {2u, 4u, 8u, 16u, 32u}) {
            std::uint64_t inSet = 0;
            for (unsigned k = 0; k < size; ++k)
                inSet += counts[x][order[k]];
            const std::uint64_t cost =
                inSet * (1 + IndexWidth(size)) + (total - inSet) * 9 + size * 8;
            if (cost < bestCost) bestCost = cost, bestSize = size;
        }
        slot[x].fill(-1);
        for (unsigned k = 0; k < bestSize; ++k) {
            sets[x].push_back(order[k]);
            slot[x][order[k]] = static_cast<int>(k);
        }
    }
    BitWriter out;
    for (int x = 255; x >= 0; --x) {
        out.Put(static_cast<std::uint32_t>(sets[x].size()), 6);
        for (std::uint8_t f : sets[x])
            out.Put(f, 8);
    }
    last = 0;
    for (std::uint8_t c : mid) {
        if (sets[last].empty()) {
            out.Put(c, 8);
        } else if (slot[last][c] < 0) {
            out.Put(1, 1);
            out.Put(c, 8);
        } else {
            out.Put(0, 1);
            out.Put(static_cast<std::uint32_t>(slot[last][c]),
                    IndexWidth(static_cast<unsigned>(sets[last].size())));
        }
        last = c;
    }
    return out.Finish();
}

// ---- implode ---------------------------------------------------------------

// Huffman code lengths for every symbol (each counted at least once), at most
// 16 bits long.
std::vector<unsigned> CodeLengths(std::vector<std::uint64_t> freq) {
    const std::size_t n = freq.size();
    for (;;) {
        std::vector<unsigned> lengths(n, 0);
        std::vector<int> parent(2 * n, -1);
        using Node = std::pair<std::uint64_t, int>;
        std::priority_queue<Node, std::vector<Node>, std::greater<>> heap;
        for (std::size_t i = 0; i < n; ++i)
            heap.push({freq[i] + 1, static_cast<int>(i)});
        int next = static_cast<int>(n);
        while (heap.size() > 1) {
            const Node a = heap.top();
            heap.pop();
            const Node b = heap.top();
            heap.pop();
            parent[a.second] = next;
            parent[b.second] = next;
            heap.push({a.first + b.first, next++});
        }
        unsigned longest = 0;
        for (std::size_t i = 0; i < n; ++i) {
            unsigned depth = 0;
            for (int p = parent[i]; p >= 0; p = parent[p])
                ++depth;
            lengths[i] = depth;
            longest = std::max(longest, depth);
        }
        if (longest <= 16) return lengths;
        for (auto& f : freq)
            f /= 2;
    }
}

// Canonical codes, bit-reversed for LSB-first output and complemented.
std::vector<std::uint32_t> ImplodeCodes(const std::vector<unsigned>& lengths) {
    std::array<std::uint32_t, 18> count{}, next{};
    for (unsigned l : lengths)
        ++count[l];
    std::uint32_t code = 0;
    for (unsigned bits = 1; bits <= 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<std::uint32_t> codes(lengths.size());
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        const unsigned l = lengths[i];
        std::uint32_t c = next[l]++, reversed = 0;
        for (unsigned b = 0; b < l; ++b)
            reversed |= ((c >> b) & 1u) << (l - 1 - b);
        codes[i] = ~reversed & ((1u << l) - 1);
    }
    return codes;
}

void PutLengthTable(BitWriter& out, const std::vector<unsigned>& lengths) {
    Bytes runs;
    for (std::size_t i = 0; i < lengths.size();) {
        std::size_t r = 1;
        while (r < 16 && i + r < lengths.size() && lengths[i + r] == lengths[i])
            ++r;
        runs.push_back(static_cast<std::uint8_t>(((r - 1) << 4) | (lengths[i] - 1)));
        i += r;
    }
    out.PutByte(static_cast<std::uint8_t>(runs.size() - 1));
    for (std::uint8_t b : runs)
        out.PutByte(b);
}

Bytes Implode(const Bytes& in) {
    const auto tokens = Parse(in, 8192, 3, 66 + 255);
    std::vector<std::uint64_t> litFreq(256), lenFreq(64), distFreq(64);
    for (const Token& t : tokens) {
        if (t.length == 0) {
            ++litFreq[t.literal];
        } else {
            ++lenFreq[std::min(t.length - 3, 63)];
            ++distFreq[(t.distance - 1u) >> 7];
        }
    }
    const auto litLengths = CodeLengths(litFreq);
    const auto lenLengths = CodeLengths(lenFreq);
    const auto distLengths = CodeLengths(distFreq);
    const auto litCodes = ImplodeCodes(litLengths);
    const auto lenCodes = ImplodeCodes(lenLengths);
    const auto distCodes = ImplodeCodes(distLengths);
    BitWriter out;
    PutLengthTable(out, litLengths);
    PutLengthTable(out, lenLengths);
    PutLengthTable(out, distLengths);
    for (const Token& t : tokens) {
        if (t.length == 0) {
            out.Put(1, 1);
            out.Put(litCodes[t.literal], litLengths[t.literal]);
            continue;
        }
        const unsigned d = t.distance - 1u;
        out.Put(0, 1);
        out.Put(d & 0x7F, 7);
        out.Put(distCodes[d >> 7], distLengths[d >> 7]);
        const unsigned lc = std::min(t.length - 3, 63);
        out.Put(lenCodes[lc], lenLengths[lc]);
        if (lc == 63) out.Put(t.length - 66u, 8);
    }
    return out.Finish();
}

// ---- the archive -----------------------------------------------------------

std::uint32_t Crc32(const Bytes& data) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : data)
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void Put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: make-legacy-zip shrink|reduce1..4|implode OUT.zip FILE...\n");
        return 2;
    }
    const std::string kind = argv[1];
    std::uint16_t method = 0, flags = 0;
    unsigned factor = 0;
    if (kind == "shrink") {
        method = 1;
    } else if (kind.rfind("reduce", 0) == 0 && kind.size() == 7 && kind[6] >= '1' &&
               kind[6] <= '4') {
        factor = static_cast<unsigned>(kind[6] - '0');
        method = static_cast<std::uint16_t>(1 + factor);
    } else if (kind == "implode") {
        method = 6;
        flags = 0x6;  // 8 KiB dictionary, three trees
    } else {
        std::fprintf(stderr, "make-legacy-zip: unknown method %s\n", kind.c_str());
        return 2;
    }
    std::ofstream zip(argv[2], std::ios::binary);
    Bytes central;
    std::uint32_t offset = 0, entries = 0;
    for (int a = 3; a < argc; ++a) {
        std::ifstream file(argv[a], std::ios::binary);
        const Bytes data{std::istreambuf_iterator<char>(file), {}};
        const Bytes packed = method == 1   ? Shrink(data)
                             : method == 6 ? Implode(data)
                                           : Reduce(data, factor);
        const std::string name = argv[a];
        const std::uint32_t crc = Crc32(data);
        Bytes local;
        Put32(local, 0x04034b50);
        Put16(local, 10);  // version needed
        Put16(local, flags);
        Put16(local, method);
        Put32(local, 0x58210000);  // 2024-01-01 00:00
        Put32(local, crc);
        Put32(local, static_cast<std::uint32_t>(packed.size()));
        Put32(local, static_cast<std::uint32_t>(data.size()));
        Put16(local, static_cast<std::uint32_t>(name.size()));
        Put16(local, 0);
        local.insert(local.end(), name.begin(), name.end());
        zip.write(reinterpret_cast<const char*>(local.data()), static_cast<long>(local.size()));
        zip.write(reinterpret_cast<const char*>(packed.data()), static_cast<long>(packed.size()));
        Put32(central, 0x02014b50);
        Put16(central, 0x031E);  // made by: Unix, 3.0
        Put16(central, 10);
        Put16(central, flags);
        Put16(central, method);
        Put32(central, 0x58210000);
        Put32(central, crc);
        Put32(central, static_cast<std::uint32_t>(packed.size()));
        Put32(central, static_cast<std::uint32_t>(data.size()));
        Put16(central, static_cast<std::uint32_t>(name.size()));
        Put16(central, 0);               // extra
        Put16(central, 0);               // comment
        Put16(central, 0);               // disk
        Put16(central, 0);               // internal attributes
        Put32(central, 0100644u << 16);  // external attributes: a regular file
        Put32(central, offset);
        central.insert(central.end(), name.begin(), name.end());
        offset += static_cast<std::uint32_t>(local.size() + packed.size());
        ++entries;
    }
    Bytes end;
    Put32(end, 0x06054b50);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, entries);
    Put16(end, entries);
    Put32(end, static_cast<std::uint32_t>(central.size()));
    Put32(end, offset);
    Put16(end, 0);
    zip.write(reinterpret_cast<const char*>(central.data()), static_cast<long>(central.size()));
    zip.write(reinterpret_cast<const char*>(end.data()), static_cast<long>(end.size()));
    return zip ? 0 : 1;
}
