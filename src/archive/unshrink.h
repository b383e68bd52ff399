// Unshrink: the decoder of compression method 1 (shrunk entries).
//
// Design. Dynamic LZW: codes start at 9 bits; 0..255 are literals, 256 is an
// escape followed by a sub-code (1: the code size grows by one bit, 2: a
// partial clear frees every code that no other code extends). New codes are
// given the lowest free number. The three tables live in the run's work area:
// prefix (16-bit, -1 for a free slot) at offset 0, suffix at 16,390, and the
// stack on which a string is reversed at 24,585, filled downwards from 8,192.
// Codes are read with the shared bit reader; the end of the input is the only
// end condition. Strings go into the output buffer as one block while it holds
// fewer than 2,048 bytes including the string, else in pieces that end where
// the buffer is flushed, exactly as byte-by-byte output would be.
//
// Corrupt data must not reach outside the tables: a code size above 13 bits,
// a string longer than the stack (which also catches a prefix chain that
// loops) or a prefix pointing outside the table ends the entry's decoding,
// with the output so far flushed; the CRC-32 check rejects the entry.
//
// Run requirements: those of the shared bit reader, WorkArea, OutPtr,
// OutCount, PutByte(c) and FlushOutput().
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "archive/shared_bit_reader.h"

namespace pagorix {

namespace unshrink_layout {
inline constexpr unsigned kTableLimit = 8192;
inline constexpr unsigned kPrefixOffset = 0;
inline constexpr unsigned kSuffixOffset = 16390;
inline constexpr unsigned kStackOffset = 24585;
inline constexpr unsigned kFirstFree = 257;
inline constexpr unsigned kMaxCodeSize = 13;
inline constexpr unsigned kBlockMoveLimit = 2048;
inline constexpr unsigned kOutBlock = 16000;  // the output buffer flushes when this full
}  // namespace unshrink_layout

template <class Run>
class Unshrinker {
public:
    explicit Unshrinker(Run& run)
        : m_run(run),
          m_area(&run.WorkArea[0]),
          m_suffix(m_area + unshrink_layout::kSuffixOffset),
          m_stack(m_area + unshrink_layout::kStackOffset) {}

    void Unshrink() {
        using namespace unshrink_layout;
        for (unsigned i = 256; i <= kTableLimit; ++i)
            SetPrefix(i, -1);
        for (unsigned i = 0; i < 256; ++i) {
            SetPrefix(i, 0);
            m_suffix[i] = static_cast<std::uint8_t>(i);
        }
        unsigned codeSize = 9;
        unsigned freeCode = kFirstFree;

        unsigned old = ReadBits(m_run, 9);
        if (m_run.InputExhausted) return Finish();
        unsigned fin = old;
        m_run.PutByte(static_cast<std::uint8_t>(fin));

        while (!m_run.InputExhausted) {
            unsigned code = ReadBits(m_run, codeSize);
            if (m_run.InputExhausted) return Finish();
            while (code == 256) {
                const unsigned sub = ReadBits(m_run, codeSize);
                if (sub == 1) {
                    if (++codeSize > kMaxCodeSize) return Finish();
                } else if (sub == 2) {
                    PruneCodeTable(freeCode);
                }
                code = ReadBits(m_run, codeSize);
                if (m_run.InputExhausted) return Finish();
            }
            const unsigned in = code;

            unsigned sp = kTableLimit;
            if (Prefix(code) == -1) {
                m_stack[--sp] = static_cast<std::uint8_t>(fin);
                code = old;
            }
            while (code >= kFirstFree) {
                if (sp == 0 || code >= kTableLimit) return Finish();  // corrupt data
                if (Prefix(code) == -1) {
                    m_stack[--sp] = static_cast<std::uint8_t>(fin);
                    code = old;
                } else {
                    m_stack[--sp] = m_suffix[code];
                    code = static_cast<unsigned>(Prefix(code));
                }
            }
            if (sp == 0) return Finish();
            fin = m_suffix[code];
            m_stack[--sp] = static_cast<std::uint8_t>(fin);

            const unsigned length = kTableLimit - sp;
            if (length + m_run.OutCount < kBlockMoveLimit) {
                std::memcpy(&m_run.OutPtr[0], m_stack + sp, length);
                m_run.OutPtr += length;
                m_run.OutCount = static_cast<std::uint16_t>(m_run.OutCount + length);
            } else {
                // As byte by byte through PutByte (a flush exactly when the
                // buffer reaches 16,000 bytes), but in pieces.
                for (unsigned i = sp; i < kTableLimit;) {
                    const unsigned piece =
                        std::min<unsigned>(kTableLimit - i, kOutBlock - m_run.OutCount);
                    std::memcpy(&m_run.OutPtr[0], m_stack + i, piece);
                    m_run.OutPtr += piece;
                    m_run.OutCount = static_cast<std::uint16_t>(m_run.OutCount + piece);
                    i += piece;
                    if (m_run.OutCount == kOutBlock) m_run.FlushOutput();
                }
            }

            if (freeCode < kTableLimit) {
                SetPrefix(freeCode, static_cast<std::int16_t>(old));
                m_suffix[freeCode] = static_cast<std::uint8_t>(fin);
                do {
                    ++freeCode;
                } while (freeCode < kTableLimit && Prefix(freeCode) != -1);
            }
            old = in;
        }
        Finish();
    }

private:
    // Partial clearing: frees every code from 257 to free - 1 that no other
    // code in that range extends, and makes free the lowest freed code.
    void PruneCodeTable(unsigned& freeCode) {
        using namespace unshrink_layout;
        for (unsigned i = kFirstFree; i < freeCode; ++i)
            SetPrefix(i, Prefix(i) | 0x8000);
        for (unsigned i = kFirstFree; i < freeCode; ++i) {
            const unsigned p = static_cast<unsigned>(Prefix(i)) & 0x7FFF;
            if (p > 256 && p < kTableLimit) SetPrefix(p, Prefix(p) & 0x7FFF);
        }
        for (unsigned i = kFirstFree; i < freeCode; ++i) {
            if ((Prefix(i) & 0x8000) != 0) SetPrefix(i, -1);
        }
        freeCode = kFirstFree;
        while (freeCode < kTableLimit && Prefix(freeCode) != -1)
            ++freeCode;
    }

    // The prefix table is 16-bit words in the work area, read and written
    // bytewise so that no alignment is assumed.
    std::int16_t Prefix(unsigned i) const {
        std::int16_t v;
        std::memcpy(&v, m_area + unshrink_layout::kPrefixOffset + 2 * i, 2);
        return v;
    }
    void SetPrefix(unsigned i, int v) {
        const auto w = static_cast<std::int16_t>(v);
        std::memcpy(m_area + unshrink_layout::kPrefixOffset + 2 * i, &w, 2);
    }

    void Finish() { m_run.FlushOutput(); }

    Run& m_run;
    std::uint8_t* m_area;
    std::uint8_t* m_suffix;
    std::uint8_t* m_stack;
};

// The decoder's entry point: decodes the run's current entry.
template <class Run>
void Unshrink(Run& run) {
    Unshrinker<Run>(run).Unshrink();
}

}  // namespace pagorix
