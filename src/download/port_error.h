#pragma once

#include <stdexcept>
#include <string>

namespace korvane::download {

// A port that cannot be opened, claimed, configured, written or read. The text is shown to the
// user as it is: it names the device, what failed and what the user can do about it.
class PortError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace korvane::download
