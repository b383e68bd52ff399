#include "platform/process.h"

namespace pagorix::platform {

// Windows has no confined desktop programs of this kind.
bool HandlerIsConfined(const std::string& /*document*/) {
    return false;
}

}  // namespace pagorix::platform
