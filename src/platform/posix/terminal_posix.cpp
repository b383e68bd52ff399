#include <unistd.h>

#include "platform/platform.h"

namespace pagorix::platform {

bool StandardStreamIsTerminal(int stream) {
    return stream >= 0 && stream <= 2 && ::isatty(stream) == 1;
}

}  // namespace pagorix::platform
