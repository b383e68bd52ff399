// Shared between the host implementations; not part of the platform interface.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace pagorix::platform {

std::optional<std::span<const std::uint8_t>> FindEmbeddedResource(const std::string& type,
                                                                  const std::string& name);

}  // namespace pagorix::platform
