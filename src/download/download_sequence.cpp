#include "download/download_sequence.h"

namespace korvane::download {

DownloadSequence::DownloadSequence(Host& host, SerialPort& serialPort,
                                   ParallelPorts& parallelPorts, Clock& clock)
    : host_(host), serialPort_(serialPort), parallelPorts_(parallelPorts), clock_(clock) {}

DownloadResult DownloadSequence::run() { return {Outcome::FileError, "not built yet"}; }

std::string formatProgressText(std::int32_t position, std::int32_t total) {
    return std::to_string(position) + "/" + std::to_string(total);
}

}  // namespace korvane::download
