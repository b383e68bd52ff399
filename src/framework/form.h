// The framework's form: a top-level window built from a stored description.
//
// Show() raises OnShow before anything appears (an exception from it goes to
// the default handling and the window is shown nevertheless), then places
// the window (centred on the screen for poScreenCenter, with the size OnShow
// left) and shows it. Close() asks OnCloseQuery, then OnClose; closing the
// main form requests the quit. The host's close box arrives as kWmClose.
#pragma once

#include <functional>
#include <string>

#include "framework/controls.h"
#include "framework/stored_form.h"

namespace pagorix {

enum class TPosition { poDesigned, poDefault, poScreenCenter };
enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog };
// The title bar's buttons, as bits.
inline constexpr unsigned biSystemMenu = 0x1;
inline constexpr unsigned biMinimize = 0x2;
inline constexpr unsigned biMaximize = 0x4;
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TComponent* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TComponent* sender, bool& canClose)>;

class TForm : public TWinControl {
public:
    explicit TForm(TComponent* owner);

    // Creates the components and sets the properties that the description
    // holds (framework/stored_form.h). Define the handlers it names first.
    void ReadDescription(const TStoredComponent& description);

    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& caption);
    int PixelsPerInch() const { return m_pixelsPerInch; }
    void SetPixelsPerInch(int v) { m_pixelsPerInch = v; }
    TPosition Position() const { return m_position; }
    void SetPosition(TPosition v) { m_position = v; }
    // The frame and title bar the host gives the window (read when it is made).
    TFormBorderStyle BorderStyle() const { return m_borderStyle; }
    void SetBorderStyle(TFormBorderStyle v) { m_borderStyle = v; }
    unsigned BorderIcons() const { return m_borderIcons; }
    void SetBorderIcons(unsigned v) { m_borderIcons = v; }
    int ClientWidth() const { return Width(); }
    int ClientHeight() const { return Height(); }

    void SetOnShow(TNotifyEvent handler) { m_onShow = std::move(handler); }
    void SetOnClose(TCloseEvent handler) { m_onClose = std::move(handler); }
    void SetOnCloseQuery(TCloseQueryEvent handler) { m_onCloseQuery = std::move(handler); }

    void Show();
    void Hide() { SetVisible(false); }
    void SetVisible(bool visible) override;
    void Close();

    void ReadProperty(const std::string& name, const TStoredValue& value) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void WndProc(TMessage& message) override;
    virtual void DoShow();

private:
    std::string m_caption;
    int m_pixelsPerInch = 96;
    TPosition m_position = TPosition::poDesigned;
    TFormBorderStyle m_borderStyle = TFormBorderStyle::bsSizeable;
    unsigned m_borderIcons = biSystemMenu | biMinimize | biMaximize;
    TNotifyEvent m_onShow;
    TCloseEvent m_onClose;
    TCloseQueryEvent m_onCloseQuery;
};

}  // namespace pagorix
