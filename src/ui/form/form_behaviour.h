#pragma once

#include <memory>
#include <string>
#include <vector>

#include "download/clock.h"
#include "download/download_sequence.h"
#include "download/port_io.h"
#include "download/serial_port.h"
#include "ui/form/form_view.h"

namespace korvane::ui::form {

// The title and filter of the file-open dialog, as FormView::chooseFile receives them.
inline constexpr const char* kDialogTitle = "Open";
inline constexpr const char* kDialogFilter = "Firmware File(*.DPX)|*.DPX";

// The main window's handlers and state, without a toolkit: both windows drive it through their
// FormView. The toolkit calls a handler when its event comes; the handler acts on the view.
class FormBehaviour {
  public:
    FormBehaviour(FormView& view, download::SerialPort& serialPort,
                  download::ParallelPorts& parallelPorts, download::Clock& clock,
                  image::OpenFailureAccount openFailureAccount = nullptr);
    ~FormBehaviour();
    FormBehaviour(const FormBehaviour&) = delete;
    FormBehaviour& operator=(const FormBehaviour&) = delete;

    // Fills the speed list, disables it and the start button, shows the window. The toolkit
    // then gives the focus to "COM Port", which selects it and calls optCOM_Click(0).
    void Form_Load();
    // An option of optCOM became selected: 0 "COM Port", 1 "LPT Port".
    void optCOM_Click(int index);
    void mnuFileOpen_Click();
    void mnuFileExit_Click();
    // The window is closing, or the program was asked to end from outside (a signal, the
    // session ending). Idle, the program ends; during a download, the download is abandoned
    // first. The toolkit lets the window close only when mayClose() was true.
    void Form_Terminate();
    // One download; returns when it is over. A second press while one runs is refused.
    void cmdSTART_Click();

    // A file chosen other than through the dialog, as File > Open chooses one: dropped on the
    // window, or named on the command line (made a full path by the toolkit, and chosen after
    // Form_Load). The dialog starts from it next time. An empty path changes nothing.
    void fileChosen(const std::string& path);
    // A drop, one entry per dropped item: its local path, or empty when it is not a local file.
    // Exactly one local file that is not a folder is accepted; anything else is refused and
    // changes nothing (a multiple selection could load firmware the user did not mean).
    static bool acceptsDrop(const std::vector<std::string>& localPaths);
    // Chooses the dropped file when acceptsDrop; returns whether it did.
    bool fileDropped(const std::vector<std::string>& localPaths);

    bool mayClose() const { return downloadsRunning_ == 0; }
    bool downloadRunning() const { return downloadsRunning_ > 0; }
    bool endRequested() const { return endRequested_; }
    const std::string& firmwarePath() const { return firmwarePath_; }
    // What cmdSTART's tooltip says now: the file and its size, or that it cannot be read.
    std::string startToolTip() const;

  private:
    class EngineHost;

    void requestEnd();
    download::UserChoices choices() const;

    FormView& view_;
    std::string firmwarePath_;
    // The dialog's own file name: it survives a cancelled opening.
    std::string dialogFileName_;
    int downloadsRunning_ = 0;
    bool endRequested_ = false;
    std::unique_ptr<EngineHost> engineHost_;
    std::unique_ptr<download::DownloadSequence> sequence_;
};

}  // namespace korvane::ui::form
