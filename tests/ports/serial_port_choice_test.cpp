// Which port a serial adapter opens and how messages name it, as both systems' adapters keep it.
#include <gtest/gtest.h>

#include <string>

#include "download/port_error.h"
#include "ports/serial_port_choice.h"

namespace korvane::ports {
namespace {

// A resolver as the window's mapping is: COM1 elsewhere, COM2 to itself, COM3 to nothing.
std::string mapped(int number) {
    return number == 1 ? "/dev/ttyUSB0" : number == 2 ? "COM2" : "";
}

TEST(SerialPortChoice, NamesThePortAsTheUserChoseIt) {
    struct Row {
        const char* name;
        SerialPortChoice choice;
        int number;
        const char* port;
        const char* label;
    };
    const Row rows[] = {
        {"mapped elsewhere", SerialPortChoice(mapped), 1, "/dev/ttyUSB0", "COM1 (/dev/ttyUSB0)"},
        {"mapped to itself", SerialPortChoice(mapped), 2, "COM2", "COM2"},
        {"mapped to nothing", SerialPortChoice(mapped), 3, "", "COM3"},
        {"no resolver", SerialPortChoice(SerialPortChoice::Resolver{}), 4, "", "COM4"},
        {"named outright", SerialPortChoice::pinnedTo("\\\\.\\COM12"), 1, "\\\\.\\COM12",
         "\\\\.\\COM12"},
    };
    for (Row row : rows) {
        row.choice.setPortNumber(row.number, false);
        EXPECT_EQ(row.choice.port(), row.port) << row.name;
        EXPECT_EQ(row.choice.label(), row.label) << row.name;
    }
}

// One download asks for its device once: the label, the open and the messages share it.
TEST(SerialPortChoice, SearchesForTheDeviceOncePerNumberUntilForgotten) {
    int searches = 0;
    SerialPortChoice choice([&searches](int number) { return ++searches, mapped(number); });
    const std::pair<void (*)(SerialPortChoice&), int> steps[] = {
        {[](SerialPortChoice& c) { c.label(), c.port(), c.setPortNumber(1, false); }, 1},
        {[](SerialPortChoice& c) { c.setPortNumber(2, false), c.port(); }, 2},
        {[](SerialPortChoice& c) { c.forget(), c.port(), c.label(); }, 3},
    };
    for (const auto& [step, total] : steps) {
        step(choice);
        EXPECT_EQ(searches, total) << &step - &steps[0].first;
    }
}

TEST(SerialPortChoice, RefusesWhatCannotBeTakenNamingThePort) {
    struct Row {
        const char* name;
        void (*attempt)(SerialPortChoice&);
        const char* says;
    };
    const Row rows[] = {
        {"switch while open", [](SerialPortChoice& c) { c.setPortNumber(2, true); },
         "Cannot switch to COM2 while COM1 (/dev/ttyUSB0) is open"},
        {"other framing", [](SerialPortChoice& c) { c.setSettings("38400,e,7,1"); },
         "\"38400,e,7,1\" for COM1 (/dev/ttyUSB0) cannot be used"},
        {"no speed", [](SerialPortChoice& c) { c.setSettings(",n,8,1"); }, "cannot be used"},
    };
    for (const auto& row : rows) {
        SerialPortChoice choice(mapped);
        choice.setSettings("38400,n,8,1");
        try {
            row.attempt(choice);
            ADD_FAILURE() << row.name << ": taken";
        } catch (const download::PortError& error) {
            EXPECT_NE(std::string(error.what()).find(row.says), std::string::npos)
                << row.name << ": " << error.what();
        }
        // What was chosen before stays.
        EXPECT_EQ(choice.portNumber(), 1) << row.name;
        EXPECT_EQ(choice.baudRate(), 38400) << row.name;
        EXPECT_EQ(choice.settingsText(), "38400,n,8,1") << row.name;
    }
}

}  // namespace
}  // namespace korvane::ports
