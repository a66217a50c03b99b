#include "ports/stop_aware_ports.h"

#include "download/host.h"

namespace korvane::ports {
namespace {

class StopAwarePortIo final : public download::PortIo {
  public:
    StopAwarePortIo(std::unique_ptr<download::PortIo> port, const StopRequest& stop)
        : port_(std::move(port)), stop_(stop) {}

    std::uint8_t read(std::uint16_t address) override {
        if (stop_.requested()) {
            throw download::DownloadAbandoned();
        }
        return port_->read(address);
    }
    void write(std::uint16_t address, std::uint8_t value) override { port_->write(address, value); }

  private:
    std::unique_ptr<download::PortIo> port_;
    const StopRequest& stop_;
};

}  // namespace

std::unique_ptr<download::PortIo> StopAwareParallelPorts::claim(std::uint16_t baseAddress) {
    return std::make_unique<StopAwarePortIo>(ports_.claim(baseAddress), stop_);
}

}  // namespace korvane::ports
