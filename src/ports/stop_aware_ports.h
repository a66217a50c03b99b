#pragma once

#include <cstdint>
#include <memory>

#include "download/port_io.h"
#include "ports/stop_request.h"

namespace korvane::ports {

// Parallel ports whose status reads end the download (download::DownloadAbandoned) once a stop
// is requested. The transfer reads the status only while it waits for the printer, never
// between a byte's data write and its strobe, so a stop never cuts a byte in half; and a
// printer that stays busy for seconds no longer keeps the user waiting.
class StopAwareParallelPorts final : public download::ParallelPorts {
  public:
    StopAwareParallelPorts(download::ParallelPorts& ports, const StopRequest& stop)
        : ports_(ports), stop_(stop) {}

    std::unique_ptr<download::PortIo> claim(std::uint16_t baseAddress) override;

  private:
    download::ParallelPorts& ports_;
    const StopRequest& stop_;
};

}  // namespace korvane::ports
