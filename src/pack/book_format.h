// What a book is made of, as the authoring tool and the runtime both see it.
//
// A book is the runtime image (exactly PayloadOffset bytes) followed by one
// self-contained ZIP archive whose entries are all protected with the
// traditional ZIP encryption under kArchivePassword. One entry is the
// manifest kManifestName; the others are the book's files, which the runtime
// extracts flat into its work directory. The offset, the manifest's name and
// its line layout are defined once, beside the runtime's reader; this header
// adds what the writing side needs and gives both one place to include.
#pragma once

#include "framework/exceptions.h"
#include "launcher/manifest.h"
#include "launcher/work_dir.h"

namespace pagorix {

// The one password of every book's payload (15 characters).
inline constexpr const char* kArchivePassword = "RKTM4V?PQ918XN2";

// The status line the splash window shows while a book is unpacked, unless
// the author gives another.
inline constexpr const char* kDefaultStatusText = "Loading, please wait...";

// A book cannot be made as asked; the message names the file or the text.
class EPackError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace pagorix
