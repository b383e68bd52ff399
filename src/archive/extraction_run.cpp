#include "archive/extraction_run.h"

#include <algorithm>
#include <cstring>

#include "archive/archive_errors.h"
#include "archive/shared_bit_reader.h"
#include "archive/unzipper.h"
#include "archive/zip_cipher.h"
#include "framework/application.h"
#include "streams/utilities.h"

namespace pagorix {

ExtractionRun::ExtractionRun(TUnZipper& owner)
    : WorkArea(kWorkAreaSize, 0),
      InBuf(kIoBufferSize, 0),
      InPtr(InBuf.data()),
      InStream(owner.ZipStream()),
      OutBuf(kIoBufferSize, 0),
      OutPtr(OutBuf.data()),
      m_owner(owner) {}

bool ExtractionRun::Encrypted() const {
    return m_owner.m_currentEntry.Encrypted();
}

std::int64_t ExtractionRun::StillToRead() const {
    return m_owner.m_currentEntry.CompressedSize;
}

void ExtractionRun::ConsumeToRead(std::int32_t n) {
    m_owner.m_currentEntry.CompressedSize -= static_cast<std::uint32_t>(n);
}

void ExtractionRun::StartEntry(TStream* outStream) {
    InStream = m_owner.ZipStream();
    CompressedLeft = StillToRead();
    UncompressedSize = m_owner.m_currentEntry.UncompressedSize;
    OutStream = outStream;
    BitBuffer = 0;
    BitCount = 0;
    EntryBytesOut = 0;
    InCount = 0;
    OutCount = 0;
    OutPtr = OutBuf.data();
    m_owner.m_runningCRC = kCrcPreset;
}

std::int32_t ExtractionRun::ReadBlock(std::uint8_t* into) {
    if (m_owner.DoProcessMessages) {
        Application().ProcessMessages();
        if (m_owner.m_cancelled) {
            m_owner.m_cancelled = false;
            throw EUserCanceled(archive_messages::kUserAborted);
        }
    }
    const auto len = static_cast<std::int32_t>(std::min<std::int64_t>(StillToRead(), kIoBlock));
    std::int32_t got = InStream->Read(into, len);
    if (got < 0) got = 0;
    if (got < len && m_owner.m_endCentral.ThisDisk != 0 && m_owner.OnGetNextDisk) {
        InStream = m_owner.OpenVolume(m_owner.m_currentVolume + 2);
        const std::int32_t more = InStream->Read(into + got, len - got);
        if (more > 0) got += more;
    }
    // Also the next volume coming up short: bytes that are not there must
    // not be decoded as whatever the buffer held before.
    if (got < len) throw EFatalUnzipError(archive_messages::kPrematureEnd);
    if (Encrypted()) m_owner.m_cipher.DecryptBuffer(into, static_cast<std::uint16_t>(len));
    ConsumeToRead(len);
    return got;
}

void ExtractionRun::Refill() {
    InCount = static_cast<std::uint16_t>(ReadBlock(InBuf.data()));
}

std::uint16_t ExtractionRun::NextByte(std::uint16_t& b) {
    if (CompressedLeft <= 0) {
        --CompressedLeft;
        if (CompressedLeft < -kPastEndLimit) throw InputOverrun{};
        return 0;
    }
    --CompressedLeft;
    if (InCount == 0) {
        Refill();
        if (InCount == 0) return 0;
        InPtr = InBuf.data();
    }
    b = *InPtr++;
    --InCount;
    return 8;
}

const std::uint8_t* ExtractionRun::TakeBulk(std::int32_t n) {
    const std::uint8_t* start = InPtr;
    InPtr += n;
    InCount = static_cast<std::uint16_t>(InCount - n);
    CompressedLeft -= n;
    if (n > 0) LastByte = InPtr[-1];
    return start;
}

void ExtractionRun::RefillBitBuffer() {
    pagorix::RefillBitBuffer(*this);
}

std::uint16_t ExtractionRun::ReadBits(unsigned n) {
    return pagorix::ReadBits(*this, n);
}

std::uint8_t ExtractionRun::ReadBits8(unsigned n) {
    return pagorix::ReadBits8(*this, n);
}

void ExtractionRun::PutByte(std::uint8_t c) {
    *OutPtr++ = c;
    if (++OutCount == kIoBlock) FlushOutput();
}

void ExtractionRun::FlushWindow(std::uint32_t n) {
    const std::uint32_t limit = std::min<std::uint32_t>(n, kWorkAreaSize);
    std::uint32_t at = 0;
    while (at < limit) {
        if (OutCount == 0 && limit - at >= static_cast<std::uint32_t>(kIoBlock)) {
            // A whole block with nothing waiting before it: written straight
            // from the window, the same block as through OutBuf.
            WriteBlock(WorkArea.data() + at, static_cast<std::uint16_t>(kIoBlock));
            at += kIoBlock;
            continue;
        }
        const std::uint32_t piece =
            std::min<std::uint32_t>(limit - at, static_cast<std::uint32_t>(kIoBlock - OutCount));
        std::memcpy(OutPtr, WorkArea.data() + at, piece);
        OutCount = static_cast<std::uint16_t>(OutCount + piece);
        OutPtr += piece;
        at += piece;
        if (OutCount == kIoBlock) FlushOutput();
    }
}

void ExtractionRun::WriteBlock(const std::uint8_t* data, std::uint16_t count) {
    if (OutStream != nullptr && OutStream->Write(data, count) != count) throw WriteFailed{};
    m_owner.m_runningCRC = Crc32Update(m_owner.m_runningCRC, data, count);
    EntryBytesOut += count;
    if (m_owner.OnFilePercentDone) {
        m_owner.OnFilePercentDone(
            m_owner, PercentOf64(m_owner.m_currentEntry.UncompressedSize, EntryBytesOut));
    }
    if (m_owner.OnTotalPercentDone) {
        m_owner.m_bytesDone += count;
        m_owner.OnTotalPercentDone(m_owner, PercentOf64(m_owner.m_totalBytes, m_owner.m_bytesDone));
    }
}

void ExtractionRun::FlushOutput() {
    if (OutCount == 0) return;
    WriteBlock(OutBuf.data(), OutCount);
    OutCount = 0;
    OutPtr = OutBuf.data();
}

void ExtractionRun::ExtractStored() {
    while (StillToRead() > 0) {
        OutCount = static_cast<std::uint16_t>(ReadBlock(OutBuf.data()));
        OutPtr = OutBuf.data() + OutCount;
        FlushOutput();
    }
    OutCount = 0;
    OutPtr = OutBuf.data();
}

}  // namespace pagorix
