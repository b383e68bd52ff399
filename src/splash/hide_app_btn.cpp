#include "splash/hide_app_btn.h"

#include "framework/backend.h"
#include "framework/stored_form.h"

namespace pagorix {

void THideAppBtn::SetAppVisible(bool visible) {
    CurrentBackend().ShowApplicationWindow(Designing() || visible ? kSwShow : kSwHide);
    m_appVisible = visible;
}

void THideAppBtn::Loaded() {
    TComponent::Loaded();
    SetAppVisible(m_appVisible);
}

void THideAppBtn::ReadProperty(const std::string& name, const TStoredValue& value) {
    if (name == "AppVisible") {
        SetAppVisible(value.AsBool());
    } else {
        TComponent::ReadProperty(name, value);
    }
}

}  // namespace pagorix
