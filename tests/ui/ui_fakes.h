#pragma once

#include <unistd.h>

#include <QApplication>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "download/clock.h"
#include "download/port_error.h"
#include "download/port_io.h"
#include "download/serial_port.h"
#include "support/fake_clock.h"
#include "ui/qt/file_chooser.h"
#include "ui/qt/form1.h"
#include "ui/qt/message_presenter.h"

namespace korvane::ui::testing {

// Answers each opening with the next answer; "" is a cancel.
class FakeFileChooser final : public FileChooser {
  public:
    struct Opening {
        QString title;
        QString filter;
        QString startFile;
    };

    QString chooseFile(QWidget*, const QString& title, const QString& filter,
                       const QString& startFile) override {
        openings.push_back({title, filter, startFile});
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }

    QStringList answers;
    std::vector<Opening> openings;
};

class RecordingPresenter final : public MessagePresenter {
  public:
    void show(QWidget*, const QString& text) override {
        messages << text;
        if (onShow) {
            onShow(text);
        }
    }

    QStringList messages;
    std::function<void(const QString&)> onShow;
};

using korvane::testing::FakeClock;

// A serial printer that acknowledges every record at once, unless told to stay silent.
class FakeSerialPort final : public download::SerialPort {
  public:
    bool isOpen() const override { return open_; }
    void close() noexcept override { open_ = false; }
    void setPortNumber(int number) override { portNumber = number; }
    void setSettings(const std::string& text) override { settings = text; }
    void open() override {
        if (!openError.empty()) {
            throw download::PortError(openError);
        }
        open_ = true;
    }
    void write(std::span<const std::uint8_t> bytes) override {
        writes.emplace_back(bytes.begin(), bytes.end());
        if (onWrite) {
            onWrite(writes.size());
        }
    }
    std::vector<std::uint8_t> readAll(download::Clock::TimePoint) override {
        if (onRead) {
            onRead(writes.size());
        }
        if (silent) {
            return {};
        }
        return {0x06};
    }

    int portNumber = 0;
    std::string settings;
    std::string openError;
    bool silent = false;
    std::vector<std::vector<std::uint8_t>> writes;
    // Called after each write with the number of writes so far.
    std::function<void(std::size_t)> onWrite;
    // Called as each wait for an answer begins, with the number of writes so far.
    std::function<void(std::size_t)> onRead;

  private:
    bool open_ = false;
};

// A parallel printer with a fixed status; the data bytes written are kept.
class FakeParallelPorts final : public download::ParallelPorts {
  public:
    class Port final : public download::PortIo {
      public:
        Port(FakeParallelPorts& owner, std::uint16_t base) : owner_(owner), base_(base) {}
        ~Port() override { ++owner_.releases; }
        Port(const Port&) = delete;
        Port& operator=(const Port&) = delete;
        std::uint8_t read(std::uint16_t) override {
            if (owner_.onStatusRead) {
                owner_.onStatusRead();
            }
            return owner_.status;
        }
        void write(std::uint16_t address, std::uint8_t value) override {
            if (address == base_) {
                owner_.data.push_back(value);
                if (owner_.onData) {
                    owner_.onData(owner_.data.size());
                }
            }
        }

      private:
        FakeParallelPorts& owner_;
        std::uint16_t base_;
    };

    std::unique_ptr<download::PortIo> claim(std::uint16_t baseAddress) override {
        claims.push_back(baseAddress);
        return std::make_unique<Port>(*this, baseAddress);
    }

    std::uint8_t status = 0xDF;  // not busy, no fault
    std::vector<std::uint16_t> claims;
    int releases = 0;
    std::vector<std::uint8_t> data;
    // Called after each data byte with the number of bytes so far.
    std::function<void(std::size_t)> onData;
    std::function<void()> onStatusRead;
};

// The write end stands for a signal: a byte in it asks the window to end.
struct EndRequestPipe {
    EndRequestPipe() {
        if (::pipe(ends) != 0) {
            ends[0] = ends[1] = -1;
        }
    }
    ~EndRequestPipe() {
        ::close(ends[0]);
        ::close(ends[1]);
    }
    void request() const { [[maybe_unused]] const auto n = ::write(ends[1], "x", 1); }
    int ends[2];
};

// The window with every service faked.
struct TestWindow {
    FakeFileChooser chooser;
    RecordingPresenter presenter;
    FakeSerialPort serial;
    FakeParallelPorts parallel;
    FakeClock clock{std::chrono::milliseconds(100)};
    // Every call lets the queued events run; a repaint every 16 calls.
    FakeClock paceClock{std::chrono::milliseconds(1)};
    int programEnds = 0;
    EndRequestPipe endRequest;
    // What the fake system says of each port entry: "<deviceNote> <port type>:<index>".
    QString deviceNote = QStringLiteral("device");
    Form1 form{{chooser, presenter, serial, parallel, clock, [this] { ++programEnds; }, &paceClock,
                endRequest.ends[0],
                [this](int type, int index) {
                    return QStringLiteral("%1 %2:%3").arg(deviceNote).arg(type).arg(index);
                }}};

    template <typename Widget>
    Widget* find(const char* name) {
        return form.findChild<Widget*>(QLatin1String(name));
    }
};

}  // namespace korvane::ui::testing
