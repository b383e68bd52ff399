// The authoring library's one error: a book cannot be made as asked.
#pragma once

#include "framework/exceptions.h"

namespace pagorix {

// The message names the file, the option or the text at fault.
class EPackError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace pagorix
