// The host-independent part of Process: ownership of the started process's
// handles moves with the object and is released with it. Starting, waiting
// and Release itself are the host's (posix/, win32/).
#include "platform/process.h"

namespace pagorix::platform {

Process::~Process() {
    Release();
}

Process::Process(Process&& other) noexcept
    : m_handle(other.m_handle),
      m_thread(other.m_thread),
      m_id(other.m_id),
      m_error(other.m_error),
      m_exitStatus(other.m_exitStatus) {
    other.m_handle = -1;
    other.m_thread = -1;
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Release();
        m_handle = other.m_handle;
        m_thread = other.m_thread;
        m_id = other.m_id;
        m_error = other.m_error;
        m_exitStatus = other.m_exitStatus;
        other.m_handle = -1;
        other.m_thread = -1;
    }
    return *this;
}

}  // namespace pagorix::platform
