// The coalesced progress display: what the bar and label show, and when.
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <limits>

#include "ui/qt/progress_display.h"
#include "ui/qt/window_host.h"
#include "ui_fakes.h"

using korvane::ui::ProgressDisplay;
using korvane::ui::testing::FakeClock;

struct Step {
    int afterMs;    // time since the previous call
    int position;   // reported as "<position>/1000"
    QString shown;  // the label right after the call
};
Q_DECLARE_METATYPE(Step)

class ProgressDisplayTest : public QObject {
    Q_OBJECT

  private slots:
    void coalescing_data();
    void coalescing();
    void barValue_data();
    void barValue();
};

void ProgressDisplayTest::coalescing_data() {
    QTest::addColumn<QList<Step>>("steps");
    QTest::newRow("first value shows at once") << QList<Step>{{0, 1, "1/1000"}};
    QTest::newRow("values within a frame are held")
        << QList<Step>{{0, 1, "1/1000"}, {5, 2, "1/1000"}, {10, 3, "1/1000"}};
    QTest::newRow("a frame after the last push the latest shows")
        << QList<Step>{{0, 1, "1/1000"}, {5, 2, "1/1000"}, {11, 3, "3/1000"}};
    QTest::newRow("slow values all show")
        << QList<Step>{{0, 1, "1/1000"}, {16, 2, "2/1000"}, {500, 3, "3/1000"}};
    QTest::newRow("the frame counts from the push, not from the last value")
        << QList<Step>{{0, 1, "1/1000"},
                       {15, 2, "1/1000"},
                       {15, 3, "3/1000"},
                       {15, 4, "3/1000"},
                       {1, 5, "5/1000"}};
}

void ProgressDisplayTest::coalescing() {
    QFETCH(QList<Step>, steps);
    QProgressBar bar;
    QLabel label;
    FakeClock clock;
    clock.step = {};
    ProgressDisplay display(bar, label, &clock);
    for (const Step& step : steps) {
        clock.current += std::chrono::milliseconds(step.afterMs);
        display.setText(step.position, 1000);
        QCOMPARE(label.text(), step.shown);
    }
}

void ProgressDisplayTest::barValue_data() {
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("expected");
    const int most = std::numeric_limits<int>::max();
    QTest::newRow("inside") << 5.0f << 1 << 10 << 5;
    QTest::newRow("above the maximum") << 11.0f << 1 << 10 << 10;
    QTest::newRow("below the minimum") << 0.0f << 1 << 10 << 1;
    QTest::newRow("rounds to nearest") << 4.6f << 1 << 10 << 5;
    // The largest count rounds up past INT_MAX as a float.
    QTest::newRow("largest image") << static_cast<float>(most) << 1 << most << most;
    QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << 1 << 10 << 1;
    QTest::newRow("empty range") << 3.0f << 1 << 1 << 1;
}

void ProgressDisplayTest::barValue() {
    QFETCH(float, value);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, expected);
    QCOMPARE(korvane::ui::barValue(value, minimum, maximum), expected);
}

// When the host's pause for events really looks at the event queue.
class EventPacingTest : public QObject {
    Q_OBJECT

  private slots:
    void queuedEventsRun_data();
    void queuedEventsRun();
};

void EventPacingTest::queuedEventsRun_data() {
    QTest::addColumn<int>("afterMs");       // time since the previous pause
    QTest::addColumn<bool>("newProgress");  // a value reported since the previous pause
    QTest::addColumn<bool>("eventsRun");
    QTest::newRow("within the slice") << 0 << false << false;
    QTest::newRow("a slice later") << 1 << false << true;
    QTest::newRow("new progress to paint") << 0 << true << true;
}

void EventPacingTest::queuedEventsRun() {
    QFETCH(int, afterMs);
    QFETCH(bool, newProgress);
    QFETCH(bool, eventsRun);
    QWidget window;
    QRadioButton serial, parallel;
    QComboBox ports, speeds;
    QPushButton start;
    QProgressBar bar;
    QLabel label;
    // Apart, so that a frame for the display can pass while the host's slice has not.
    FakeClock displayClock, hostClock;
    displayClock.step = hostClock.step = {};
    ProgressDisplay display(bar, label, &displayClock);
    korvane::ui::testing::RecordingPresenter presenter;
    const bool exitRequested = false;
    korvane::ui::WindowHost host({serial, parallel, ports, speeds, start}, display, presenter,
                                 window, exitRequested, &hostClock);
    host.setProgressText(1, 10);
    host.letPendingEventsRun();  // the first pause always looks

    bool ran = false;
    QMetaObject::invokeMethod(
        &window, [&] { ran = true; }, Qt::QueuedConnection);
    hostClock.current += std::chrono::milliseconds(afterMs);
    if (newProgress) {
        displayClock.current += ProgressDisplay::kFrame;
        host.setProgressText(2, 10);
    }
    host.letPendingEventsRun();
    QCOMPARE(ran, eventsRun);
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ProgressDisplayTest progress;
    EventPacingTest pacing;
    return QTest::qExec(&progress, argc, argv) | QTest::qExec(&pacing, argc, argv);
}

#include "progress_display_test.moc"
