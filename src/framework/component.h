// The framework's component: a named object with an owner that owns an
// ordered list of components and destroys them with itself (last made, first
// destroyed). Loading and designing are states a component can be in; while
// loading, property setters only store values, and Loaded() ends the state
// once every component of the form exists.
#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pagorix {

class TComponent;
struct TStoredValue;

// An event with only its sender; an empty handler is not called.
using TNotifyEvent = std::function<void(TComponent* sender)>;

class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr) : m_owner(owner) {}
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return m_owner; }
    const std::string& Name() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }

    int ComponentCount() const { return static_cast<int>(m_components.size()); }
    TComponent* Components(int index) const {
        return m_components.at(static_cast<size_t>(index)).get();
    }
    TComponent* FindComponent(const std::string& name) const;
    // The owned component of that name and class; EInvalidCast when it is
    // missing or of another class.
    template <class T>
    T& FindAs(const std::string& name) const {
        T* found = dynamic_cast<T*>(FindComponent(name));
        if (found == nullptr) ThrowInvalidCast();
        return *found;
    }

    // Makes a component owned by this one: T's constructor receives this as
    // its owner first, then args.
    template <class T, class... Args>
    T& CreateOwned(Args&&... args) {
        auto made = std::make_unique<T>(this, std::forward<Args>(args)...);
        T& ref = *made;
        m_components.push_back(std::move(made));
        return ref;
    }

    bool Loading() const { return m_loading; }
    bool Designing() const { return m_designing; }
    void SetLoading(bool loading) { m_loading = loading; }
    void SetDesigning(bool designing) { m_designing = designing; }

    // The step that ends loading; derived components extend it.
    virtual void Loaded() { m_loading = false; }

    // Sets a property from a stored form description. Derived classes take
    // their own names and pass the others to their base; the base raises
    // EReadError for a name nobody knows.
    virtual void ReadProperty(const std::string& name, const TStoredValue& value);

    // The methods that stored descriptions name as event handlers: a form
    // defines its handlers by name; its components find them through their
    // owners. The handler is stored as the event's std::function type.
    void DefineMethod(const std::string& name, std::any handler);
    const std::any* FindMethod(const std::string& name) const;

private:
    [[noreturn]] static void ThrowInvalidCast();

    TComponent* m_owner;
    std::string m_name;
    std::vector<std::unique_ptr<TComponent>> m_components;
    bool m_loading = false;
    bool m_designing = false;
    std::map<std::string, std::any> m_methods;
};

}  // namespace pagorix
