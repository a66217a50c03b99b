// The coalesced progress display: what the bar and label show, and when.
#include <QLabel>
#include <QProgressBar>
#include <QtTest>
#include <limits>

#include "ui/progress_display.h"
#include "ui_fakes.h"

using korvane::ui::ProgressDisplay;
using korvane::ui::testing::FakeClock;

struct Step {
    int afterMs;   // time since the previous call
    int position;  // reported as "<position>/1000"
    QString shown;  // the label right after the call
};
Q_DECLARE_METATYPE(Step)

class ProgressDisplayTest : public QObject {
    Q_OBJECT

private slots:
    void coalescing_data();
    void coalescing();
    void flushShowsLatest();
    void pauseForEventsPushesWhenDue();
    void barValue_data();
    void barValue();
    void valueBeyondRangeStillFillsBar();
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
        << QList<Step>{{0, 1, "1/1000"}, {15, 2, "1/1000"}, {15, 3, "3/1000"},
                       {15, 4, "3/1000"}, {1, 5, "5/1000"}};
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

void ProgressDisplayTest::flushShowsLatest() {
    QProgressBar bar;
    QLabel label;
    FakeClock clock;
    clock.step = {};
    ProgressDisplay display(bar, label, &clock);
    display.setRange(1, 1000);
    display.setValue(10);
    display.setText(10, 1000);
    display.setValue(999);
    display.setText(1000, 1000);
    display.flush();
    QCOMPARE(label.text(), QString("1000/1000"));
    QCOMPARE(bar.value(), 999);
}

void ProgressDisplayTest::pauseForEventsPushesWhenDue() {
    QProgressBar bar;
    QLabel label;
    FakeClock clock;
    clock.step = {};
    ProgressDisplay display(bar, label, &clock);
    display.setText(1, 9);
    display.setText(2, 9);
    display.pushIfDue();
    QCOMPARE(label.text(), QString("1/9"));
    clock.current += ProgressDisplay::kFrame;
    display.pushIfDue();
    QCOMPARE(label.text(), QString("2/9"));
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

void ProgressDisplayTest::valueBeyondRangeStillFillsBar() {
    // QProgressBar drops a value outside its range and would stay short of full.
    QProgressBar bar;
    QLabel label;
    ProgressDisplay display(bar, label);
    const float total = 16777217.0f;  // 2^24 + 1 is no float: both ends round alike
    display.setRange(1.0f, total);
    display.setValue(total + 2.0f);
    display.flush();
    QCOMPARE(bar.value(), bar.maximum());
}

QTEST_MAIN(ProgressDisplayTest)
#include "progress_display_test.moc"
