#include "streams/buffer_stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "streams/string_resource.h"

namespace pagorix {

TS_BufferStream::TS_BufferStream(TStream* stream)
    : m_stream(stream), m_buffer(std::make_unique<std::uint8_t[]>(kBufferStreamSize)) {
    m_bufEnd = m_buffer.get() + m_bufSize;
}

TS_BufferStream::~TS_BufferStream() {
    FlushPending();
}

void TS_BufferStream::FlushPending() {
    if (m_state == TBufferState::Writing) FlushBuffer();
}

bool TS_BufferStream::FillBuffer() {
    const std::int32_t got = m_stream->Read(m_buffer.get(), m_bufSize);
    const std::int32_t n = got > 0 ? got : 0;
    m_bufPtr = m_buffer.get();
    m_bufEnd = m_buffer.get() + n;
    m_state = n > 0 ? TBufferState::Reading : TBufferState::None;
    AfterFill();
    return n > 0;
}

bool TS_BufferStream::FlushBuffer() {
    const auto pending = static_cast<std::int32_t>(m_bufPtr - m_buffer.get());
    const std::int32_t written = pending > 0 ? m_stream->Write(m_buffer.get(), pending) : 0;
    m_bufPtr = m_buffer.get();
    m_state = TBufferState::None;
    AfterFlush();
    return written == pending;
}

void TS_BufferStream::AfterFill() {
    if (OnFill) OnFill(*this);
}

void TS_BufferStream::AfterFlush() {
    if (OnFlush) OnFlush(*this);
}

std::int32_t TS_BufferStream::Read(void* buffer, std::int32_t count) {
    if (m_state == TBufferState::Writing) FlushBuffer();
    // Only read-ahead counts as buffered data: after a flush (or a fill that
    // brought nothing) the buffer holds no bytes to read.
    if (m_state != TBufferState::Reading) {
        m_bufPtr = m_buffer.get();
        m_bufEnd = m_buffer.get();
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int32_t done = 0;
    while (count > 0) {
        if (m_bufPtr == m_bufEnd && !FillBuffer()) break;
        const auto n =
            static_cast<std::int32_t>(std::min<std::int64_t>(m_bufEnd - m_bufPtr, count));
        std::memcpy(out + done, m_bufPtr, static_cast<size_t>(n));
        m_bufPtr += n;
        done += n;
        count -= n;
    }
    return done;
}

void TS_BufferStream::StartWriteWindow() {
    m_bufPtr = m_buffer.get();
    m_bufEnd = m_buffer.get() + m_bufSize;
}

std::int32_t TS_BufferStream::Write(const void* buffer, std::int32_t count) {
    if (m_state == TBufferState::Reading) {
        m_stream->Seek(LogicalPosition(), soFromBeginning);
        StartWriteWindow();
        m_state = TBufferState::None;
    } else if (m_state == TBufferState::None) {
        // No pending bytes: whatever window was left over, start a fresh one.
        StartWriteWindow();
    }
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::int32_t taken = 0;
    while (count > 0) {
        const auto n =
            static_cast<std::int32_t>(std::min<std::int64_t>(m_bufEnd - m_bufPtr, count));
        std::memcpy(m_bufPtr, in + taken, static_cast<size_t>(n));
        m_bufPtr += n;
        taken += n;
        count -= n;
        if (m_bufPtr == m_bufEnd && !FlushBuffer()) break;
    }
    if (m_bufPtr != m_buffer.get()) m_state = TBufferState::Writing;
    return taken;
}

std::int64_t TS_BufferStream::LogicalPosition() {
    const std::int64_t underlying = m_stream->Seek(0, soFromCurrent);
    switch (m_state) {
        case TBufferState::Reading:
            return underlying - (m_bufEnd - m_bufPtr);
        case TBufferState::Writing:
            return underlying + (m_bufPtr - m_buffer.get());
        default:
            return underlying;
    }
}

std::int64_t TS_BufferStream::Seek(std::int64_t offset, std::uint16_t origin) {
    const std::int64_t current = LogicalPosition();
    std::int64_t target = 0;
    switch (origin) {
        case soFromBeginning:
            target = offset;
            break;
        case soFromCurrent:
            target = current + offset;
            break;
        case soFromEnd: {
            const std::int64_t size = std::max(current, m_stream->Size());
            target = size - (offset < 0 ? -offset : offset);
            break;
        }
        default:
            throw Exception(
                Format(GetResString(kStreamTable, kIdInvalidSeekOrigin).c_str(), origin));
    }
    if (target != current) {
        if (m_state == TBufferState::Writing && !FlushBuffer()) {
            throw EStreamError(GetResString(kStreamTable, kIdSeekError));
        }
        m_stream->Seek(target, soFromBeginning);
        m_bufPtr = nullptr;
        m_state = TBufferState::None;
    }
    return target;
}

void TS_BufferStream::PutBack(std::uint8_t byte) {
    if (m_bufPtr == nullptr || m_bufPtr == m_buffer.get()) {
        throw EStreamError(GetResString(kStreamTable, kIdPutbackOverflow));
    }
    --m_bufPtr;
    *m_bufPtr = byte;
}

TLFNFileStream::TLFNFileStream(const std::string& fileName, std::uint16_t mode)
    : TS_BufferStream(nullptr), m_theFile(std::make_unique<TFileStream>(fileName, mode)) {
    SetStream(m_theFile.get());
}

TLFNFileStream::~TLFNFileStream() {
    FlushPending();
}

}  // namespace pagorix
