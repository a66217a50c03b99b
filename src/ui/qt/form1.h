#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

#include "download/clock.h"
#include "download/port_io.h"
#include "download/serial_port.h"
#include "ui/form/form_behaviour.h"
#include "ui/qt/file_chooser.h"
#include "ui/qt/message_presenter.h"

class QAction;
class QButtonGroup;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QProgressBar;
class QRadioButton;

namespace korvane::ui {

class ColourButton;
class ProgressDisplay;
class WindowHost;

// What the window works with but does not own. main() passes the real ones; tests pass fakes.
struct FormServices {
    FileChooser& fileChooser;
    MessagePresenter& messages;
    download::SerialPort& serialPort;
    download::ParallelPorts& parallelPorts;
    download::Clock& clock;
    // Ends the program; QCoreApplication::quit when empty.
    std::function<void()> endProgram;
    // Paces the window's repaints and event handling during a download; a steady clock when
    // null. Kept apart from the download's clock, whose readings the transfers own.
    download::Clock* paceClock = nullptr;
    // Readable once the program is asked to end from outside (a signal); -1 for none. The
    // window then ends as File > Exit does.
    int endRequestDescriptor = -1;
    // The tooltip of a cboPORT entry: the device behind it, or that none is (port type as
    // optCOM's index, list index). No tooltips when empty.
    std::function<QString(int portType, int index)> describePort = nullptr;
};

// The main window drawn by Qt; its handlers and state are form::FormBehaviour's. Its controls
// carry their design names as object names: ProgressBar, cmdSTART, Frame1, cboSPEED, cboPORT,
// optCOM_0 ("COM Port"), optCOM_1 ("LPT Port"), Label1, Label2, Line1, Label3 and the menu
// mnuFile, mnuFileOpen, mnuFileBar0, mnuFileExit. A file dropped on it is chosen as File > Open
// chooses one.
class Form1 final : public QMainWindow {
    Q_OBJECT

  public:
    explicit Form1(FormServices services);
    ~Form1() override;

    // The handlers, named after their control and event.
    void Form_Load();
    void optCOM_Click(int index);
    void mnuFileOpen_Click();
    void mnuFileExit_Click();
    void cmdSTART_Click();

    // A file named on the command line: chosen as File > Open chooses one.
    void chooseFile(const QString& path);

    QString firmwarePath() const;
    bool downloadRunning() const { return behaviour_->downloadRunning(); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    class View;

    void buildControls();
    void buildMenu();
    void placeWindow();
    QWidget* firstTabStop();
    void selectOptionTakingFocus(QObject* widget);
    void setPortToolTips(int portType);
    void endProgram();

    FileChooser& fileChooser_;
    MessagePresenter& messages_;
    std::function<void()> endProgram_;
    std::function<QString(int, int)> describePort_;

    QProgressBar* progressBar_ = nullptr;
    ColourButton* cmdSTART_ = nullptr;
    QGroupBox* frame1_ = nullptr;
    QComboBox* cboSPEED_ = nullptr;
    QComboBox* cboPORT_ = nullptr;
    QRadioButton* optCOM1_ = nullptr;
    QRadioButton* optCOM0_ = nullptr;
    QButtonGroup* optCOM_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* label1_ = nullptr;
    QFrame* line1_ = nullptr;
    QLabel* label3_ = nullptr;

    int portListType_ = -1;  // the optCOM index the port list was filled for
    bool initialFocusGiven_ = false;

    std::unique_ptr<ProgressDisplay> progress_;
    std::unique_ptr<WindowHost> host_;
    std::unique_ptr<View> view_;
    std::unique_ptr<form::FormBehaviour> behaviour_;
};

}  // namespace korvane::ui
