// The host-independent part of FileHandle: ownership moves with the object
// and the file is closed with it. Open, Close and the transfers are the
// host's (posix/, win32/).
#include "platform/platform.h"

#include <algorithm>
#include <vector>

namespace pagorix::platform {

FileHandle::~FileHandle() {
    Close();
}

FileHandle::FileHandle(FileHandle&& other) noexcept
    : m_native(other.m_native), m_error(other.m_error) {
    other.m_native = kInvalid;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        m_native = other.m_native;
        m_error = other.m_error;
        other.m_native = kInvalid;
    }
    return *this;
}

CopyOutcome CopyFileDataByBlocks(FileHandle& from, FileHandle& to, std::int64_t count) {
    constexpr std::int64_t kBlock = 256 * 1024;
    CopyOutcome outcome;
    if (count <= 0) return outcome;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min(count, kBlock)));
    while (outcome.copied < count) {
        const std::int64_t want = std::min(count - outcome.copied, kBlock);
        const std::int64_t got = from.Read(block.data(), want);
        if (got <= 0) {
            outcome.sourceShort = true;
            break;
        }
        const std::int64_t put = to.Write(block.data(), got);
        if (put > 0) outcome.copied += put;
        if (put != got) break;
        if (got < want) {
            outcome.sourceShort = true;
            break;
        }
    }
    return outcome;
}

}  // namespace pagorix::platform
