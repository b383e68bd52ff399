// OwnerLock's ownership rules, the same on every host; taking and giving up
// the lock are the host's (posix/, win32/).
#include "platform/platform.h"

namespace pagorix::platform {

OwnerLock::~OwnerLock() {
    Release();
}

OwnerLock::OwnerLock(OwnerLock&& other) noexcept : m_native(other.m_native) {
    other.m_native = kInvalid;
}

OwnerLock& OwnerLock::operator=(OwnerLock&& other) noexcept {
    if (this != &other) {
        Release();
        m_native = other.m_native;
        other.m_native = kInvalid;
    }
    return *this;
}

}  // namespace pagorix::platform
