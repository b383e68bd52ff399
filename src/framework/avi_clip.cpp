#include "framework/avi_clip.h"

#include <algorithm>
#include <cstring>

#include "framework/exceptions.h"
#include "framework/stream.h"

namespace pagorix {

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr int kMaxListDepth = 8;
// A clip larger than this is not one the splash would play.
constexpr std::int64_t kMaxFileSize = 256 * 1024 * 1024;

}  // namespace

std::uint32_t TAviClip::U32(std::uint32_t offset) const {
    const std::uint8_t* p = m_bytes.data() + offset;
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t TAviClip::U16(std::uint32_t offset) const {
    const std::uint8_t* p = m_bytes.data() + offset;
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

bool TAviClip::FourCc(std::uint32_t offset, const char* code) const {
    return offset + 4 <= m_bytes.size() && std::memcmp(m_bytes.data() + offset, code, 4) == 0;
}

template <class F>
void TAviClip::ForEachChunk(std::uint32_t begin, std::uint32_t end, F&& visit) const {
    std::uint64_t at = begin;
    while (at + 8 <= end) {
        const auto header = static_cast<std::uint32_t>(at);
        const std::uint64_t dataBegin = at + 8;
        const std::uint64_t declared = U32(header + 4);
        const std::uint64_t dataEnd = std::min<std::uint64_t>(dataBegin + declared, end);
        visit(header, static_cast<std::uint32_t>(dataBegin),
              static_cast<std::uint32_t>(dataEnd - dataBegin));
        at = dataBegin + declared + (declared & 1);  // chunks are padded to even sizes
    }
}

ClipStatus TAviClip::LoadFromFile(const std::string& fileName) {
    m_open = false;
    std::vector<std::uint8_t> bytes;
    try {
        TFileStream file(fileName, platform::fmOpenRead | platform::fmShareDenyWrite);
        const std::int64_t size = file.Size();
        if (size < 0 || size > kMaxFileSize) return ClipStatus::CannotRead;
        bytes.resize(static_cast<size_t>(size));
        file.ReadBuffer(bytes.data(), static_cast<std::int32_t>(size));
    } catch (const Exception&) {
        return ClipStatus::CannotRead;
    }
    return Open(std::move(bytes));
}

ClipStatus TAviClip::Open(std::vector<std::uint8_t> bytes) {
    *this = TAviClip();
    if (bytes.size() > static_cast<size_t>(kMaxFileSize)) return ClipStatus::CannotRead;
    m_bytes = std::move(bytes);
    if (m_bytes.size() < 12 || !FourCc(0, "RIFF") || !FourCc(8, "AVI ")) return ClipStatus::NotAvi;
    const auto end = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(8 + static_cast<std::uint64_t>(U32(4)), m_bytes.size()));

    bool haveHeader = false;
    ForEachChunk(12, end, [&](std::uint32_t header, std::uint32_t data, std::uint32_t size) {
        if (!FourCc(header, "LIST") || size < 4) return;
        if (FourCc(data, "hdrl") && !haveHeader) {
            haveHeader = true;
            ParseHeaderList(data + 4, data + size);
        } else if (FourCc(data, "movi") && m_videoStream >= 0 && m_haveFormat) {
            ParseMovie(data + 4, data + size, 0);
        }
    });
    if (!haveHeader) return ClipStatus::NotAvi;
    if (m_videoStream < 0 || !m_haveFormat) return ClipStatus::NoVideo;
    if (m_unsupported) return ClipStatus::Unsupported;
    if (m_badSize) return ClipStatus::BadSize;
    if (m_frames.empty()) return ClipStatus::NoFrames;
    if (m_rate == 0 || m_scale == 0) {
        // No usable stream rate: take the main header's frame period.
        m_rate = 1000000;
        m_scale = m_avihMicroSeconds != 0 ? m_avihMicroSeconds : 100000;
    }
    m_open = true;
    Rewind();
    return ClipStatus::Ok;
}

void TAviClip::ParseHeaderList(std::uint32_t begin, std::uint32_t end) {
    int streamIndex = 0;
    ForEachChunk(begin, end, [&](std::uint32_t header, std::uint32_t data, std::uint32_t size) {
        if (FourCc(header, "avih") && size >= 4) {
            m_avihMicroSeconds = U32(data);
        } else if (FourCc(header, "LIST") && size >= 4 && FourCc(data, "strl")) {
            if (m_videoStream < 0) ParseStreamList(data + 4, data + size, streamIndex);
            ++streamIndex;
        }
    });
}

void TAviClip::ParseStreamList(std::uint32_t begin, std::uint32_t end, int streamIndex) {
    bool video = false;
    ForEachChunk(begin, end, [&](std::uint32_t header, std::uint32_t data, std::uint32_t size) {
        if (FourCc(header, "strh") && size >= 28) {
            video = FourCc(data, "vids");
            if (video) {
                m_scale = U32(data + 20);
                m_rate = U32(data + 24);
            }
        } else if (FourCc(header, "strf") && video && size >= 40) {
            m_videoStream = streamIndex;
            m_haveFormat = true;
            const std::uint32_t infoSize = U32(data);
            const auto width = static_cast<std::int32_t>(U32(data + 4));
            const auto height = static_cast<std::int32_t>(U32(data + 8));
            const std::uint16_t bitCount = U16(data + 14);
            const std::uint32_t compression = U32(data + 16);
            std::uint32_t colours = U32(data + 32);
            m_rle = compression == kBiRle8;
            if (bitCount != 8 || (compression != kBiRgb && compression != kBiRle8)) {
                m_unsupported = true;
                return;
            }
            m_topDown = height < 0;
            const std::int64_t absHeight = height < 0 ? -static_cast<std::int64_t>(height) : height;
            if (width < 1 || width > kMaxSide || absHeight < 1 || absHeight > kMaxSide ||
                static_cast<std::int64_t>(width) * absHeight > kMaxPixels || (m_topDown && m_rle)) {
                m_badSize = true;
                return;
            }
            m_width = width;
            m_height = static_cast<int>(absHeight);
            if (colours == 0 || colours > 256) colours = 256;
            // The palette follows the header; entries missing from the chunk stay black.
            const std::uint64_t paletteBegin = static_cast<std::uint64_t>(data) + infoSize;
            for (std::uint32_t i = 0; i < colours; ++i) {
                const std::uint64_t at = paletteBegin + 4ull * i;
                if (infoSize < 40 || at + 4 > static_cast<std::uint64_t>(data) + size) break;
                const std::uint8_t* quad = m_bytes.data() + at;  // blue, green, red, reserved
                m_initialPalette[4 * i + 0] = quad[2];
                m_initialPalette[4 * i + 1] = quad[1];
                m_initialPalette[4 * i + 2] = quad[0];
            }
            for (size_t i = 0; i < 256; ++i)
                m_initialPalette[4 * i + 3] = 0xFF;
        }
    });
}

void TAviClip::ParseMovie(std::uint32_t begin, std::uint32_t end, int depth) {
    const char digits[3] = {static_cast<char>('0' + (m_videoStream / 10) % 10),
                            static_cast<char>('0' + m_videoStream % 10), 0};
    std::vector<Chunk> pendingPalettes;
    ForEachChunk(begin, end, [&](std::uint32_t header, std::uint32_t data, std::uint32_t size) {
        if (FourCc(header, "LIST")) {
            if (size >= 4 && depth < kMaxListDepth) ParseMovie(data + 4, data + size, depth + 1);
            return;
        }
        if (m_bytes[header] != digits[0] || m_bytes[header + 1] != digits[1]) return;
        const char a = static_cast<char>(m_bytes[header + 2]);
        const char b = static_cast<char>(m_bytes[header + 3]);
        if (a == 'p' && b == 'c') {
            pendingPalettes.push_back({data, size});
        } else if (a == 'd' && (b == 'c' || b == 'b')) {
            m_frames.push_back({{data, size}, std::move(pendingPalettes)});
            pendingPalettes.clear();
        }
    });
}

std::uint32_t TAviClip::MicroSecondsPerFrame() const {
    if (m_rate == 0) return 0;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(m_scale) * 1000000 / m_rate);
}

void TAviClip::Rewind() {
    m_next = 0;
    m_palette = m_initialPalette;
    m_indices.assign(static_cast<size_t>(m_width) * static_cast<size_t>(m_height), 0);
}

void TAviClip::ApplyPaletteChange(const Chunk& chunk) {
    // first entry, count (0 = 256), flags, then red, green, blue, flags each.
    if (chunk.size < 4) return;
    const std::uint32_t first = m_bytes[chunk.offset];
    std::uint32_t count = m_bytes[chunk.offset + 1];
    if (count == 0) count = 256;
    for (std::uint32_t i = 0; i < count && first + i < 256; ++i) {
        const std::uint32_t at = 4 + 4 * i;
        if (at + 4 > chunk.size) break;
        const std::uint8_t* entry = m_bytes.data() + chunk.offset + at;
        std::copy(entry, entry + 3, m_palette.begin() + 4 * (first + i));
    }
}

void TAviClip::DecodeRle(const Chunk& chunk) {
    const std::uint8_t* p = m_bytes.data() + chunk.offset;
    const std::uint8_t* const end = p + chunk.size;
    // Rows are coded from the bottom of the picture up.
    std::int64_t x = 0;
    std::int64_t y = m_height - 1;
    auto put = [&](std::uint8_t index) {
        if (x >= 0 && x < m_width && y >= 0 && y < m_height) {
            m_indices[static_cast<size_t>(y) * static_cast<size_t>(m_width) +
                      static_cast<size_t>(x)] = index;
        }
        ++x;
    };
    while (end - p >= 2 && y >= 0) {
        const std::uint8_t count = p[0];
        const std::uint8_t value = p[1];
        p += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(value);
        } else if (value == 0) {  // end of line
            x = 0;
            --y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // move right and up
            if (end - p < 2) break;
            x += p[0];
            y -= p[1];
            p += 2;
        } else {  // a literal run of `value` indices, padded to an even length
            const std::int64_t available = end - p;
            const std::int64_t n = std::min<std::int64_t>(value, available);
            for (std::int64_t i = 0; i < n; ++i)
                put(p[i]);
            p += std::min<std::int64_t>(available, value + (value & 1));
        }
    }
}

void TAviClip::DecodeRaw(const Chunk& chunk) {
    const size_t stride = (static_cast<size_t>(m_width) + 3) & ~static_cast<size_t>(3);
    for (int row = 0; row < m_height; ++row) {
        const size_t from = static_cast<size_t>(row) * stride;
        if (from >= chunk.size) break;
        const size_t n = std::min<size_t>(static_cast<size_t>(m_width), chunk.size - from);
        const int y = m_topDown ? row : m_height - 1 - row;
        std::copy_n(m_bytes.data() + chunk.offset + from, n,
                    m_indices.begin() + static_cast<std::ptrdiff_t>(y) * m_width);
    }
}

bool TAviClip::DecodeNext(std::vector<std::uint8_t>& rgba) {
    if (!m_open || m_next >= m_frames.size()) return false;
    const Frame& frame = m_frames[m_next++];
    for (const Chunk& change : frame.paletteChanges)
        ApplyPaletteChange(change);
    // An empty chunk repeats the picture before it.
    if (frame.data.size > 0) {
        if (m_rle) {
            DecodeRle(frame.data);
        } else {
            DecodeRaw(frame.data);
        }
    }
    rgba.resize(m_indices.size() * 4);
    for (size_t i = 0; i < m_indices.size(); ++i) {
        std::copy_n(m_palette.begin() + 4 * m_indices[i], 4, rgba.begin() + 4 * i);
    }
    return true;
}

std::vector<std::vector<std::uint8_t>> TAviClip::DecodeAll() {
    Rewind();
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<std::uint8_t> rgba;
    while (DecodeNext(rgba))
        frames.push_back(rgba);
    return frames;
}

}  // namespace pagorix
