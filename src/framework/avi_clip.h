// A reader of the clips the splash plays: RIFF/AVI files whose first video
// stream is 8 bits per pixel with a palette, run-length encoded (RLE8) or
// uncompressed.
//
// Open() checks the container and keeps the frame chunks' places; frames are
// then decoded in order, since an RLE8 frame only paints over the one before
// it (runs, skips, line and bitmap ends). Every read is checked against the
// chunk it belongs to and every write against the picture, so a damaged clip
// decodes to something bounded and never reads or writes outside its buffers.
// Palette changes inside the stream apply from the frame that follows them.
// Decoded frames are RGBA, top row first, alpha 255.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pagorix {

enum class ClipStatus { Ok, CannotRead, NotAvi, NoVideo, Unsupported, BadSize, NoFrames };

class TAviClip {
public:
    // The largest picture accepted (in pixels, and per side).
    static constexpr std::int32_t kMaxSide = 4096;
    static constexpr std::int64_t kMaxPixels = 4 * 1024 * 1024;

    ClipStatus Open(std::vector<std::uint8_t> bytes);
    ClipStatus LoadFromFile(const std::string& fileName);
    bool IsOpen() const { return m_open; }

    int FrameCount() const { return static_cast<int>(m_frames.size()); }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // The rate as the stream gives it: Rate / Scale frames per second.
    std::uint32_t Rate() const { return m_rate; }
    std::uint32_t Scale() const { return m_scale; }
    std::uint32_t MicroSecondsPerFrame() const;
    bool Compressed() const { return m_rle; }

    // Back to the first frame.
    void Rewind();
    // Decodes the next frame into rgba (Width × Height × 4 bytes); false when
    // every frame has been decoded.
    bool DecodeNext(std::vector<std::uint8_t>& rgba);
    std::vector<std::vector<std::uint8_t>> DecodeAll();

private:
    struct Chunk {
        std::uint32_t offset;
        std::uint32_t size;
    };
    struct Frame {
        Chunk data;
        std::vector<Chunk> paletteChanges;  // applied before the frame
    };

    void ParseHeaderList(std::uint32_t begin, std::uint32_t end);
    void ParseStreamList(std::uint32_t begin, std::uint32_t end, int streamIndex);
    void ParseMovie(std::uint32_t begin, std::uint32_t end, int depth);
    // Walks the chunks of [begin, end): fourcc, offset of the data, size of
    // the data clipped to end. Stops at a header that does not fit.
    template <class F>
    void ForEachChunk(std::uint32_t begin, std::uint32_t end, F&& visit) const;
    bool FourCc(std::uint32_t offset, const char* code) const;
    void ApplyPaletteChange(const Chunk& chunk);
    void DecodeRle(const Chunk& chunk);
    void DecodeRaw(const Chunk& chunk);
    std::uint32_t U32(std::uint32_t offset) const;
    std::uint16_t U16(std::uint32_t offset) const;

    std::vector<std::uint8_t> m_bytes;
    bool m_open = false;
    int m_width = 0;
    int m_height = 0;
    bool m_topDown = false;
    bool m_rle = false;
    std::uint32_t m_rate = 0;
    std::uint32_t m_scale = 0;
    std::uint32_t m_avihMicroSeconds = 0;
    int m_videoStream = -1;
    bool m_haveFormat = false;
    bool m_unsupported = false;
    bool m_badSize = false;
    using Palette = std::array<std::uint8_t, 256 * 4>;  // R, G, B, A per entry
    Palette m_initialPalette{};
    Palette m_palette{};
    std::vector<Frame> m_frames;
    std::vector<std::uint8_t> m_indices;  // the current picture, top row first
    size_t m_next = 0;
};

}  // namespace pagorix
