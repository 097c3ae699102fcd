#include "control/ZQTDesktopApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    // QtWebEngine shares OpenGL contexts with the widgets; this must be set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zqt-desktop"));
    QApplication::setApplicationDisplayName(QStringLiteral("ZQT Desktop Control"));
    zqt::ZQTDesktopApp desktop;
    return desktop.run();
}
