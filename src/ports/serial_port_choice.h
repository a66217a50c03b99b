#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace korvane::ports {

// Which port a serial adapter opens and at what speed, kept alike on every system: the
// window's COMk through a resolver, or one port named outright, and the settings text the
// engine hands over. The adapters apply it; this only remembers and names it.
class SerialPortChoice {
  public:
    using Resolver = std::function<std::string(int portNumber)>;

    // COMk through the resolver; named "COMk", or "COMk (port)" when it maps elsewhere.
    explicit SerialPortChoice(Resolver resolver) : resolver_(std::move(resolver)) {}
    // Always this port, whatever the number; named by this name.
    static SerialPortChoice pinnedTo(std::string port);

    // Throws download::PortError while the port is open: the switch would come too late.
    void setPortNumber(int number, bool portOpen);
    // Throws download::PortError for any framing but "<speed>,n,8,1".
    void setSettings(const std::string& settings);

    // The port to open: the pinned one, or what the resolver makes of the number ("" if none).
    // The resolver's answer is kept until the number changes or forget() is called (at each
    // close), so that one download searches for its device once.
    std::string port() const;
    void forget() { resolved_.reset(); }
    std::string label() const;

    bool pinned() const { return pinned_.has_value(); }
    int portNumber() const { return portNumber_; }
    const std::string& settingsText() const { return settingsText_; }
    std::int32_t baudRate() const { return baudRate_; }

  private:
    Resolver resolver_;
    std::optional<std::string> pinned_;
    mutable std::optional<std::string> resolved_;
    int portNumber_ = 1;
    std::string settingsText_ = "9600,n,8,1";
    std::int32_t baudRate_ = 9600;
};

}  // namespace korvane::ports
