#include "app/ZQTDesktopApp.h"
#include "control/SingleInstance.h"
#include "window/AppIcons.h"
#include "window/ContentView.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

// The window takes no arguments, so any argument is answered here, by a core application: --help and --version
// print and leave without a display and without the web engine; anything else is an error.
int answerCommandLine(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions); // "-platform" is one option
    parser.setApplicationDescription(
        QStringLiteral("ZQT Desktop Control: starts, stops and watches the ZQT trading engine on this machine,\n"
                       "embeds its web pages and trades from a native terminal. See zqt-desktop(1)."));
    // Not addHelpOption(): its --help-all lists Qt's own options, which this program does not take.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Print this help."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    if (!parser.parse(QCoreApplication::arguments())) {
        fprintf(stderr, "zqt-desktop: %s\n", qPrintable(parser.errorText()));
        return 1;
    }
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    fputs("zqt-desktop: takes no arguments besides --help and --version\n", stderr);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("zqt-desktop"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZQT_VERSION));
    if (argc > 1)
        return answerCommandLine(argc, argv);

    // The embedded web pages are composited by Qt Quick. Its OpenGL path shows them blank wherever OpenGL is a
    // software rasteriser (virtual machines, remote and virtual X displays), so the software scene graph is the
    // default; QT_QUICK_BACKEND set in the environment still wins.
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    // QtWebEngine shares OpenGL contexts with the widgets; this must be set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
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
