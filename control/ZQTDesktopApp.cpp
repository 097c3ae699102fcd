#include "control/ZQTDesktopApp.h"

#include "control/AppState.h"
#include "window/ContentView.h"

#include <QApplication>

namespace zqt {

ZQTDesktopApp::ZQTDesktopApp()
    : m_state(std::make_unique<AppState>()), m_window(std::make_unique<ContentView>(*m_state)) {}

// The window goes first: it refers to the state.
ZQTDesktopApp::~ZQTDesktopApp() {
    m_window.reset();
}

int ZQTDesktopApp::run() {
    m_window->resize(1280, 800);
    m_window->show();
    return QApplication::exec();
}

} // namespace zqt
