// What the window shows on a real X server (Xvfb): its place, the controls' places and the start
// button's colours as pixels on the screen. With KORVANE_SCREENSHOT=FILE it also saves the
// window after a download for the README.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QtTest>

#include "ui/form/form_layout.h"
#include "ui_fakes.h"

using korvane::ui::testing::TestWindow;
namespace form = korvane::ui::form;

namespace {

QImage grabClient(TestWindow& w) {
    QWidget* client = w.form.centralWidget();
    const QPoint origin = client->mapToGlobal(QPoint(0, 0));
    return w.form.screen()
        ->grabWindow(0, origin.x(), origin.y(), client->width(), client->height())
        .toImage();
}

// The window is drawn at 96 dpi, where 15 twips make a pixel.
QRect designPixels(const form::Twips& t) {
    return {t.left / 15, t.top / 15, t.width / 15, t.height / 15};
}

// A control's place in client pixels; the frame's contents are placed from the frame's corner.
QRect clientPixels(const form::Control& design) {
    QRect rect = designPixels(design.place);
    if (design.container == form::Container::Frame1) {
        rect.translate(designPixels(form::control(form::Id::Frame1).place).topLeft());
    }
    return rect;
}

bool near(const QColor& a, const QColor& b) {
    return qAbs(a.red() - b.red()) <= 2 && qAbs(a.green() - b.green()) <= 2 &&
           qAbs(a.blue() - b.blue()) <= 2;
}

}  // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void placedOnScreen();
    void controlsWhereDrawn_data();
    void controlsWhereDrawn();
    void startButtonColours();
    void progressOnScreenWhileThePrinterWorks();
    void readmeScreenshot();

  private:
    std::unique_ptr<TestWindow> w_;
};

void ScreenshotTest::init() {
    w_ = std::make_unique<TestWindow>();
    w_->form.Form_Load();
    QVERIFY(QTest::qWaitForWindowExposed(&w_->form));
}

void ScreenshotTest::cleanup() {
    w_.reset();
}

void ScreenshotTest::placedOnScreen() {
    const QRect client = designPixels(form::kClient);
    QCOMPARE(w_->form.centralWidget()->mapToGlobal(QPoint(0, 0)), client.topLeft());
    QCOMPARE(w_->form.centralWidget()->size(), client.size());
}

void ScreenshotTest::controlsWhereDrawn_data() {
    QTest::addColumn<int>("index");
    for (std::size_t i = 0; i < form::kControls.size(); ++i) {
        QTest::newRow(form::kControls[i].name.data()) << static_cast<int>(i);
    }
}

void ScreenshotTest::controlsWhereDrawn() {
    QFETCH(int, index);
    const form::Control& design = form::kControls[static_cast<std::size_t>(index)];
    const QRect rect = clientPixels(design);
    auto* widget = w_->form.findChild<QWidget*>(QString::fromLatin1(design.name.data()));
    QVERIFY(widget);
    const QPoint onScreen = widget->mapToGlobal(QPoint(0, 0));
    QCOMPARE(QRect(onScreen - designPixels(form::kClient).topLeft(), widget->size()), rect);
    // Only a widget that paints all of its own background grabs as the screen shows it.
    const auto kind = design.kind;
    if (kind != form::Kind::Frame && kind != form::Kind::List && kind != form::Kind::Button &&
        kind != form::Kind::ProgressBar) {
        return;
    }
    // The widget's own drawing sits at that place on the screen.
    const QImage own = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage screen = grabClient(*w_).copy(rect).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(screen.size(), own.size());
    int same = 0;
    for (int y = 0; y < own.height(); ++y) {
        for (int x = 0; x < own.width(); ++x) {
            same += own.pixel(x, y) == screen.pixel(x, y) ? 1 : 0;
        }
    }
    QVERIFY2(
        same * 10 >= own.width() * own.height() * 9,
        qPrintable(QString("%1 of %2 pixels alike").arg(same).arg(own.width() * own.height())));
}

void ScreenshotTest::startButtonColours() {
    const QRect button = clientPixels(form::control(form::Id::CmdStart));
    // Inside the border, clear of the caption and the focus frame.
    const QList<QPoint> face{button.topLeft() + QPoint(8, 8), button.bottomRight() - QPoint(8, 8),
                             QPoint(button.left() + 8, button.center().y())};
    const QImage image = grabClient(*w_);
    for (const QPoint& p : face) {
        QVERIFY2(near(image.pixelColor(p), QColor(255, 128, 128)),
                 qPrintable(image.pixelColor(p).name()));
    }
    QVERIFY(!near(image.pixelColor(button.topLeft() - QPoint(3, 0)), QColor(255, 128, 128)));

    w_->chooser.answers = {QString(KORVANE_SAMPLES_DIR "/small.DPX")};
    w_->find<QAction>("mnuFileOpen")->trigger();
    // The repaint reaches the screen through the event loop.
    for (const QPoint& p : face) {
        QTRY_VERIFY2(near(grabClient(*w_).pixelColor(p), QColor(128, 255, 128)),
                     qPrintable(grabClient(*w_).pixelColor(p).name()));
    }
}

// While the engine waits for the printer no events run, so what is on the screen then is what
// the user sees for as long as the printer takes.
void ScreenshotTest::progressOnScreenWhileThePrinterWorks() {
    QImage duringWait;
    w_->serial.onWrite = [&](std::size_t writes) {
        if (writes == 248) {  // half of demo.DPX's 496 records
            duringWait = grabClient(*w_);
        }
    };
    w_->chooser.answers = {QString(KORVANE_SAMPLES_DIR "/demo.DPX")};
    w_->find<QAction>("mnuFileOpen")->trigger();
    w_->find<QPushButton>("cmdSTART")->click();
    QVERIFY(!duringWait.isNull());

    const QRect bar = clientPixels(form::control(form::Id::ProgressBar));
    const int y = bar.center().y();
    const QColor filled = duringWait.pixelColor(bar.left() + bar.width() * 30 / 100, y);
    const QColor empty = duringWait.pixelColor(bar.left() + bar.width() * 70 / 100, y);
    QVERIFY2(!near(filled, empty), qPrintable(filled.name() + " " + empty.name()));
    QVERIFY2(near(duringWait.pixelColor(bar.left() + bar.width() * 45 / 100, y), filled),
             "the bar shows less than it should");
    QVERIFY2(near(duringWait.pixelColor(bar.left() + bar.width() * 55 / 100, y), empty),
             "the bar shows more than it should");
}

void ScreenshotTest::readmeScreenshot() {
    const QByteArray path = qgetenv("KORVANE_SCREENSHOT");
    if (path.isEmpty()) {
        QSKIP("KORVANE_SCREENSHOT not set");
    }
    w_->chooser.answers = {QString(KORVANE_SAMPLES_DIR "/demo.DPX")};
    w_->find<QAction>("mnuFileOpen")->trigger();
    w_->find<QPushButton>("cmdSTART")->click();
    QTest::qWait(100);
    const QPoint origin = w_->form.mapToGlobal(QPoint(0, 0));
    const QImage window =
        w_->form.screen()
            ->grabWindow(0, origin.x(), origin.y(), w_->form.width(), w_->form.height())
            .toImage();
    QVERIFY(window.save(QString::fromLocal8Bit(path)));
}

QTEST_MAIN(ScreenshotTest)
#include "screenshot_test.moc"
