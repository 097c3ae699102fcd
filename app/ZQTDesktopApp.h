#pragma once

#include <memory>

namespace zqt {

class AppState;
class ContentView;
class DesktopColorScheme;
class DesktopNotices;
class DesktopNotifier;
class NativeTerminalModel;
class Preferences;
class Settings;
class Theme;
class WheelGuard;

// The program and the one place its object graph is built: the wheel guard of all its widgets, the preferences
// store, the settings read from it, the control state, the terminal model, the desktop notices drawn from both and
// the notifier that shows them, the theme (stored choice, desktop preference), and the window, each handed references
// to what it uses. Needs a QApplication.
class ZQTDesktopApp final {
public:
    ZQTDesktopApp();
    ~ZQTDesktopApp();
    ZQTDesktopApp(const ZQTDesktopApp&) = delete;
    ZQTDesktopApp& operator=(const ZQTDesktopApp&) = delete;

    // Shows the window (showWindow()) and runs the event loop until it closes; returns the exit code. The engine
    // keeps running.
    int run();
    // Shows the window with the size and place it had when it was last closed, or at kDefaultWidth by
    // kDefaultHeight when none is stored or the stored one is unusable. Every close of the window stores them.
    void showWindow();

    static constexpr int kDefaultWidth = 1280;
    static constexpr int kDefaultHeight = 800;

    Settings& settings() { return *m_settings; }
    AppState& state() { return *m_state; }
    NativeTerminalModel& terminal() { return *m_terminal; }
    DesktopNotices& notices() { return *m_notices; }
    DesktopNotifier& notifier() { return *m_notifier; }
    ContentView& window() { return *m_window; }
    Theme& theme() { return *m_theme; }

private:
    // Declared in construction order; destroyed in reverse, the window first.
    std::unique_ptr<WheelGuard> m_wheelGuard; // before any widget, so it sees every picker being readied
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<NativeTerminalModel> m_terminal;
    std::unique_ptr<DesktopNotices> m_notices;
    std::unique_ptr<DesktopNotifier> m_notifier;
    std::unique_ptr<Theme> m_theme; // before the window, which paints from it
    std::unique_ptr<DesktopColorScheme> m_colorScheme;
    std::unique_ptr<ContentView> m_window;
};

} // namespace zqt
