#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// Widget tests: a QApplication on the offscreen platform, whatever display
// the machine has.
int main(int argc, char** argv) {
    setenv("LANG", "C.UTF-8", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    setenv("TZ", "UTC", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
