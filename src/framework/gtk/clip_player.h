// The playing state behind the GTK animation control: which frame of a clip
// is on show, the frame range and the repeats left, and the picture in the
// form cairo paints (premultiplied ARGB, one 32-bit word per pixel).
//
// Frames are decoded in order by the portable clip reader; going back in the
// clip rewinds and decodes forward again, so memory stays at one picture
// whatever the clip's length. The transparent colour is the one of the first
// frame's top-left pixel, fixed when the clip is opened.
//
// A play request covers frames first..last (0xFFFF for the clip's last
// frame) `repeat` times, -1 for without end. Each Tick() moves one frame; the
// tick after the last frame of the last repetition ends the playing, so a
// range of n frames played r times lasts n × r frame times.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/avi_clip.h"

namespace pagorix::gtk {

class ClipPlayer {
public:
    // The slowest and fastest frame times used, whatever the clip says.
    static constexpr unsigned kMinFrameMs = 10;
    static constexpr unsigned kMaxFrameMs = 10000;
    static constexpr int kClipEnd = 0xFFFF;

    // Opens a clip and shows its first frame; false (and closed) when the
    // reader refuses the file.
    bool Open(const std::string& fileName);
    void Close();
    bool IsOpen() const { return m_open; }
    int Width() const { return m_clip.Width(); }
    int Height() const { return m_clip.Height(); }
    int FrameCount() const { return m_clip.FrameCount(); }
    unsigned FrameMilliseconds() const;

    // Starts playing; false when the range is not in the clip.
    bool Play(int first, int last, int repeat);
    void Stop() { m_playing = false; }
    bool Playing() const { return m_playing; }
    // One frame time passed; true when the playing has just run out.
    bool Tick();
    int CurrentFrame() const { return m_shown; }

    std::array<std::uint8_t, 3> KeyColour() const { return m_key; }
    // The picture on show; with transparent, the key colour's pixels are
    // fully transparent.
    std::vector<std::uint32_t> Picture(bool transparent) const;

private:
    void Show(int frame);

    TAviClip m_clip;
    bool m_open = false;
    std::vector<std::uint8_t> m_rgba;  // the picture of frame m_shown
    int m_shown = -1;
    std::array<std::uint8_t, 3> m_key{};
    bool m_playing = false;
    int m_first = 0;
    int m_last = 0;
    int m_repeatsLeft = 0;  // -1: without end
};

}  // namespace pagorix::gtk
