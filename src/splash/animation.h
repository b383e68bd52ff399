// TAnimation: a windowed control that plays a silent AVI clip through the
// host's animation control ("SysAnimate32"), reached by the requests
// kAcmOpen, kAcmPlay and kAcmStop and answering with kAcnStart / kAcnStop.
//
// Invariants kept by the setters: StartFrame >= 1; EndFrame = 0 (the clip's
// end) or EndFrame >= StartFrame; RepeatCount >= 0 (0 plays without end). A
// rejected value keeps the old one and is reported in an error box; nothing
// is raised. Playing is a request: with no clip open it is only recorded and
// the next ResetClip carries it out. While loading from a stored description
// ResetClip does nothing; Loaded opens the clip once.
#pragma once

#include <cstdint>
#include <string>

#include "framework/controls.h"

namespace pagorix {

class TAnimation : public TWinControl {
public:
    explicit TAnimation(TComponent* owner);

    int ClipWidth() const { return m_clipWidth; }
    int ClipHeight() const { return m_clipHeight; }
    const std::string& AVIFile() const { return m_aviFile; }
    void SetAVIFile(const std::string& fileName);
    bool Center() const { return m_center; }
    void SetCenter(bool center);
    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool transparent);
    bool Playing() const { return m_playing; }
    void SetPlaying(bool playing);
    bool ClipOpen() const { return m_clipOpen; }
    std::int16_t StartFrame() const { return m_startFrame; }
    void SetStartFrame(std::int16_t frame);
    std::int16_t EndFrame() const { return m_endFrame; }
    void SetEndFrame(std::int16_t frame);
    std::int32_t RepeatCount() const { return m_repeatCount; }
    void SetRepeatCount(std::int32_t count);
    void SetOnStart(TNotifyEvent handler) { m_onStart = std::move(handler); }
    void SetOnStop(TNotifyEvent handler) { m_onStop = std::move(handler); }

    virtual void DoStart();
    virtual void DoStop();
    virtual void Play() { SetPlaying(true); }
    virtual void Stop() { SetPlaying(false); }

    // Opens AVIFile in the host control and shows the start frame.
    void OpenClip();
    // Makes the host control again with the current styles and reopens the
    // clip, keeping the playing request.
    void ResetClip();

    void Loaded() override;
    void ReadProperty(const std::string& name, const TStoredValue& value) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void DestroyWnd() override;
    void WndProc(TMessage& message) override;

private:
    // Stops and plays again, so that a new frame range takes effect.
    void Restart();
    std::intptr_t FrameRange(int first, int last) const;

    int m_clipWidth = 0;
    int m_clipHeight = 0;
    std::string m_aviFile;
    bool m_center = true;
    bool m_transparent = true;
    bool m_playing = false;
    bool m_clipOpen = false;
    std::int16_t m_startFrame = 1;
    std::int16_t m_endFrame = 0;
    std::int32_t m_repeatCount = 0;
    TNotifyEvent m_onStart;
    TNotifyEvent m_onStop;
};

}  // namespace pagorix
