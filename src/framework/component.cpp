#include "framework/component.h"

#include "framework/sysutils.h"

namespace pagorix {

TComponent::~TComponent() {
    while (!m_components.empty()) m_components.pop_back();
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    for (const auto& c : m_components) {
        if (SameText(c->Name(), name)) return c.get();
    }
    return nullptr;
}

}  // namespace pagorix
