// TCompressStream packs a stream into the "PMCS10" container and unpacks it.
//
// Container: the 6-byte signature, a signed 32-bit total T of the bytes that
// follow it, then blocks, each a 32-bit length L and L bytes of block data.
// All integers are little-endian. The input is cut into blocks of at most
// kPmcsMaxBlock bytes; each block is compressed with PMCS (LZ77 with a
// 4,096-entry hash table, 12-bit offsets, 4-bit lengths and a run code) or,
// when that does not make it smaller, stored behind the method byte 0x80.
//
// Compressed block data: the method byte 0x40, then items in groups of
// sixteen, each group led by a 16-bit control word stored high byte first
// (bit 15 for the group's first item; the last group's word is shifted so its
// first item is still bit 15). A clear bit is a literal byte; a set bit is a
// two-byte copy K = (offset << 4) + (length - 3), high byte first, or, when
// the 12-bit offset field is zero, a four-byte run 00, count - 16 (high byte
// first), value.
//
// The compressor uses the process-wide HashTable, allocated while the program
// initialises, so one compression runs at a time. The decompressor trusts
// nothing: a block longer than the block area, an item cut off by the end of
// its block, a copy reaching before the block's first output byte, or output
// beyond kPmcsMaxBlock bytes ends with EPmcsCompressor before any byte is
// written outside the areas.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "framework/exceptions.h"
#include "framework/stream.h"

namespace pagorix {

class EPmcsCompressor : public Exception {
public:
    using Exception::Exception;
};

inline constexpr const char* SPmcsNoHashMemory = "PMCS : no memory for HASH table";
inline constexpr const char* SPmcsWrongFileType = "Wrong file type";
inline constexpr const char* SPmcsBlockTooLong = "PMCS : block too long";
inline constexpr const char* SPmcsCorruptBlock = "PMCS : corrupt block";
inline constexpr const char* SPmcsTooLarge = "PMCS : container too large";

// Block sizes: input of one block, the largest block data (a stored full
// block), and the compressor's output area, which must take a control word
// and a run item written after the output position reached the input size.
inline constexpr std::int32_t kPmcsMaxBlock = 32783;
inline constexpr std::int32_t kPmcsMaxBlockData = kPmcsMaxBlock + 1;
inline constexpr std::int32_t kPmcsCompressArea = kPmcsMaxBlock + 6;

inline constexpr std::uint8_t kPmcsStored = 0x80;
inline constexpr std::uint8_t kPmcsCompressed = 0x40;

inline constexpr std::int32_t kPmcsMinMatch = 3;
inline constexpr std::int32_t kPmcsMaxMatch = 18;
inline constexpr std::int32_t kPmcsWindow = 4096;  // offsets 1 to 4,095
inline constexpr std::int32_t kPmcsMinRun = 16;
inline constexpr std::int32_t kPmcsMaxRun = 4095;
inline constexpr std::uint32_t kPmcsHashMultiplier = 40543;

// The compressor's hash table: per hash of three bytes, the last position in
// the current block where they started, or -1.
inline constexpr std::size_t kPmcsHashSize = 4096;
using THashTable = std::array<std::int16_t, kPmcsHashSize>;

// The one table of the process. It is allocated while the program
// initialises; a failure raises EPmcsCompressor(SPmcsNoHashMemory) there and
// the program does not start.
THashTable& HashTable();

class TCompressStream {
public:
    TCompressStream();

    // "PMCS10".
    std::array<std::uint8_t, 6> Signature;

    // Appends a container with the count bytes from the source's position to
    // the destination and leaves the destination after it. A source that ends
    // before count bytes raises EReadError.
    void CompressStream(TStream& source, TStream& destination, std::int64_t count);
    // Reads one container from the source's position and appends the
    // unpacked bytes to the destination, block by block.
    void DecompressStream(TStream& source, TStream& destination);

    // Block data for input (at most kPmcsMaxBlock bytes) into out; returns L.
    std::int32_t CompressBlock(std::span<const std::uint8_t> input,
                               std::span<std::uint8_t, kPmcsCompressArea> out);
    // The bytes of one block's data into out; returns their number.
    std::int32_t DecompressBlock(std::span<const std::uint8_t> block,
                                 std::span<std::uint8_t, kPmcsMaxBlock> out);

private:
    // Looks the three bytes at x up and enters x; returns the match length
    // (0 when there is none) and sets position.
    std::int32_t FindMatch(std::span<const std::uint8_t> input, std::int32_t x,
                           std::int32_t& position);
};

}  // namespace pagorix
