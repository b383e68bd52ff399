// The framework's controls and timer.
//
// TControl keeps a control's place (left, top, width, height, in its parent's
// coordinates), visibility and parent. TWinControl adds the host window: it
// is made on demand (HandleNeeded, or when the form is shown), after its
// parent's, from the parameters CreateParams prepares, and it is destroyed
// with the control or by RecreateWnd. Setters store the value and, when the
// window exists, pass it on; a setter given the current value does nothing.
// A size change of a control with a window first goes through the control's
// own kWmWindowPosChanging, so a control can hold its size.
//
// Messages from the host arrive in WndProc; an exception that leaves their
// handling goes to the application's default handling, as for every event.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/backend.h"
#include "framework/component.h"
#include "framework/memo_text.h"

namespace pagorix {

class TWinControl;

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner) : TComponent(owner) {}
    ~TControl() override;

    int Left() const { return m_left; }
    int Top() const { return m_top; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    void SetLeft(int v) { SetBounds(v, m_top, m_width, m_height); }
    void SetTop(int v) { SetBounds(m_left, v, m_width, m_height); }
    void SetWidth(int v) { SetBounds(m_left, m_top, v, m_height); }
    void SetHeight(int v) { SetBounds(m_left, m_top, m_width, v); }
    virtual void SetBounds(int left, int top, int width, int height);

    bool Visible() const { return m_visible; }
    virtual void SetVisible(bool visible);
    bool Enabled() const { return m_enabled; }
    virtual void SetEnabled(bool enabled);

    TWinControl* Parent() const { return m_parent; }
    virtual void SetParent(TWinControl* parent);

    std::int32_t Color() const { return m_color; }
    void SetColor(std::int32_t color);
    bool ParentColor() const { return m_parentColor; }
    void SetParentColor(bool v) { m_parentColor = v; }
    bool ShowHint() const { return m_showHint; }
    void SetShowHint(bool v) { m_showHint = v; }
    bool ParentShowHint() const { return m_parentShowHint; }
    void SetParentShowHint(bool v) { m_parentShowHint = v; }

    void ReadProperty(const std::string& name, const TStoredValue& value) override;

protected:
    // The colour changed (the window exists or not).
    virtual void ColorChanged() {}
    // Stores the bounds without telling anyone (host size reports).
    void StoreBounds(int left, int top, int width, int height);
    void StoreVisible(bool visible) { m_visible = visible; }

private:
    friend class TWinControl;
    TWinControl* m_parent = nullptr;
    int m_left = 0, m_top = 0, m_width = 0, m_height = 0;
    bool m_visible = true;
    bool m_enabled = true;
    std::int32_t m_color = 0x80000000 | 15;  // the system's button face colour
    bool m_parentColor = false;
    bool m_showHint = false;
    bool m_parentShowHint = true;
};

class TWinControl : public TControl, private WindowSink {
public:
    explicit TWinControl(TComponent* owner) : TControl(owner) {}
    ~TWinControl() override;

    bool HandleAllocated() const { return m_handle != nullptr; }
    // Makes the host window (and the parent's before it) if there is none.
    void HandleNeeded();
    NativeWindow& Handle();
    void DestroyHandle();
    // Destroys the window and makes it again with the current parameters,
    // giving it back the focus when it had it.
    void RecreateWnd();

    bool Focused() const { return m_handle != nullptr && m_handle->Focused(); }
    void SetFocus();

    // A message to this control's host window (the host control's own
    // requests); 0 when there is no window.
    std::intptr_t SendToHost(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    // Handles a framework message as if the host had sent it.
    void Perform(TMessage& message) { WndProc(message); }

    void SetBounds(int left, int top, int width, int height) override;
    void SetVisible(bool visible) override;
    void SetEnabled(bool enabled) override;

    const std::vector<TControl*>& Controls() const { return m_controls; }

protected:
    virtual void CreateParams(TCreateParams& params);
    virtual void CreateWnd();
    virtual void DestroyWnd();
    // The window was made: give it the control's state.
    virtual void HandleCreated() {}
    virtual void WndProc(TMessage& message);
    virtual void DefaultHandler(TMessage& message);
    void ColorChanged() override;

private:
    friend class TControl;
    void HostMessage(TMessage& message) override;
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    void CreateChildHandles();

    std::unique_ptr<NativeWindow> m_handle;
    std::vector<TControl*> m_controls;  // not owned: the owner owns them
};

class TLabel : public TWinControl {
public:
    explicit TLabel(TComponent* owner);
    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& caption);
    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool v) { m_autoSize = v; }
    bool WordWrap() const { return m_wordWrap; }
    void SetWordWrap(bool v) { m_wordWrap = v; }
    void ReadProperty(const std::string& name, const TStoredValue& value) override;

protected:
    void CreateParams(TCreateParams& params) override;

private:
    std::string m_caption;
    bool m_autoSize = true;
    bool m_wordWrap = false;
};

class TMemo : public TWinControl {
public:
    explicit TMemo(TComponent* owner);
    // The lines; after changing them, UpdateLines shows them.
    TMemoLines& Lines() { return m_lines; }
    const TMemoLines& Lines() const { return m_lines; }
    void UpdateLines();
    void LoadFromFile(const std::string& fileName);
    bool WordWrap() const { return m_wordWrap; }
    void SetWordWrap(bool v) { m_wordWrap = v; }
    bool WantReturns() const { return m_wantReturns; }
    void SetWantReturns(bool v) { m_wantReturns = v; }
    void ReadProperty(const std::string& name, const TStoredValue& value) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void HandleCreated() override;

private:
    TMemoLines m_lines;
    bool m_wordWrap = true;
    bool m_wantReturns = true;
};

class TButton : public TWinControl {
public:
    explicit TButton(TComponent* owner);
    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& caption);
    const TNotifyEvent& OnClick() const { return m_onClick; }
    void SetOnClick(TNotifyEvent handler) { m_onClick = std::move(handler); }
    // Runs the click event (a press on the button).
    virtual void Click();
    void ReadProperty(const std::string& name, const TStoredValue& value) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void WndProc(TMessage& message) override;

private:
    std::string m_caption;
    TNotifyEvent m_onClick;
};

class TProgressBar : public TWinControl {
public:
    explicit TProgressBar(TComponent* owner);
    int Min() const { return m_min; }
    int Max() const { return m_max; }
    int Position() const { return m_position; }
    void SetMin(int v);
    void SetMax(int v);
    // Kept within Min..Max.
    void SetPosition(int v);
    void ReadProperty(const std::string& name, const TStoredValue& value) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void HandleCreated() override;

private:
    void Update();
    int m_min = 0;
    int m_max = 100;
    int m_position = 0;
};

// A timer of the message loop. It runs while Enabled, Interval is above 0 and
// OnTimer is assigned; a handler that disables it makes it fire once.
class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner) : TComponent(owner) {}
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool v);
    unsigned Interval() const { return m_interval; }
    void SetInterval(unsigned v);
    const TNotifyEvent& OnTimer() const { return m_onTimer; }
    void SetOnTimer(TNotifyEvent handler);
    // Whether the host timer runs.
    bool Armed() const { return m_host != nullptr; }
    void Loaded() override;
    void ReadProperty(const std::string& name, const TStoredValue& value) override;

protected:
    virtual void Timer();

private:
    void UpdateTimer();
    bool m_enabled = true;
    unsigned m_interval = 1000;
    TNotifyEvent m_onTimer;
    std::unique_ptr<HostTimer> m_host;
};

}  // namespace pagorix
