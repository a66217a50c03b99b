#include <QApplication>

#include "download/clock.h"
#include "ports/linux_parallel_ports.h"
#include "ports/termios_serial_port.h"
#include "ui/file_chooser.h"
#include "ui/form1.h"
#include "ui/message_presenter.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setDesktopFileName(QStringLiteral("korvane"));

    korvane::ports::TermiosSerialPort serialPort;
    korvane::ports::LinuxParallelPorts parallelPorts;
    korvane::download::SteadyClock clock;
    korvane::ui::QtFileChooser fileChooser;
    korvane::ui::QtMessagePresenter messages;

    korvane::ui::Form1 form({fileChooser, messages, serialPort, parallelPorts, clock, {}});
    form.Form_Load();
    return QApplication::exec();
}
