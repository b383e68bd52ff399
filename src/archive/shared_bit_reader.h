// The shared bit reader of unshrink and unreduce: the extraction run's own
// bit buffer (BitBuffer, BitCount, InputExhausted), refilled through the
// run's NextByte with up to four bytes at a time.
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

}  // namespace pagorix
