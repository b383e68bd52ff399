// The archive engine's own exceptions. Each carries only a message; the
// texts the engine raises are collected here so callers and tests can match
// them exactly.
#pragma once

#include "framework/exceptions.h"

namespace pagorix {

class EUserCanceled : public Exception {
public:
    using Exception::Exception;
};

class EFatalUnzipError : public Exception {
public:
    using Exception::Exception;
};

class EIncompleteZip : public Exception {
public:
    using Exception::Exception;
};

// A class of the object-list family that cannot be streamed.
class EClassNotFound : public Exception {
public:
    using Exception::Exception;
};

namespace archive_messages {
inline constexpr const char* kUserAborted = "User Aborted Operation";
inline constexpr const char* kPrematureEnd = "Premature end of file reached";
inline constexpr const char* kIncompleteZip = "Incomplete Zip File";
inline constexpr const char* kDamagedDirectory = "Damaged central directory";
inline constexpr const char* kOverlappingEntries = "Overlapping entries";
inline constexpr const char* kNoNewDisk = "User canceled loading new disk.";
inline constexpr const char* kNoZipName = "User canceled setting zip file name.";
inline constexpr const char* kNoDestDir = "User canceled Set Desination Directory";
inline constexpr const char* kDuplicateIndex = "Duplicate Object index";
inline constexpr const char* kSortedPut = "Cannot <Put> an Object in a sorted list!";
inline constexpr const char* kNotInList = "tObject %s not in item list";
inline constexpr const char* kNilSourceClass = "Nil Source Class!";
inline constexpr const char* kSourceNotRegistered = "Source Class <%s> not registered";
inline constexpr const char* kClassNotRegistered = "Class <%s> not registered";
inline constexpr const char* kIndexOutOfRange = "Index %d is out of range";
inline constexpr const char* kUnknownMethod = "Unknown Compression Method";
inline constexpr const char* kZipErrorCaption = "Zip Error";
inline constexpr const char* kFileExistsCaption = "File Exists Alert";
}  // namespace archive_messages

}  // namespace pagorix
