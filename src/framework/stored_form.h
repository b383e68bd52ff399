// Stored form descriptions: a compiled table of a form's components and their
// property values, and the reader that turns it into live components.
//
// Reading a description (ReadComponents):
//   1. the root and every component it creates are put in the loading state,
//      in which setters only store their values;
//   2. the root's own properties are set, then each child is created by its
//      registered class name, owned by the root, named, parented to the
//      enclosing control (for controls) and given its properties in table
//      order; children of a child follow it;
//   3. once every component exists, Loaded() runs for each created component
//      in creation order, then for the root.
// A name that is neither a registered class nor a known property, or an event
// handler that the root does not define, fails with EReadError and the
// components made so far stay owned by the root.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "framework/component.h"
#include "framework/exceptions.h"

namespace pagorix {

enum class TValueKind { Integer, Boolean, String, Ident, Binary, Strings };

// One stored value. Idents name enumeration values and event handlers.
struct TStoredValue {
    TValueKind kind = TValueKind::Integer;
    std::int64_t integer = 0;
    std::string text;
    std::span<const std::uint8_t> binary;
    std::vector<std::string> lines;

    static TStoredValue Int(std::int64_t v);
    static TStoredValue Bool(bool v);
    static TStoredValue Str(std::string v);
    static TStoredValue Ident(std::string v);
    // The bytes are not copied: they live in the program (compiled in).
    static TStoredValue Binary(std::span<const std::uint8_t> bytes);
    static TStoredValue Strings(std::vector<std::string> lines);

    // The value as the property's type; EReadError when the kind differs or
    // an integer does not fit.
    std::int32_t AsInt() const;
    std::int16_t AsInt16() const;
    bool AsBool() const;
    const std::string& AsString() const;
    const std::string& AsIdent() const;
};

struct TStoredProperty {
    std::string name;
    TStoredValue value;
};

struct TStoredComponent {
    std::string className;
    std::string name;
    std::vector<TStoredProperty> properties;
    std::vector<TStoredComponent> children;
};

// The class registry that descriptions name classes by. The framework's own
// controls (TLabel, TMemo, TButton, TProgressBar, TTimer) are registered
// from the start.
using TComponentFactory = std::function<TComponent&(TComponent& owner)>;
void RegisterComponentClass(const std::string& className, TComponentFactory factory);
template <class T>
void RegisterComponentClass(const std::string& className) {
    RegisterComponentClass(className,
                           [](TComponent& owner) -> TComponent& { return owner.CreateOwned<T>(); });
}

// Reads a description into root (see the top of this file). The description's
// own class name is not checked; its name becomes root's name when not empty.
void ReadComponents(TComponent& root, const TStoredComponent& description);

[[noreturn]] void ThrowMethodNotFound(const std::string& name);

// The handler that an event property names, as the event's type E.
template <class E>
E ResolveEvent(const TComponent& component, const TStoredValue& value) {
    const std::any* found = component.FindMethod(value.AsIdent());
    if (found == nullptr) ThrowMethodNotFound(value.AsIdent());
    const E* handler = std::any_cast<E>(found);
    if (handler == nullptr) ThrowMethodNotFound(value.AsIdent());
    return *handler;
}

namespace messages {
inline constexpr const char* SUnknownProperty =
    "La propri\xE9"
    "t\xE9"
    " %s n'existe pas";
inline constexpr const char* SClassNotFound =
    "Classe %s non trouv\xE9"
    "e";
inline constexpr const char* SMethodNotFound =
    "M\xE9"
    "thode %s non trouv\xE9"
    "e";
inline constexpr const char* SInvalidPropertyValue =
    "Valeur de propri\xE9"
    "t\xE9"
    " incorrecte";
}  // namespace messages

}  // namespace pagorix
