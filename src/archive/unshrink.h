// Unshrink: the decoder of compression method 1 (shrunk entries).
//
// Design. Dynamic LZW: codes start at 9 bits; 0..255 are literals, 256 is an
// escape followed by a sub-code (1: the code size grows by one bit, 2: a
// partial clear frees every code that no other code extends). New codes are
// given the lowest free number. After an entry the run's work area holds
// what a decoder that keeps its tables there and reverses every string on a
// stack would leave: the prefix table (16-bit, -1 for a free slot) at offset
// 0, the suffix table at 16,390 and the stack at 24,585, filled downwards
// from 8,192. The suffix table is used in place; the prefix table is kept
// aligned on the side and copied in at the end.
//
// Strings are written forwards, at their final place in a private history
// buffer: each code remembers where its string was last written and how long
// it is, and a string is one copy from there. A new code's string is the
// previous string plus the first byte of the current one, which lie next to
// each other in the history, so it is known without any work. A remembered
// string is trusted only while it equals what the prefix chain gives: from
// its writing up to the next partial clear (a generation number), and never
// for a string whose chain went through a free slot (those stand for the
// previous code, which changes). Everything else (a code first used after a
// clear, or whose string has slid out of the history) follows the prefix
// chain once, writing backwards at the final place and stopping at the first
// remembered string, and remembers the codes it met. The stack is brought up
// to date from a log of the strings' lengths when their bytes would leave the
// history, when the log is full, on an error and at the end. Between partial
// clears free walks a list of the free slots made at the clear.
//
// Output. The history's new bytes go into the output buffer, in pieces that
// end where it is flushed, as soon as they fill it and before every input
// refill that may pump messages or raise an error, so flushes, refills and
// their events come in the same order as with byte-by-byte output. Codes are
// read with the shared bit reader's exact refill rule (refills of one to four
// bytes up to 25 bits or more), kept in locals and fed four bytes at a time
// from the input buffer; only a refill that would reach the end of the input
// buffer or of the entry goes through the run's reader. The end of the input
// is the only end condition.
//
// Corrupt data must not reach outside the tables: a code size above 13 bits,
// a string longer than the stack (which also catches a prefix chain that
// loops) or a prefix pointing outside the table ends the entry's decoding,
// with the output so far flushed; the CRC-32 check rejects the entry.
//
// Run requirements: those of the shared bit reader, UncompressedSize (which
// sizes the history), WorkArea, OutPtr, OutCount and FlushOutput().
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "archive/shared_bit_reader.h"

namespace pagorix {

namespace unshrink_layout {
inline constexpr unsigned kTableLimit = 8192;
inline constexpr unsigned kPrefixOffset = 0;
inline constexpr unsigned kSuffixOffset = 16390;
inline constexpr unsigned kStackOffset = 24585;
inline constexpr unsigned kFirstFree = 257;
inline constexpr unsigned kMaxCodeSize = 13;
inline constexpr unsigned kOutBlock = 16000;         // the output buffer flushes when this full
inline constexpr unsigned kMaxString = kTableLimit;  // the longest string the stack holds

// The history: the 256 literals at its start, then the output. When a string
// might not fit before its end, the second half moves down. It is sized for
// the entry's output, between the two limits.
inline constexpr unsigned kLiterals = 256;
inline constexpr unsigned kCopyChunk = 16;  // fast copies write up to this much past the end
inline constexpr unsigned kHistoryMin = kLiterals + 4 * kMaxString;
inline constexpr unsigned kHistoryMax = 192 * 1024;
inline constexpr unsigned kLogMax = 16384;  // the most string lengths kept for the stack
}  // namespace unshrink_layout

template <class Run>
class Unshrinker {
public:
    explicit Unshrinker(Run& run)
        : m_run(run),
          m_area(&run.WorkArea[0]),
          m_suffix(m_area + unshrink_layout::kSuffixOffset),
          m_stack(m_area + unshrink_layout::kStackOffset) {
        using namespace unshrink_layout;
        const std::int64_t wanted =
            static_cast<std::int64_t>(run.UncompressedSize) + kLiterals + 2 * kMaxString;
        m_size =
            static_cast<std::uint32_t>(std::clamp<std::int64_t>(wanted, kHistoryMin, kHistoryMax));
        m_slideAt = m_size - kMaxString - 2 * kCopyChunk;
        m_keep = (m_slideAt - kLiterals) / 2;
        m_history = std::make_unique_for_overwrite<std::uint8_t[]>(m_size + kCopyChunk);
        m_tables = std::make_unique_for_overwrite<Tables>();
    }

    void Unshrink() {
        try {
            Decode();
        } catch (...) {
            if (m_bitsHeld) StoreBits(m_heldBits);
            ShowStack();
            StorePrefixes();
            throw;
        }
        ShowStack();
        StorePrefixes();
    }

private:
    // Where a code's string was last written in the history, its length, and
    // the generation in which that was true (0: nothing remembered).
    struct CodeString {
        std::uint32_t pos;
        std::uint16_t len;
        std::uint16_t gen;
    };
    using Bits = BulkBits;
    struct Tables {
        CodeString codes[unshrink_layout::kTableLimit + 1];
        std::int16_t prefix[unshrink_layout::kTableLimit + 1];  // into the work area at the end
        std::uint8_t referenced[unshrink_layout::kTableLimit];  // the partial clear's marks
        // The free slots, ascending, then 8,192.
        std::uint16_t freeSlots[unshrink_layout::kTableLimit + 1];
        // The lengths of the strings since the stack was last brought up to date.
        std::uint16_t log[unshrink_layout::kLogMax];
    };
    struct Built {
        unsigned length;  // 0: longer than the stack
        bool known;
    };

    void Decode() {
        using namespace unshrink_layout;
        for (unsigned i = 256; i <= kTableLimit; ++i)
            SetPrefix(i, -1);
        std::uint8_t* const h = m_history.get();
        for (unsigned i = 0; i < 256; ++i) {
            SetPrefix(i, 0);
            m_suffix[i] = static_cast<std::uint8_t>(i);
            h[i] = static_cast<std::uint8_t>(i);
        }
        std::memset(static_cast<void*>(m_tables->codes), 0, (kTableLimit + 1) * sizeof(CodeString));
        m_gen = 0;
        NewGeneration();
        m_logged = 0;
        m_write = kLiterals;
        m_pending = kLiterals;
        Bits b = LoadBits();

        unsigned codeSize = 9;
        unsigned freeCode = FindFreeSlots();

        unsigned old = b.count >= 9 || b.avail >= 4 ? ReadCode(b, 9) : ReadCodeSlow(b, 9);
        if (b.exhausted) return Finish(b);
        // The first code is output as its low byte, whatever it is.
        h[m_write++] = static_cast<std::uint8_t>(old);
        // The previous string: where it starts, its length, and whether it is
        // the string of `old` for as long as the generation lasts.
        std::uint32_t prevStart = kLiterals;
        unsigned prevLen = 1;
        bool prevKnown = old < 256;

        CodeString* const codes = m_tables->codes;
        std::uint16_t* const log = m_tables->log;
        const std::uint16_t* const freeSlots = m_tables->freeSlots;
        unsigned nextSlot = m_nextSlot;
        std::uint32_t write = m_write;
        std::uint32_t pending = m_pending;
        unsigned logged = 0;
        std::uint16_t gen = m_gen;
        unsigned room = kOutBlock - m_run.OutCount;
        if (write - pending >= room) {
            pending = SyncOutput(pending, write);
            room = kOutBlock - m_run.OutCount;
        }
        // Hands the locals to the members for the rare steps, and back.
        const auto spill = [&] {
            HoldBits(b);
            m_write = write;
            m_pending = pending;
            m_logged = logged;
        };
        const auto reload = [&] {
            write = m_write;
            pending = m_pending;
            logged = m_logged;
            gen = m_gen;
            room = kOutBlock - m_run.OutCount;
        };

        for (;;) {
            unsigned code;
            if (b.count >= codeSize || b.avail >= 4) {
                code = ReadCode(b, codeSize);
            } else {
                spill();
                code = ReadCodeSlow(b, codeSize);
                reload();
            }
            if (b.exhausted) {
                spill();
                return Finish(b);
            }
            while (code == 256) {
                spill();
                const unsigned sub = ReadCodeSlow(b, codeSize);
                if (sub == 1) {
                    if (++codeSize > kMaxCodeSize) return Finish(b);
                } else if (sub == 2) {
                    PruneCodeTable(freeCode);
                    nextSlot = m_nextSlot;
                    NewGeneration();
                    prevKnown = false;
                }
                code = ReadCodeSlow(b, codeSize);
                if (b.exhausted) return Finish(b);
                reload();
            }

            if (write > m_slideAt) {
                spill();
                prevStart -= Slide();
                reload();
            }
            const std::uint32_t start = write;
            std::uint8_t* const dst = h + start;
            unsigned length;
            bool known;
            const CodeString cs = codes[code];
            if (cs.gen == gen) {
                length = cs.len;
                CopyForward(dst, h + cs.pos, length);
                known = true;
            } else if (code == freeCode && prevKnown && Prefix(code) == -1 &&
                       prevLen < kMaxString) {
                // The code being defined by this very step: the previous
                // string and its own first byte.
                length = prevLen + 1;
                CopyForward(dst, h + prevStart, prevLen);
                dst[prevLen] = h[prevStart];
                known = true;
            } else {
                const Built built = BuildString(code, old, h[prevStart], start, gen);
                if (built.length == 0) {
                    spill();
                    return Fail(b, code, old, h[prevStart]);
                }
                length = built.length;
                known = built.known;
            }
            write = start + length;
            log[logged++] = static_cast<std::uint16_t>(length);
            if (logged == kLogMax) {
                spill();
                ShowStack();
                reload();
            }
            if (write - pending >= room) {
                spill();
                pending = SyncOutput(pending, write);
                reload();
            }

            if (freeCode < kTableLimit) {
                SetPrefix(freeCode, static_cast<std::int16_t>(old));
                m_suffix[freeCode] = *dst;
                if (prevKnown && prevLen < kMaxString) {
                    codes[freeCode] =
                        CodeString{prevStart, static_cast<std::uint16_t>(prevLen + 1), gen};
                } else {
                    codes[freeCode].gen = 0;
                }
                freeCode = freeSlots[++nextSlot];
            }
            old = code;
            prevStart = start;
            prevLen = length;
            prevKnown = known;
        }
    }

    // The string of `code` by its prefix chain, written backwards at `start`
    // in the history; a chain link that is a free slot stands for the
    // previous code's string followed by `fin`, the first byte of the
    // previous string. Its length is 0 when it is longer than the stack (or
    // the chain loops). `known` tells whether it stays the code's string for
    // the generation. The chain's codes whose strings are prefixes of it, and
    // that are themselves stable, are remembered.
    [[gnu::cold]] Built BuildString(unsigned code, unsigned old, std::uint8_t fin,
                                    std::uint32_t start, std::uint16_t gen) {
        using namespace unshrink_layout;
        CodeString* const codes = m_tables->codes;
        // First pass: the length, and whether a free slot is met.
        unsigned pushed = 0;
        unsigned length = 0;
        bool freeSlot = false;
        unsigned c = code;
        if (Prefix(c) == -1) {
            ++pushed;
            c = old;
            freeSlot = true;
        }
        for (;;) {
            if (c < kFirstFree) {
                if (pushed == kMaxString) return Built{0, false};
                length = pushed + 1;
                break;
            }
            if (pushed == kMaxString || c >= kTableLimit) return Built{0, false};
            if (codes[c].gen == gen) {
                length = pushed + codes[c].len;
                if (length > kMaxString) return Built{0, false};
                break;
            }
            if (Prefix(c) == -1) {
                c = old;
                freeSlot = true;
            } else {
                c = static_cast<unsigned>(Prefix(c));
            }
            ++pushed;
        }
        // Second pass: the bytes, from the last one back. Only the codes met
        // after the free slot (if any) have their own string as a prefix.
        std::uint8_t* const h = m_history.get();
        std::uint32_t p = start + length;
        bool remember = !freeSlot;
        c = code;
        if (Prefix(c) == -1) {
            h[--p] = fin;
            c = old;
            remember = true;
        }
        while (c >= kFirstFree) {
            if (codes[c].gen == gen) {
                std::memcpy(h + start, h + codes[c].pos, codes[c].len);
                p = start;
                break;
            }
            if (Prefix(c) == -1) {
                h[--p] = fin;
                c = old;
                remember = true;
            } else {
                h[--p] = m_suffix[c];
                if (remember) {
                    codes[c] = CodeString{start, static_cast<std::uint16_t>(p + 1 - start), gen};
                }
                c = static_cast<unsigned>(Prefix(c));
            }
        }
        if (p != start) h[--p] = m_suffix[c];
        return Built{length, !freeSlot};
    }

    // A string too long for the stack: the stack gets what pushing the
    // chain's bytes until it is full leaves there, and decoding ends.
    [[gnu::cold]] void Fail(const Bits& b, unsigned code, unsigned old, std::uint8_t fin) {
        using namespace unshrink_layout;
        ShowStack();
        unsigned sp = kTableLimit;
        if (Prefix(code) == -1) {
            m_stack[--sp] = fin;
            code = old;
        }
        while (code >= kFirstFree) {
            if (sp == 0 || code >= kTableLimit) break;
            if (Prefix(code) == -1) {
                m_stack[--sp] = fin;
                code = old;
            } else {
                m_stack[--sp] = m_suffix[code];
                code = static_cast<unsigned>(Prefix(code));
            }
        }
        Finish(b);
    }

    // Partial clearing: frees every code from 257 to free - 1 that no other
    // code in that range extends, and makes free the lowest freed code.
    //
    // Every code below free is in use, with a prefix below 8,192 (or 0x7FFF,
    // see below), so marking them all with bit 15 and clearing the mark of
    // each code referenced comes down to a table of referenced codes. A
    // reference to a code at or above free clears bit 15 of its prefix
    // directly, which turns a free slot (-1) there into 0x7FFF, a link
    // outside the table. Written without branches on the data, which would
    // mostly be mispredicted.
    [[gnu::cold]] void PruneCodeTable(unsigned& freeCode) {
        using namespace unshrink_layout;
        std::uint8_t* const referenced = m_tables->referenced;
        std::memset(referenced, 0, freeCode);
        std::int16_t* const prefix = m_tables->prefix;
        for (unsigned i = kFirstFree; i < freeCode; ++i) {
            const unsigned p = static_cast<unsigned>(prefix[i]) & 0x7FFF;
            // Index 0 takes the marks of literals and of links outside.
            referenced[p > 256 && p < freeCode ? p : 0] = 1;
            if (p >= freeCode && p < kTableLimit) {
                prefix[p] = static_cast<std::int16_t>(prefix[p] & 0x7FFF);
            }
        }
        for (unsigned i = kFirstFree; i < freeCode; ++i)
            prefix[i] = static_cast<std::int16_t>(prefix[i] | (referenced[i] - 1));
        freeCode = FindFreeSlots();
    }

    // Lists the free slots from 257 upwards, ending with 8,192, and returns
    // the first. Until the next partial clear, free walks this list: slots
    // are only filled, at free, and free moves on to the next free slot.
    [[gnu::cold]] unsigned FindFreeSlots() {
        using namespace unshrink_layout;
        std::uint16_t* const slots = m_tables->freeSlots;
        const std::int16_t* const prefix = m_tables->prefix;
        unsigned n = 0;
        for (unsigned i = kFirstFree; i < kTableLimit; ++i) {
            slots[n] = static_cast<std::uint16_t>(i);
            n += prefix[i] == -1 ? 1 : 0;
        }
        slots[n] = kTableLimit;
        m_nextSlot = 0;
        return slots[0];
    }

    // Forgets every remembered string but the literals'.
    [[gnu::cold]] void NewGeneration() {
        CodeString* const codes = m_tables->codes;
        if (++m_gen == 0) {
            for (unsigned c = 0; c <= unshrink_layout::kTableLimit; ++c)
                codes[c].gen = 0;
            m_gen = 1;
        }
        for (unsigned i = 0; i < 256; ++i)
            codes[i] = CodeString{i, 1, m_gen};
    }

    // Moves the last m_keep bytes down to just after the literals and
    // returns by how much positions moved.
    [[gnu::cold]] std::uint32_t Slide() {
        using namespace unshrink_layout;
        m_pending = SyncOutput(m_pending, m_write);
        ShowStack();
        const std::uint32_t from = m_write - m_keep;
        const std::uint32_t shift = from - kLiterals;
        std::memmove(m_history.get() + kLiterals, m_history.get() + from, m_keep);
        CodeString* const codes = m_tables->codes;
        for (unsigned c = kFirstFree; c < kTableLimit; ++c) {
            CodeString& cs = codes[c];
            if (cs.gen != m_gen) continue;
            if (cs.pos < from) {
                cs.gen = 0;
            } else {
                cs.pos -= shift;
            }
        }
        m_write -= shift;
        m_pending -= shift;
        return shift;
    }

    // Copies n bytes that end at or before dst, 16 at a time: up to 15 bytes
    // past dst + n are written too. A chunk is loaded whole before it is
    // stored, and the bytes it needs were all written before the copy began.
    static void CopyForward(std::uint8_t* dst, const std::uint8_t* src, unsigned n) {
        for (unsigned i = 0; i < n; i += unshrink_layout::kCopyChunk) {
            std::uint8_t chunk[unshrink_layout::kCopyChunk];
            std::memcpy(chunk, src + i, sizeof chunk);
            std::memcpy(dst + i, chunk, sizeof chunk);
        }
    }

    // Brings the stack up to date with the strings logged since it last was:
    // each depth gets the byte of the latest string at least that long. The
    // strings lie one after the other in the history, the last ending at
    // m_write.
    [[gnu::cold]] void ShowStack() {
        using namespace unshrink_layout;
        std::uint32_t end = m_write;
        unsigned filled = 0;
        for (unsigned i = m_logged; i-- > 0;) {
            const unsigned len = m_tables->log[i];
            if (len > filled) {
                std::memcpy(m_stack + kTableLimit - len, m_history.get() + end - len, len - filled);
                filled = len;
            }
            end -= len;
        }
        m_logged = 0;
    }

    // The prefix table goes into the work area as 16-bit words.
    [[gnu::cold]] void StorePrefixes() {
        std::memcpy(m_area + unshrink_layout::kPrefixOffset, m_tables->prefix,
                    (unshrink_layout::kTableLimit + 1) * sizeof(std::int16_t));
    }

    // Moves the history bytes [pending, write) into the output buffer,
    // flushing it whenever it fills; returns the new pending position.
    [[gnu::cold]] std::uint32_t SyncOutput(std::uint32_t pending, std::uint32_t write) {
        using namespace unshrink_layout;
        while (pending < write) {
            const unsigned piece = std::min<unsigned>(write - pending, kOutBlock - m_run.OutCount);
            std::memcpy(&m_run.OutPtr[0], m_history.get() + pending, piece);
            m_run.OutPtr += piece;
            m_run.OutCount = static_cast<std::uint16_t>(m_run.OutCount + piece);
            pending += piece;
            // Kept up to date before the flush, which may throw.
            m_pending = pending;
            if (m_run.OutCount == kOutBlock) m_run.FlushOutput();
        }
        return pending;
    }

    [[gnu::cold]] void Finish(const Bits& b) {
        HoldBits(b);
        m_pending = SyncOutput(m_pending, m_write);
        StoreBits(b);
        m_run.FlushOutput();
    }

    Bits LoadBits() const { return LoadBulkBits(m_run); }
    void StoreBits(const Bits& b) {
        StoreBulkBits(m_run, b);
        m_bitsHeld = false;
    }
    // Keeps a copy of the reader's state where an exception handler finds
    // it, before a step that may throw while the run's copy is behind.
    void HoldBits(const Bits& b) {
        m_heldBits = b;
        m_bitsHeld = true;
    }

    static unsigned ReadCode(Bits& b, unsigned n) { return TakeBulkBits(b, n); }

    // ReadBits(n) through the run's reader, which may refill the input
    // buffer: the output so far goes out first, as the refill may pump
    // messages, stop on an error or raise progress events.
    unsigned ReadCodeSlow(Bits& b, unsigned n) {
        const Slow slow = ReadSlow(b, n);
        b = slow.bits;
        return slow.value;
    }
    // The reader's state goes by value, so that it can stay in registers.
    struct Slow {
        Bits bits;
        unsigned value;
    };
    [[gnu::cold]] Slow ReadSlow(Bits b, unsigned n) {
        HoldBits(b);
        m_pending = SyncOutput(m_pending, m_write);
        StoreBits(b);
        const unsigned value = ReadBits(m_run, n);
        return Slow{LoadBits(), value};
    }

    std::int16_t Prefix(unsigned i) const { return m_tables->prefix[i]; }
    void SetPrefix(unsigned i, int v) { m_tables->prefix[i] = static_cast<std::int16_t>(v); }

    Run& m_run;
    std::uint8_t* m_area;
    std::uint8_t* m_suffix;
    std::uint8_t* m_stack;
    std::unique_ptr<std::uint8_t[]> m_history;
    std::uint32_t m_size;
    std::uint32_t m_slideAt;  // a string starting after this might not fit
    std::uint32_t m_keep;
    // The members below mirror the decoding loop's locals around rare steps.
    std::uint32_t m_write = 0;    // the end of the output in the history
    std::uint32_t m_pending = 0;  // the first history byte not yet in the output buffer
    std::unique_ptr<Tables> m_tables;
    std::uint16_t m_gen = 0;
    unsigned m_nextSlot = 0;  // the index of free in freeSlots
    unsigned m_logged = 0;
    Bits m_heldBits{};
    bool m_bitsHeld = false;
};

// The decoder's entry point: decodes the run's current entry.
template <class Run>
void Unshrink(Run& run) {
    Unshrinker<Run>(run).Unshrink();
}

}  // namespace pagorix
