// A decompressor frame in miniature for the decoders' tests: the input
// buffer refilled through NextByte (16,000 bytes at a time unless told
// otherwise), the shared bit buffer, the output buffer flushed every 16,000
// bytes, and a log of refills and flushes in order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace pagorix::test {

struct TestRun {
    explicit TestRun(Bytes compressed, std::int32_t refillSize = 16000)
        : input(std::move(compressed)),
          CompressedLeft(static_cast<std::int32_t>(input.size())),
          stillToRead(static_cast<std::int32_t>(input.size())),
          refill(refillSize) {}

    std::uint16_t NextByte(std::uint16_t& b) {
        if (CompressedLeft <= 0) {
            --CompressedLeft;
            return 0;
        }
        --CompressedLeft;
        if (InCount == 0) {
            const std::int32_t len = std::min(stillToRead, refill);
            log.push_back("refill " + std::to_string(output.size() + OutCount));
            std::memcpy(InBuf, input.data() + consumed, static_cast<size_t>(len));
            consumed += static_cast<size_t>(len);
            InCount = static_cast<std::uint16_t>(len);
            stillToRead -= len;
            if (InCount == 0) return 0;
            InPtr = InBuf;
        }
        b = *InPtr++;
        --InCount;
        return 8;
    }

    std::int32_t BulkAvailable() const {
        return InCount < CompressedLeft ? InCount : (CompressedLeft > 0 ? CompressedLeft : 0);
    }
    const std::uint8_t* TakeBulk(std::int32_t n) {
        const std::uint8_t* start = InPtr;
        InPtr += n;
        InCount = static_cast<std::uint16_t>(InCount - n);
        CompressedLeft -= n;
        if (n > 0) LastByte = InPtr[-1];
        return start;
    }

    void FlushWindow(std::uint32_t n) {
        std::uint32_t at = 0;
        while (at < n) {
            const std::uint32_t piece = std::min<std::uint32_t>(n - at, 16000u - OutCount);
            std::memcpy(OutBuf + OutCount, WorkArea.data() + at, piece);
            OutCount = static_cast<std::uint16_t>(OutCount + piece);
            OutPtr = OutBuf + OutCount;
            at += piece;
            if (OutCount == 16000) FlushOutput();
        }
    }

    void PutByte(std::uint8_t c) {
        *OutPtr++ = c;
        if (++OutCount == 16000) FlushOutput();
    }

    void FlushOutput() {
        if (OutCount == 0) return;
        output.insert(output.end(), OutBuf, OutBuf + OutCount);
        log.push_back("flush " + std::to_string(OutCount));
        OutCount = 0;
        OutPtr = OutBuf;
    }

    Bytes input;
    size_t consumed = 0;
    Bytes WorkArea = Bytes(32780, 0);
    std::uint8_t InBuf[16001] = {};
    std::uint8_t* InPtr = InBuf;
    std::uint16_t InCount = 0;
    std::int32_t CompressedLeft;
    std::uint16_t LastByte = 0;
    std::int32_t stillToRead;
    std::int32_t refill;
    std::uint8_t OutBuf[16001] = {};
    std::uint8_t* OutPtr = OutBuf;
    std::uint16_t OutCount = 0;
    std::uint32_t BitBuffer = 0;
    std::uint16_t BitCount = 0;
    bool InputExhausted = false;
    std::int32_t UncompressedSize = 0;
    Bytes output;
    std::vector<std::string> log;
};

}  // namespace pagorix::test
