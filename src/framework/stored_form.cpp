#include "framework/stored_form.h"

#include <limits>
#include <map>

#include "framework/controls.h"
#include "framework/sysutils.h"

namespace pagorix {

TStoredValue TStoredValue::Int(std::int64_t v) {
    TStoredValue value;
    value.kind = TValueKind::Integer;
    value.integer = v;
    return value;
}

TStoredValue TStoredValue::Bool(bool v) {
    TStoredValue value;
    value.kind = TValueKind::Boolean;
    value.integer = v ? 1 : 0;
    return value;
}

TStoredValue TStoredValue::Str(std::string v) {
    TStoredValue value;
    value.kind = TValueKind::String;
    value.text = std::move(v);
    return value;
}

TStoredValue TStoredValue::Ident(std::string v) {
    TStoredValue value;
    value.kind = TValueKind::Ident;
    value.text = std::move(v);
    return value;
}

TStoredValue TStoredValue::Binary(std::span<const std::uint8_t> bytes) {
    TStoredValue value;
    value.kind = TValueKind::Binary;
    value.binary = bytes;
    return value;
}

TStoredValue TStoredValue::Strings(std::vector<std::string> lines) {
    TStoredValue value;
    value.kind = TValueKind::Strings;
    value.lines = std::move(lines);
    return value;
}

namespace {
[[noreturn]] void InvalidValue() {
    throw EReadError(messages::SInvalidPropertyValue);
}
}  // namespace

std::int32_t TStoredValue::AsInt() const {
    if (kind != TValueKind::Integer || integer < std::numeric_limits<std::int32_t>::min() ||
        integer > std::numeric_limits<std::int32_t>::max()) {
        InvalidValue();
    }
    return static_cast<std::int32_t>(integer);
}

std::int16_t TStoredValue::AsInt16() const {
    if (kind != TValueKind::Integer || integer < std::numeric_limits<std::int16_t>::min() ||
        integer > std::numeric_limits<std::int16_t>::max()) {
        InvalidValue();
    }
    return static_cast<std::int16_t>(integer);
}

bool TStoredValue::AsBool() const {
    if (kind != TValueKind::Boolean) InvalidValue();
    return integer != 0;
}

const std::string& TStoredValue::AsString() const {
    if (kind != TValueKind::String) InvalidValue();
    return text;
}

const std::string& TStoredValue::AsIdent() const {
    if (kind != TValueKind::Ident) InvalidValue();
    return text;
}

namespace {

std::map<std::string, TComponentFactory>& Registry() {
    static std::map<std::string, TComponentFactory> registry = [] {
        std::map<std::string, TComponentFactory> standard;
        auto add = [&standard]<class T>(const char* name, T*) {
            standard[name] = [](TComponent& owner) -> TComponent& {
                return owner.CreateOwned<T>();
            };
        };
        add("TLabel", static_cast<TLabel*>(nullptr));
        add("TMemo", static_cast<TMemo*>(nullptr));
        add("TButton", static_cast<TButton*>(nullptr));
        add("TProgressBar", static_cast<TProgressBar*>(nullptr));
        add("TTimer", static_cast<TTimer*>(nullptr));
        return standard;
    }();
    return registry;
}

void ReadChildren(TComponent& root, TWinControl* parent,
                  const std::vector<TStoredComponent>& children,
                  std::vector<TComponent*>& created) {
    for (const TStoredComponent& child : children) {
        auto it = Registry().find(child.className);
        if (it == Registry().end()) {
            throw EReadError(Format(messages::SClassNotFound, child.className.c_str()));
        }
        TComponent& component = it->second(root);
        component.SetLoading(true);
        component.SetName(child.name);
        created.push_back(&component);
        if (auto* control = dynamic_cast<TControl*>(&component); control != nullptr && parent) {
            control->SetParent(parent);
        }
        for (const TStoredProperty& property : child.properties) {
            component.ReadProperty(property.name, property.value);
        }
        auto* asParent = dynamic_cast<TWinControl*>(&component);
        ReadChildren(root, asParent != nullptr ? asParent : parent, child.children, created);
    }
}

}  // namespace

void RegisterComponentClass(const std::string& className, TComponentFactory factory) {
    Registry()[className] = std::move(factory);
}

void ReadComponents(TComponent& root, const TStoredComponent& description) {
    std::vector<TComponent*> created;
    root.SetLoading(true);
    if (!description.name.empty()) root.SetName(description.name);
    for (const TStoredProperty& property : description.properties) {
        root.ReadProperty(property.name, property.value);
    }
    ReadChildren(root, dynamic_cast<TWinControl*>(&root), description.children, created);
    for (TComponent* component : created)
        component->Loaded();
    root.Loaded();
}

void ThrowMethodNotFound(const std::string& name) {
    throw EReadError(Format(messages::SMethodNotFound, name.c_str()));
}

}  // namespace pagorix
