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

// The bit reader's state copied into locals for a decoder's hot loop, so that
// the compiler keeps it in registers (the window stores would otherwise force
// it back to memory after every byte). `end` is where the bytes that may be
// taken from the input buffer without reaching the end of the buffer or of the
// entry stop. Refill puts the next 8 bytes above the k valid bits but takes only
// the whole bytes that fit; the bits above k are then exactly the bytes that
// follow, so the next refill ORs the same values into the same places.
struct FastBits {
    std::uint64_t b;
    unsigned k;
    const std::uint8_t* in;
    const std::uint8_t* end;

    bool CanRefill() const { return end - in >= 8; }
    // Precondition: CanRefill(). Afterwards k >= 56.
    void Refill() {
        std::uint64_t word;
        std::memcpy(&word, in, 8);
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
        b |= word << k;
        const unsigned take = (63 - k) >> 3;
        in += take;
        k |= 56;
    }
    // Near the end of the buffer or the entry: takes the bytes left one at a
    // time while they fit. True when k >= need afterwards.
    bool RefillBytes(unsigned need) {
        while (k <= 56 && in != end) {
            b |= static_cast<std::uint64_t>(*in++) << k;
            k += 8;
        }
        return k >= need;
    }
    unsigned Bits(unsigned n) const { return static_cast<unsigned>(b) & ((1u << n) - 1); }
    void Drop(unsigned n) {
        b >>= n;
        k -= n;
    }
};

template <class Run, bool kBulk = true>
class LocalBitReader {
public:
    explicit LocalBitReader(Run& run) : m_run(run) {}

    // Hands the state to a hot loop; nothing may use the reader until End.
    FastBits BeginFast() const {
        const auto avail = kBulk ? static_cast<std::uint32_t>(m_run.BulkAvailable()) : 0u;
        return FastBits{m_b, m_k, &m_run.InPtr[0], &m_run.InPtr[0] + avail};
    }

    void EndFast(const FastBits& f) {
        const auto taken = static_cast<std::int32_t>(f.in - &m_run.InPtr[0]);
        m_b = f.k == 0 ? 0 : (f.b & (~std::uint64_t{0} >> (64 - f.k)));
        m_k = f.k;
        m_run.TakeBulk(taken);
    }

    bool CanBulkLoad() const { return kBulk && m_run.BulkAvailable() >= 8; }

    // Precondition: CanBulkLoad(). Afterwards Count() >= 56.
    void BulkLoad() {
        FastBits f = BeginFast();
        f.Refill();
        EndFast(f);
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
    Run& m_run;
    std::uint64_t m_b = 0;
    unsigned m_k = 0;
};

}  // namespace pagorix
