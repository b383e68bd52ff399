#include <io.h>

#include "platform/platform.h"

namespace pagorix::platform {

bool StandardStreamIsTerminal(int stream) {
    return stream >= 0 && stream <= 2 && ::_isatty(stream) != 0;
}

}  // namespace pagorix::platform
