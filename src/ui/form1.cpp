#include "ui/form1.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QRadioButton>
#include <QSocketNotifier>
#include <exception>

#include "ui/colour_button.h"
#include "ui/progress_display.h"
#include "ui/window_host.h"

namespace korvane::ui {

namespace {

constexpr QRgb kLightRed = qRgb(255, 128, 128);
constexpr QRgb kLightGreen = qRgb(128, 255, 128);
// Where the client area's top-left corner goes on the screen.
constexpr QPoint kClientPosition{217, 276};
constexpr QSize kClientSize{537, 180};

// A font with every attribute set, so that nothing of the window's own font leaks into it.
QFont fontOf(const QString& family, const QString& fallbackFamily, int pointSize,
             QFont::Weight weight) {
    QFont font;
    font.setFamily(QFontDatabase::hasFamily(family) ? family : fallbackFamily);
    font.setPointSize(pointSize);
    font.setWeight(weight);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QString fixedFamily() {
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

// Fixedsys: a fixed-pitch face at 9 pt.
QFont controlFont() {
    return fontOf(QStringLiteral("Fixedsys"), fixedFamily(), 9, QFont::Normal);
}

// MS Gothic is fixed-pitch too.
QFont buttonFont() {
    return fontOf(QStringLiteral("MS Gothic"), fixedFamily(), 12, QFont::Bold);
}

QFont windowFont() {
    return fontOf(QStringLiteral("Tahoma"),
                  QFontDatabase::systemFont(QFontDatabase::GeneralFont).family(), 12, QFont::Bold);
}

template <typename Widget>
Widget* place(Widget* widget, const char* name, const QRect& geometry, const QFont& font) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    widget->setFont(font);
    return widget;
}

}  // namespace

Form1::Form1(FormServices services)
    : fileChooser_(services.fileChooser),
      messages_(services.messages),
      endProgram_(std::move(services.endProgram)),
      describePort_(std::move(services.describePort)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Firmware Korvane V1.0"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QIcon icon;
    icon.addFile(QStringLiteral(":/korvane/korvane-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/korvane/korvane-16.png"), QSize(16, 16));
    setWindowIcon(icon);
    setFont(windowFont());

    buildControls();
    buildMenu();
    placeWindow();

    progress_ = std::make_unique<ProgressDisplay>(*progressBar_, *label3_, services.paceClock);
    host_ = std::make_unique<WindowHost>(
        HostControls{*optCOM0_, *optCOM1_, *cboPORT_, *cboSPEED_, *cmdSTART_}, *progress_,
        messages_, *this, exitRequested_, services.paceClock);
    sequence_ = std::make_unique<download::DownloadSequence>(
        *host_, services.serialPort, services.parallelPorts, services.clock);

    if (services.endRequestDescriptor >= 0) {
        auto* notifier =
            new QSocketNotifier(services.endRequestDescriptor, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
            // The descriptor stays readable: one request is enough.
            notifier->setEnabled(false);
            requestEnd();
        });
    }
}

Form1::~Form1() = default;

void Form1::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    const QFont fixed = controlFont();

    // Created in tab order, so that the focus chain starts at the frame's first option.
    frame1_ = place(new QGroupBox(QStringLiteral("Communication Interface Choice"), client),
                    "Frame1", {8, 8, 385, 129}, fixed);
    optCOM0_ = place(new QRadioButton(QStringLiteral("COM Port"), frame1_), "optCOM_0",
                     {24, 32, 89, 33}, fixed);
    optCOM1_ = place(new QRadioButton(QStringLiteral("LPT Port"), frame1_), "optCOM_1",
                     {24, 72, 89, 33}, fixed);
    cboPORT_ = place(new QComboBox(frame1_), "cboPORT", {248, 32, 113, 24}, fixed);
    label1_ = place(new QLabel(QStringLiteral("Port List :"), frame1_), "Label1", {152, 40, 89, 17},
                    fixed);
    label2_ = place(new QLabel(QStringLiteral("COM Speed :"), frame1_), "Label2", {152, 80, 89, 25},
                    fixed);
    for (QLabel* label : {label1_, label2_}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    cboSPEED_ = place(new QComboBox(frame1_), "cboSPEED", {248, 72, 113, 24}, fixed);
    line1_ = place(new QFrame(frame1_), "Line1", {128, 24, 1, 96}, fixed);
    line1_->setFrameShape(QFrame::VLine);
    line1_->setFrameShadow(QFrame::Plain);
    line1_->setLineWidth(1);

    cmdSTART_ = place(new ColourButton(QStringLiteral("Download Start"), client), "cmdSTART",
                      {400, 16, 129, 97}, buttonFont());
    cmdSTART_->setAutoDefault(false);
    cmdSTART_->setFaceColour(QColor::fromRgb(kLightRed));

    progressBar_ = place(new QProgressBar(client), "ProgressBar", {8, 144, 521, 25}, font());
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);

    label3_ = place(new QLabel(client), "Label3", {400, 120, 129, 25}, fixed);
    label3_->setAlignment(Qt::AlignRight | Qt::AlignTop);

    optCOM_ = new QButtonGroup(this);
    optCOM_->setObjectName(QStringLiteral("optCOM"));
    optCOM_->setExclusive(true);
    optCOM_->addButton(optCOM0_, 0);
    optCOM_->addButton(optCOM1_, 1);
    connect(optCOM_, &QButtonGroup::idToggled, this, [this](int index, bool checked) {
        if (checked) {
            optCOM_Click(index);
        }
    });
    for (QRadioButton* option : {optCOM0_, optCOM1_}) {
        option->installEventFilter(this);
    }

    connect(cmdSTART_, &QPushButton::clicked, this, [this] { cmdSTART_Click(); });
    // The tooltips are brought up to date as they are about to show: adapters come and go.
    cboPORT_->view()->installEventFilter(this);
    cmdSTART_->installEventFilter(this);
}

void Form1::buildMenu() {
    // The menus keep the desktop's font; the window's own font shows on no control.
    const QFont desktop = QApplication::font("QMenuBar");
    menuBar()->setFont(fontOf(desktop.family(), desktop.family(), desktop.pointSize(),
                              static_cast<QFont::Weight>(desktop.weight())));
    QMenu* file = menuBar()->addMenu(QStringLiteral("File(&F)"));
    file->setObjectName(QStringLiteral("mnuFile"));

    QAction* open = file->addAction(QStringLiteral("Open(&F)"));
    open->setObjectName(QStringLiteral("mnuFileOpen"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(open, &QAction::triggered, this, [this] { mnuFileOpen_Click(); });

    QAction* bar = file->addSeparator();
    bar->setObjectName(QStringLiteral("mnuFileBar0"));

    QAction* exit = file->addAction(QStringLiteral("Exit(&X)"));
    exit->setObjectName(QStringLiteral("mnuFileExit"));
    connect(exit, &QAction::triggered, this, [this] { mnuFileExit_Click(); });
}

void Form1::placeWindow() {
    // Qt places the window's contents, menu bar included; the client area sits below the menu.
    const int menuHeight = menuBar()->sizeHint().height();
    const QSize size(kClientSize.width(), kClientSize.height() + menuHeight);
    setFixedSize(size);
    setGeometry(QRect(kClientPosition - QPoint(0, menuHeight), size));
}

void Form1::Form_Load() {
    cboSPEED_->insertItem(0, QStringLiteral("4800"));
    cboSPEED_->insertItem(1, QStringLiteral("9600"));
    cboSPEED_->insertItem(2, QStringLiteral("19200"));
    cboSPEED_->insertItem(3, QStringLiteral("38400"));
    cboSPEED_->setCurrentIndex(3);
    cboSPEED_->setEnabled(false);
    cmdSTART_->setEnabled(false);
    show();
}

void Form1::optCOM_Click(int index) {
    cboPORT_->clear();
    if (index == 0) {
        cboSPEED_->setEnabled(true);
        cboPORT_->insertItem(0, QStringLiteral("COM1"));
        cboPORT_->insertItem(1, QStringLiteral("COM2"));
        cboPORT_->insertItem(2, QStringLiteral("COM3"));
        cboPORT_->insertItem(3, QStringLiteral("COM4"));
    }
    if (index == 1) {
        cboSPEED_->setEnabled(false);
        cboPORT_->addItem(QStringLiteral("LPT1"));
        cboPORT_->addItem(QStringLiteral("LPT2"));
    }
    cboPORT_->setCurrentIndex(0);
    setPortToolTips(index);
}

void Form1::setPortToolTips(int portType) {
    portListType_ = portType;
    for (int i = 0; describePort_ && i < cboPORT_->count(); ++i) {
        cboPORT_->setItemData(i, describePort_(portType, i), Qt::ToolTipRole);
    }
}

void Form1::setStartToolTip() {
    if (firmwarePath_.isEmpty()) {
        return;
    }
    const QFileInfo file(firmwarePath_);
    cmdSTART_->setToolTip(file.isFile()
                              ? QStringLiteral("%1 (%2 bytes)").arg(firmwarePath_).arg(file.size())
                              : QStringLiteral("%1 (cannot be read)").arg(firmwarePath_));
}

void Form1::mnuFileOpen_Click() {
    // *.dpx too: Linux file names are case-sensitive and the filter would hide those files.
    const QString chosen = fileChooser_.chooseFile(
        this, QStringLiteral("Open"), QStringLiteral("Firmware File(*.DPX) (*.DPX *.dpx)"),
        dialogFileName_);
    if (!chosen.isEmpty()) {
        dialogFileName_ = chosen;
    }
    if (dialogFileName_.isEmpty()) {
        return;
    }
    firmwarePath_ = dialogFileName_;
    setStartToolTip();
    cmdSTART_->setFaceColour(QColor::fromRgb(kLightGreen));
    cmdSTART_->setEnabled(true);
}

void Form1::mnuFileExit_Click() {
    requestEnd();
}

void Form1::requestEnd() {
    exitRequested_ = true;
    if (downloadsRunning_ > 0) {
        // The download unwinds at its next pause for events, then the program ends. A message
        // box that is up (only a signal can reach us then) is closed, so the end is not
        // waiting for a click.
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
        hide();
        return;
    }
    endProgram();
}

download::UserChoices Form1::choices() const {
    // A path is bytes on Linux; the file system's own encoding gets them back unchanged.
    return {.firmwarePath = QFile::encodeName(firmwarePath_).toStdString(),
            .serial = optCOM0_->isChecked(),
            .portIndex = cboPORT_->currentIndex(),
            .speedText = cboSPEED_->currentText().toStdString()};
}

void Form1::cmdSTART_Click() {
    ++downloadsRunning_;
    try {
        sequence_->run(choices());
    } catch (const download::DownloadAbandoned&) {
        // The engine released the port on its way out. A stop noticed inside a wait for the
        // printer, where no events run, arrives here first: the program ends all the same.
        exitRequested_ = true;
    } catch (const std::exception& error) {
        // Nothing may escape into Qt's event loop, and the window must not stay locked.
        host_->showMessage(download::Outcome::PortError, error.what());
        unlockControls();
    }
    --downloadsRunning_;
    progress_->flush();
    if (exitRequested_ && downloadsRunning_ == 0) {
        endProgram();
    }
}

void Form1::unlockControls() {
    for (const auto control : download::kSelectionControls) {
        host_->setEnabled(control, true);
    }
}

void Form1::endProgram() {
    if (endProgram_) {
        endProgram_();
    } else {
        QCoreApplication::quit();
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    if (downloadsRunning_ > 0) {
        // The transfer must not go on against a closed window: end it as File > Exit does.
        event->ignore();
        requestEnd();
        return;
    }
    QMainWindow::closeEvent(event);
    endProgram();
}

void Form1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (initialFocusGiven_) {
        return;
    }
    initialFocusGiven_ = true;
    // The focus goes to the first tab stop even when the window system does not activate the
    // window, and an option taking the focus is selected.
    if (QWidget* first = firstTabStop()) {
        first->setFocus(Qt::ActiveWindowFocusReason);
        selectOptionTakingFocus(first);
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        selectOptionTakingFocus(watched);
    }
    if (watched == cboPORT_->view() && event->type() == QEvent::Show) {
        setPortToolTips(portListType_);
    }
    if (watched == cmdSTART_ && event->type() == QEvent::ToolTip) {
        setStartToolTip();
    }
    return QMainWindow::eventFilter(watched, event);
}

QWidget* Form1::firstTabStop() {
    for (QWidget* widget = nextInFocusChain(); widget != this;
         widget = widget->nextInFocusChain()) {
        if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget->isEnabled() &&
            widget->isVisibleTo(this) && isAncestorOf(widget)) {
            return widget;
        }
    }
    return nullptr;
}

void Form1::selectOptionTakingFocus(QObject* widget) {
    // Qt leaves a radio button unselected when it takes the focus; these options select.
    for (QRadioButton* option : {optCOM0_, optCOM1_}) {
        if (widget == option && option->isEnabled() && !option->isChecked()) {
            option->setChecked(true);
        }
    }
}

}  // namespace korvane::ui
