#include "framework/stream.h"

#include <algorithm>
#include <cstring>

#include "framework/exceptions.h"
#include "framework/sysutils.h"

namespace pagorix {

// ---- TStream ----

std::int64_t TStream::Size() {
    const std::int64_t here = Seek(0, soFromCurrent);
    const std::int64_t end = Seek(0, soFromEnd);
    Seek(here, soFromBeginning);
    return end;
}

void TStream::SetSize(std::int64_t /*size*/) {}

void TStream::ReadBuffer(void* buffer, std::int32_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError(messages::SReadError);
}

void TStream::WriteBuffer(const void* buffer, std::int32_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError(messages::SWriteError);
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    const std::int64_t total = count;
    std::vector<std::uint8_t> chunk(
        static_cast<size_t>(std::min<std::int64_t>(std::max<std::int64_t>(count, 1), kMaxCopyChunk)));
    while (count > 0) {
        const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(count, kMaxCopyChunk));
        source.ReadBuffer(chunk.data(), n);
        WriteBuffer(chunk.data(), n);
        count -= n;
    }
    return total;
}

// ---- THandleStream ----

std::int32_t THandleStream::Read(void* buffer, std::int32_t count) {
    const std::int64_t n = m_file.Read(buffer, count);
    return n < 0 ? 0 : static_cast<std::int32_t>(n);
}

std::int32_t THandleStream::Write(const void* buffer, std::int32_t count) {
    const std::int64_t n = m_file.Write(buffer, count);
    return n < 0 ? 0 : static_cast<std::int32_t>(n);
}

std::int64_t THandleStream::Seek(std::int64_t offset, std::uint16_t origin) {
    return m_file.Seek(offset, origin);
}

void THandleStream::SetSize(std::int64_t size) {
    SetPosition(size);
    if (!m_file.Truncate(size)) throw EStreamError(messages::SWriteError);
}

// ---- TFileStream ----

namespace {
platform::FileHandle OpenOrRaise(const std::string& fileName, std::uint16_t mode) {
    platform::FileHandle file = platform::FileHandle::Open(fileName, mode);
    if (!file.IsOpen()) {
        if (mode == platform::fmCreate) {
            throw EFCreateError(Format(messages::SFCreateError, fileName.c_str()));
        }
        throw EFOpenError(Format(messages::SFOpenError, fileName.c_str()));
    }
    return file;
}
}  // namespace

TFileStream::TFileStream(const std::string& fileName, std::uint16_t mode)
    : THandleStream(OpenOrRaise(fileName, mode)), m_fileName(fileName) {}

// ---- TMemoryStream ----

std::int32_t TMemoryStream::Read(void* buffer, std::int32_t count) {
    const std::int64_t available = static_cast<std::int64_t>(m_data.size()) - m_position;
    if (count <= 0 || available <= 0) return 0;
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(count, available));
    std::memcpy(buffer, m_data.data() + m_position, static_cast<size_t>(n));
    m_position += n;
    return n;
}

std::int32_t TMemoryStream::Write(const void* buffer, std::int32_t count) {
    if (count <= 0) return 0;
    const std::int64_t end = m_position + count;
    if (end > static_cast<std::int64_t>(m_data.size())) m_data.resize(static_cast<size_t>(end));
    std::memcpy(m_data.data() + m_position, buffer, static_cast<size_t>(count));
    m_position = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, std::uint16_t origin) {
    switch (origin) {
        case soFromBeginning: m_position = offset; break;
        case soFromCurrent: m_position += offset; break;
        case soFromEnd: m_position = static_cast<std::int64_t>(m_data.size()) + offset; break;
        default: break;
    }
    if (m_position < 0) m_position = 0;
    return m_position;
}

void TMemoryStream::SetSize(std::int64_t size) {
    m_data.resize(static_cast<size_t>(std::max<std::int64_t>(size, 0)));
    m_position = std::min<std::int64_t>(m_position, size);
}

void TMemoryStream::Clear() {
    m_data.clear();
    m_position = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, platform::fmOpenRead | platform::fmShareDenyWrite);
    const std::int64_t size = file.Size();
    m_data.assign(static_cast<size_t>(size), 0);
    m_position = 0;
    if (size > 0) file.ReadBuffer(m_data.data(), static_cast<std::int32_t>(size));
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
    TFileStream file(fileName, platform::fmCreate);
    if (!m_data.empty()) file.WriteBuffer(m_data.data(), static_cast<std::int32_t>(m_data.size()));
}

}  // namespace pagorix
