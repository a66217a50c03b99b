#pragma once

#include <string>

#include "download/clock.h"
#include "download/host.h"
#include "download/outcome.h"
#include "download/port_io.h"
#include "download/serial_port.h"
#include "download/user_choices.h"
#include "image/firmware_file.h"

namespace korvane::download {

// One download from the press of the start button to its end: lock the controls, load the
// image, prepare the progress display, run the transfer for the chosen port type, and leave
// the controls unlocked whatever the end. The window and the command line both drive this.
class DownloadSequence {
  public:
    // openFailureAccount: what the system can add when the firmware file will not open.
    DownloadSequence(Host& host, SerialPort& serialPort, ParallelPorts& parallelPorts, Clock& clock,
                     image::OpenFailureAccount openFailureAccount = nullptr);

    // Returns when the download is over. Throws DownloadAbandoned (from the host) when the
    // program ends in the middle; the port is released before it leaves.
    DownloadResult run(const UserChoices& choices);
    // The same with the file read by the caller: a caller that sends one file to several ports
    // reads it once, and each port is sent those very bytes, whatever happens to the file.
    DownloadResult run(const UserChoices& choices, const image::LoadResult& loaded);

    bool running() const { return running_; }

  private:
    DownloadResult guarded(const UserChoices& choices, const image::LoadResult* loaded);
    DownloadResult runLocked(const UserChoices& choices, const image::LoadResult* loaded);
    DownloadResult endWith(Outcome outcome, const std::string& message);

    Host& host_;
    SerialPort& serialPort_;
    ParallelPorts& parallelPorts_;
    Clock& clock_;
    image::OpenFailureAccount openFailureAccount_;
    bool running_ = false;
};

}  // namespace korvane::download
