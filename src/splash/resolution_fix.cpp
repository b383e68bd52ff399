#include "splash/resolution_fix.h"

#include "framework/application.h"
#include "framework/exceptions.h"
#include "framework/form.h"
#include "framework/stored_form.h"

namespace pagorix {

namespace {

// v × designRes div density in 32-bit signed arithmetic: the product wraps
// as a 32-bit machine word would, the quotient truncates towards zero.
std::int32_t Scale(std::int32_t v, std::int32_t designRes, std::int32_t density) {
    const auto product = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(static_cast<std::int64_t>(v) * designRes));
    return product / density;
}

}  // namespace

void TResolutionFix::Apply() {
    if (m_applied) return;
    m_applied = true;
    const int density = Screen().PixelsPerInch();
    auto* form = dynamic_cast<TForm*>(Owner());
    if (form == nullptr) throw EInvalidCast(messages::SInvalidCast);
    form->SetPixelsPerInch(density);
    if (form->PixelsPerInch() == m_designRes) return;
    // A host that reports no density gives nothing to scale by.
    if (density <= 0) return;
    for (int i = 0; i < form->ComponentCount(); ++i) {
        auto* control = dynamic_cast<TControl*>(form->Components(i));
        if (control == nullptr) continue;
        control->SetTop(Scale(control->Top(), m_designRes, density));
        control->SetLeft(Scale(control->Left(), m_designRes, density));
        control->SetHeight(Scale(control->Height(), m_designRes, density));
        control->SetWidth(Scale(control->Width(), m_designRes, density));
    }
}

void TResolutionFix::ReadProperty(const std::string& name, const TStoredValue& value) {
    if (name == "DesignRes") {
        SetDesignRes(value.AsInt());
    } else {
        TComponent::ReadProperty(name, value);
    }
}

}  // namespace pagorix
