// The shared bit reader of unshrink and unreduce: the extraction run's own
// bit buffer (BitBuffer, BitCount, InputExhausted), refilled with up to four
// bytes at a time, taken straight from the input buffer where that cannot
// move a refill, else through the run's NextByte.
//
// RefillBitBuffer sets InputExhausted and clears it again as soon as one byte
// arrives, so the flag stays set only when not a single byte came. ReadBits
// masks with the low n bits; at the end of the data it returns the bits that
// are left and then zero bits.
#pragma once

#include <cstdint>

namespace pagorix {

template <class Run>
void RefillBitBuffer(Run& run) {
    run.InputExhausted = true;
    // The bytes the loop below would take (one to four, until 25 bits or
    // more are held), straight from the input buffer when it holds them all
    // before its own end and the entry's: NextByte would then hand them over
    // without a refill, so pumping, cancel checks, volume changes and the
    // end of the data still come exactly where they did.
    if (run.BitCount < 25) {
        const unsigned want = (32u - run.BitCount) / 8u;
        if (run.BulkAvailable() >= static_cast<std::int32_t>(want)) {
            for (unsigned i = 0; i < want; ++i) {
                run.BitBuffer |= static_cast<std::uint32_t>(run.InPtr[i]) << run.BitCount;
                run.BitCount = static_cast<std::uint16_t>(run.BitCount + 8);
            }
            run.InPtr += want;
            run.InCount = static_cast<std::uint16_t>(run.InCount - want);
            run.CompressedLeft -= want;
            run.InputExhausted = false;
            return;
        }
    }
    std::uint16_t byte = 0;
    while (run.BitCount < 25 && run.NextByte(byte) != 0) {
        run.BitBuffer |= static_cast<std::uint32_t>(byte & 0xFF) << run.BitCount;
        run.BitCount = static_cast<std::uint16_t>(run.BitCount + 8);
        run.InputExhausted = false;
    }
}

// n <= 16.
template <class Run>
std::uint16_t ReadBits(Run& run, unsigned n) {
    if (n > run.BitCount) RefillBitBuffer(run);
    const auto value = static_cast<std::uint16_t>(run.BitBuffer & ((1u << n) - 1));
    run.BitBuffer >>= n;
    // Past the end the count cannot go below zero: the missing bits read as 0.
    run.BitCount = static_cast<std::uint16_t>(n > run.BitCount ? 0 : run.BitCount - n);
    return value;
}

// The 8-bit form (n <= 8).
template <class Run>
std::uint8_t ReadBits8(Run& run, unsigned n) {
    return static_cast<std::uint8_t>(ReadBits(run, n) & 0xFF);
}

// The reader's state in locals, for the hot loops of unshrink and unreduce:
// the run's bit buffer, count and exhausted flag, with the input taken
// straight from the buffer up to `avail` bytes (the run's BulkAvailable).
struct BulkBits {
    std::uint32_t buffer;
    unsigned count;
    const std::uint8_t* in;
    std::uint32_t avail;
    bool exhausted;
};

template <class Run>
BulkBits LoadBulkBits(const Run& run) {
    return BulkBits{run.BitBuffer, run.BitCount, &run.InPtr[0],
                    static_cast<std::uint32_t>(run.BulkAvailable()), run.InputExhausted};
}

// Gives the state back to the run; the bytes taken leave its input buffer.
template <class Run>
void StoreBulkBits(Run& run, const BulkBits& b) {
    const auto taken = static_cast<std::uint32_t>(b.in - &run.InPtr[0]);
    run.InPtr += taken;
    run.InCount = static_cast<std::uint16_t>(run.InCount - taken);
    run.CompressedLeft -= taken;
    run.BitBuffer = b.buffer;
    run.BitCount = static_cast<std::uint16_t>(b.count);
    run.InputExhausted = b.exhausted;
}

// ReadBits(n), n <= 25, when the bits are there or four input bytes may be
// taken: the refill takes one to four bytes, up to 25 bits or more, as
// RefillBitBuffer does.
inline unsigned TakeBulkBits(BulkBits& b, unsigned n) {
    if (n > b.count) {
        const unsigned want = (32 - b.count) >> 3;
        const std::uint64_t word = static_cast<std::uint64_t>(b.in[0]) | (b.in[1] << 8) |
                                   (b.in[2] << 16) | (static_cast<std::uint64_t>(b.in[3]) << 24);
        const unsigned top = b.count + 8 * want;
        b.buffer |= static_cast<std::uint32_t>((word << b.count) & ((std::uint64_t{1} << top) - 1));
        b.count = top;
        b.in += want;
        b.avail -= want;
        b.exhausted = false;
    }
    const unsigned value = b.buffer & ((1u << n) - 1);
    b.buffer >>= n;
    b.count -= n;
    return value;
}

}  // namespace pagorix
