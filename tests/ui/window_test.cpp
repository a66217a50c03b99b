// The window as built, as first seen, and through the choices the user makes before a download.
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <filesystem>
#include <map>

#include "ui/form/form_layout.h"
#include "ui/qt/display_check.h"
#include "ui_fakes.h"

using korvane::ui::testing::TestWindow;
namespace form = korvane::ui::form;

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
    void builtState();
    void controls_data();
    void controls();
    void menu();
    void windowFrame();
    void tabOrder();

    void firstSight();
    void fileOpenAsksForDpxFiles();
    void toolTipsNameDevicesAndFile();
    void displayCheck();
    void ctrlOOpens();
    void focusSelectsOption();
    void messageBox();
    void fileDialog();
    void drop_data();
    void drop();
    void commandLineFile();
};

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
    // The stand-in for Fixedsys must be fixed-pitch, whatever fonts the system has.
    const QFontMetrics metrics(w.find<QWidget>("cboPORT")->font());
    QCOMPARE(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('W'));
}

void WindowTest::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("points");
    QTest::addColumn<bool>("bold");
    const auto text = [](std::string_view view) {
        return QString::fromUtf8(view.data(), view.size());
    };
    QTest::newRow("Form1") << "Form1" << text(form::kTitle) << form::kWindowFont.points
                           << (form::kWindowFont.weight >= 700);
    for (const form::Control& design : form::kControls) {
        if (design.font != nullptr) {
            QTest::newRow(design.name.data())
                << text(design.name) << text(design.caption) << design.font->points
                << (design.font->weight >= 700);
        }
    }
}

// Captions, point sizes and weights as built; lists offer their entries only, and stay so
// once the window has been shown.
void WindowTest::controls() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(int, points);
    QFETCH(bool, bold);
    TestWindow w;
    QWidget* widget = name == "Form1" ? &w.form : w.find<QWidget>(name.toLatin1().constData());
    QVERIFY(widget != nullptr);
    const char* property = name == "Form1"                               ? "windowTitle"
                           : name == "Frame1"                            ? "title"
                           : qobject_cast<QComboBox*>(widget) != nullptr ? "currentText"
                                                                         : "text";
    QCOMPARE(widget->property(property).toString(), caption);
    QCOMPARE(widget->font().pointSize(), points);
    QCOMPARE(widget->font().bold(), bold);
    QVERIFY(!widget->font().italic() && !widget->font().underline() && !widget->font().strikeOut());
    if (auto* list = qobject_cast<QComboBox*>(widget)) {
        QVERIFY(!list->isEditable());
        w.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.form));
        QVERIFY(!list->isEditable());
    }
}

// One File menu: its entries in order, with their access keys and shortcuts.
void WindowTest::menu() {
    TestWindow w;
    const QList<QAction*> bar = w.form.menuBar()->actions();
    QCOMPARE(bar.size(), 1);
    QCOMPARE(bar[0]->text(), QString::fromUtf8(form::kMenu[0].caption.data()));
    QVERIFY(bar[0]->menu() != nullptr);
    const QList<QAction*> file = bar[0]->menu()->actions();
    QCOMPARE(file.size(), static_cast<qsizetype>(form::kMenu.size() - 1));
    for (std::size_t i = 1; i < form::kMenu.size(); ++i) {
        const form::MenuEntry& design = form::kMenu[i];
        QAction* action = file[static_cast<qsizetype>(i - 1)];
        QCOMPARE(action->objectName(), QString::fromUtf8(design.name.data()));
        QCOMPARE(action->isSeparator(), design.caption == "-");
        if (!action->isSeparator()) {
            QCOMPARE(action->text(), QString::fromUtf8(design.caption.data()));
            // "&X" makes Alt+X the access key.
            const auto amp = design.caption.find('&');
            QCOMPARE(QKeySequence::mnemonic(action->text()),
                     QKeySequence(QStringLiteral("Alt+") + QChar(design.caption[amp + 1])));
        }
        QCOMPARE(action->shortcut(), QKeySequence(QString::fromUtf8(design.shortcut.data())));
        QVERIFY(action->isVisible() && action->isEnabled() && !action->isChecked());
    }
}

void WindowTest::windowFrame() {
    TestWindow w;
    w.form.Form_Load();
    QVERIFY(QTest::qWaitForWindowExposed(&w.form));
    QCOMPARE(w.form.objectName(), QString("Form1"));
    const Qt::WindowFlags flags = w.form.windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QCOMPARE(w.form.minimumSize(), w.form.maximumSize());
    QCOMPARE(w.form.centralWidget()->mapTo(&w.form, QPoint(0, 0)).y(), w.form.menuBar()->height());
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
    QCOMPARE(speeds->currentText(), QString("38400"));
    auto* start = w.find<QPushButton>("cmdSTART");
    QVERIFY(!start->isEnabled());
    QCOMPARE(faceColour(start), QColor(255, 128, 128));
    QVERIFY(w.form.firmwarePath().isEmpty());
}

void WindowTest::toolTipsNameDevicesAndFile() {
    TestWindow w;
    w.form.Form_Load();
    auto* list = w.find<QComboBox>("cboPORT");
    QCOMPARE(list->itemData(3, Qt::ToolTipRole).toString(), QString("device 0:3"));
    // An adapter plugged in after the list was filled shows when the list opens.
    w.deviceNote = "adapter";
    list->showPopup();
    QCOMPARE(list->itemData(0, Qt::ToolTipRole).toString(), QString("adapter 0:0"));
    list->hidePopup();

    auto* start = w.find<QPushButton>("cmdSTART");
    QCOMPARE(start->toolTip(), QString());
    const QString sample = QStringLiteral(KORVANE_SAMPLES_DIR "/small.DPX");
    const auto size = std::filesystem::file_size(sample.toStdString());
    w.chooser.answers = QStringList{sample, "/fw/none.DPX"};
    w.find<QAction>("mnuFileOpen")->trigger();
    QCOMPARE(start->toolTip(), QString("%1 (%2 bytes)").arg(sample).arg(size));
    w.find<QAction>("mnuFileOpen")->trigger();
    QCOMPARE(start->toolTip(), QString("/fw/none.DPX (cannot be read)"));
}

void WindowTest::displayCheck() {
    const struct {
        std::map<std::string, std::string> environment;
        bool missing;
    } rows[] = {
        {{}, true},
        {{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}}, true},
        {{{"DISPLAY", ":0"}}, false},
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, false},
        {{{"QT_QPA_PLATFORM", "offscreen"}}, false},
    };
    for (const auto& row : rows) {
        const auto message = korvane::ui::missingDisplay([&](const char* name) -> const char* {
            const auto found = row.environment.find(name);
            return found == row.environment.end() ? nullptr : found->second.c_str();
        });
        QCOMPARE(message.has_value(), row.missing);
        QVERIFY(!message || message->find("korvane-cli") != std::string::npos);
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

// Runs `inspect` on the modal dialog once it is up, then lets `open` return.
template <typename Dialog>
void whenModal(std::function<void(Dialog*)> inspect) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, inspect] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            timer->stop();
            inspect(dialog);
        }
    });
    timer->start(10);
}

void WindowTest::messageBox() {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::Critical;
    QMessageBox::StandardButtons buttons;
    whenModal<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        box->button(QMessageBox::Ok)->click();
    });
    korvane::ui::QtMessagePresenter().show(nullptr, "Communication Error.(5 Sec Time out)");
    QCOMPARE(title, QString("Korvane"));
    QCOMPARE(text, QString("Communication Error.(5 Sec Time out)"));
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void WindowTest::fileDialog() {
    const QString start = QStringLiteral(KORVANE_SAMPLES_DIR "/small.DPX");
    QString title;
    QStringList filters, selected;
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        selected = dialog->selectedFiles();
        dialog->reject();
    });
    const QString chosen = korvane::ui::QtFileChooser().chooseFile(
        nullptr, "Open", "Firmware File(*.DPX) (*.DPX *.dpx)", start);
    QVERIFY(chosen.isEmpty());  // cancelled
    QCOMPARE(title, QString("Open"));
    QCOMPARE(filters, QStringList{"Firmware File(*.DPX) (*.DPX *.dpx)"});
    QCOMPARE(selected, QStringList{start});
}

void WindowTest::drop_data() {
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<bool>("downloading");
    const QUrl file = QUrl::fromLocalFile(KORVANE_SAMPLES_DIR "/small.DPX");
    const QUrl other = QUrl::fromLocalFile(KORVANE_SAMPLES_DIR "/demo.DPX");
    QTest::newRow("one local file") << QList<QUrl>{file} << true << false;
    QTest::newRow("web address") << QList<QUrl>{QUrl("https://example.org/a.DPX")} << false
                                 << false;
    QTest::newRow("during a download") << QList<QUrl>{other} << true << true;
}

// A file dropped from a file manager is chosen as File > Open chooses one; the cursor shows
// beforehand whether the window takes the drop.
void WindowTest::drop() {
    QFETCH(QList<QUrl>, urls);
    QFETCH(bool, taken);
    QFETCH(bool, downloading);
    TestWindow w;
    w.form.Form_Load();
    const QString first = QStringLiteral(KORVANE_SAMPLES_DIR "/small.DPX");
    QMimeData data;
    data.setUrls(urls);
    const QPoint centre = w.form.rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(!taken);
    QString label;
    const auto dropNow = [&] {
        QApplication::sendEvent(&w.form, &enter);
        QApplication::sendEvent(&w.form, &drop);
    };
    if (downloading) {
        w.chooser.answers = {first};
        w.find<QAction>("mnuFileOpen")->trigger();
        w.serial.onWrite = [&, done = false](std::size_t) mutable {
            if (!std::exchange(done, true)) {
                dropNow();
            }
        };
        w.find<QPushButton>("cmdSTART")->click();
        label = w.find<QLabel>("Label3")->text();
    } else {
        dropNow();
    }
    QCOMPARE(enter.isAccepted(), taken);
    QCOMPARE(drop.isAccepted(), taken);
    QCOMPARE(w.form.firmwarePath(), taken ? urls.first().toLocalFile() : QString());
    auto* start = w.find<QPushButton>("cmdSTART");
    QCOMPARE(start->isEnabled(), taken);
    QCOMPARE(faceColour(start), taken ? QColor(128, 255, 128) : QColor(255, 128, 128));
    if (downloading) {  // the download went on with the image it had loaded
        QCOMPARE(w.presenter.messages, QStringList{"Firmware Download Success."});
        QCOMPARE(label, QString("%1/%1").arg(std::filesystem::file_size(first.toStdString())));
    }
}

// korvane FILE: a path relative to the current folder is chosen as its full path.
void WindowTest::commandLineFile() {
    TestWindow w;
    w.form.Form_Load();
    const QString before = QDir::currentPath();
    QDir::setCurrent(QStringLiteral(KORVANE_SAMPLES_DIR));
    w.form.chooseFile(QStringLiteral("small.DPX"));
    QDir::setCurrent(before);
    QCOMPARE(w.form.firmwarePath(), QStringLiteral(KORVANE_SAMPLES_DIR "/small.DPX"));
    QVERIFY(w.find<QPushButton>("cmdSTART")->isEnabled());
    w.form.chooseFile(QString());  // no FILE: nothing changes
    QCOMPARE(w.form.firmwarePath(), QStringLiteral(KORVANE_SAMPLES_DIR "/small.DPX"));
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
