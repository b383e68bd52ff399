// THideAppBtn: shows or hides the program's taskbar button, which belongs to
// the framework's application window. Every assignment acts, also one of the
// current value; in a form designer the button is never hidden. After loading
// from a stored description the stored value is applied once more.
// Destroying the component leaves the button as it is.
#pragma once

#include "framework/component.h"

namespace pagorix {

class THideAppBtn : public TComponent {
public:
    explicit THideAppBtn(TComponent* owner) : TComponent(owner) {}

    bool AppVisible() const { return m_appVisible; }
    void SetAppVisible(bool visible);

    void Loaded() override;
    void ReadProperty(const std::string& name, const TStoredValue& value) override;

private:
    bool m_appVisible = true;
};

}  // namespace pagorix
