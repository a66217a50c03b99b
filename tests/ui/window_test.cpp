// The window as built, as first seen, and through the choices the user makes before a download.
#include <QAction>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "ui_fakes.h"

using korvane::ui::testing::TestWindow;

namespace {

QStringList items(const QComboBox* box) {
    QStringList list;
    for (int i = 0; i < box->count(); ++i) {
        list << box->itemText(i);
    }
    return list;
}

// The colour the button's face is painted in, read back from the pixels.
QColor faceColour(QWidget* button) {
    const QImage image = button->grab().toImage();
    return image.pixelColor(8, 8);
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void geometry_data();
    void geometry();
    void captions_data();
    void captions();
    void fonts_data();
    void fonts();
    void builtState();
    void windowFrame();
    void icon();
    void tabOrder();
    void menu_data();
    void menu();
    void listsTakeNoTyping();
    void optionsExcludeEachOther();

    void firstSight();
    void portLists_data();
    void portLists();
    void speedSurvivesSwitch_data();
    void speedSurvivesSwitch();
    void fileOpen_data();
    void fileOpen();
    void fileOpenAsksForDpxFiles();
    void ctrlOOpens();
    void focusSelectsOption();
    void exitWhenIdle();
    void closeWhenIdle();
};

void WindowTest::geometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");  // in client coordinates
    QTest::newRow("Frame1") << "Frame1" << QRect(8, 8, 385, 129);
    QTest::newRow("COM Port") << "optCOM_0" << QRect(32, 40, 89, 33);
    QTest::newRow("LPT Port") << "optCOM_1" << QRect(32, 80, 89, 33);
    QTest::newRow("Line1") << "Line1" << QRect(136, 32, 1, 96);
    QTest::newRow("Label1") << "Label1" << QRect(160, 48, 89, 17);
    QTest::newRow("Label2") << "Label2" << QRect(160, 88, 89, 25);
    QTest::newRow("cboPORT") << "cboPORT" << QRect(256, 40, 113, 24);
    QTest::newRow("cboSPEED") << "cboSPEED" << QRect(256, 80, 113, 24);
    QTest::newRow("cmdSTART") << "cmdSTART" << QRect(400, 16, 129, 97);
    QTest::newRow("Label3") << "Label3" << QRect(400, 120, 129, 25);
    QTest::newRow("ProgressBar") << "ProgressBar" << QRect(8, 144, 521, 25);
}

void WindowTest::geometry() {
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    TestWindow w;
    w.form.Form_Load();
    QVERIFY(QTest::qWaitForWindowExposed(&w.form));
    auto* widget = w.form.findChild<QWidget*>(name);
    QVERIFY(widget);
    const QPoint topLeft = widget->mapTo(w.form.centralWidget(), QPoint(0, 0));
    QCOMPARE(QRect(topLeft, widget->size()), rect);
}

void WindowTest::captions_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("cmdSTART") << "cmdSTART" << "Download Start";
    QTest::newRow("Frame1") << "Frame1" << "Communication Interface Choice";
    QTest::newRow("COM Port") << "optCOM_0" << "COM Port";
    QTest::newRow("LPT Port") << "optCOM_1" << "LPT Port";
    QTest::newRow("Label1") << "Label1" << "Port List :";
    QTest::newRow("Label2") << "Label2" << "COM Speed :";
    QTest::newRow("Label3") << "Label3" << "";
}

void WindowTest::captions() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    TestWindow w;
    QObject* object = w.form.findChild<QObject*>(name);
    QVERIFY(object);
    const QVariant text = object->property(qobject_cast<QGroupBox*>(object) ? "title" : "text");
    QCOMPARE(text.toString(), caption);
}

void WindowTest::fonts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("fixedPitch");
    for (const char* name :
         {"Frame1", "optCOM_0", "optCOM_1", "cboPORT", "cboSPEED", "Label1", "Label2", "Label3"}) {
        QTest::newRow(name) << name << 9 << false << true;
    }
    QTest::newRow("cmdSTART") << "cmdSTART" << 12 << true << true;
    QTest::newRow("Form1") << "Form1" << 12 << true << false;
}

void WindowTest::fonts() {
    QFETCH(QString, name);
    QFETCH(int, pointSize);
    QFETCH(bool, bold);
    QFETCH(bool, fixedPitch);
    TestWindow w;
    auto* widget = name == w.form.objectName() ? &w.form : w.form.findChild<QWidget*>(name);
    QVERIFY(widget);
    const QFontInfo info(widget->font());
    QCOMPARE(widget->font().pointSize(), pointSize);
    QCOMPARE(info.bold(), bold);
    QCOMPARE(widget->font().italic(), false);
    if (fixedPitch) {
        const QFontMetrics metrics(widget->font());
        QVERIFY2(metrics.horizontalAdvance('i') == metrics.horizontalAdvance('W'),
                 qPrintable(info.family()));
    }
}

void WindowTest::builtState() {
    TestWindow w;
    for (const char* name : {"optCOM_0", "optCOM_1"}) {
        QVERIFY(!w.find<QRadioButton>(name)->isChecked());
    }
    for (const char* name : {"cboPORT", "cboSPEED"}) {
        QCOMPARE(w.find<QComboBox>(name)->count(), 0);
        QCOMPARE(w.find<QComboBox>(name)->currentText(), QString());
    }
    auto* bar = w.find<QProgressBar>("ProgressBar");
    QVERIFY(!bar->isHidden());
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bar->orientation(), Qt::Horizontal);
    auto* start = w.find<QPushButton>("cmdSTART");
    QVERIFY(start->isEnabled());
    QCOMPARE(faceColour(start), QColor(255, 128, 128));
    QVERIFY(w.find<QLabel>("Label3")->alignment() & Qt::AlignRight);
}

void WindowTest::windowFrame() {
    TestWindow w;
    w.form.Form_Load();
    QVERIFY(QTest::qWaitForWindowExposed(&w.form));
    QCOMPARE(w.form.objectName(), QString("Form1"));
    QCOMPARE(w.form.windowTitle(), QString("Firmware Korvane V1.0"));
    const Qt::WindowFlags flags = w.form.windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QCOMPARE(w.form.minimumSize(), w.form.maximumSize());
    QCOMPARE(w.form.centralWidget()->size(), QSize(537, 180));
    QCOMPARE(w.form.centralWidget()->mapTo(&w.form, QPoint(0, 0)).y(),
             w.form.menuBar()->height());
}

void WindowTest::icon() {
    TestWindow w;
    const QIcon icon = w.form.windowIcon();
    for (int size : {16, 32}) {
        QVERIFY(icon.availableSizes().contains(QSize(size, size)));
    }
    for (const char* path : {":/korvane/korvane-16.png", ":/korvane/korvane-32.png"}) {
        const QImage image(QString::fromLatin1(path));
        QVERIFY2(!image.isNull(), path);
        QVERIFY(image.colorCount() > 0 && image.colorCount() <= 16);
    }
}

void WindowTest::tabOrder() {
    TestWindow w;
    QStringList stops;
    for (QWidget* widget = w.form.nextInFocusChain(); widget != &w.form;
         widget = widget->nextInFocusChain()) {
        if (widget->focusPolicy() & Qt::TabFocus) {
            stops << widget->objectName();
        }
    }
    QCOMPARE(stops, QStringList({"optCOM_0", "optCOM_1", "cboPORT", "cboSPEED", "cmdSTART"}));
}

void WindowTest::menu_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::newRow("Open") << "mnuFileOpen" << "Open(&F)" << QKeySequence(Qt::CTRL | Qt::Key_O);
    QTest::newRow("Exit") << "mnuFileExit" << "Exit(&X)" << QKeySequence();
}

void WindowTest::menu() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QKeySequence, shortcut);
    TestWindow w;
    auto* file = w.find<QMenu>("mnuFile");
    QVERIFY(file);
    QCOMPARE(file->title(), QString("File(&F)"));
    QCOMPARE(w.form.menuBar()->actions(), QList<QAction*>({file->menuAction()}));
    QStringList names;
    for (QAction* action : file->actions()) {
        names << action->objectName();
        QVERIFY(action->isEnabled() && action->isVisible() && !action->isChecked());
    }
    QCOMPARE(names, QStringList({"mnuFileOpen", "mnuFileBar0", "mnuFileExit"}));
    QVERIFY(file->actions().at(1)->isSeparator());
    auto* action = file->findChild<QAction*>(name);
    QVERIFY(action);
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->shortcut(), shortcut);
}

void WindowTest::listsTakeNoTyping() {
    TestWindow w;
    for (const char* name : {"cboPORT", "cboSPEED"}) {
        QVERIFY(!w.find<QComboBox>(name)->isEditable());
    }
}

void WindowTest::optionsExcludeEachOther() {
    TestWindow w;
    w.form.Form_Load();
    auto* com = w.find<QRadioButton>("optCOM_0");
    auto* lpt = w.find<QRadioButton>("optCOM_1");
    QTest::mouseClick(lpt, Qt::LeftButton);
    QVERIFY(lpt->isChecked() && !com->isChecked());
    QTest::mouseClick(com, Qt::LeftButton);
    QVERIFY(com->isChecked() && !lpt->isChecked());
}

void WindowTest::firstSight() {
    TestWindow w;
    w.form.Form_Load();
    QVERIFY(QTest::qWaitForWindowExposed(&w.form));
    QVERIFY(w.find<QRadioButton>("optCOM_0")->isChecked());
    QVERIFY(!w.find<QRadioButton>("optCOM_1")->isChecked());
    QCOMPARE(w.form.focusWidget(), w.find<QWidget>("optCOM_0"));
    auto* ports = w.find<QComboBox>("cboPORT");
    QVERIFY(ports->isEnabled());
    QCOMPARE(items(ports), QStringList({"COM1", "COM2", "COM3", "COM4"}));
    QCOMPARE(ports->currentText(), QString("COM1"));
    auto* speeds = w.find<QComboBox>("cboSPEED");
    QVERIFY(speeds->isEnabled());
    QCOMPARE(items(speeds), QStringList({"4800", "9600", "19200", "38400"}));
    QCOMPARE(speeds->currentText(), QString("38400"));
    auto* start = w.find<QPushButton>("cmdSTART");
    QVERIFY(!start->isEnabled());
    QCOMPARE(faceColour(start), QColor(255, 128, 128));
    QVERIFY(w.form.firmwarePath().isEmpty());
}

void WindowTest::portLists_data() {
    QTest::addColumn<QList<int>>("clicks");  // option indexes, in click order
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<bool>("speedEnabled");
    const QStringList com{"COM1", "COM2", "COM3", "COM4"};
    const QStringList lpt{"LPT1", "LPT2"};
    QTest::newRow("LPT") << QList<int>{1} << lpt << false;
    QTest::newRow("LPT, COM") << QList<int>{1, 0} << com << true;
    QTest::newRow("LPT, COM, LPT") << QList<int>{1, 0, 1} << lpt << false;
}

void WindowTest::portLists() {
    QFETCH(QList<int>, clicks);
    QFETCH(QStringList, ports);
    QFETCH(bool, speedEnabled);
    TestWindow w;
    w.form.Form_Load();
    auto* list = w.find<QComboBox>("cboPORT");
    for (int index : clicks) {
        list->setCurrentIndex(1);  // every choice of a type goes back to its first port
        QTest::mouseClick(w.find<QRadioButton>(index == 0 ? "optCOM_0" : "optCOM_1"),
                          Qt::LeftButton);
    }
    QCOMPARE(items(list), ports);
    QCOMPARE(list->currentIndex(), 0);
    QVERIFY(list->isEnabled());
    QCOMPARE(w.find<QComboBox>("cboSPEED")->isEnabled(), speedEnabled);
}

void WindowTest::speedSurvivesSwitch_data() {
    QTest::addColumn<int>("speedIndex");
    QTest::addColumn<QString>("speed");
    QTest::newRow("4800") << 0 << "4800";
    QTest::newRow("9600") << 1 << "9600";
    QTest::newRow("19200") << 2 << "19200";
}

void WindowTest::speedSurvivesSwitch() {
    QFETCH(int, speedIndex);
    QFETCH(QString, speed);
    TestWindow w;
    w.form.Form_Load();
    auto* speeds = w.find<QComboBox>("cboSPEED");
    speeds->setCurrentIndex(speedIndex);
    w.find<QComboBox>("cboPORT")->setCurrentIndex(2);
    QTest::mouseClick(w.find<QRadioButton>("optCOM_1"), Qt::LeftButton);
    QVERIFY(!speeds->isEnabled());
    QCOMPARE(speeds->currentText(), speed);
    QTest::mouseClick(w.find<QRadioButton>("optCOM_0"), Qt::LeftButton);
    QVERIFY(speeds->isEnabled());
    QCOMPARE(speeds->currentText(), speed);
    QCOMPARE(w.find<QComboBox>("cboPORT")->currentText(), QString("COM1"));
}

void WindowTest::fileOpen_data() {
    QTest::addColumn<bool>("lpt");
    QTest::addColumn<QStringList>("answers");  // one per opening, "" cancels
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("startEnabled");
    QTest::newRow("first opening cancelled") << false << QStringList{""} << "" << false;
    QTest::newRow("file chosen") << false << QStringList{"/fw/a.DPX"} << "/fw/a.DPX" << true;
    QTest::newRow("chosen, then cancelled")
        << false << QStringList{"/fw/a.DPX", ""} << "/fw/a.DPX" << true;
    QTest::newRow("chosen twice") << false << QStringList{"/fw/a.DPX", "/fw/b.dpx"} << "/fw/b.dpx"
                                  << true;
    QTest::newRow("chosen with LPT Port") << true << QStringList{"/fw/a.DPX"} << "/fw/a.DPX"
                                          << true;
}

void WindowTest::fileOpen() {
    QFETCH(bool, lpt);
    QFETCH(QStringList, answers);
    QFETCH(QString, path);
    QFETCH(bool, startEnabled);
    TestWindow w;
    w.form.Form_Load();
    if (lpt) {
        QTest::mouseClick(w.find<QRadioButton>("optCOM_1"), Qt::LeftButton);
    }
    w.chooser.answers = answers;
    for (int i = 0; i < answers.size(); ++i) {
        w.find<QAction>("mnuFileOpen")->trigger();
    }
    QCOMPARE(w.form.firmwarePath(), path);
    auto* start = w.find<QPushButton>("cmdSTART");
    QCOMPARE(start->isEnabled(), startEnabled);
    QCOMPARE(faceColour(start), startEnabled ? QColor(128, 255, 128) : QColor(255, 128, 128));
    QCOMPARE(w.find<QComboBox>("cboSPEED")->isEnabled(), !lpt);
    // Every opening after a choice starts from the file chosen before.
    for (std::size_t i = 1; i < w.chooser.openings.size(); ++i) {
        QCOMPARE(w.chooser.openings[i].startFile, QString("/fw/a.DPX"));
    }
}

void WindowTest::fileOpenAsksForDpxFiles() {
    TestWindow w;
    w.form.Form_Load();
    w.find<QAction>("mnuFileOpen")->trigger();
    QCOMPARE(w.chooser.openings.size(), std::size_t{1});
    QCOMPARE(w.chooser.openings[0].title, QString("Open"));
    QCOMPARE(w.chooser.openings[0].startFile, QString());
    // One entry: "description (patterns)", as the file dialog reads a filter.
    const QString filter = w.chooser.openings[0].filter;
    QVERIFY(!filter.contains(";;"));
    const QRegularExpression entry(R"(^(.*)\(([^()]*)\)$)");
    const QRegularExpressionMatch match = entry.match(filter);
    QVERIFY(match.hasMatch());
    QCOMPARE(match.captured(1).trimmed(), QString("Firmware File(*.DPX)"));
    const auto matches = [&](const QString& file) {
        for (const QString& pattern : match.captured(2).split(' ', Qt::SkipEmptyParts)) {
            if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern))
                    .match(file)
                    .hasMatch()) {
                return true;
            }
        }
        return false;
    };
    QVERIFY(matches("demo.DPX"));
    QVERIFY(matches("demo.dpx"));
    QVERIFY(!matches("demo.txt"));
}

void WindowTest::ctrlOOpens() {
    TestWindow w;
    w.form.Form_Load();
    w.form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w.form));
    w.chooser.answers = {"/fw/a.DPX"};
    QTest::keyClick(&w.form, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(w.chooser.openings.size(), std::size_t{1});
    QCOMPARE(w.form.firmwarePath(), QString("/fw/a.DPX"));
}

void WindowTest::focusSelectsOption() {
    TestWindow w;
    w.form.Form_Load();
    w.form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w.form));
    auto* lpt = w.find<QRadioButton>("optCOM_1");
    lpt->setFocus(Qt::OtherFocusReason);
    QVERIFY(lpt->isChecked());
    QCOMPARE(w.find<QComboBox>("cboPORT")->currentText(), QString("LPT1"));
    // The arrow keys move the focus and the choice back.
    QTest::keyClick(lpt, Qt::Key_Up);
    QCOMPARE(QApplication::focusWidget(), w.find<QWidget>("optCOM_0"));
    QVERIFY(w.find<QRadioButton>("optCOM_0")->isChecked());
    QCOMPARE(w.find<QComboBox>("cboPORT")->currentText(), QString("COM1"));
}

void WindowTest::exitWhenIdle() {
    TestWindow w;
    w.form.Form_Load();
    w.find<QAction>("mnuFileExit")->trigger();
    QCOMPARE(w.programEnds, 1);
}

void WindowTest::closeWhenIdle() {
    TestWindow w;
    w.form.Form_Load();
    QVERIFY(w.form.close());
    QCOMPARE(w.programEnds, 1);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
