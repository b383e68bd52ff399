// The splash form's fs component as its stored description restores it: the
// persisted values and the FileData blob that carries the splash clip.
//
// The blob is made at build time from assets/splash.avi by the component's
// own WriteData (tools/make_blob.cpp), so the program holds exactly the bytes
// that ReadData reads back.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "streams/file_source.h"

namespace pagorix {

inline constexpr bool kSplashClipCompress = false;
inline constexpr const char* kSplashClipExtension = ".avi";
inline constexpr bool kSplashClipStore = true;

// The FileData blob: a 32-bit length and the clip.
std::span<const std::uint8_t> SplashClipBlob();

// Restores fs as the form reader does: the published values first (the
// temporary file's name depends on Extension), then FileData. Afterwards
// fs.FileName() names the clip's temporary file, which fs deletes with itself.
void LoadSplashClip(TFileSource& fs);

// Moves the clip fs made into `dir`, under the same name, and points fs at
// the moved file (fs then no longer owns it: the caller deletes it). Returns
// the new path, or the empty text when the clip stays where it was.
std::string MoveClipInto(TFileSource& fs, const std::string& dir);

}  // namespace pagorix
