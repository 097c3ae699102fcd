#include "TestEnv.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Headless tests: a QCoreApplication, with HOME and XDG folders pointed at a temporary folder for the whole
// process as a safety net (tests that need their own use zqt::test::TempEnv).
int main(int argc, char** argv) {
    QTemporaryDir processHome;
    qputenv("HOME", processHome.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (processHome.path() + "/.config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (processHome.path() + "/.local/share").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (processHome.path() + "/.cache").toLocal8Bit());
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
