// Downloads run from the window: what the user sees before, during and after them.
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "download/messages.h"
#include "ports/linux/termios_serial_port.h"
#include "sim_process.h"
#include "ui_fakes.h"

using korvane::ui::testing::TestWindow;
namespace messages = korvane::download::messages;

namespace {

const QString kSamples = QStringLiteral(KORVANE_SAMPLES_DIR);
const char* const kLockedControls[] = {"optCOM_0", "optCOM_1", "cboPORT", "cboSPEED", "cmdSTART"};

QString sample(const char* name) {
    return kSamples + '/' + QLatin1String(name);
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Records every change of the controls' enabled state, in order: "cboPORT off", "cmdSTART on".
class EnabledRecorder : public QObject {
  public:
    explicit EnabledRecorder(TestWindow& w) {
        for (const char* name : kLockedControls) {
            w.find<QWidget>(name)->installEventFilter(this);
        }
    }
    QStringList changes;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange) {
            auto* widget = static_cast<QWidget*>(watched);
            changes << widget->objectName() + (widget->isEnabled() ? " on" : " off");
        }
        return false;
    }
};

// Chooses the port type, port, speed and file as a user would.
void choose(TestWindow& w, int portType, int portIndex, int speedIndex, const QString& file) {
    QTest::mouseClick(w.find<QRadioButton>(portType == 0 ? "optCOM_0" : "optCOM_1"),
                      Qt::LeftButton);
    w.find<QComboBox>("cboPORT")->setCurrentIndex(portIndex);
    if (speedIndex >= 0) {
        w.find<QComboBox>("cboSPEED")->setCurrentIndex(speedIndex);
    }
    w.chooser.answers = {file};
    w.find<QAction>("mnuFileOpen")->trigger();
}

// Runs `during` once, in the middle of a download on either port type.
void duringDownload(TestWindow& w, int portType, std::function<void()> during) {
    auto once = [during, done = false](std::size_t count) mutable {
        if (!done && count >= 2) {
            done = true;
            during();
        }
    };
    if (portType == 0) {
        w.serial.onWrite = once;
    } else {
        w.parallel.onData = once;
    }
}

}  // namespace

class DownloadTest : public QObject {
    Q_OBJECT

  private slots:
    void ends_data();
    void ends();
    void portChoice_data();
    void portChoice();
    void progressAtTheEnd_data();
    void progressAtTheEnd();
    void exitDuringDownload_data();
    void exitDuringDownload();
    void serialThroughSimulator_data();
    void serialThroughSimulator();
    void endRequestDuringWait_data();
    void endRequestDuringWait();
    void progressDuringWait_data();
    void progressDuringWait();
    void messageBoxShowsPlainText();
};

void DownloadTest::ends_data() {
    QTest::addColumn<int>("portType");
    QTest::addColumn<QString>("file");
    QTest::addColumn<std::function<void(TestWindow&)>>("printer");
    QTest::addColumn<QString>("message");  // exact, or a part of it after "~"
    using Printer = std::function<void(TestWindow&)>;
    const Printer ready = [](TestWindow&) {};
    QTest::newRow("serial success")
        << 0 << sample("small.DPX") << ready << QString(messages::kSuccess);
    QTest::newRow("parallel success")
        << 1 << sample("small.DPX") << ready << QString(messages::kSuccess);
    QTest::newRow("serial printer silent")
        << 0 << sample("small.DPX") << Printer([](TestWindow& w) { w.serial.silent = true; })
        << QString(messages::kSerialTimeout);
}

void DownloadTest::ends() {
    QFETCH(int, portType);
    QFETCH(QString, file);
    QFETCH(std::function<void(TestWindow&)>, printer);
    QFETCH(QString, message);
    TestWindow w;
    w.form.Form_Load();
    choose(w, portType, 0, -1, file);
    printer(w);
    EnabledRecorder recorder(w);
    w.find<QPushButton>("cmdSTART")->click();

    QCOMPARE(w.presenter.messages.size(), 1);
    if (message.startsWith('~')) {
        QVERIFY2(w.presenter.messages[0].contains(message.mid(1)),
                 qPrintable(w.presenter.messages[0]));
    } else {
        QCOMPARE(w.presenter.messages[0], message);
    }
    // Locked in order, then unlocked in order, whatever the end; the speed list is off already
    // with "LPT Port".
    QStringList expected;
    for (const char* state : {" off", " on"}) {
        for (const char* name : kLockedControls) {
            if (!(portType == 1 && QString(name) == "cboSPEED" && QString(state) == " off")) {
                expected << QLatin1String(name) + QLatin1String(state);
            }
        }
    }
    QCOMPARE(recorder.changes, expected);
    QVERIFY(!w.serial.isOpen());
    QCOMPARE(w.parallel.releases, static_cast<int>(w.parallel.claims.size()));
    QCOMPARE(w.programEnds, 0);
}

void DownloadTest::portChoice_data() {
    QTest::addColumn<int>("portType");
    QTest::addColumn<int>("portIndex");
    QTest::addColumn<int>("speedIndex");
    QTest::addColumn<int>("serialPort");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("parallelBase");
    QTest::newRow("COM3 19200") << 0 << 2 << 2 << 3 << "19200,n,8,1" << 0;
    QTest::newRow("LPT2") << 1 << 1 << -1 << 0 << "" << 0x278;
}

void DownloadTest::portChoice() {
    QFETCH(int, portType);
    QFETCH(int, portIndex);
    QFETCH(int, speedIndex);
    QFETCH(int, serialPort);
    QFETCH(QString, settings);
    QFETCH(int, parallelBase);
    TestWindow w;
    w.form.Form_Load();
    choose(w, portType, portIndex, speedIndex, sample("small.DPX"));
    w.find<QPushButton>("cmdSTART")->click();
    QCOMPARE(w.presenter.messages, QStringList{messages::kSuccess});
    QCOMPARE(w.serial.portNumber, serialPort);
    QCOMPARE(QString::fromStdString(w.serial.settings), settings);
    const std::vector<std::uint16_t> claims =
        parallelBase == 0 ? std::vector<std::uint16_t>{}
                          : std::vector<std::uint16_t>{static_cast<std::uint16_t>(parallelBase)};
    QCOMPARE(w.parallel.claims, claims);
}

void DownloadTest::progressAtTheEnd_data() {
    QTest::addColumn<int>("portType");
    QTest::addColumn<QString>("file");
    for (const char* file : {"small.DPX", "demo.DPX"}) {
        QTest::addRow("serial %s", file) << 0 << sample(file);
        QTest::addRow("parallel %s", file) << 1 << sample(file);
    }
}

void DownloadTest::progressAtTheEnd() {
    QFETCH(int, portType);
    QFETCH(QString, file);
    const int n = static_cast<int>(contents(file).size());
    QVERIFY(n > 0);
    TestWindow w;
    w.form.Form_Load();
    choose(w, portType, 0, -1, file);
    w.find<QPushButton>("cmdSTART")->click();
    QCOMPARE(w.presenter.messages, QStringList{messages::kSuccess});
    auto* bar = w.find<QProgressBar>("ProgressBar");
    QVERIFY(!bar->isHidden());
    QCOMPARE(bar->minimum(), 1);
    QCOMPARE(bar->maximum(), n);
    QCOMPARE(bar->value(), n);
    QCOMPARE(w.find<QLabel>("Label3")->text(), QString("%1/%1").arg(n));
}

enum class Ending { Exit, QueuedExit, Close };
Q_DECLARE_METATYPE(Ending)

void DownloadTest::exitDuringDownload_data() {
    QTest::addColumn<int>("portType");
    QTest::addColumn<Ending>("ending");
    for (int type : {0, 1}) {
        const char* port = type == 0 ? "serial" : "parallel";
        QTest::addRow("%s, File > Exit", port) << type << Ending::Exit;
        // Through the event queue, as a click on the menu comes.
        QTest::addRow("%s, File > Exit queued", port) << type << Ending::QueuedExit;
        QTest::addRow("%s, window closed", port) << type << Ending::Close;
    }
}

void DownloadTest::exitDuringDownload() {
    QFETCH(int, portType);
    QFETCH(Ending, ending);
    TestWindow w;
    w.form.Form_Load();
    choose(w, portType, 0, -1, sample("demo.DPX"));
    auto* exit = w.find<QAction>("mnuFileExit");
    int endsDuring = -1;
    duringDownload(w, portType, [&] {
        switch (ending) {
            case Ending::Exit:
                exit->trigger();
                QVERIFY(!w.form.isVisible());
                break;
            case Ending::QueuedExit:
                QMetaObject::invokeMethod(exit, &QAction::trigger, Qt::QueuedConnection);
                break;
            case Ending::Close:
                QVERIFY(!w.form.close());  // refused while the download unwinds
                QVERIFY(!w.form.isVisible());
                break;
        }
        endsDuring = w.programEnds;
    });
    w.find<QPushButton>("cmdSTART")->click();

    QCOMPARE(endsDuring, 0);
    QCOMPARE(w.programEnds, 1);
    QVERIFY(w.presenter.messages.isEmpty());
    QVERIFY(!w.form.downloadRunning());
    // The port was given up on the way out, and the printer got only part of the image.
    QVERIFY(!w.serial.isOpen());
    QCOMPARE(w.parallel.releases, static_cast<int>(w.parallel.claims.size()));
    const std::size_t sent = portType == 0 ? w.serial.writes.size() : w.parallel.data.size();
    QVERIFY(sent >= 2 && sent < 100);
}

void DownloadTest::serialThroughSimulator_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("simOptions");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("records");  // acknowledged before the end
    QTest::newRow("small") << sample("small.DPX") << QStringList{} << messages::kSuccess << -1;
    QTest::newRow("demo") << sample("demo.DPX") << QStringList{} << messages::kSuccess << -1;
    QTest::newRow("silent from record 3")
        << sample("small.DPX") << QStringList{"--silent-from", "3"} << messages::kSerialTimeout
        << 2;
}

void DownloadTest::serialThroughSimulator() {
    QFETCH(QString, file);
    QFETCH(QStringList, simOptions);
    QFETCH(QString, message);
    QFETCH(int, records);
    std::vector<std::string> args{"--image", file.toStdString()};
    for (const QString& option : simOptions) {
        args.push_back(option.toStdString());
    }
    korvane::tools::SimProcess sim(KORVANE_PRINTER_SIM, args);
    QVERIFY(!sim.devicePath().empty());

    const std::string device = sim.devicePath();
    korvane::ports::TermiosSerialPort serial([device](int) { return device; });
    korvane::download::SteadyClock clock;
    korvane::ui::testing::FakeFileChooser chooser;
    korvane::ui::testing::RecordingPresenter presenter;
    korvane::ui::testing::FakeParallelPorts parallel;
    korvane::ui::Form1 form({chooser, presenter, serial, parallel, clock, [] {}});
    form.Form_Load();
    chooser.answers = {file};
    form.findChild<QAction*>("mnuFileOpen")->trigger();
    form.findChild<QPushButton*>("cmdSTART")->click();

    QCOMPARE(presenter.messages, QStringList{message});
    const QByteArray image = contents(file);
    int position = static_cast<int>(image.size());
    if (records > 0) {
        position = 0;
        for (int i = 0; i < records; ++i) {
            position = static_cast<int>(image.indexOf('\r', position)) + 2;
        }
    }
    QCOMPARE(form.findChild<QLabel*>("Label3")->text(),
             QString("%1/%2").arg(position).arg(image.size()));
    QCOMPARE(form.findChild<QProgressBar*>("ProgressBar")->value(), position);
    QVERIFY(!serial.isOpen());
    QCOMPARE(sim.wait(std::chrono::seconds(10)), std::optional<int>(0));
}

enum class EndRequest { Close, Signal };
Q_DECLARE_METATYPE(EndRequest)

void DownloadTest::endRequestDuringWait_data() {
    QTest::addColumn<int>("portType");
    QTest::addColumn<EndRequest>("request");
    for (int type : {0, 1}) {
        const char* port = type == 0 ? "serial" : "parallel";
        // Queued while no events run, as the window system delivers them.
        QTest::addRow("%s, window closed", port) << type << EndRequest::Close;
        QTest::addRow("%s, signal", port) << type << EndRequest::Signal;
    }
}

// An end asked for while the transfer waits for the printer is not swallowed by the message
// that the wait ends in: no box comes up, the port is released and the program ends.
void DownloadTest::endRequestDuringWait() {
    QFETCH(int, portType);
    QFETCH(EndRequest, request);
    TestWindow w;
    w.form.Form_Load();
    choose(w, portType, 0, -1, sample("small.DPX"));
    bool asked = false;
    auto ask = [&] {
        if (!asked) {
            asked = true;
            if (request == EndRequest::Close) {
                QCoreApplication::postEvent(&w.form, new QCloseEvent);
            } else {
                w.endRequest.request();
            }
        }
    };
    w.serial.silent = true;
    w.serial.onRead = [&](std::size_t) { ask(); };
    w.parallel.status = 0x7F;  // busy, no fault: the byte's 10 s run out
    w.parallel.onStatusRead = ask;
    w.find<QPushButton>("cmdSTART")->click();

    QVERIFY(asked);
    QCOMPARE(w.presenter.messages, QStringList{});
    QCOMPARE(w.programEnds, 1);
    QVERIFY(!w.serial.isOpen());
    QCOMPARE(w.parallel.releases, static_cast<int>(w.parallel.claims.size()));
}

void DownloadTest::progressDuringWait_data() {
    QTest::addColumn<int>("portType");
    QTest::addColumn<int>("paceStepMs");  // 0: the repaint clock stands still
    // The second record's wait: the first record's count is on screen though no frame passed.
    QTest::newRow("serial, record 2 unanswered") << 0 << 0;
    // A printer that stays busy after byte 40: the count is on screen within a frame.
    QTest::newRow("parallel, busy after byte 40") << 1 << 1;
}

void DownloadTest::progressDuringWait() {
    QFETCH(int, portType);
    QFETCH(int, paceStepMs);
    const QString file = sample("demo.DPX");
    const QByteArray image = contents(file);
    TestWindow w;
    w.paceClock.step = std::chrono::milliseconds(paceStepMs);
    w.form.Form_Load();
    choose(w, portType, 0, -1, file);
    auto* label = w.find<QLabel>("Label3");
    auto* bar = w.find<QProgressBar>("ProgressBar");
    QString labelDuringWait;
    int barDuringWait = -1;
    int expected = 0;
    int busyReads = 0;  // outlives the download, which the callbacks below run inside
    if (portType == 0) {
        expected = static_cast<int>(image.indexOf('\r')) + 2;
        w.serial.onRead = [&](std::size_t writes) {
            if (writes == 2) {
                w.serial.silent = true;
                labelDuringWait = label->text();
                barDuringWait = bar->value();
            }
        };
    } else {
        expected = 40;
        w.parallel.onData = [&](std::size_t bytes) {
            if (bytes == 40) {
                w.parallel.status = 0x7F;
            }
        };
        w.parallel.onStatusRead = [&] {
            if (w.parallel.status == 0x7F && ++busyReads == 200) {
                labelDuringWait = label->text();
            }
        };
    }
    w.find<QPushButton>("cmdSTART")->click();

    QCOMPARE(labelDuringWait, QString("%1/%2").arg(expected).arg(image.size()));
    if (portType == 0) {
        QCOMPARE(barDuringWait, expected);
    }
}

void DownloadTest::messageBoxShowsPlainText() {
    // A file name may hold markup; as rich text, <img> would load any file into the box.
    const QString text = QStringLiteral("Cannot open <b>x</b><img src=\"missing.png\">.DPX");
    Qt::TextFormat format = Qt::RichText;
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box != nullptr);
        format = box->textFormat();
        shown = box->text();
        box->accept();
    });
    korvane::ui::QtMessagePresenter().show(nullptr, text);
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(shown, text);
}

QTEST_MAIN(DownloadTest)
#include "download_test.moc"
