#include "streams/pmcs.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <new>
#include <vector>

namespace pagorix {

namespace {

std::unique_ptr<THashTable> AllocateHashTable() {
    try {
        return std::make_unique<THashTable>();
    } catch (const std::bad_alloc&) {
        throw EPmcsCompressor(SPmcsNoHashMemory);
    }
}

// Every check on a container being unpacked goes through here.
void Require(bool condition, const char* message) {
    if (!condition) throw EPmcsCompressor(message);
}

void WriteU32(TStream& stream, std::uint32_t value) {
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    stream.WriteBuffer(bytes, 4);
}

std::uint32_t ReadU32(TStream& stream) {
    std::uint8_t bytes[4];
    stream.ReadBuffer(bytes, 4);
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace

THashTable& HashTable() {
    static const std::unique_ptr<THashTable> table = AllocateHashTable();
    return *table;
}

namespace {
// Takes the table while the program initialises, not at the first compression.
[[maybe_unused]] const THashTable& g_hashTableAtStart = HashTable();
}  // namespace

TCompressStream::TCompressStream() : Signature{'P', 'M', 'C', 'S', '1', '0'} {}

// ---- Compression ----

std::int32_t TCompressStream::FindMatch(std::span<const std::uint8_t> input, std::int32_t x,
                                        std::int32_t& position) {
    const std::uint32_t h =
        (((static_cast<std::uint32_t>(input[x]) << 4) ^ input[x + 1]) << 4) ^ input[x + 2];
    const std::size_t index = ((h * kPmcsHashMultiplier) >> 4) & 0x0FFF;
    THashTable& table = HashTable();
    // Positions from 32,768 on read back negative and fail the distance test.
    const std::int32_t p = table[index];
    const auto n = static_cast<std::int32_t>(input.size());
    std::int32_t m = 0;
    if (p != -1 && x - p < kPmcsWindow) {
        while (m < kPmcsMaxMatch && x + m < n && input[x + m] == input[p + m])
            ++m;
    }
    table[index] = static_cast<std::int16_t>(x);
    position = p;
    return m >= kPmcsMinMatch ? m : 0;
}

std::int32_t TCompressStream::CompressBlock(std::span<const std::uint8_t> input,
                                            std::span<std::uint8_t, kPmcsCompressArea> out) {
    if (input.size() > static_cast<std::size_t>(kPmcsMaxBlock)) {
        throw EPmcsCompressor(SPmcsBlockTooLong);
    }
    const auto n = static_cast<std::int32_t>(input.size());
    HashTable().fill(-1);

    out[0] = kPmcsCompressed;
    std::int32_t x = 0;      // input position
    std::int32_t y = 3;      // output position
    std::int32_t z = 1;      // slot of the current control word
    std::int32_t items = 0;  // items in the current group
    std::uint16_t control = 0;
    // The test y <= n gives up as soon as the block cannot shrink; one more
    // control word and run item still fit in the output area.
    while (x < n && y <= n) {
        if (items > 15) {
            out[z] = static_cast<std::uint8_t>(control >> 8);
            out[z + 1] = static_cast<std::uint8_t>(control);
            z = y;
            y += 2;
            items = 0;
        }
        std::int32_t run = 1;
        while (x + run < n && input[x + run] == input[x] && run < kPmcsMaxRun)
            ++run;
        std::int32_t position = 0;
        std::int32_t match = 0;
        // The last two positions cannot start a match and are not hashed.
        if (run < kPmcsMinRun && n - x >= kPmcsMinMatch) match = FindMatch(input, x, position);
        if (run >= kPmcsMinRun) {
            out[y] = 0x00;
            out[y + 1] = static_cast<std::uint8_t>((run - kPmcsMinRun) >> 8);
            out[y + 2] = static_cast<std::uint8_t>(run - kPmcsMinRun);
            out[y + 3] = input[x];
            y += 4;
            x += run;
            control = static_cast<std::uint16_t>(control * 2 + 1);
        } else if (match > 0) {
            const auto k =
                static_cast<std::uint16_t>(((x - position) << 4) + (match - kPmcsMinMatch));
            out[y] = static_cast<std::uint8_t>(k >> 8);
            out[y + 1] = static_cast<std::uint8_t>(k);
            y += 2;
            x += match;
            control = static_cast<std::uint16_t>(control * 2 + 1);
        } else {
            out[y] = input[x];
            y += 1;
            x += 1;
            control = static_cast<std::uint16_t>(control * 2);
        }
        ++items;
    }
    control = items == 0 ? 0 : static_cast<std::uint16_t>(control << (16 - items));
    out[z] = static_cast<std::uint8_t>(control >> 8);
    out[z + 1] = static_cast<std::uint8_t>(control);

    if (y > n) {
        out[0] = kPmcsStored;
        std::copy(input.begin(), input.end(), out.begin() + 1);
        return n + 1;
    }
    return y;
}

void TCompressStream::CompressStream(TStream& source, TStream& destination, std::int64_t count) {
    std::vector<std::uint8_t> input(kPmcsMaxBlock);
    std::vector<std::uint8_t> output(kPmcsCompressArea);
    const std::span<std::uint8_t, kPmcsCompressArea> outputArea(output.data(), output.size());

    destination.WriteBuffer(Signature.data(), static_cast<std::int32_t>(Signature.size()));
    const std::int64_t totalAt = destination.Position();
    WriteU32(destination, 0);
    std::int64_t total = 0;
    while (count > 0) {
        const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(count, kPmcsMaxBlock));
        const std::int32_t got = source.Read(input.data(), want);
        // A source that yields less than it promised would otherwise never end.
        if (got <= 0) throw EReadError(messages::SReadError);
        const std::int32_t length = CompressBlock(
            std::span<const std::uint8_t>(input.data(), static_cast<std::size_t>(got)), outputArea);
        if (total + 4 + length > INT32_MAX) throw EPmcsCompressor(SPmcsTooLarge);
        WriteU32(destination, static_cast<std::uint32_t>(length));
        destination.WriteBuffer(output.data(), length);
        total += 4 + length;
        count -= got;
    }
    const std::int64_t end = destination.Position();
    destination.SetPosition(totalAt);
    WriteU32(destination, static_cast<std::uint32_t>(total));
    destination.SetPosition(end);
}

// ---- Decompression ----

std::int32_t TCompressStream::DecompressBlock(std::span<const std::uint8_t> block,
                                              std::span<std::uint8_t, kPmcsMaxBlock> out) {
    const auto size = static_cast<std::int32_t>(block.size());
    Require(size >= 1, SPmcsCorruptBlock);
    Require(size <= kPmcsMaxBlockData, SPmcsBlockTooLong);
    if (block[0] == kPmcsStored) {
        std::copy(block.begin() + 1, block.end(), out.begin());
        return size - 1;
    }
    Require(size >= 3, SPmcsCorruptBlock);
    std::uint16_t control = static_cast<std::uint16_t>(block[1] << 8 | block[2]);
    std::int32_t bits = 16;
    std::int32_t x = 3;
    std::int32_t y = 0;
    while (x < size) {
        if (bits == 0) {
            Require(x + 2 < size, SPmcsCorruptBlock);  // a word and at least one item
            control = static_cast<std::uint16_t>(block[x] << 8 | block[x + 1]);
            x += 2;
            bits = 16;
        }
        if ((control & 0x8000) == 0) {
            Require(y < kPmcsMaxBlock, SPmcsCorruptBlock);
            out[y++] = block[x++];
        } else {
            Require(x + 2 <= size, SPmcsCorruptBlock);
            const std::int32_t offset = block[x] << 4 | block[x + 1] >> 4;
            if (offset == 0) {
                Require(x + 4 <= size, SPmcsCorruptBlock);
                const std::int32_t count = (block[x + 1] << 8 | block[x + 2]) + kPmcsMinRun;
                Require(count <= kPmcsMaxBlock - y, SPmcsCorruptBlock);
                std::fill_n(out.begin() + y, count, block[x + 3]);
                x += 4;
                y += count;
            } else {
                const std::int32_t count = (block[x + 1] & 0x0F) + kPmcsMinMatch;
                Require(offset <= y && count <= kPmcsMaxBlock - y, SPmcsCorruptBlock);
                // Byte by byte: an offset below the length repeats the last bytes.
                for (std::int32_t i = 0; i < count; ++i, ++y)
                    out[y] = out[y - offset];
                x += 2;
            }
        }
        control = static_cast<std::uint16_t>(control << 1);
        --bits;
    }
    return y;
}

void TCompressStream::DecompressStream(TStream& source, TStream& destination) {
    std::array<std::uint8_t, 6> signature{};
    source.ReadBuffer(signature.data(), static_cast<std::int32_t>(signature.size()));
    if (signature != Signature) throw Exception(SPmcsWrongFileType);

    auto remaining = static_cast<std::int32_t>(ReadU32(source));
    std::vector<std::uint8_t> block(kPmcsMaxBlockData);
    std::vector<std::uint8_t> output(kPmcsMaxBlock);
    const std::span<std::uint8_t, kPmcsMaxBlock> outputArea(output.data(), output.size());
    while (remaining > 0) {
        const std::uint32_t length = ReadU32(source);
        Require(length <= static_cast<std::uint32_t>(kPmcsMaxBlockData), SPmcsBlockTooLong);
        const auto blockLength = static_cast<std::int32_t>(length);
        source.ReadBuffer(block.data(), blockLength);
        const std::int32_t produced =
            DecompressBlock(std::span<const std::uint8_t>(block.data(), length), outputArea);
        destination.WriteBuffer(output.data(), produced);
        remaining -= blockLength + 4;
    }
}

}  // namespace pagorix
