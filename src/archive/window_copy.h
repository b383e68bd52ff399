// The sliding window of the decoders that keep one (inflate, explode,
// unreduce): kSize bytes at the start of the run's work area, written out
// through the run's FlushWindow each time it fills. A match is copied in
// pieces that end where the source d or the destination w reaches the
// window's end; a piece whose source lies ahead of its destination by less
// than its length repeats the bytes just written, as LZ77 requires. With
// zero fill (explode, unreduce), a match that reaches back before the first
// byte ever written, before the window was flushed for the first time, gives
// zeros.
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

// Copies a match of n bytes that lies wholly inside the window (the source
// dst - back is not before the window's start and nothing wraps), repeating
// the last back bytes when back < n. Writes exactly n bytes: the bytes after
// them are older history that later matches may still read.
// Copies n bytes in 8-byte pieces from a source that lies apart from the
// destination or at least 8 bytes before it, so that every piece is read
// after the bytes it needs were written.
inline void CopyInPieces(std::uint8_t* dst, const std::uint8_t* src, unsigned n) {
    if (n >= 8) {
        unsigned i = 0;
        for (; i + 8 <= n; i += 8)
            std::memcpy(dst + i, src + i, 8);
        // The last piece overlaps the one before; its source was written
        // already.
        if (i < n) std::memcpy(dst + n - 8, src + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(dst, src, 4);
        std::memcpy(dst + n - 4, src + n - 4, 4);
    } else {
        for (unsigned i = 0; i < n; ++i)
            dst[i] = src[i];
    }
}

inline void CopyMatchInWindow(std::uint8_t* dst, unsigned back, unsigned n) {
    const std::uint8_t* src = dst - back;
    if (back >= 8) {
        CopyInPieces(dst, src, n);
    } else if (back == 1) {
        std::memset(dst, *src, n);
    } else {
        // A short period: lay down the first 8 bytes one by one, then copy
        // 8-byte pieces from a whole number of periods back.
        const unsigned head = n < 8 ? n : 8;
        for (unsigned i = 0; i < head; ++i)
            dst[i] = src[i];
        // The source of a piece may start before dst, inside the match's
        // source: period <= back + 7 keeps it at dst - back or later.
        const std::ptrdiff_t period = back * ((8 + back - 1) / back);  // >= 8
        unsigned i = head;
        for (; i + 8 <= n; i += 8)
            std::memcpy(dst + i, dst + (i - period), 8);
        for (; i < n; ++i)
            dst[i] = dst[i - period];
    }
}

// Copies a match of n >= 2 bytes from back bytes behind dst; when back < n
// the bytes just written repeat. The copy goes 8 bytes at a time and may
// write up to 7 bytes past n, which are put back afterwards: they are older
// history, or whatever follows the window. dst + n + 8 must stay inside the
// work area.
inline void CopyMatchPastEnd(std::uint8_t* dst, unsigned back, unsigned n) {
    const std::uint8_t* src = dst - back;
    std::uint8_t after[8];
    std::memcpy(after, dst + n, 8);
    if (back >= 8) {
        // Each piece reads only bytes written before it.
        unsigned i = 0;
        do {
            std::memcpy(dst + i, src + i, 8);
            i += 8;
        } while (i < n);
    } else if (back == 1) {
        const std::uint64_t run = 0x0101010101010101u * *src;
        unsigned i = 0;
        do {
            std::memcpy(dst + i, &run, 8);
            i += 8;
        } while (i < n);
    } else {
        for (unsigned i = 0; i < n; ++i)
            dst[i] = src[i];
    }
    std::memcpy(dst + n, after, 8);
}

// Copies n bytes from position d (taken modulo kSize) to the write position
// w, in pieces that end where the source or the destination reaches the
// window's end. flushFull is called each time w reaches kSize; it writes the
// window out, sets w to 0 and clears beforeFirstFlush.
template <std::uint32_t kSize, class FlushFull>
void CopyAroundWindow(std::uint8_t* window, std::uint32_t& w, std::uint32_t d, unsigned n,
                      const bool& beforeFirstFlush, FlushFull&& flushFull) {
    while (n > 0) {
        d &= kSize - 1;
        unsigned e = kSize - (d > w ? d : w);
        if (e > n) e = n;
        n -= e;
        CopyWindowPiece(window, w, d, e, beforeFirstFlush && d >= w);
        w += e;
        d += e;
        if (w == kSize) flushFull();
    }
}

template <class Run, std::uint32_t kSize>
class SlidingWindow {
public:
    SlidingWindow(Run& run, bool zeroFill)
        : m_run(run), m_data(&run.WorkArea[0]), m_beforeFirstFlush(zeroFill) {}

    std::uint8_t* Data() const { return m_data; }
    // The write position; hot loops may keep it in a local and store it back.
    std::uint32_t w = 0;

    void Put(std::uint8_t c) {
        m_data[w++] = c;
        if (w == kSize) FlushFull();
    }

    // Copies n bytes from position d (taken modulo the window).
    void Copy(std::uint32_t d, unsigned n) {
        CopyAroundWindow<kSize>(m_data, w, d, n, m_beforeFirstFlush, [this] { FlushFull(); });
    }

    // Called when w has reached kSize.
    void FlushFull() {
        m_run.FlushWindow(w);
        w = 0;
        m_beforeFirstFlush = false;
    }

    // Writes out what the window holds (the end of an entry).
    void FlushRest() { m_run.FlushWindow(w); }

private:
    Run& m_run;
    std::uint8_t* m_data;
    bool m_beforeFirstFlush;
};

}  // namespace pagorix
