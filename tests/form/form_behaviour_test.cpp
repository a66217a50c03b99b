// The window's handlers and state as a view sees them: each row a path through the window.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>

#include "download/messages.h"
#include "support/null_ports.h"
#include "support/scripted_serial_port.h"
#include "ui/form/form_behaviour.h"

namespace {

using korvane::download::Control;
using korvane::ui::form::List;
namespace form = korvane::ui::form;

// The window as state: what the handlers left on it.
struct FakeView final : form::FormView, korvane::download::Host {
    std::vector<std::string> lists[2];
    int chosen[2] = {-1, -1};
    bool enabled[5] = {true, true, true, true, true};  // as built
    form::Colour colour = form::kLightRed;
    bool serial = false, shown = false, hidden = false;
    int ends = 0;
    std::vector<std::string> answers, dialogStarts;
    std::string messages, label;
    std::function<void()> onPause;   // runs at the download's first pause
    std::function<void()> onSystem;  // runs when the window system's events first run

    void clearList(List list) override { lists[int(list)].clear(); }
    void addListEntry(List list, const std::string& text) override {
        lists[int(list)].push_back(text);
    }
    void chooseListEntry(List list, int index) override { chosen[int(list)] = index; }
    int chosenListEntry(List list) const override { return chosen[int(list)]; }
    std::string chosenListText(List list) const override {
        return chosen[int(list)] < 0 ? "" : lists[int(list)].at(chosen[int(list)]);
    }
    bool serialSelected() const override { return serial; }
    void setStartColour(form::Colour value) override { colour = value; }
    void setStartToolTip(const std::string&) override {}
    void showWindow() override { shown = true; }
    void hideWindow() override { hidden = true; }
    void letSystemEventsRun() override {
        if (auto events = std::exchange(onSystem, nullptr)) {
            events();
        }
    }
    void endProgram() override { ++ends; }
    std::string chooseFile(const std::string& title, const std::string& filter,
                           const std::string& fileName) override {
        EXPECT_EQ(title + filter, "OpenFirmware File(*.DPX)|*.DPX");
        dialogStarts.push_back(fileName);
        const std::string answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    korvane::download::Host& host() override { return *this; }
    void setEnabled(Control control, bool on) override { enabled[int(control)] = on; }
    void setProgressVisible(bool) override {}
    void setProgressRange(float, float) override {}
    void setProgressValue(float) override {}
    void setProgressText(std::int32_t position, std::int32_t total) override {
        label = korvane::download::formatProgressText(position, total);
    }
    void showMessage(korvane::download::Outcome, const std::string& text) override {
        messages += (messages.empty() ? "" : "|") +
                    (text == korvane::download::messages::kSuccess ? "S" : text);
    }
    void letPendingEventsRun() override {
        if (auto pause = std::exchange(onPause, nullptr)) {
            pause();
        }
    }

    // The enabled controls (c l p s b: COM option, LPT option, port list, speed list, start),
    // the start button's colour (R, G) and the window (h hidden, e ended).
    std::string state() const {
        std::string text;
        for (int i = 0; i < 5; ++i) {
            text += enabled[i] ? "clpsb"[i] : '-';
        }
        text += colour == form::kLightGreen ? " G" : colour == form::kLightRed ? " R" : " ?";
        const std::string window = (hidden ? "h" : "") + std::string(ends, 'e');
        return window.empty() ? text : text + " " + window;
    }
};

struct Window {
    // "good" (13 bytes) and "other" send whole, "empty" is empty, "dir" a folder; "web" stands
    // for what is not a local file.
    std::filesystem::path root = std::filesystem::temp_directory_path() /
                                 ("korvane-form-" + std::to_string(std::random_device{}()));
    FakeView view;
    korvane::testing::FakeClock clock;
    std::vector<std::string> portLog;
    korvane::testing::ScriptedSerialPort serial{clock, portLog};
    korvane::testing::NullParallelPorts parallel;
    form::FormBehaviour behaviour{view, serial, parallel, clock};
    bool closed = false;
    std::string during;  // the state that the pause's steps left

    Window() {
        std::filesystem::create_directories(root / "dir");
        std::ofstream(root / "good", std::ios::binary) << "AB\r\nCD\r\nE\x17x\r\n";
        std::ofstream(root / "other", std::ios::binary) << "ABCDEFG\x17\r\n";
        std::ofstream(root / "empty", std::ios::binary);
    }
    ~Window() { std::filesystem::remove_all(root); }
    std::string path(const std::string& alias) const {
        return alias.empty() || alias == "web" ? "" : (root / alias).string();
    }

    // One step of a user; "during:a,b" runs a and b at the next pause of a download.
    void step(const std::string& step) {
        const std::string verb = step.substr(0, step.find('='));
        const std::string value = step.substr(std::min(step.size(), verb.size() + 1));
        std::vector<std::string> items;
        std::istringstream list(value);
        for (std::string item; std::getline(list, item, '+');) {
            items.push_back(path(item));
        }
        if (verb.starts_with("system:")) {
            view.onSystem = [this, steps = step.substr(7)] { this->step(steps); };
        } else if (verb.starts_with("during:")) {
            view.onPause = [this, steps = step.substr(7)] {
                std::istringstream list(steps);
                for (std::string each; std::getline(list, each, ',');) {
                    this->step(each);
                }
                during = view.state();
            };
        } else if (verb == "load") {
            behaviour.Form_Load();
        } else if (verb == "com" || verb == "lpt") {
            view.serial = verb == "com";
            behaviour.optCOM_Click(verb == "com" ? 0 : 1);
        } else if (verb == "speed" || verb == "port") {
            view.chosen[int(verb == "port" ? List::Port : List::Speed)] = std::stoi(value);
        } else if (verb == "open") {
            view.answers.push_back(path(value));
            behaviour.mnuFileOpen_Click();
        } else if (verb == "file") {
            behaviour.fileChosen(path(value));
        } else if (verb == "drop") {
            behaviour.fileDropped(items);
        } else if (verb == "start") {
            behaviour.cmdSTART_Click();
        } else if (verb == "exit") {
            behaviour.mnuFileExit_Click();
        } else if (verb == "close") {
            closed = behaviour.mayClose();
            behaviour.Form_Terminate();
        } else if (verb == "throw") {
            throw std::runtime_error("the window system failed");
        }
    }
};

struct Row {
    const char* name;
    const char* steps;
    const char* ports;     // "COM", "LPT" or "" (no entries), each with its first entry chosen
    const char* speed;     // the chosen speed
    const char* state;     // as FakeView::state says
    const char* files;     // FirmwarePath's file, then ":" and where each dialog opening started
    const char* messages;  // "S" for success, "|" between
    const char* label;     // Label3
    const char* during;    // the state at the download's pause
};

const Row kRows[] = {
    {"Form_Load alone", "load", "", "38400", "clp-- R", "", "", "", ""},
    {"first sight", "load com", "COM", "38400", "clps- R", "", "", "", ""},
    {"LPT", "load com port=2 lpt", "LPT", "38400", "clp-- R", "", "", "", ""},
    {"speed kept", "load com speed=1 port=3 lpt com", "COM", "9600", "clps- R", "", "", "", ""},
    {"first cancel", "load com open=", "COM", "38400", "clps- R", ":", "", "", ""},
    {"file chosen", "load com open=good", "COM", "38400", "clpsb G", "good:", "", "", ""},
    {"cancel re-chooses", "load com open=good open=", "COM", "38400", "clpsb G", "good:,good", "",
     "", ""},
    {"chosen twice", "load com open=good open=other", "COM", "38400", "clpsb G", "other:,good", "",
     "", ""},
    {"chosen with LPT", "load com lpt open=good", "LPT", "38400", "clp-b G", "good:", "", "", ""},
    {"download", "load com open=good start", "COM", "38400", "clpsb G", "good:", "S", "13/13", ""},
    {"empty file unlocks", "load com open=empty start", "COM", "38400", "clpsb G", "empty:",
     "Firmware file not open.\nThe file is empty (0 bytes): there is nothing to send.", "", ""},
    {"open during a download", "load com open=good during:open=other start", "COM", "38400",
     "clpsb G", "other:,good", "S", "13/13", "----b G"},
    {"cancel during a download", "load com open=good during:open= start", "COM", "38400", "clpsb G",
     "good:,good", "S", "13/13", "----b G"},
    {"second start refused", "load com open=good during:open=,start start", "COM", "38400",
     "clpsb G", "good:,good",
     "A download is already running. Wait for it to end before you start another.|S", "13/13",
     "----b G"},
    {"exit during a download", "load com open=good during:exit start", "COM", "38400", "----- G he",
     "good:", "", "", "----- G h"},
    {"close during a download", "load com open=good during:close start", "COM", "38400",
     "----- G he", "good:", "", "", "----- G h"},
    // The window system's own close, queued while the printer was waited for, is seen before
    // the closing message, which then never comes up.
    {"close before the message", "load com open=good system:close start", "COM", "38400",
     "clpsb G he", "good:", "", "13/13", ""},
    {"failure in a pause", "load com open=good during:throw start", "COM", "38400", "clpsb G",
     "good:", "the window system failed", "", ""},
    {"failure after exit", "load com open=good during:exit,throw start", "COM", "38400",
     "clpsb G he", "good:", "", "", ""},
    {"exit idle", "load com exit", "COM", "38400", "clps- R e", "", "", "", ""},
    {"close idle", "load com close", "COM", "38400", "clps- R e", "", "", "", ""},
    {"one file dropped", "load com drop=good", "COM", "38400", "clpsb G", "good", "", "", ""},
    {"two files dropped", "load com drop=good+other", "COM", "38400", "clps- R", "", "", "", ""},
    {"web address dropped", "load com drop=web", "COM", "38400", "clps- R", "", "", "", ""},
    {"folder dropped", "load com drop=dir", "COM", "38400", "clps- R", "", "", "", ""},
    {"drop, then cancel", "load com open=good drop=other open=", "COM", "38400", "clpsb G",
     "other:,other", "", "", ""},
    {"drop during a download", "load com open=good during:drop=other start", "COM", "38400",
     "clpsb G", "other:", "S", "13/13", "----b G"},
    {"command line", "load file=good com", "COM", "38400", "clpsb G", "good", "", "", ""},
    {"empty command line", "load file= com", "COM", "38400", "clps- R", "", "", "", ""},
};

TEST(FormBehaviour, PathsThroughTheWindow) {
    const std::map<std::string, std::vector<std::string>> ports = {
        {"COM", {"COM1", "COM2", "COM3", "COM4"}}, {"LPT", {"LPT1", "LPT2"}}, {"", {}}};
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        Window w;
        std::istringstream steps(row.steps);
        for (std::string step; steps >> step;) {
            w.step(step);
        }
        EXPECT_EQ(w.view.lists[0], ports.at(row.ports));
        EXPECT_EQ(w.view.chosen[0], *row.ports != 0 ? 0 : -1);
        EXPECT_EQ(w.view.lists[1], (std::vector<std::string>{"4800", "9600", "19200", "38400"}));
        EXPECT_EQ(w.view.chosenListText(List::Speed), row.speed);
        EXPECT_EQ(w.view.state(), row.state);
        const auto name = [](const std::string& path) {
            return std::filesystem::path(path).filename().string();
        };
        std::string files = name(w.behaviour.firmwarePath());
        for (std::size_t i = 0; i < w.view.dialogStarts.size(); ++i) {
            files += (i == 0 ? ":" : ",") + name(w.view.dialogStarts[i]);
        }
        EXPECT_EQ(files, row.files);
        EXPECT_EQ(w.view.messages, row.messages);
        EXPECT_EQ(w.view.label, row.label);
        EXPECT_EQ(w.during, row.during);
        // The printer gets the whole image exactly when Label3 ends at its size.
        EXPECT_EQ(w.serial.writes.size() == 3, std::string(row.label) == "13/13");
        EXPECT_EQ(w.closed, std::string(row.steps).ends_with(" close"));
        EXPECT_EQ(w.view.shown, std::string(row.steps).starts_with("load"));
        EXPECT_FALSE(w.serial.open_ || w.behaviour.downloadRunning());
    }
}

}  // namespace
