#pragma once

#include <functional>
#include <memory>
#include <string>

#include "download/port_io.h"
#include "download/serial_port.h"

namespace korvane::ports {

class StopRequest;

// A serial port as the command line names it: COM1..COM4 as in the window (the engine sets the
// number), or the system's own name for a device.
struct ChosenSerialPort {
    std::unique_ptr<download::SerialPort> port;
    // Both look at the port this owns: they live no longer than it.
    std::function<std::string()> label;     // how messages name it, once its number is set
    std::function<std::string()> openNote;  // what the trace adds to the line of its opening
};
ChosenSerialPort chooseSerialPort(const std::string& name, bool windowChoice,
                                  const StopRequest* stop);

// The parallel ports behind LPT1 and LPT2 (windowChoice), or behind the system's own name.
std::unique_ptr<download::ParallelPorts> chooseParallelPorts(const std::string& name,
                                                             bool windowChoice);

// What a port name stands for, so that two names of one device are told as one; the name
// itself when nothing more is known.
std::string portIdentity(bool serial, const std::string& name);

}  // namespace korvane::ports
