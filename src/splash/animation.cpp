#include "splash/animation.h"

#include "framework/application.h"
#include "framework/dialogs.h"
#include "framework/stored_form.h"
#include "framework/sysutils.h"
#include "platform/platform.h"

namespace pagorix {

namespace {

void ShowError(const char* text) {
    MessageDlg(text, TMsgDlgType::mtError, mbOK);
}

// Requests answered by the host control: repeat counts and frame indices
// from 0, 0xFFFF for the clip's last frame.
constexpr std::uintptr_t kRepeatForever = static_cast<std::uintptr_t>(-1);

}  // namespace

TAnimation::TAnimation(TComponent* owner) : TWinControl(owner) {
    StoreBounds(0, 0, 64, 64);
}

std::intptr_t TAnimation::FrameRange(int first, int last) const {
    const std::uint32_t range = (static_cast<std::uint32_t>(first) & 0xFFFF) |
                                ((static_cast<std::uint32_t>(last) & 0xFFFF) << 16);
    return static_cast<std::intptr_t>(range);
}

void TAnimation::SetAVIFile(const std::string& fileName) {
    if (fileName == m_aviFile) return;
    m_aviFile = fileName;
    ResetClip();
}

void TAnimation::SetCenter(bool center) {
    if (center == m_center) return;
    m_center = center;
    ResetClip();
}

void TAnimation::SetTransparent(bool transparent) {
    if (transparent == m_transparent) return;
    m_transparent = transparent;
    ResetClip();
}

void TAnimation::SetStartFrame(std::int16_t frame) {
    if (frame < 1) {
        ShowError("StartFrame must be >= 1!");
    } else if (m_endFrame > 0 && m_endFrame < frame) {
        ShowError("StartFrame must be <= EndFrame!");
    } else {
        m_startFrame = frame;
        Restart();
    }
}

void TAnimation::SetEndFrame(std::int16_t frame) {
    if (frame < 0 || (frame > 0 && frame < m_startFrame)) {
        ShowError("EndFrame must be 0 or >= StartFrame!");
    } else {
        m_endFrame = frame;
        Restart();
    }
}

void TAnimation::SetRepeatCount(std::int32_t count) {
    if (count < 0) {
        ShowError("RepeatCount must be >= 0!");
    } else {
        m_repeatCount = count;
        Restart();
    }
}

void TAnimation::Restart() {
    const bool wasPlaying = m_playing;
    SetPlaying(false);
    if (wasPlaying) SetPlaying(true);
}

void TAnimation::SetPlaying(bool playing) {
    if (playing == m_playing) return;
    m_playing = playing;
    if (!m_clipOpen) return;  // carried out by the next ResetClip
    if (playing) {
        const std::uintptr_t repeat =
            m_repeatCount == 0 ? kRepeatForever : static_cast<std::uintptr_t>(m_repeatCount);
        SendToHost(kAcmPlay, repeat, FrameRange(m_startFrame - 1, m_endFrame - 1));
    } else {
        SendToHost(kAcmStop, 0, 0);
        SendToHost(kAcmPlay, 1, FrameRange(m_startFrame - 1, m_startFrame - 1));
    }
}

void TAnimation::OpenClip() {
    HandleNeeded();
    m_clipOpen = false;
    const std::intptr_t name =
        m_aviFile.empty() ? 0 : reinterpret_cast<std::intptr_t>(m_aviFile.c_str());
    m_clipOpen = SendToHost(kAcmOpen, 0, name) != 0;
    if (m_clipOpen) {
        SendToHost(kAcmPlay, 1, FrameRange(m_startFrame - 1, m_startFrame - 1));
        m_clipWidth = Width();
        m_clipHeight = Height();
    }
}

void TAnimation::ResetClip() {
    if (Loading()) return;
    const bool wasPlaying = m_playing;
    SetPlaying(false);
    RecreateWnd();
    OpenClip();
    SetPlaying(wasPlaying);
}

void TAnimation::DoStart() {
    TNotifyEvent handler = m_onStart;
    if (handler) handler(this);
}

void TAnimation::DoStop() {
    TNotifyEvent handler = m_onStop;
    if (handler) handler(this);
}

void TAnimation::Loaded() {
    TWinControl::Loaded();
    ResetClip();
}

void TAnimation::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    params.kind = WindowKind::Custom;
    params.baseClassName = "SysAnimate32";
    params.classStyle &= ~(kCsHRedraw | kCsVRedraw);
    // A fresh class name for every window made.
    params.winClassName =
        Format("Animation(%.8X,%.8X)", platform::TickCount(), CurrentBackend().ModuleInstance());
    if (m_center) params.style |= kAcsCenter;
    if (m_transparent) params.style |= kAcsTransparent;
}

void TAnimation::DestroyWnd() {
    TWinControl::DestroyWnd();
    m_clipOpen = false;
}

void TAnimation::WndProc(TMessage& message) {
    switch (message.msg) {
        case kCnCommand:
            DefaultHandler(message);
            if (HiWord(message.wParam) == kAcnStart) {
                DoStart();
            } else if (HiWord(message.wParam) == kAcnStop) {
                DoStop();
                m_playing = false;
            }
            return;
        case kCmColorChanged:
            TWinControl::WndProc(message);
            ResetClip();
            return;
        case kWmWindowPosChanging:
            // Without centring, the control keeps the clip's size.
            if (!m_center && m_clipOpen && message.lParam != 0) {
                auto* pos = reinterpret_cast<TWindowPos*>(message.lParam);
                pos->cx = m_clipWidth;
                pos->cy = m_clipHeight;
                return;
            }
            TWinControl::WndProc(message);
            return;
        default:
            TWinControl::WndProc(message);
    }
}

void TAnimation::ReadProperty(const std::string& name, const TStoredValue& value) {
    if (name == "AVIFile") {
        SetAVIFile(value.AsString());
    } else if (name == "Center") {
        SetCenter(value.AsBool());
    } else if (name == "Transparent") {
        SetTransparent(value.AsBool());
    } else if (name == "Playing") {
        SetPlaying(value.AsBool());
    } else if (name == "StartFrame") {
        SetStartFrame(value.AsInt16());
    } else if (name == "EndFrame") {
        SetEndFrame(value.AsInt16());
    } else if (name == "RepeatCount") {
        SetRepeatCount(value.AsInt());
    } else if (name == "OnStart") {
        SetOnStart(ResolveEvent<TNotifyEvent>(*this, value));
    } else if (name == "OnStop") {
        SetOnStop(ResolveEvent<TNotifyEvent>(*this, value));
    } else {
        TWinControl::ReadProperty(name, value);
    }
}

}  // namespace pagorix
