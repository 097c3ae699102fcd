#include "control/ZQTDesktopApp.h"

#include "control/AppState.h"
#include "control/EngineAddresses.h"
#include "control/Preferences.h"
#include "control/Settings.h"
#include "terminal/NativeTerminalModel.h"
#include "window/ContentView.h"

#include <QApplication>

namespace zqt {

ZQTDesktopApp::ZQTDesktopApp()
    : m_preferences(std::make_unique<Preferences>()), m_settings(std::make_unique<Settings>(*m_preferences)),
      m_state(std::make_unique<AppState>(*m_settings)),
      // Built before the window, so its timers run and its data is live before the operator first opens the tab.
      m_terminal(std::make_unique<NativeTerminalModel>(m_state->addresses().engine, *m_settings)),
      m_window(std::make_unique<ContentView>(*m_state, *m_terminal)) {}

ZQTDesktopApp::~ZQTDesktopApp() = default;

int ZQTDesktopApp::run() {
    m_window->resize(1280, 800);
    m_window->show();
    return QApplication::exec();
}

} // namespace zqt
