#pragma once

#include <memory>
#include <optional>
#include <string>

#include "download/port_io.h"
#include "download/serial_port.h"
#include "ports/port_names.h"

namespace korvane::ports {

class StopAwareParallelPorts;
class StopRequest;

// The one way a front end reaches the ports: the serial port and the parallel ports a download
// goes through, how they are described, and what device a name stands for.
class Ports {
  public:
    virtual ~Ports();
    // The engine sets its number and settings, then opens it.
    virtual download::SerialPort& serial() = 0;
    // A stop request, when one was given, ends their waits for the printer.
    download::ParallelPorts& parallel();
    // How messages name the serial port, once its number is set.
    virtual std::string serialLabel() const = 0;
    // What the trace adds to the line of the serial port's opening.
    virtual std::string openNote() const = 0;
    // Closes the serial port now: settings restored, lock removed. A parallel port is given back
    // by its claim when each download ends.
    void release() { serial().close(); }

  protected:
    // Each system's ports hand over their parallel family; a stop, when given, wraps it.
    Ports(std::unique_ptr<download::ParallelPorts> parallel, const StopRequest* stop);

  private:
    std::unique_ptr<download::ParallelPorts> parallel_;
    std::unique_ptr<StopAwareParallelPorts> stoppable_;
};

// With nothing named, the window's choices: the engine's port number picks COMk and its list
// index LPT1 or LPT2, each mapped to a device as this system does. A named COMk or LPTk choice
// is mapped the same way (the engine is handed its number); a named device is used whatever
// the numbers.
std::unique_ptr<Ports> portsFor(const std::optional<PortName>& named,
                                const StopRequest* stop = nullptr);

// The line that names the device behind a port, or says that there is none.
std::string describePort(const PortName& name);

// What a port name stands for, so that two names of one device are told as one; the name
// itself when nothing more is known.
std::string portIdentity(const PortName& name);

}  // namespace korvane::ports
