#include <QApplication>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "download/clock.h"
#include "ports/linux_parallel_ports.h"
#include "ports/port_report.h"
#include "ports/stop_aware_ports.h"
#include "ports/stop_request.h"
#include "ports/termios_serial_port.h"
#include "ui/display_check.h"
#include "ui/file_chooser.h"
#include "ui/form1.h"
#include "ui/message_presenter.h"

namespace {

// Qt ends the process when it loses the display, with exit() or a fatal error, and so without
// unwinding main(). The serial port is given back first: settings restored, lock removed.
// Only these two hooks need it, and they can reach nothing but a file's own variables.
korvane::ports::TermiosSerialPort* portToRelease = nullptr;
QtMessageHandler qtDefaultHandler = nullptr;

void releasePort() {
    if (portToRelease != nullptr) {
        portToRelease->close();
    }
}

void releaseOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        releasePort();
    }
    if (qtDefaultHandler != nullptr) {
        qtDefaultHandler(type, context, message);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (const auto missing = korvane::ui::missingDisplay(std::getenv)) {
        std::cerr << *missing << '\n';
        return EXIT_FAILURE;
    }
    // SIGINT, SIGTERM and SIGHUP end the program as File > Exit does.
    korvane::ports::StopRequest stop;
    std::signal(SIGPIPE, SIG_IGN);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setDesktopFileName(QStringLiteral("korvane"));

    korvane::ports::TermiosSerialPort serialPort(korvane::ports::serialDeviceForPort, &stop);
    portToRelease = &serialPort;
    qtDefaultHandler = qInstallMessageHandler(releaseOnFatal);
    std::atexit(releasePort);
    korvane::ports::LinuxParallelPorts parallelPorts;
    korvane::ports::StopAwareParallelPorts stoppableParallel(parallelPorts, stop);
    korvane::download::SteadyClock clock;
    korvane::ui::QtFileChooser fileChooser;
    korvane::ui::QtMessagePresenter messages;

    const auto describePort = [](int portType, int index) {
        return QString::fromStdString(korvane::ports::describeChosenPort(portType == 0, index, {}));
    };
    korvane::ui::Form1 form({.fileChooser = fileChooser,
                             .messages = messages,
                             .serialPort = serialPort,
                             .parallelPorts = stoppableParallel,
                             .clock = clock,
                             .endProgram = {},
                             .endRequestDescriptor = stop.wakeDescriptor(),
                             .describePort = describePort});
    form.Form_Load();
    const int status = QApplication::exec();
    qInstallMessageHandler(qtDefaultHandler);
    portToRelease = nullptr;
    return status;
}
