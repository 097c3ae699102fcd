#include "TestEnv.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Widget tests: a QApplication on the offscreen platform (unless ZQT_TEST_ON_DISPLAY is set, for tests that
// run under Xvfb), with HOME and XDG folders pointed at a temporary folder for the whole process.
int main(int argc, char** argv) {
    QTemporaryDir processHome;
    qputenv("HOME", processHome.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (processHome.path() + "/.config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (processHome.path() + "/.local/share").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (processHome.path() + "/.cache").toLocal8Bit());
    if (!qEnvironmentVariableIsSet("ZQT_TEST_ON_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qunsetenv("DISPLAY"); // offscreen would otherwise use GLX on that display
    }
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1"); // tests run as root
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software"); // as the program does: web pages composite without OpenGL
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "qt.webenginecontext.info=false");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
