#include "ports/system_ports.h"

#include "ports/stop_aware_ports.h"

namespace korvane::ports {

Ports::Ports(std::unique_ptr<download::ParallelPorts> parallel, const StopRequest* stop)
    : parallel_(std::move(parallel)) {
    if (stop != nullptr) {
        stoppable_ = std::make_unique<StopAwareParallelPorts>(*parallel_, *stop);
    }
}

Ports::~Ports() = default;

download::ParallelPorts& Ports::parallel() {
    return stoppable_ ? static_cast<download::ParallelPorts&>(*stoppable_) : *parallel_;
}

}  // namespace korvane::ports
