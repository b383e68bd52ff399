#include "streams/file_source.h"

#include <cstdint>

#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "platform/platform.h"
#include "streams/pmcs.h"

namespace pagorix {

namespace {

// Names that fail to be created although no file was seen there (a
// directory, a dangling link, a name that appeared meanwhile) before the
// temporary directory is taken as unusable.
constexpr int kMaxCreateFailures = 100;

std::string ExtensionOf(const std::string& path) {
    const auto end = path.find_last_of(std::string(".:\\") + platform::kPathDelim);
    if (end == std::string::npos || path[end] != '.') return {};
    return path.substr(end);
}

std::string CannotStore(const std::string& name, const std::string& path, const char* reason) {
    return name + " cannot store file: " + path + " (" + reason + ")";
}

}  // namespace

TFileSource::~TFileSource() {
    DeleteTempFile();
}

void TFileSource::SetCompress(bool compress) {
    m_compress = compress;
    if (compress) m_store = true;
}

std::string TFileSource::FileName() const {
    return platform::FileExists(m_fileName) ? m_fileName : std::string();
}

void TFileSource::SetFileName(const std::string& path) {
    DeleteTempFile();
    m_fileName = path;
    m_ownsTempFile = false;
    m_extension = ExtensionOf(path);
}

void TFileSource::DeleteTempFile() {
    if (m_ownsTempFile) platform::RemoveFile(m_fileName);  // already gone is fine
}

std::string TFileSource::MakeTempFileName() const {
    const int seconds = platform::Now().second;
    std::string directory = platform::TempDirectory();
    if (!directory.empty() && directory.back() == platform::kPathDelim) directory.pop_back();
    const std::string base = directory + platform::kPathDelim + "~fs" + std::to_string(seconds);
    int failures = 0;
    for (std::uint64_t n = 0;; ++n) {
        const std::string candidate = base + std::to_string(n) + m_extension;
        if (platform::FileExists(candidate)) continue;
        // Created only if still free: a name taken since the test is skipped.
        if (platform::CreateNewFile(candidate)) return candidate;
        if (++failures == kMaxCreateFailures) {
            throw EFOpenError(Format(messages::SFOpenError, candidate.c_str()));
        }
    }
}

void TFileSource::ReadData(TStream& stream) {
    // A component loaded twice does not leave its first file behind.
    DeleteTempFile();
    m_ownsTempFile = false;
    m_fileName = MakeTempFileName();
    m_ownsTempFile = true;

    TFileStream file(m_fileName, platform::fmOpenWrite);
    if (m_compress) {
        TCompressStream().DecompressStream(stream, file);
        return;
    }
    std::uint8_t prefix[4];
    stream.ReadBuffer(prefix, 4);
    const std::uint32_t size =
        static_cast<std::uint32_t>(prefix[0]) | static_cast<std::uint32_t>(prefix[1]) << 8 |
        static_cast<std::uint32_t>(prefix[2]) << 16 | static_cast<std::uint32_t>(prefix[3]) << 24;
    // CopyFrom takes a count of 0 as "everything from the start".
    if (size > 0) file.CopyFrom(stream, size);
}

void TFileSource::WriteData(TStream& stream) {
    if (!platform::FileExists(m_fileName)) {
        throw Exception(CannotStore(Name(), m_fileName, "file is missing"));
    }
    TFileStream file(m_fileName, platform::fmOpenRead);
    const std::int64_t size = file.Size();
    if (m_compress) {
        TCompressStream().CompressStream(file, stream, size);
        return;
    }
    // The plain layout's length has 32 bits; a cut length would lose data.
    if (size > static_cast<std::int64_t>(UINT32_MAX)) {
        throw Exception(CannotStore(Name(), m_fileName, "file is too large"));
    }
    const auto length = static_cast<std::uint32_t>(size);
    const std::uint8_t prefix[4] = {
        static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
        static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
    stream.WriteBuffer(prefix, 4);
    if (size > 0) stream.CopyFrom(file, size);
}

}  // namespace pagorix
