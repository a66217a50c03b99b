#pragma once

#include <memory>
#include <string>

#include "download/port_io.h"
#include "download/serial_port.h"

namespace korvane::ui::win32 {

// The window's ports on Windows: COMk and LPTk as the port layer maps them.
class ProgramPorts {
  public:
    ProgramPorts();
    ~ProgramPorts();

    download::SerialPort& serial();
    download::ParallelPorts& parallel();
    // Closes the serial port now; the parallel port is given back by its claim.
    void release();
    // The device behind an entry of the port list (port type as optCOM's index).
    std::wstring describe(int portType, int index) const;

  private:
    struct Ports;
    std::unique_ptr<Ports> ports_;
};

}  // namespace korvane::ui::win32
