// The framework's abstract stream and its file and memory streams.
//
// TStream has three virtual operations (Read, Write, Seek); position, size,
// the exact reads and writes and CopyFrom are built on them, so a derived
// stream that overrides the three gets the rest for free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace pagorix {

inline constexpr std::uint16_t soFromBeginning = 0;
inline constexpr std::uint16_t soFromCurrent = 1;
inline constexpr std::uint16_t soFromEnd = 2;

// The largest chunk CopyFrom moves at once.
inline constexpr std::int32_t kMaxCopyChunk = 61440;

class TStream {
public:
    virtual ~TStream() = default;

    // Returns the number of bytes transferred, fewer than asked at the end.
    virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
    virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;
    // Returns the new position.
    virtual std::int64_t Seek(std::int64_t offset, std::uint16_t origin) = 0;

    std::int64_t Position() { return Seek(0, soFromCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, soFromBeginning); }
    // The size by seeking to the end and back.
    virtual std::int64_t Size();
    virtual void SetSize(std::int64_t size);

    // Exact transfers: EReadError / EWriteError when fewer bytes move.
    void ReadBuffer(void* buffer, std::int32_t count);
    void WriteBuffer(const void* buffer, std::int32_t count);

    // Copies count bytes from source's current position; a count of 0 copies
    // the whole source from its start. Moves at most kMaxCopyChunk at a time.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// A stream over an open host file.
class THandleStream : public TStream {
public:
    explicit THandleStream(platform::FileHandle file) : m_file(std::move(file)) {}
    std::int32_t Read(void* buffer, std::int32_t count) override;
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    std::int64_t Seek(std::int64_t offset, std::uint16_t origin) override;
    void SetSize(std::int64_t size) override;
    std::intptr_t Handle() const { return m_file.Native(); }
    platform::FileHandle& File() { return m_file; }

private:
    platform::FileHandle m_file;
};

// A file opened by name and 16-bit mode (platform::fmCreate, fmOpenRead |
// fmShareDenyWrite, ...). Raises EFCreateError or EFOpenError with the name.
class TFileStream : public THandleStream {
public:
    TFileStream(const std::string& fileName, std::uint16_t mode);
    const std::string& FileName() const { return m_fileName; }

private:
    std::string m_fileName;
};

// A growable stream in memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> bytes) : m_data(std::move(bytes)) {}
    std::int32_t Read(void* buffer, std::int32_t count) override;
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    std::int64_t Seek(std::int64_t offset, std::uint16_t origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(m_data.size()); }
    void SetSize(std::int64_t size) override;
    void Clear();
    const std::vector<std::uint8_t>& Bytes() const { return m_data; }
    std::vector<std::uint8_t>& Bytes() { return m_data; }
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

private:
    std::vector<std::uint8_t> m_data;
    std::int64_t m_position = 0;
};

}  // namespace pagorix
