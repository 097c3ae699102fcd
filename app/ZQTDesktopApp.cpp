#include "app/ZQTDesktopApp.h"

#include "control/AppState.h"
#include "control/DesktopNotices.h"
#include "control/DesktopNotifier.h"
#include "control/EngineAddresses.h"
#include "control/Preferences.h"
#include "control/Settings.h"
#include "display/DesktopColorScheme.h"
#include "display/Theme.h"
#include "display/WheelGuard.h"
#include "terminal/NativeTerminalModel.h"
#include "window/ContentView.h"

#include <QApplication>
#include <QEvent>

namespace zqt {

namespace {

// Stores the window's size and place in the settings whenever the window is closed.
class GeometryKeeper final : public QObject {
public:
    GeometryKeeper(Settings& settings, QWidget& window) : QObject(&window), m_settings(settings) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close)
            m_settings.setWindowGeometry(static_cast<QWidget*>(watched)->saveGeometry());
        return false;
    }

private:
    Settings& m_settings;
};

} // namespace

ZQTDesktopApp::ZQTDesktopApp()
    : m_wheelGuard(std::make_unique<WheelGuard>()), m_preferences(std::make_unique<Preferences>()),
      m_settings(std::make_unique<Settings>(*m_preferences)), m_state(std::make_unique<AppState>(*m_settings)),
      // Built before the window, so its timers run and its data is live before the operator first opens the tab.
      m_terminal(std::make_unique<NativeTerminalModel>(m_state->addresses().engine, *m_settings)),
      m_notices(std::make_unique<DesktopNotices>(*m_settings)), m_notifier(std::make_unique<DesktopNotifier>()),
      m_theme(std::make_unique<Theme>()), m_colorScheme(std::make_unique<DesktopColorScheme>()) {
    // The stored choice first, so a dark window never shows light; under System it turns dark once the desktop
    // answers.
    m_theme->setChoice(themeChoiceFromName(m_settings->theme()).value_or(ThemeChoice::System));
    QObject::connect(m_theme.get(), &Theme::choiceChanged, m_settings.get(),
                     [this](ThemeChoice choice) { m_settings->setTheme(themeChoiceName(choice)); });
    QObject::connect(m_colorScheme.get(), &DesktopColorScheme::prefersDarkChanged, m_theme.get(),
                     &Theme::setSystemPrefersDark);
    m_colorScheme->start();

    // The terminal follows the engine when its address changes (a new port from the settings or the runtime ports
    // file), keeping its token and state; pinned to the first address it would poll a port the engine left. Wired
    // before the window, so the window's pages see the terminal at the new address.
    QObject::connect(m_state.get(), &AppState::settingChanged, m_terminal.get(), [this](Setting changed) {
        if (EngineAddresses::dependsOn(changed))
            m_terminal->link().setBaseUrl(m_state->addresses().engine);
        if (changed == Setting::NotionalLimit)
            m_terminal->ticket().setNotionalLimit(m_settings->text(Setting::NotionalLimit));
    });
    m_terminal->ticket().setNotionalLimit(m_settings->text(Setting::NotionalLimit));
    m_window = std::make_unique<ContentView>(*m_state, *m_terminal);
    new GeometryKeeper(*m_settings, *m_window);
    m_window->setTheme(*m_theme);

    DesktopNotices* notices = m_notices.get();
    QObject::connect(notices, &DesktopNotices::raised, m_notifier.get(), &DesktopNotifier::show);
    QObject::connect(m_state.get(), &AppState::isRunningChanged, notices,
                     [this] { m_notices->runStateChanged(m_state->isRunning(), m_state->stopping()); });
    QObject::connect(m_state.get(), &AppState::scriptFinished, notices, &DesktopNotices::scriptFinished);
    const AccountModel& account = m_terminal->account();
    QObject::connect(&account, &AccountModel::ordersChanged, notices,
                     [notices, &account] { notices->ordersRead(account.orders()); });
    QObject::connect(&account, &AccountModel::fillsChanged, notices,
                     [notices, &account] { notices->fillsRead(account.fills()); });
    QObject::connect(&m_terminal->session(), &TerminalSession::tokenChanged, notices, &DesktopNotices::resetAccount);
}

ZQTDesktopApp::~ZQTDesktopApp() = default;

int ZQTDesktopApp::run() {
    showWindow();
    return QApplication::exec();
}

void ZQTDesktopApp::showWindow() {
    // restoreGeometry() refuses a blob of another kind or version and moves a window that would be off every
    // screen back onto one, but takes a cut-off blob as zeros; one shorter than what this Qt writes is refused here.
    const QByteArray geometry = m_settings->windowGeometry();
    const bool restored = geometry.size() >= m_window->saveGeometry().size() && m_window->restoreGeometry(geometry);
    if (!restored)
        m_window->resize(kDefaultWidth, kDefaultHeight);
    m_window->show();
}

} // namespace zqt
