#include <QApplication>
#include <QFile>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>

#include "download/clock.h"
#include "korvane/version.h"
#include "ports/stop_request.h"
#include "ports/system_ports.h"
#include "ui/qt/display_check.h"
#include "ui/qt/file_chooser.h"
#include "ui/qt/form1.h"
#include "ui/qt/message_presenter.h"

namespace {

// Qt ends the process when it loses the display, with exit() or a fatal error, and so without
// unwinding main(). The serial port is given back first: settings restored, lock removed.
// Only these two hooks need it, and they can reach nothing but a file's own variables.
korvane::ports::Ports* portToRelease = nullptr;
QtMessageHandler qtDefaultHandler = nullptr;

void releasePort() {
    if (portToRelease != nullptr) {
        portToRelease->release();
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

constexpr const char* kUsage =
    "Usage: korvane [--help | --version] [Qt options] [FILE]\n"
    "\n"
    "Opens the firmware loader's window: File > Open picks the .DPX file, then the port type,\n"
    "the port and (for COM) the speed; \"Download Start\" sends it. FILE, or a file dropped on\n"
    "the window, is chosen as File > Open would choose it. Without a display use korvane-cli,\n"
    "which runs the same download from a terminal.\n"
    "\n"
    "COM1..COM4, LPT1 and LPT2 map to devices as korvane-cli --help says; $KORVANE_COM1..4,\n"
    "$KORVANE_LPT1 and $KORVANE_LPT2 name a device for a port.\n";

// Answered before QApplication exists, so that they work where there is no display.
bool answeredAtOnce(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << kUsage;
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << korvane::versionText("korvane");
            return true;
        }
    }
    return false;
}

// A platform asked for by name (offscreen, vnc, ...) needs no display.
bool platformNamed(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return true;
        }
    }
    return false;
}

// The firmware file named on the command line, once Qt has taken its own options out; after
// "--" every argument is a file. An empty path for none; nullopt when more than one is named.
std::optional<QString> firmwareArgument(int argc, char** argv) {
    QString file;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        if (!optionsEnd && std::strcmp(argv[i], "--") == 0) {
            optionsEnd = true;
        } else if (optionsEnd || argv[i][0] != '-') {
            if (!file.isEmpty()) {
                return std::nullopt;
            }
            file = QFile::decodeName(argv[i]);
        }
    }
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    if (answeredAtOnce(argc, argv)) {
        return 0;
    }
    if (!platformNamed(argc, argv)) {
        if (const auto missing = korvane::ui::missingDisplay(std::getenv)) {
            std::cerr << *missing << '\n';
            return EXIT_FAILURE;
        }
    }

    // SIGINT, SIGTERM and SIGHUP end the program as File > Exit does.
    korvane::ports::StopRequest stop;
    std::signal(SIGPIPE, SIG_IGN);

    QApplication app(argc, argv);
    const std::optional<QString> firmwareFile = firmwareArgument(argc, argv);
    if (!firmwareFile) {
        std::cerr << "korvane: one firmware FILE at most\n" << kUsage;
        return 2;
    }
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setApplicationVersion(QString::fromLatin1(korvane::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("korvane"));

    const std::unique_ptr<korvane::ports::Ports> ports =
        korvane::ports::portsFor(std::nullopt, &stop);
    portToRelease = ports.get();
    qtDefaultHandler = qInstallMessageHandler(releaseOnFatal);
    std::atexit(releasePort);
    korvane::download::SteadyClock clock;
    korvane::ui::QtFileChooser fileChooser;
    korvane::ui::QtMessagePresenter messages;

    const auto describePort = [](int portType, int index) {
        return QString::fromStdString(korvane::ports::describePort(
            korvane::ports::PortName::listEntry(portType == 0, index)));
    };
    korvane::ui::Form1 form({.fileChooser = fileChooser,
                             .messages = messages,
                             .serialPort = ports->serial(),
                             .parallelPorts = ports->parallel(),
                             .clock = clock,
                             .endProgram = {},
                             .endRequestDescriptor = static_cast<int>(stop.nativeWaitHandle()),
                             .describePort = describePort});
    form.Form_Load();
    form.chooseFile(*firmwareFile);
    const int status = QApplication::exec();
    qInstallMessageHandler(qtDefaultHandler);
    portToRelease = nullptr;
    return status;
}
