#pragma once

#include <memory>

namespace zqt {

class AppState;
class ContentView;

// The program: the one control state of the run and the one window showing it. Needs a QApplication.
class ZQTDesktopApp final {
public:
    ZQTDesktopApp();
    ~ZQTDesktopApp();
    ZQTDesktopApp(const ZQTDesktopApp&) = delete;
    ZQTDesktopApp& operator=(const ZQTDesktopApp&) = delete;

    // Shows the window and runs the event loop until it closes; returns the exit code. The engine keeps running.
    int run();

    AppState& state() { return *m_state; }
    ContentView& window() { return *m_window; }

private:
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<ContentView> m_window;
};

} // namespace zqt
