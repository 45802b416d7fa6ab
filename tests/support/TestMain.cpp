#include <QCoreApplication>

#include <gtest/gtest.h>

// Qt objects under test (signals, queued tasks, timers) need an application
// object; tests that need its event loop spin it themselves.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
