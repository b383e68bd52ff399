// The host-independent part of FileHandle: ownership moves with the object
// and the file is closed with it. Open, Close and the transfers are the
// host's (posix/, win32/).
#include "platform/platform.h"

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

}  // namespace pagorix::platform
