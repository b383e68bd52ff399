#include "framework/form.h"

#include "framework/application.h"

namespace pagorix {

TForm::TForm(TComponent* owner) : TWinControl(owner) {
    StoreVisible(false);
    StoreBounds(0, 0, 300, 200);
}

void TForm::ReadDescription(const TStoredComponent& description) {
    ReadComponents(*this, description);
}

void TForm::SetCaption(const std::string& caption) {
    if (caption == m_caption) return;
    m_caption = caption;
    if (HandleAllocated()) Handle().SetText(m_caption);
}

void TForm::DoShow() {
    TNotifyEvent handler = m_onShow;
    if (handler) handler(this);
}

void TForm::Show() {
    SetVisible(true);
}

void TForm::SetVisible(bool visible) {
    if (visible == Visible()) return;
    if (!visible) {
        TWinControl::SetVisible(false);
        return;
    }
    // The show event runs before the window appears; a failure in it is
    // reported and the window still appears.
    Application().SafeCall([&] { DoShow(); });
    if (Visible()) return;  // the show event showed it already
    if (m_position == TPosition::poScreenCenter) {
        SetBounds((Screen().Width() - Width()) / 2, (Screen().Height() - Height()) / 2, Width(),
                  Height());
    }
    HandleNeeded();
    TWinControl::SetVisible(true);
}

void TForm::Close() {
    bool canClose = true;
    if (m_onCloseQuery) m_onCloseQuery(this, canClose);
    if (!canClose) return;
    TCloseAction action = TCloseAction::caHide;
    if (m_onClose) m_onClose(this, action);
    if (action == TCloseAction::caNone) return;
    if (Application().MainForm() == this) {
        Application().Terminate();
    } else {
        Hide();
    }
}

void TForm::CreateParams(TCreateParams& params) {
    TWinControl::CreateParams(params);
    params.kind = WindowKind::Form;
    params.caption = m_caption;
    params.visible = false;  // shown by SetVisible once placed
    switch (m_borderStyle) {
        case TFormBorderStyle::bsNone:
            params.style |= kWsPopup;
            break;
        case TFormBorderStyle::bsSingle:
            params.style |= kWsCaption;
            break;
        case TFormBorderStyle::bsSizeable:
            params.style |= kWsCaption | kWsThickFrame;
            break;
        case TFormBorderStyle::bsDialog:
            params.style |= kWsPopup | kWsCaption;
            params.exStyle |= kWsExDlgModalFrame;
            break;
    }
    if (m_borderStyle != TFormBorderStyle::bsNone && (m_borderIcons & biSystemMenu) != 0) {
        params.style |= kWsSysMenu;
        // Dialog frames have no minimise or maximise box.
        if (m_borderStyle != TFormBorderStyle::bsDialog) {
            if ((m_borderIcons & biMinimize) != 0) params.style |= kWsMinimizeBox;
            if ((m_borderIcons & biMaximize) != 0) params.style |= kWsMaximizeBox;
        }
    }
}

void TForm::WndProc(TMessage& message) {
    if (message.msg == kWmClose) {
        Close();
        return;
    }
    TWinControl::WndProc(message);
}

void TForm::ReadProperty(const std::string& name, const TStoredValue& value) {
    if (name == "Caption") {
        SetCaption(value.AsString());
    } else if (name == "PixelsPerInch") {
        SetPixelsPerInch(value.AsInt());
    } else if (name == "ClientWidth") {
        SetWidth(value.AsInt());
    } else if (name == "ClientHeight") {
        SetHeight(value.AsInt());
    } else if (name == "Position") {
        const std::string& ident = value.AsIdent();
        if (ident == "poScreenCenter" || ident == "poDesktopCenter") {
            SetPosition(TPosition::poScreenCenter);
        } else if (ident == "poDefault" || ident == "poDefaultPosOnly") {
            SetPosition(TPosition::poDefault);
        } else if (ident == "poDesigned") {
            SetPosition(TPosition::poDesigned);
        } else {
            throw EReadError(messages::SInvalidPropertyValue);
        }
    } else if (name == "BorderStyle") {
        const std::string& ident = value.AsIdent();
        if (ident == "bsNone") {
            SetBorderStyle(TFormBorderStyle::bsNone);
        } else if (ident == "bsSingle" || ident == "bsToolWindow") {
            SetBorderStyle(TFormBorderStyle::bsSingle);
        } else if (ident == "bsSizeable" || ident == "bsSizeToolWin") {
            SetBorderStyle(TFormBorderStyle::bsSizeable);
        } else if (ident == "bsDialog") {
            SetBorderStyle(TFormBorderStyle::bsDialog);
        } else {
            throw EReadError(messages::SInvalidPropertyValue);
        }
    } else if (name == "BorderIcons") {
        // A set: the names of its members.
        if (value.kind != TValueKind::Strings) throw EReadError(messages::SInvalidPropertyValue);
        unsigned icons = 0;
        for (const std::string& member : value.lines) {
            if (member == "biSystemMenu") {
                icons |= biSystemMenu;
            } else if (member == "biMinimize") {
                icons |= biMinimize;
            } else if (member == "biMaximize") {
                icons |= biMaximize;
            } else if (member != "biHelp") {
                throw EReadError(messages::SInvalidPropertyValue);
            }
        }
        SetBorderIcons(icons);
    } else if (name == "OnShow") {
        SetOnShow(ResolveEvent<TNotifyEvent>(*this, value));
    } else if (name == "OnClose") {
        SetOnClose(ResolveEvent<TCloseEvent>(*this, value));
    } else if (name == "OnCloseQuery") {
        SetOnCloseQuery(ResolveEvent<TCloseQueryEvent>(*this, value));
    } else {
        TWinControl::ReadProperty(name, value);
    }
}

}  // namespace pagorix
