#include "framework/gtk/clip_player.h"

#include <algorithm>

namespace pagorix::gtk {

bool ClipPlayer::Open(const std::string& fileName) {
    Close();
    if (m_clip.LoadFromFile(fileName) != ClipStatus::Ok || m_clip.FrameCount() == 0) {
        m_clip = TAviClip();
        return false;
    }
    m_open = true;
    Show(0);
    if (m_rgba.size() >= 3) m_key = {m_rgba[0], m_rgba[1], m_rgba[2]};
    return true;
}

void ClipPlayer::Close() {
    m_open = false;
    m_playing = false;
    m_shown = -1;
    m_rgba.clear();
    m_key = {};
}

unsigned ClipPlayer::FrameMilliseconds() const {
    const std::uint32_t ms = m_clip.MicroSecondsPerFrame() / 1000;
    return std::clamp<unsigned>(ms, kMinFrameMs, kMaxFrameMs);
}

bool ClipPlayer::Play(int first, int last, int repeat) {
    if (!m_open) return false;
    const int lastFrame = FrameCount() - 1;
    if (last == kClipEnd) last = lastFrame;
    if (first < 0 || first > last || last > lastFrame) return false;
    m_first = first;
    m_last = last;
    m_repeatsLeft = repeat < 0 ? -1 : std::max(1, repeat);
    m_playing = true;
    Show(first);
    return true;
}

bool ClipPlayer::Tick() {
    if (!m_playing) return false;
    if (m_shown < m_last) {
        Show(m_shown + 1);
        return false;
    }
    if (m_repeatsLeft > 0 && --m_repeatsLeft == 0) {
        m_playing = false;
        return true;
    }
    Show(m_first);
    return false;
}

void ClipPlayer::Show(int frame) {
    if (frame < m_shown || m_shown < 0) {
        m_clip.Rewind();
        m_shown = -1;
    }
    while (m_shown < frame && m_clip.DecodeNext(m_rgba))
        ++m_shown;
    m_shown = frame;  // a frame the reader could not give keeps the last picture
}

std::vector<std::uint32_t> ClipPlayer::Picture(bool transparent) const {
    std::vector<std::uint32_t> argb(m_rgba.size() / 4);
    for (size_t i = 0; i < argb.size(); ++i) {
        const std::uint8_t* p = &m_rgba[i * 4];
        if (transparent && p[0] == m_key[0] && p[1] == m_key[1] && p[2] == m_key[2]) {
            argb[i] = 0;
        } else {
            argb[i] = 0xFF000000u | (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
        }
    }
    return argb;
}

}  // namespace pagorix::gtk
