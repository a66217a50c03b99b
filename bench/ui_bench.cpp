// The window's own cost: a 4 MiB parallel download through an always-ready in-memory port in the
// real window, the time until the window is shown, and the memory it holds. Run it on a display
// (xvfb-run -a); it prints figures and asserts nothing.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <unistd.h>

#include "download/clock.h"
#include "download/port_io.h"
#include "download/serial_port.h"
#include "support/null_ports.h"
#include "ui/qt/form1.h"

namespace {

class OneFileChooser final : public korvane::ui::FileChooser {
  public:
    explicit OneFileChooser(QString path) : path_(std::move(path)) {}
    QString chooseFile(QWidget*, const QString&, const QString&, const QString&) override {
        return path_;
    }

  private:
    QString path_;
};

class KeptMessages final : public korvane::ui::MessagePresenter {
  public:
    void show(QWidget*, const QString& text) override { messages << text; }
    QStringList messages;
};

class ReadyPort final : public korvane::download::PortIo {
  public:
    std::uint8_t read(std::uint16_t) override { return 0xDF; }
    void write(std::uint16_t, std::uint8_t value) override { sink_ ^= value; }

  private:
    std::uint8_t sink_ = 0;
};

class ReadyPorts final : public korvane::download::ParallelPorts {
  public:
    std::unique_ptr<korvane::download::PortIo> claim(std::uint16_t) override {
        return std::make_unique<ReadyPort>();
    }
};

// Well formed: 64-byte records (62 bytes, CR, LF), the last ending 0x17 and two bytes.
QByteArray makeImage(int size) {
    QByteArray image;
    image.reserve(size);
    while (image.size() < size - 64) {
        for (int i = 0; i < 62; ++i) {
            image.append(static_cast<char>('0' + (image.size() + i) % 43));
        }
        image.append("\r\n");
    }
    image.append(QByteArray(size - image.size() - 5, 'E'));
    image.append(
        "\x17"
        "00\r\n");
    return image;
}

// Milliseconds since the kernel started this process (10 ms resolution), or -1.
double msSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t end = text.rfind(')');
    if (end == std::string::npos) {
        return -1;
    }
    std::istringstream fields(text.substr(end + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    timespec boot{};
    clock_gettime(CLOCK_BOOTTIME, &boot);
    const double startedS = std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
    return (static_cast<double>(boot.tv_sec) + boot.tv_nsec / 1e9 - startedS) * 1e3;
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Counts the label's repaints.
class PaintCounter final : public QObject {
  public:
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const auto started = std::chrono::steady_clock::now();
    QApplication app(argc, argv);

    constexpr int kSize = 4 * 1024 * 1024;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.DPX"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(makeImage(kSize)) != kSize) {
            std::fprintf(stderr, "ui_bench: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }

    OneFileChooser chooser(path);
    KeptMessages messages;
    korvane::testing::NullSerialPort serial;  // the window never opens it here
    ReadyPorts parallel;
    korvane::download::SteadyClock clock;
    korvane::ui::Form1 form({chooser, messages, serial, parallel, clock, [] {}});
    form.Form_Load();
    if (!QTest::qWaitForWindowExposed(&form)) {
        std::fprintf(stderr, "ui_bench: the window was never shown (no display?)\n");
        return 1;
    }
    const double startupMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();
    const double sinceExec = msSinceProcessStart();
    const long rssShown = residentKiB();

    QTest::mouseClick(form.findChild<QRadioButton*>(QStringLiteral("optCOM_1")), Qt::LeftButton);
    form.findChild<QAction*>(QStringLiteral("mnuFileOpen"))->trigger();
    auto* label = form.findChild<QLabel*>(QStringLiteral("Label3"));
    PaintCounter counter;
    label->installEventFilter(&counter);

    QElapsedTimer timer;
    timer.start();
    form.findChild<QPushButton*>(QStringLiteral("cmdSTART"))->click();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const long rssAfter = residentKiB();
    const int paints = counter.paints;
    const QString finalText = label->text();

    // What one label repaint costs, for comparison with a repaint after every byte.
    constexpr int kRepaints = 200;
    QElapsedTimer repaintTimer;
    repaintTimer.start();
    for (int i = 0; i < kRepaints; ++i) {
        label->setText(QString::number(i));
        label->repaint();
    }
    const double repaintUs = static_cast<double>(repaintTimer.nsecsElapsed()) / 1e3 / kRepaints;

    std::printf("ui_bench: platform %s\n", qPrintable(QGuiApplication::platformName()));
    std::printf("window shown %.1f ms after main() began, %.0f ms after the process started\n",
                startupMs, sinceExec);
    std::printf("resident memory: %ld KiB when shown, %ld KiB after the download\n", rssShown,
                rssAfter);
    std::printf("parallel download of %d bytes: %.3f s, %.2f MB/s (%.2f MiB/s), message \"%s\"\n",
                kSize, seconds, kSize / seconds / 1e6, kSize / seconds / 1048576.0,
                qPrintable(messages.messages.value(0)));
    std::printf("label: \"%s\", %d repaints during the download (%.0f a second)\n",
                qPrintable(finalText), paints, paints / seconds);
    std::printf("one label repaint: %.1f us; one per byte would add %.1f s\n", repaintUs,
                repaintUs * kSize / 1e6);
    return 0;
}
