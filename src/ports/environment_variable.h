#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace korvane::ports {

// The value of an environment variable; nothing when it is unset or empty, so that
// `KORVANE_COM1= korvane` means the same as leaving it out.
inline std::optional<std::string> environmentVariable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

}  // namespace korvane::ports
