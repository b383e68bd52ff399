// Registry of embedded resources, shared by both hosts: the POSIX host has no
// resource sections, and the Windows host falls back to it after the module.
#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/platform.h"
#include "platform/resources_internal.h"

namespace pagorix::platform {

namespace {

std::vector<EmbeddedResource>& Registry() {
    static std::vector<EmbeddedResource> registry;
    return registry;
}

bool SameText(const std::string& a, const char* b) {
    const std::string other(b);
    return a.size() == other.size() &&
           std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

void RegisterResource(const EmbeddedResource& resource) {
    auto& registry = Registry();
    const bool known = std::any_of(registry.begin(), registry.end(), [&](const auto& r) {
        return SameText(resource.type, r.type) && SameText(resource.name, r.name);
    });
    if (!known) registry.push_back(resource);
}

std::optional<std::span<const std::uint8_t>> FindEmbeddedResource(const std::string& type,
                                                                  const std::string& name) {
    for (const auto& r : Registry()) {
        if (SameText(type, r.type) && SameText(name, r.name)) return r.data;
    }
    return std::nullopt;
}

}  // namespace pagorix::platform
