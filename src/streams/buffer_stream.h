// TS_BufferStream puts an 8,192-byte buffer in front of another stream, so the
// archive engine can read and write in small pieces while the underlying
// stream sees whole buffers. It keeps a logical position P that hides the
// read-ahead and the pending writes:
//   State 0 (none):    P = U
//   State 1 (reading): P = U - (BufEnd - BufPtr)
//   State 2 (writing): P = U + (BufPtr - Buffer)
// where U is the underlying stream's position. One byte just read can be put
// back. TLFNFileStream is the buffered stream over a file it opens and owns.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/stream.h"

namespace pagorix {

inline constexpr std::int32_t kBufferStreamSize = 8192;

// Ids of the stream's messages in the "S_Stream" table.
inline constexpr int kIdSeekError = 1;
inline constexpr int kIdInvalidSeekOrigin = 2;
inline constexpr int kIdPutbackOverflow = 3;

enum class TBufferState : std::uint8_t { None = 0, Reading = 1, Writing = 2 };

class TS_BufferStream : public TStream {
public:
    using TNotifyEvent = std::function<void(TS_BufferStream& sender)>;

    // The underlying stream is not owned.
    explicit TS_BufferStream(TStream* stream);
    ~TS_BufferStream() override;

    std::int32_t Read(void* buffer, std::int32_t count) override;
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    std::int64_t Seek(std::int64_t offset, std::uint16_t origin) override;

    virtual bool FillBuffer();
    virtual bool FlushBuffer();
    virtual void PutBack(std::uint8_t byte);
    virtual void AfterFill();
    virtual void AfterFlush();

    TBufferState State() const { return m_state; }
    TNotifyEvent OnFill;
    TNotifyEvent OnFlush;

protected:
    void SetStream(TStream* stream) { m_stream = stream; }
    // Writes pending bytes now; for owners whose stream dies before the base.
    void FlushPending();

private:
    std::int64_t LogicalPosition();
    void StartWriteWindow();

    TStream* m_stream;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::uint8_t* m_bufPtr = nullptr;
    std::uint8_t* m_bufEnd;
    std::int32_t m_bufSize = kBufferStreamSize;
    TBufferState m_state = TBufferState::None;
};

class TLFNFileStream : public TS_BufferStream {
public:
    // Opens the file by name and 16-bit mode; a failure raises the
    // framework's file-open or file-create error and nothing is made.
    TLFNFileStream(const std::string& fileName, std::uint16_t mode);
    ~TLFNFileStream() override;

    TFileStream& File() { return *m_theFile; }
    // The file's system handle, as an opaque integer.
    std::intptr_t GetHandle() const { return m_theFile->Handle(); }

private:
    std::unique_ptr<TFileStream> m_theFile;
};

}  // namespace pagorix
