#include "control/ZQTDesktopApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    // The embedded web pages are composited by Qt Quick. Its OpenGL path shows them blank wherever OpenGL is a
    // software rasteriser (virtual machines, remote and virtual X displays), so the software scene graph is the
    // default; QT_QUICK_BACKEND set in the environment still wins.
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    // QtWebEngine shares OpenGL contexts with the widgets; this must be set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zqt-desktop"));
    QApplication::setApplicationDisplayName(QStringLiteral("ZQT Desktop Control"));
    zqt::ZQTDesktopApp desktop;
    return desktop.run();
}
