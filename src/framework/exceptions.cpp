#include "framework/exceptions.h"

#include "framework/sysutils.h"

namespace pagorix {

[[noreturn]] void RaiseLastOSError(int errorCode) {
    throw EInOutError(Format(messages::SInOutError, errorCode), errorCode);
}

}  // namespace pagorix
