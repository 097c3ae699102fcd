#include "control/ZQTDesktopApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zqt-desktop"));
    QApplication::setApplicationDisplayName(QStringLiteral("ZQT Desktop Control"));
    zqt::ZQTDesktopApp desktop;
    return desktop.run();
}
