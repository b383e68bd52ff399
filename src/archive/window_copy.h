// One piece of a match copy inside a sliding window, shared by the decoders
// that keep one (inflate, explode, unreduce). The caller cuts a match into
// pieces that end at the window's end for both the source d and the
// destination w; a piece whose source lies ahead of its destination by less
// than its length repeats the bytes just written, as LZ77 requires.
#pragma once

#include <cstdint>
#include <cstring>

namespace pagorix {

// Copies e bytes from window[d] to window[w]. With zeroFill the source lies
// before the first byte ever written (nothing has been flushed yet), and the
// piece is zeros.
inline void CopyWindowPiece(std::uint8_t* window, std::uint32_t w, std::uint32_t d, unsigned e,
                            bool zeroFill) {
    std::uint8_t* dst = window + w;
    const std::uint8_t* src = window + d;
    const auto gap = static_cast<std::int32_t>(w) - static_cast<std::int32_t>(d);
    if (zeroFill) {
        std::memset(dst, 0, e);
    } else if (gap >= static_cast<std::int32_t>(e) || gap < 0) {
        // No overlap that a forward copy would feel.
        std::memmove(dst, src, e);
    } else if (gap >= 8) {
        // Overlapping, but every 8-byte piece is written before it is read.
        unsigned i = 0;
        for (; i + 8 <= e; i += 8)
            std::memcpy(dst + i, src + i, 8);
        for (; i < e; ++i)
            dst[i] = src[i];
    } else {
        for (unsigned i = 0; i < e; ++i)
            dst[i] = src[i];
    }
}

}  // namespace pagorix
