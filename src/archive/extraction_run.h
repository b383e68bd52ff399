// ExtractionRun: the frame every decompressor works in during one UnZip call.
//
// It owns the three per-run buffers (WorkArea 32,780 bytes, InBuf and OutBuf
// 16,001 bytes each, 16,000 used) from construction to destruction, so they
// are released on every exit path of the run. For each entry it holds the
// cursors the decompressors share, under the names they use:
//
//   input   NextByte refills InBuf in blocks of up to 16,000 bytes from
//           InStream, decrypting each block, pumping messages and honouring a
//           cancel request before each refill, continuing on the next volume
//           of a split archive, and delivering nothing past the entry's end.
//           CompressedLeft counts the entry's bytes not yet consumed; the
//           bytes not yet read from the archive are the CompressedSize of the
//           component's CurrentEntry.
//   bits    the shared reader (BitBuffer, BitCount, InputExhausted) of
//           unshrink and unreduce (shared_bit_reader.h); decoders that keep
//           their own bit buffer use local_bit_reader.h, which takes LastByte
//           copies past the end.
//   output  PutByte / FlushWindow collect bytes in OutBuf; FlushOutput writes
//           them, runs the CRC-32 and raises the progress events. A whole
//           16,000-byte block of the window with nothing waiting in OutBuf is
//           written from the window itself, with the same effects. A write that
//           fails or falls short raises WriteFailed: no byte that did not
//           reach the file is ever counted as written.
//   stored  method 0 reads blocks through the same refill as NextByte, so it
//           pumps messages, honours Cancel and continues onto the next volume
//           like every other method.
//
// Sizes are unsigned 32-bit in the archive; the cursors that count them are
// 64-bit so entries up to 4 GiB - 1 count right and CompressedLeft can still
// fall below zero.
//
// Bulk input for fast decoders: while BulkAvailable() is at least n, the next
// n bytes may be taken straight from InPtr with TakeBulk(n) (or by moving
// InPtr, InCount, CompressedLeft and LastByte the same way). Such bytes never
// need a refill, so pumping, cancel checks, volume changes and the end of the
// entry's data all still happen inside NextByte, at exactly the byte where
// the byte-wise reader meets them.
//
// Past the end of the entry's data NextByte delivers nothing; a decoder that
// keeps asking (corrupt data whose decoder stops only on the uncompressed
// size) is stopped after kPastEndLimit such requests by InputOverrun, which
// the per-entry routine treats as a data error. Valid streams ask for a few
// bytes there at most.
//
// Invariants: OutPtr == OutBuf + OutCount; InPtr + InCount is the end of the
// valid data in InBuf; OutCount < 16,000 between calls.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/stream.h"

namespace pagorix {

class TUnZipper;

inline constexpr std::int32_t kWorkAreaSize = 32780;
inline constexpr std::int32_t kIoBufferSize = 16001;
inline constexpr std::int32_t kIoBlock = 16000;

// mask[n] = 2^n - 1.
inline constexpr std::uint16_t mask[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F,
                                           0x003F, 0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF,
                                           0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

inline constexpr std::int32_t kPastEndLimit = 4096;

class ExtractionRun {
public:
    // Raised by NextByte when a decoder has asked for kPastEndLimit bytes
    // past the end of the entry's data.
    struct InputOverrun {};
    // Raised by FlushOutput when the output file took fewer bytes than given.
    struct WriteFailed {};

    explicit ExtractionRun(TUnZipper& owner);
    ExtractionRun(const ExtractionRun&) = delete;
    ExtractionRun& operator=(const ExtractionRun&) = delete;

    // Prepares the cursors for the component's CurrentEntry, whose
    // CompressedSize already excludes an encryption header.
    void StartEntry(TStream* outStream);

    // 8 with the next compressed byte in b, or 0 (b unchanged) when none.
    std::uint16_t NextByte(std::uint16_t& b);

    void RefillBitBuffer();
    std::uint16_t ReadBits(unsigned n);  // n <= 16
    std::uint8_t ReadBits8(unsigned n);  // n <= 8

    void PutByte(std::uint8_t c);
    // Appends the first n bytes of WorkArea to the output.
    void FlushWindow(std::uint32_t n);
    void FlushOutput();
    // Method 0: copies the entry through OutBuf, decrypting block by block.
    void ExtractStored();

    // Bytes that may be taken from InPtr without a refill and without passing
    // the end of the entry's data.
    std::int32_t BulkAvailable() const {
        if (InCount < CompressedLeft) return InCount;
        return CompressedLeft > 0 ? static_cast<std::int32_t>(CompressedLeft) : 0;
    }
    // Takes n <= BulkAvailable() bytes; returns where they start.
    const std::uint8_t* TakeBulk(std::int32_t n);

    TUnZipper& Owner() { return m_owner; }

    std::int64_t UncompressedSize = 0;
    std::vector<std::uint8_t> WorkArea;
    std::uint16_t LastByte = 0;
    std::uint32_t BitBuffer = 0;
    std::uint16_t BitCount = 0;
    bool InputExhausted = false;
    std::vector<std::uint8_t> InBuf;
    std::uint8_t* InPtr;
    TStream* InStream;
    std::uint16_t InCount = 0;
    std::int64_t CompressedLeft = 0;
    std::vector<std::uint8_t> OutBuf;
    std::uint8_t* OutPtr;
    std::int64_t EntryBytesOut = 0;
    TStream* OutStream = nullptr;
    std::uint16_t OutCount = 0;

private:
    bool Encrypted() const;
    // The entry's bytes not yet read from the archive.
    std::int64_t StillToRead() const;
    void ConsumeToRead(std::int32_t n);
    // Writes one output block: the file, the CRC-32, the progress events.
    void WriteBlock(const std::uint8_t* data, std::uint16_t count);
    // Reads the next block of up to 16,000 bytes of the entry into `into`,
    // decrypted; returns its length.
    std::int32_t ReadBlock(std::uint8_t* into);
    void Refill();

    TUnZipper& m_owner;
};

}  // namespace pagorix
