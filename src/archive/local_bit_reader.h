// The local bit reader of inflate and explode: a bit buffer and count kept by
// the decoder itself, fed from the extraction run's input.
//
// EnsureBits is the exact reader: it takes one byte at a time through the
// run's NextByte, which is where message pumping, the cancel check, the
// next-volume continuation and, past the end of the entry's data, the copies
// of the last byte (LastByte is left unchanged) happen. BulkLoad is the fast
// reader: while at least 8 bytes are left both in the input buffer and in the
// entry, it moves up to 7 bytes at once from the buffer into the 64-bit bit
// buffer. It never crosses the end of the buffer or of the entry, so every
// NextByte call that refills, pumps or reads past the end comes at exactly the
// point where the byte-wise reader makes it, and decoding sees the same bits.
//
// Invariant: Count() <= 63. After BulkLoad, Count() >= 56.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace pagorix {

template <class Run, bool kBulk = true>
class LocalBitReader {
public:
    explicit LocalBitReader(Run& run) : m_run(run) {}

    bool CanBulkLoad() const { return kBulk && m_run.InCount >= 8 && m_run.CompressedLeft >= 8; }

    // Precondition: CanBulkLoad().
    void BulkLoad() {
        const unsigned take = (63 - m_k) >> 3;
        if (take == 0) return;
        std::uint64_t word;
        std::memcpy(&word, &m_run.InPtr[0], 8);
        if constexpr (std::endian::native == std::endian::big) word = ByteSwap(word);
        word &= (std::uint64_t{1} << (take * 8)) - 1;
        m_b |= word << m_k;
        m_k += take * 8;
        m_run.InPtr += take;
        m_run.InCount = static_cast<std::uint16_t>(m_run.InCount - take);
        m_run.CompressedLeft -= static_cast<std::int32_t>(take);
        m_run.LastByte = m_run.InPtr[-1];
    }

    void EnsureBits(unsigned n) {
        while (m_k < n) {
            m_run.NextByte(m_run.LastByte);
            m_b |= static_cast<std::uint64_t>(m_run.LastByte & 0xFF) << m_k;
            m_k += 8;
        }
    }

    void DropBits(unsigned n) {
        m_b >>= n;
        m_k -= n;
    }

    // The low n bits (n <= 16), and the same bits inverted.
    unsigned Bits(unsigned n) const { return static_cast<unsigned>(m_b) & ((1u << n) - 1); }
    unsigned InvertedBits(unsigned n) const {
        return ~static_cast<unsigned>(m_b) & ((1u << n) - 1);
    }
    unsigned Count() const { return m_k; }

private:
    static std::uint64_t ByteSwap(std::uint64_t v) {
        std::uint64_t r = 0;
        for (int i = 0; i < 8; ++i)
            r = (r << 8) | ((v >> (8 * i)) & 0xFF);
        return r;
    }

    Run& m_run;
    std::uint64_t m_b = 0;
    unsigned m_k = 0;
};

}  // namespace pagorix
