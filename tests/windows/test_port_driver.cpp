// A stand-in for the port-I/O driver DLL, with the same three entry points, that plays a
// printer on the registers of one parallel port. Set in the environment before it loads:
//   KORVANE_TEST_PRINTER              ready (default), busy, fault (busy with the fault line low)
//                                     or closed (the driver does not open)
//   KORVANE_TEST_PRINTER_READY_BYTES  busy and fault begin after this many bytes (default 0)
//   KORVANE_TEST_PRINTER_BUSY_READS   status reads that show busy after each strobe (default 0)
//   KORVANE_TEST_PRINTER_BASE         the hex I/O base it answers at (default 378); elsewhere
//                                     reads give 0xFF, as an empty bus does, and writes are lost
//   KORVANE_TEST_PRINTER_OUT          file that receives the latched bytes when it unloads
//   KORVANE_TEST_PRINTER_LOG          file that receives every access ("R379", "W378=41")
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string variable(const char* name) {
    char value[1024];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

long number(const char* name, int radix, long otherwise) {
    const std::string text = variable(name);
    return text.empty() ? otherwise : std::strtol(text.c_str(), nullptr, radix);
}

void writeFile(const std::string& path, const void* bytes, std::size_t size) {
    if (path.empty()) {
        return;
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
}

class Printer {
  public:
    Printer()
        : mode_(variable("KORVANE_TEST_PRINTER")),
          readyBytes_(number("KORVANE_TEST_PRINTER_READY_BYTES", 10, 0)),
          busyReads_(number("KORVANE_TEST_PRINTER_BUSY_READS", 10, 0)),
          base_(static_cast<unsigned>(number("KORVANE_TEST_PRINTER_BASE", 16, 0x378))),
          outPath_(variable("KORVANE_TEST_PRINTER_OUT")),
          logPath_(variable("KORVANE_TEST_PRINTER_LOG")) {}

    ~Printer() {
        writeFile(outPath_, latched_.data(), latched_.size());
        writeFile(logPath_, log_.data(), log_.size());
    }

    bool open() const { return mode_ != "closed"; }

    std::uint8_t read(unsigned address) {
        note('R', address, -1);
        switch (static_cast<int>(address) - static_cast<int>(base_)) {
            case 0:
                return data_;
            case 1:
                return status();
            case 2:
                return control_;
            default:
                return 0xFF;
        }
    }

    void write(unsigned address, std::uint8_t value) {
        note('W', address, value);
        if (address == base_) {
            data_ = value;
        } else if (address == base_ + 2) {
            // nStrobe asserted (bit 0 set) latches the data lines.
            if ((value & 1) != 0 && (control_ & 1) == 0) {
                latched_.push_back(data_);
                busyLeft_ = busyReads_;
            }
            control_ = value;
        }
    }

  private:
    // Select high always; Busy shows inverted in bit 7, nFault in bit 3.
    std::uint8_t status() {
        constexpr std::uint8_t kReady = 0x98, kBusy = 0x18, kBusyFaulted = 0x10;
        const bool troubled = static_cast<long>(latched_.size()) >= readyBytes_;
        if (troubled && mode_ == "busy") {
            return kBusy;
        }
        if (troubled && mode_ == "fault") {
            return kBusyFaulted;
        }
        if (busyLeft_ > 0) {
            --busyLeft_;
            return kBusy;
        }
        return kReady;
    }

    void note(char kind, unsigned address, int value) {
        if (logPath_.empty()) {
            return;
        }
        char line[32];
        if (value < 0) {
            std::snprintf(line, sizeof line, "%c%X\n", kind, address);
        } else {
            std::snprintf(line, sizeof line, "%c%X=%02X\n", kind, address, value);
        }
        log_ += line;
    }

    std::string mode_;
    long readyBytes_;
    long busyReads_;
    unsigned base_;
    std::string outPath_;
    std::string logPath_;
    std::uint8_t data_ = 0;
    std::uint8_t control_ = 0xCC;
    long busyLeft_ = 0;
    std::vector<std::uint8_t> latched_;
    std::string log_;
};

Printer* printer = nullptr;

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        printer = new Printer();
    } else if (reason == DLL_PROCESS_DETACH) {
        delete printer;
        printer = nullptr;
    }
    return TRUE;
}

__declspec(dllexport) unsigned char __stdcall DlPortReadPortUchar(unsigned short port) {
    return printer->read(port);
}

__declspec(dllexport) void __stdcall DlPortWritePortUchar(unsigned short port,
                                                          unsigned char value) {
    printer->write(port, value);
}

#ifndef KORVANE_TEST_DRIVER_INCOMPLETE
__declspec(dllexport) BOOL __stdcall IsInpOutDriverOpen() {
    return printer->open() ? TRUE : FALSE;
}
#endif
}
