#include "control/SingleInstance.h"
#include "control/ZQTDesktopApp.h"
#include "window/AppIcons.h"
#include "window/ContentView.h"

#include <QApplication>

#include <cstdio>

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
    QGuiApplication::setDesktopFileName(QStringLiteral("org.zqt.DesktopControl"));
    QApplication::setWindowIcon(zqt::AppIcons::application());

    // A second launch raises the running window and leaves, before it could poll or start the engine twice.
    zqt::SingleInstance instance;
    if (instance.claim() == zqt::SingleInstance::Role::Secondary)
        return 0;

    zqt::ZQTDesktopApp desktop;
    QObject::connect(&instance, &zqt::SingleInstance::activationRequested, &desktop.window(), [&desktop] {
        QWidget& window = desktop.window();
        window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window.show();
        window.raise();
        window.activateWindow();
        if (qEnvironmentVariableIsSet("ZQT_TRACE_ACTIVATION"))
            fprintf(stderr, "zqt-desktop: window raised\n");
    });
    return desktop.run();
}
