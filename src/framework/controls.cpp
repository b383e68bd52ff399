#include "framework/controls.h"

#include <algorithm>

#include "framework/application.h"
#include "framework/stored_form.h"

namespace pagorix {

namespace {

// Properties that descriptions carry for the designer's sake and that change
// nothing at run time here.
bool IsDesignOnlyProperty(const std::string& name) {
    static const char* const kNames[] = {
        "TabOrder",    "TabStop",     "Hint",   "ParentFont", "Anchors",        "Cursor",
        "HelpContext", "DragMode",    "Scaled", "TextHeight", "OldCreateOrder", "FormStyle",
        "Alignment",   "Transparent", "Layout", "ScrollBars", "ReadOnly",       "Default",
        "Cancel",      "ModalResult", "Smooth", "Step",       "Orientation",    "AutoScroll"};
    if (name.rfind("Font.", 0) == 0 || name.rfind("Constraints.", 0) == 0) return true;
    return std::any_of(std::begin(kNames), std::end(kNames),
                       [&](const char* n) { return name == n; });
}

}  // namespace

// ---- TControl ----

TControl::~TControl() {
    if (m_parent != nullptr) m_parent->RemoveControl(this);
}

void TControl::SetBounds(int left, int top, int width, int height) {
    StoreBounds(left, top, width, height);
}

void TControl::StoreBounds(int left, int top, int width, int height) {
    m_left = left;
    m_top = top;
    m_width = width;
    m_height = height;
}

void TControl::SetVisible(bool visible) {
    m_visible = visible;
}

void TControl::SetEnabled(bool enabled) {
    m_enabled = enabled;
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == m_parent) return;
    if (m_parent != nullptr) m_parent->RemoveControl(this);
    m_parent = parent;
    if (m_parent != nullptr) m_parent->InsertControl(this);
}

void TControl::SetColor(std::int32_t color) {
    if (color == m_color) return;
    m_color = color;
    m_parentColor = false;
    ColorChanged();
}

void TControl::ReadProperty(const std::string& name, const TStoredValue& value) {
    if (name == "Left") {
        SetLeft(value.AsInt());
    } else if (name == "Top") {
        SetTop(value.AsInt());
    } else if (name == "Width") {
        SetWidth(value.AsInt());
    } else if (name == "Height") {
        SetHeight(value.AsInt());
    } else if (name == "Visible") {
        SetVisible(value.AsBool());
    } else if (name == "Enabled") {
        SetEnabled(value.AsBool());
    } else if (name == "Color") {
        SetColor(value.AsInt());
    } else if (name == "ParentColor") {
        SetParentColor(value.AsBool());
    } else if (name == "ShowHint") {
        SetShowHint(value.AsBool());
    } else if (name == "ParentShowHint") {
        SetParentShowHint(value.AsBool());
    } else if (!IsDesignOnlyProperty(name)) {
        TComponent::ReadProperty(name, value);
    }
}

// ---- TWinControl ----

TWinControl::~TWinControl() {
    for (TControl* child : m_controls) {
        if (auto* win = dynamic_cast<TWinControl*>(child)) win->DestroyHandle();
        child->m_parent = nullptr;
    }
    m_controls.clear();
    m_handle.reset();
}

void TWinControl::InsertControl(TControl* control) {
    m_controls.push_back(control);
}

void TWinControl::RemoveControl(TControl* control) {
    if (auto* win = dynamic_cast<TWinControl*>(control)) win->DestroyHandle();
    m_controls.erase(std::remove(m_controls.begin(), m_controls.end(), control), m_controls.end());
}

void TWinControl::HandleNeeded() {
    if (m_handle) return;
    if (Parent() != nullptr) {
        Parent()->HandleNeeded();  // makes the children's windows too
        if (m_handle) return;
    }
    CreateWnd();
}

NativeWindow& TWinControl::Handle() {
    HandleNeeded();
    return *m_handle;
}

void TWinControl::CreateParams(TCreateParams& params) {
    params.name = Name();
    params.x = Left();
    params.y = Top();
    params.width = Width();
    params.height = Height();
    params.visible = Visible();
    params.enabled = Enabled();
    params.parent = Parent() != nullptr ? Parent()->m_handle.get() : nullptr;
}

void TWinControl::CreateWnd() {
    TCreateParams params;
    CreateParams(params);
    m_handle = CurrentBackend().CreateNativeWindow(params, *this);
    HandleCreated();
    CreateChildHandles();
}

void TWinControl::CreateChildHandles() {
    // A child may be added while its siblings' windows are made.
    for (size_t i = 0; i < m_controls.size(); ++i) {
        if (auto* win = dynamic_cast<TWinControl*>(m_controls[i])) {
            if (!win->HandleAllocated()) win->CreateWnd();
        }
    }
}

void TWinControl::DestroyHandle() {
    if (!m_handle) return;
    for (TControl* child : m_controls) {
        if (auto* win = dynamic_cast<TWinControl*>(child)) win->DestroyHandle();
    }
    DestroyWnd();
}

void TWinControl::DestroyWnd() {
    m_handle.reset();
}

void TWinControl::RecreateWnd() {
    if (!m_handle) return;
    const bool hadFocus = Focused();
    DestroyHandle();
    HandleNeeded();
    if (hadFocus) SetFocus();
}

void TWinControl::SetFocus() {
    Handle().SetFocus();
}

std::intptr_t TWinControl::SendToHost(unsigned message, std::uintptr_t wParam,
                                      std::intptr_t lParam) {
    return m_handle ? m_handle->Send(message, wParam, lParam) : 0;
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
    if (left == Left() && top == Top() && width == Width() && height == Height()) return;
    if (!m_handle) {
        StoreBounds(left, top, width, height);
        return;
    }
    TWindowPos pos{left, top, width, height};
    TMessage changing{kWmWindowPosChanging, 0, reinterpret_cast<std::intptr_t>(&pos), 0};
    WndProc(changing);
    StoreBounds(pos.x, pos.y, pos.cx, pos.cy);
    if (m_handle) m_handle->SetBounds(pos.x, pos.y, pos.cx, pos.cy);
}

void TWinControl::SetVisible(bool visible) {
    if (visible == Visible()) return;
    TControl::SetVisible(visible);
    if (m_handle) m_handle->SetVisible(visible);
}

void TWinControl::SetEnabled(bool enabled) {
    if (enabled == Enabled()) return;
    TControl::SetEnabled(enabled);
    if (m_handle) m_handle->SetEnabled(enabled);
}

void TWinControl::ColorChanged() {
    TMessage message{kCmColorChanged, 0, 0, 0};
    WndProc(message);
}

void TWinControl::WndProc(TMessage& message) {
    DefaultHandler(message);
}

void TWinControl::DefaultHandler(TMessage& message) {
    if (message.msg == kWmWindowPosChanged && message.lParam != 0) {
        const auto* pos = reinterpret_cast<const TWindowPos*>(message.lParam);
        StoreBounds(pos->x, pos->y, pos->cx, pos->cy);
    }
}

void TWinControl::HostMessage(TMessage& message) {
    Application().SafeCall([&] { WndProc(message); });
}

// ---- TLabel ----

TLabel::TLabel(TComponent* owner) : TWinControl(owner) {
    StoreBounds(0, 0, 65, 13);
}

void TLabel::SetCaption(const std::string& caption) {
    if (caption == m_caption) return;
    m_caption = caption;
    if (HandleAllocated()) Handle().SetText(m_caption);
}

void TLabel::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    params.kind = WindowKind::Label;
    params.caption = m_caption;
    if (!m_wordWrap) params.style |= kSsLeftNoWordWrap;
}

void TLabel::ReadProperty(const std::string& name, const TStoredValue& value) {
    if (name == "Caption") {
        SetCaption(value.AsString());
    } else if (name == "AutoSize") {
        SetAutoSize(value.AsBool());
    } else if (name == "WordWrap") {
        SetWordWrap(value.AsBool());
    } else {
        TWinControl::ReadProperty(name, value);
    }
}

// ---- TMemo ----

TMemo::TMemo(TComponent* owner) : TWinControl(owner) {
    StoreBounds(0, 0, 185, 89);
}

void TMemo::UpdateLines() {
    if (HandleAllocated()) Handle().SetLines(m_lines.Lines());
}

void TMemo::LoadFromFile(const std::string& fileName) {
    m_lines.LoadFromFile(fileName);
    UpdateLines();
}

void TMemo::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    params.kind = WindowKind::Memo;
    if (!m_wordWrap) params.style |= kEsAutoHScroll;
}

void TMemo::HandleCreated() {
    Handle().SetLines(m_lines.Lines());
}

void TMemo::ReadProperty(const std::string& name, const TStoredValue& value) {
    if (name == "Lines.Strings" || name == "Lines") {
        if (value.kind != TValueKind::Strings) throw EReadError(messages::SInvalidPropertyValue);
        m_lines.Clear();
        for (const std::string& line : value.lines)
            m_lines.Add(line);
        UpdateLines();
    } else if (name == "WordWrap") {
        SetWordWrap(value.AsBool());
    } else if (name == "WantReturns") {
        SetWantReturns(value.AsBool());
    } else {
        TWinControl::ReadProperty(name, value);
    }
}

// ---- TButton ----

TButton::TButton(TComponent* owner) : TWinControl(owner) {
    StoreBounds(0, 0, 75, 25);
}

void TButton::SetCaption(const std::string& caption) {
    if (caption == m_caption) return;
    m_caption = caption;
    if (HandleAllocated()) Handle().SetText(m_caption);
}

void TButton::Click() {
    TNotifyEvent handler = m_onClick;  // the handler may replace itself
    if (handler) handler(this);
}

void TButton::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    params.kind = WindowKind::Button;
    params.caption = m_caption;
}

void TButton::WndProc(TMessage& message) {
    if (message.msg == kCnCommand && HiWord(message.wParam) == kBnClicked) {
        Click();
        return;
    }
    TWinControl::WndProc(message);
}

void TButton::ReadProperty(const std::string& name, const TStoredValue& value) {
    if (name == "Caption") {
        SetCaption(value.AsString());
    } else if (name == "OnClick") {
        SetOnClick(ResolveEvent<TNotifyEvent>(*this, value));
    } else {
        TWinControl::ReadProperty(name, value);
    }
}

// ---- TProgressBar ----

TProgressBar::TProgressBar(TComponent* owner) : TWinControl(owner) {
    StoreBounds(0, 0, 150, 16);
}

void TProgressBar::SetMin(int v) {
    if (v == m_min) return;
    m_min = v;
    m_position = std::max(m_position, m_min);
    Update();
}

void TProgressBar::SetMax(int v) {
    if (v == m_max) return;
    m_max = v;
    m_position = std::min(m_position, m_max);
    Update();
}

void TProgressBar::SetPosition(int v) {
    v = std::clamp(v, m_min, std::max(m_min, m_max));
    if (v == m_position) return;
    m_position = v;
    Update();
}

void TProgressBar::Update() {
    if (HandleAllocated()) Handle().SetProgress(m_min, m_max, m_position);
}

void TProgressBar::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    params.kind = WindowKind::ProgressBar;
}

void TProgressBar::HandleCreated() {
    Handle().SetProgress(m_min, m_max, m_position);
}

void TProgressBar::ReadProperty(const std::string& name, const TStoredValue& value) {
    if (name == "Min") {
        SetMin(value.AsInt());
    } else if (name == "Max") {
        SetMax(value.AsInt());
    } else if (name == "Position") {
        SetPosition(value.AsInt());
    } else {
        TWinControl::ReadProperty(name, value);
    }
}

// ---- TTimer ----

void TTimer::SetEnabled(bool v) {
    if (v == m_enabled) return;
    m_enabled = v;
    UpdateTimer();
}

void TTimer::SetInterval(unsigned v) {
    if (v == m_interval) return;
    m_interval = v;
    UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
    m_onTimer = std::move(handler);
    UpdateTimer();
}

void TTimer::Loaded() {
    TComponent::Loaded();
    UpdateTimer();
}

void TTimer::UpdateTimer() {
    m_host.reset();
    if (Loading()) return;
    if (m_interval != 0 && m_enabled && m_onTimer) {
        m_host = CurrentBackend().StartTimer(Name(), m_interval, [this] { Timer(); });
    }
}

void TTimer::Timer() {
    TNotifyEvent handler = m_onTimer;  // the handler may disable or replace the timer
    Application().SafeCall([&] {
        if (handler) handler(this);
    });
}

void TTimer::ReadProperty(const std::string& name, const TStoredValue& value) {
    if (name == "Enabled") {
        SetEnabled(value.AsBool());
    } else if (name == "Interval") {
        const std::int32_t v = value.AsInt();
        if (v < 0) throw EReadError(messages::SInvalidPropertyValue);
        SetInterval(static_cast<unsigned>(v));
    } else if (name == "OnTimer") {
        SetOnTimer(ResolveEvent<TNotifyEvent>(*this, value));
    } else {
        TComponent::ReadProperty(name, value);
    }
}

}  // namespace pagorix
