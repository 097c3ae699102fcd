#pragma once

#include "control/EngineAddresses.h"
#include "terminal/TerminalLink.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QWebEngineProfile;

namespace zqt {

class AppState;
class LogsView;
class NativeTerminalModel;
class NativeTerminalView;
class OperatorSheet;
class SettingsView;
class StatusView;
class Theme;
class WebView;

// The program's one window. The header shows the title, the engine's run state, a busy indicator while a start
// or stop script runs, and the Refresh, Start, Stop and operator buttons. Below it the tabs: the engine's web
// pages, the native terminal, and, while the operator lock is open, the admin page, status, logs and settings.
// Everything shown is bound to the shared AppState; every action goes through its operations. The terminal page
// shows the terminal model it is handed (whoever built it keeps it pointed at the engine's address).
//
// The header's View menu picks how the terminal shows its panels (the page or the workspace), resets the
// workspace and opens or closes its panels. The choice is stored at once; the workspace's arrangement whenever the
// window closes, and both come back the next run.
class ContentView final : public QWidget {
    Q_OBJECT

public:
    // `state` and `terminal` must outlive the window.
    ContentView(AppState& state, NativeTerminalModel& terminal, QWidget* parent = nullptr);
    ~ContentView() override;

    AppState& state() const { return m_state; }

    QTabWidget* tabs() const { return m_tabs; }
    OperatorSheet* operatorSheet() const { return m_sheet; }
    // The terminal page, built now if the window has not been painted yet.
    NativeTerminalView* terminal();
    // The web profile every web tab shares, created on first use: starting QtWebEngine takes a good part of a
    // second, which the window's first paint does not wait for.
    QWebEngineProfile* webProfile();
    // The web view of the tab titled `title`, or nullptr.
    WebView* webView(const QString& title) const;
    // How the web tabs open an address outside the engine's origins: the desktop's web browser
    // (QDesktopServices::openUrl) unless set otherwise.
    void setExternalOpener(std::function<void(const QUrl&)> open);

    // Adds the Theme submenu, bound to `theme` (which must outlive the window), to the header's View menu.
    // Once only.
    void setTheme(Theme& theme);
    // The header's View menu.
    QMenu* viewMenu() const { return m_viewMenu; }

    // Colour of "Services online".
    static QColor onlineColor();
    // The header's run state: the pid check's verdict, and where the terminal's own reads disagree with it, what
    // they found ("Services online · terminal not reachable", "Services offline · terminal still connected").
    static QString runStateText(bool running, TerminalLink::Reach reach);

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildHeader();
    void buildTabs();
    void buildTerminalPage();
    // The View menu: the two layouts, Reset Workspace, the Panels submenu.
    QMenu* buildViewMenu(QWidget* parent);
    void fillPanelsMenu();
    // Shows the terminal in the workspace (true) or the page, and stores the choice.
    void chooseLayout(bool workspace);
    // The stored arrangement, given to the terminal's workspace the first time it is needed.
    void restoreWorkspaceOnce();
    void updateViewMenu();
    WebView* addWebTab(const QString& title, int iconKind);
    // The origins of the engine's web services.
    static QList<QUrl> engineOrigins(const EngineAddresses& addresses);
    void updateRunState();
    void updateSaveError();
    void updateOutcome();
    // Shows the last script's whole output in a window of its own (not modal; one at a time).
    void showLastOutput();
    // The header's Stop: asks first while the terminal shows open positions.
    void onStopClicked();
    void updateOperatorButton();
    void updateOperatorTabs();
    void updateBusy();
    void updatePortsNote();
    void updateAddresses();
    // Points the Web Terminal tab at its address, without the token when it may not go to the engine's port.
    void updateWebTerminal();
    void openWebTerminal();
    // Loads again every web tab whose last load failed (the engine was not up yet).
    void retryFailedPages();
    void onOperatorClicked();

    AppState& m_state;
    NativeTerminalModel& m_terminalModel;
    bool m_painted = false;
    std::function<void(const QUrl&)> m_openExternally;

    QWebEngineProfile* m_profile = nullptr;
    QLabel* m_runStateLabel = nullptr;
    QLabel* m_saveErrorLabel = nullptr;
    QLabel* m_outcomeLabel = nullptr;
    QPushButton* m_outputButton = nullptr;
    QPointer<QWidget> m_outputWindow;
    QLabel* m_portsNoteLabel = nullptr;
    QProgressBar* m_busyIndicator = nullptr;
    QLabel* m_busyLabel = nullptr;
    QPushButton* m_operatorButton = nullptr;
    QTabWidget* m_tabs = nullptr;
    OperatorSheet* m_sheet = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_panelsMenu = nullptr;
    QAction* m_pageLayoutAction = nullptr;
    QAction* m_workspaceLayoutAction = nullptr;
    bool m_workspaceRestored = false;

    WebView* m_site = nullptr;
    WebView* m_external = nullptr;
    WebView* m_portal = nullptr;
    NativeTerminalView* m_terminal = nullptr;
    QWidget* m_terminalPlaceholder = nullptr; // the terminal tab until the page is built
    WebView* m_webTerminal = nullptr;
    // The operator sections; they exist only while the lock is open.
    WebView* m_admin = nullptr;
    StatusView* m_status = nullptr;
    LogsView* m_logs = nullptr;
    SettingsView* m_settings = nullptr;
};

} // namespace zqt
