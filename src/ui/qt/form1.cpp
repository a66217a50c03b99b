#include "ui/qt/form1.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
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
#include <QMimeData>
#include <QProgressBar>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QUrl>
#include <array>
#include <string>
#include <vector>

#include "ui/form/form_layout.h"
#include "ui/qt/colour_button.h"
#include "ui/qt/progress_display.h"
#include "ui/qt/window_host.h"

namespace korvane::ui {

namespace {

// Qt scales for the screen itself: the design's pixels are those at 96 dpi.
constexpr int kDpi = 96;

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

// The design's font, or a stand-in of the same size and weight: fixed-pitch for the controls'
// faces, the desktop's own for the window's.
QFont qtFont(const form::Font& design) {
    const QString fallback = &design == &form::kWindowFont
                                 ? QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()
                                 : fixedFamily();
    return fontOf(QString::fromUtf8(design.face.data(), static_cast<qsizetype>(design.face.size())),
                  fallback, design.points, static_cast<QFont::Weight>(design.weight));
}

// A 0x00BBGGRR value.
QColor colourOf(form::Colour colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

// "description|pattern;pattern" as Qt's file dialog reads it: "description (patterns)", each
// pattern also in lower case, since Linux file names are case-sensitive and the filter would
// hide "*.dpx" files.
QString qtNameFilter(const std::string& filter) {
    const QString text = QString::fromStdString(filter);
    const qsizetype bar = text.indexOf('|');
    QStringList patterns;
    for (const QString& pattern : text.mid(bar + 1).split(';', Qt::SkipEmptyParts)) {
        patterns << pattern;
        if (pattern.toLower() != pattern) {
            patterns << pattern.toLower();
        }
    }
    return QStringLiteral("%1 (%2)").arg(text.left(bar), patterns.join(' '));
}

// A path is bytes on Linux; the file system's own encoding carries them unchanged.
std::string pathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString pathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// What a drag carries, one entry per item: its local path, or empty when it is not a local
// file.
std::vector<std::string> droppedPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    for (const QUrl& url : data != nullptr ? data->urls() : QList<QUrl>()) {
        paths.push_back(url.isLocalFile() ? pathBytes(url.toLocalFile()) : std::string());
    }
    return paths;
}

}  // namespace

// The window as FormBehaviour sees it: the controls, and the engine's host.
class Form1::View final : public form::FormView {
  public:
    explicit View(Form1& form) : form_(form) {}

    void clearList(form::List list) override { box(list).clear(); }
    void addListEntry(form::List list, const std::string& text) override {
        box(list).addItem(QString::fromStdString(text));
    }
    void chooseListEntry(form::List list, int index) override { box(list).setCurrentIndex(index); }
    int chosenListEntry(form::List list) const override { return box(list).currentIndex(); }
    std::string chosenListText(form::List list) const override {
        return box(list).currentText().toStdString();
    }
    bool serialSelected() const override { return form_.optCOM0_->isChecked(); }

    void setStartColour(form::Colour colour) override {
        form_.cmdSTART_->setFaceColour(colourOf(colour));
    }
    void setStartToolTip(const std::string& text) override {
        form_.cmdSTART_->setToolTip(pathText(text));
    }

    void showWindow() override { form_.show(); }
    void hideWindow() override {
        // Only a signal can reach us while a message box is up; the end must not wait for a
        // click.
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
        form_.hide();
    }
    void letSystemEventsRun() override {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    void endProgram() override { form_.endProgram(); }

    std::string chooseFile(const std::string& title, const std::string& filter,
                           const std::string& fileName) override {
        return pathBytes(form_.fileChooser_.chooseFile(&form_, QString::fromStdString(title),
                                                       qtNameFilter(filter), pathText(fileName)));
    }

    download::Host& host() override { return *form_.host_; }

  private:
    QComboBox& box(form::List list) const {
        return list == form::List::Port ? *form_.cboPORT_ : *form_.cboSPEED_;
    }

    Form1& form_;
};

Form1::Form1(FormServices services)
    : fileChooser_(services.fileChooser),
      messages_(services.messages),
      endProgram_(std::move(services.endProgram)),
      describePort_(std::move(services.describePort)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(
        QString::fromUtf8(form::kTitle.data(), static_cast<qsizetype>(form::kTitle.size())));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QIcon icon;
    icon.addFile(QStringLiteral(":/korvane/korvane-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/korvane/korvane-16.png"), QSize(16, 16));
    setWindowIcon(icon);
    setFont(qtFont(form::kWindowFont));

    buildControls();
    buildMenu();
    placeWindow();

    progress_ = std::make_unique<ProgressDisplay>(*progressBar_, *label3_, services.paceClock);
    host_ = std::make_unique<WindowHost>(
        HostControls{*optCOM0_, *optCOM1_, *cboPORT_, *cboSPEED_, *cmdSTART_}, *progress_,
        messages_, *this, [this] { return behaviour_ && behaviour_->endRequested(); },
        services.paceClock);
    view_ = std::make_unique<View>(*this);
    behaviour_ = std::make_unique<form::FormBehaviour>(*view_, services.serialPort,
                                                       services.parallelPorts, services.clock);
    setAcceptDrops(true);

    if (services.endRequestDescriptor >= 0) {
        auto* notifier =
            new QSocketNotifier(services.endRequestDescriptor, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
            // The descriptor stays readable: one request is enough.
            notifier->setEnabled(false);
            behaviour_->Form_Terminate();
        });
    }
}

Form1::~Form1() = default;

void Form1::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    // Created in tab order, so that the focus chain starts at the frame's first option.
    std::array<QWidget*, form::kControls.size()> widgets{};
    for (std::size_t i = 0; i < form::kControls.size(); ++i) {
        const form::Control& entry = form::kControls[i];
        QWidget* parent = entry.container == form::Container::Frame1
                              ? widgets[static_cast<std::size_t>(form::Id::Frame1)]
                              : client;
        const QString caption =
            QString::fromUtf8(entry.caption.data(), static_cast<qsizetype>(entry.caption.size()));
        QWidget* widget = nullptr;
        switch (entry.kind) {
            case form::Kind::Frame:
                widget = new QGroupBox(caption, parent);
                break;
            case form::Kind::Option:
                widget = new QRadioButton(caption, parent);
                break;
            case form::Kind::List:
                widget = new QComboBox(parent);
                break;
            case form::Kind::Label:
                widget = new QLabel(caption, parent);
                break;
            case form::Kind::Button:
                widget = new ColourButton(caption, parent);
                break;
            case form::Kind::ProgressBar:
                widget = new QProgressBar(parent);
                break;
            case form::Kind::Line:
                widget = new QFrame(parent);
                break;
        }
        const form::Pixels at = form::placeInContainer(entry, kDpi);
        widget->setObjectName(
            QLatin1String(entry.name.data(), static_cast<qsizetype>(entry.name.size())));
        widget->setGeometry(at.left, at.top, at.width, at.height);
        widget->setFont(entry.font != nullptr ? qtFont(*entry.font) : font());
        widgets[i] = widget;
    }
    const auto widget = [&widgets](form::Id id) { return widgets[static_cast<std::size_t>(id)]; };
    frame1_ = static_cast<QGroupBox*>(widget(form::Id::Frame1));
    optCOM0_ = static_cast<QRadioButton*>(widget(form::Id::OptCom0));
    optCOM1_ = static_cast<QRadioButton*>(widget(form::Id::OptCom1));
    cboPORT_ = static_cast<QComboBox*>(widget(form::Id::CboPort));
    label1_ = static_cast<QLabel*>(widget(form::Id::Label1));
    label2_ = static_cast<QLabel*>(widget(form::Id::Label2));
    cboSPEED_ = static_cast<QComboBox*>(widget(form::Id::CboSpeed));
    cmdSTART_ = static_cast<ColourButton*>(widget(form::Id::CmdStart));
    progressBar_ = static_cast<QProgressBar*>(widget(form::Id::ProgressBar));
    label3_ = static_cast<QLabel*>(widget(form::Id::Label3));
    line1_ = static_cast<QFrame*>(widget(form::Id::Line1));

    for (QLabel* label : {label1_, label2_}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    line1_->setFrameShape(QFrame::VLine);
    line1_->setFrameShadow(QFrame::Plain);
    line1_->setLineWidth(1);
    cmdSTART_->setAutoDefault(false);
    cmdSTART_->setFaceColour(colourOf(form::kLightRed));
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
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
    const auto text = [](std::string_view view) {
        return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size()));
    };
    QMenu* file = menuBar()->addMenu(text(form::kMenu[0].caption));
    file->setObjectName(text(form::kMenu[0].name));
    for (std::size_t i = 1; i < form::kMenu.size(); ++i) {
        const form::MenuEntry& entry = form::kMenu[i];
        QAction* action =
            entry.caption == "-" ? file->addSeparator() : file->addAction(text(entry.caption));
        action->setObjectName(text(entry.name));
        action->setShortcut(QKeySequence(text(entry.shortcut)));
        if (entry.name == "mnuFileOpen") {
            connect(action, &QAction::triggered, this, [this] { mnuFileOpen_Click(); });
        } else if (entry.name == "mnuFileExit") {
            connect(action, &QAction::triggered, this, [this] { mnuFileExit_Click(); });
        }
    }
}

void Form1::placeWindow() {
    // Qt places the window's contents, menu bar included; the client area sits below the menu.
    const int menuHeight = menuBar()->sizeHint().height();
    const QSize size(form::twipsToPixels(form::kClient.width, kDpi),
                     form::twipsToPixels(form::kClient.height, kDpi) + menuHeight);
    setFixedSize(size);
    setGeometry(QRect(QPoint(form::twipsToPixels(form::kClient.left, kDpi),
                             form::twipsToPixels(form::kClient.top, kDpi) - menuHeight),
                      size));
}

void Form1::Form_Load() {
    behaviour_->Form_Load();
}

void Form1::optCOM_Click(int index) {
    behaviour_->optCOM_Click(index);
    setPortToolTips(index);
}

void Form1::setPortToolTips(int portType) {
    portListType_ = portType;
    for (int i = 0; describePort_ && i < cboPORT_->count(); ++i) {
        cboPORT_->setItemData(i, describePort_(portType, i), Qt::ToolTipRole);
    }
}

void Form1::mnuFileOpen_Click() {
    behaviour_->mnuFileOpen_Click();
}

void Form1::mnuFileExit_Click() {
    behaviour_->mnuFileExit_Click();
}

void Form1::cmdSTART_Click() {
    behaviour_->cmdSTART_Click();
    progress_->flush();
}

void Form1::chooseFile(const QString& path) {
    behaviour_->fileChosen(pathBytes(path.isEmpty() ? path : QFileInfo(path).absoluteFilePath()));
}

QString Form1::firmwarePath() const {
    return pathText(behaviour_->firmwarePath());
}

void Form1::endProgram() {
    if (endProgram_) {
        endProgram_();
    } else {
        QCoreApplication::quit();
    }
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

// The cursor tells before the drop whether the window takes it.
void Form1::dragMoveEvent(QDragMoveEvent* event) {
    if (form::FormBehaviour::acceptsDrop(droppedPaths(event->mimeData()))) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void Form1::dropEvent(QDropEvent* event) {
    if (behaviour_->fileDropped(droppedPaths(event->mimeData()))) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    if (behaviour_->mayClose()) {
        QMainWindow::closeEvent(event);
    } else {
        // The window stays, hidden, while the download unwinds.
        event->ignore();
    }
    behaviour_->Form_Terminate();
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
        view_->setStartToolTip(behaviour_->startToolTip());
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
