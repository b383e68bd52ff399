#include "framework/component.h"

#include "framework/exceptions.h"
#include "framework/stored_form.h"
#include "framework/sysutils.h"

namespace pagorix {

TComponent::~TComponent() {
    while (!m_components.empty())
        m_components.pop_back();
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    for (const auto& c : m_components) {
        if (SameText(c->Name(), name)) return c.get();
    }
    return nullptr;
}

void TComponent::ThrowInvalidCast() {
    throw EInvalidCast(messages::SInvalidCast);
}

void TComponent::ReadProperty(const std::string& name, const TStoredValue& /*value*/) {
    if (name == "Name" || name == "Tag") return;
    throw EReadError(Format(messages::SUnknownProperty, name.c_str()));
}

void TComponent::DefineMethod(const std::string& name, std::any handler) {
    m_methods[name] = std::move(handler);
}

const std::any* TComponent::FindMethod(const std::string& name) const {
    for (const TComponent* c = this; c != nullptr; c = c->m_owner) {
        auto it = c->m_methods.find(name);
        if (it != c->m_methods.end()) return &it->second;
    }
    return nullptr;
}

}  // namespace pagorix
