#include <gtest/gtest.h>

#include <QCoreApplication>

// Qt's serial port wants an event dispatcher on its thread, as korvane-cli and the window
// provide; no event loop runs.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
