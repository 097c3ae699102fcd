#include "window/ContentView.h"

#include "control/AppState.h"
#include "control/ServiceManager.h"
#include "control/Settings.h"
#include "display/Palette.h"
#include "display/PlainText.h"
#include "display/ThemeMenu.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/NativeTerminalView.h"
#include "window/AppIcons.h"
#include "window/LogsView.h"
#include "window/OperatorSheet.h"
#include "window/SettingsView.h"
#include "window/StatusView.h"
#include "window/Typography.h"
#include "window/WebView.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <QWebEngineProfile>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace zqt {

namespace {

// Header metrics, in device-independent pixels.
constexpr int kHeaderMargin = 16;
constexpr int kHeaderSpacing = 16;
constexpr int kTitleSpacing = 4;

QPushButton* makeButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

// Header buttons share one minimum width and keep some air around their text whatever the style's own padding.
void fitButton(QPushButton* button) {
    const int textWidth = button->fontMetrics().horizontalAdvance(button->text());
    button->setMinimumWidth(std::max(88, textWidth + 28));
}

} // namespace

ContentView::ContentView(AppState& state, NativeTerminalModel& terminal, QWidget* parent)
    : QWidget(parent), m_state(state), m_terminalModel(terminal),
      m_openExternally([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    setObjectName(QStringLiteral("contentView"));
    setWindowTitle(QStringLiteral("ZQT Desktop Control"));
    setMinimumSize(1200, 760);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildHeader());

    auto* divider = new QFrame(this);
    divider->setObjectName(QStringLiteral("headerDivider"));
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    layout->addWidget(divider);

    buildTabs();
    layout->addWidget(m_tabs, 1);

    m_sheet = new OperatorSheet(m_state, this);

    connect(&m_state, &AppState::isRunningChanged, this, [this] {
        updateRunState();
        if (m_state.isRunning())
            retryFailedPages();
    });
    connect(&m_state, &AppState::settingChanged, this, [this](Setting changed) {
        if (EngineAddresses::dependsOn(changed))
            updateAddresses();
        if (changed != Setting::OperatorUnlocked)
            return;
        updateOperatorButton();
        updateOperatorTabs();
        // Opened some other way while the sheet was up: the sheet has nothing left to do.
        if (m_state.settings().flag(Setting::OperatorUnlocked) && m_sheet->isVisible())
            m_sheet->cancel();
    });
    // The terminal's own reads tell whether the engine answers; the header never claims otherwise.
    connect(&m_terminalModel.link(), &TerminalLink::reachChanged, this, &ContentView::updateRunState);
    connect(&m_state, &AppState::busyChanged, this, &ContentView::updateBusy);
    connect(&m_state, &AppState::runtimePortsNoteChanged, this, &ContentView::updatePortsNote);
    // The stored token is read again on a sign-in and whenever a tab is chosen, so the web terminal's address
    // carries the current one.
    connect(&m_terminalModel.session(), &TerminalSession::tokenChanged, this, &ContentView::updateAddresses);
    connect(m_tabs, &QTabWidget::currentChanged, this, &ContentView::updateAddresses);
    // The terminal's client found another user's program on the engine's port, or found it gone.
    connect(&m_terminalModel.session(), &TerminalSession::portWarningChanged, this, &ContentView::updateWebTerminal);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (m_terminalPlaceholder && m_tabs->widget(index) == m_terminalPlaceholder)
            buildTerminalPage();
    });

    connect(&m_state.settings(), &Settings::saveErrorChanged, this, &ContentView::updateSaveError);
    connect(&m_state, &AppState::lastOutcomeChanged, this, &ContentView::updateOutcome);

    updateRunState();
    updateSaveError();
    updateOutcome();
    updateOperatorButton();
    updateBusy();
    updatePortsNote();
    updateOperatorTabs();
    updateAddresses();
}

// The tabs (and with them every web page) go before the web profile they use.
ContentView::~ContentView() {
    delete m_sheet;
    delete m_tabs;
}

QWidget* ContentView::buildHeader() {
    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("header"));
    header->setBackgroundRole(QPalette::Window);
    header->setAutoFillBackground(true);

    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(kHeaderMargin, kHeaderMargin, kHeaderMargin, kHeaderMargin);
    row->setSpacing(kHeaderSpacing);

    auto* titleBlock = new QVBoxLayout;
    titleBlock->setSpacing(kTitleSpacing);
    auto* title = new QLabel(QStringLiteral("ZQT Desktop Control"), header);
    title->setObjectName(QStringLiteral("titleLabel"));
    QFont headline = title->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.25);
    title->setFont(headline);
    m_runStateLabel = new QLabel(header);
    m_runStateLabel->setObjectName(QStringLiteral("runStateLabel"));
    m_runStateLabel->setAccessibleName(QStringLiteral("Engine run state"));
    // Set when the runtime ports file named a host the program does not follow.
    m_portsNoteLabel = new QLabel(header);
    m_portsNoteLabel->setObjectName(QStringLiteral("runtimePortsNoteLabel"));
    m_portsNoteLabel->setTextFormat(Qt::PlainText);
    m_portsNoteLabel->setForegroundRole(QPalette::PlaceholderText);
    // A failed write of the preferences file, until a later one succeeds.
    m_saveErrorLabel = new QLabel(header);
    m_saveErrorLabel->setObjectName(QStringLiteral("saveErrorLabel"));
    m_saveErrorLabel->setTextFormat(Qt::PlainText);
    QPalette warning = m_saveErrorLabel->palette();
    warning.setColor(QPalette::WindowText, negativeColor());
    m_saveErrorLabel->setPalette(warning);
    // The outcome of the last start or stop, and its whole output one click away.
    m_outcomeLabel = new QLabel(header);
    m_outcomeLabel->setObjectName(QStringLiteral("runOutcomeLabel"));
    m_outcomeLabel->setAccessibleName(QStringLiteral("Last start or stop"));
    m_outputButton = new QPushButton(QStringLiteral("Output…"), header);
    m_outputButton->setObjectName(QStringLiteral("showOutputButton"));
    m_outputButton->setAccessibleName(QStringLiteral("Show the last script's output"));
    m_outputButton->setFlat(true);
    m_outputButton->setAutoDefault(false);
    m_outputButton->setCursor(Qt::PointingHandCursor);
    auto* outcomeRow = new QHBoxLayout;
    outcomeRow->setSpacing(kTitleSpacing);
    outcomeRow->addWidget(m_outcomeLabel);
    outcomeRow->addWidget(m_outputButton);
    outcomeRow->addStretch(1);
    titleBlock->addWidget(title);
    titleBlock->addWidget(m_runStateLabel);
    titleBlock->addLayout(outcomeRow);
    titleBlock->addWidget(m_saveErrorLabel);
    titleBlock->addWidget(m_portsNoteLabel);
    row->addLayout(titleBlock);

    row->addStretch(1);

    m_busyIndicator = new QProgressBar(header);
    m_busyIndicator->setObjectName(QStringLiteral("busyIndicator"));
    m_busyIndicator->setAccessibleName(QStringLiteral("Script running"));
    m_busyIndicator->setRange(0, 0); // indeterminate
    m_busyIndicator->setTextVisible(false);
    m_busyIndicator->setFixedWidth(120);
    m_busyLabel = new QLabel(header);
    m_busyLabel->setObjectName(QStringLiteral("busyLabel"));
    row->addWidget(m_busyIndicator);
    row->addWidget(m_busyLabel);

    auto* view = makeButton(QStringLiteral("View"), QStringLiteral("viewButton"), header);
    view->setAccessibleName(QStringLiteral("View"));
    view->setMenu(buildViewMenu(view));
    fitButton(view);
    row->addWidget(view);

    auto* refresh = makeButton(QStringLiteral("Refresh"), QStringLiteral("refreshButton"), header);
    refresh->setToolTip(QStringLiteral("Re-read the runtime ports and check whether the engine runs"));
    auto* start = makeButton(QStringLiteral("Start"), QStringLiteral("startButton"), header);
    auto* stop = makeButton(QStringLiteral("Stop"), QStringLiteral("stopButton"), header);
    m_operatorButton = makeButton(QString(), QStringLiteral("operatorButton"), header);
    for (QPushButton* b : {refresh, start, stop})
        fitButton(b);
    row->addWidget(refresh);
    row->addWidget(start);
    row->addWidget(stop);
    row->addWidget(m_operatorButton);

    connect(refresh, &QPushButton::clicked, this, [this] {
        m_state.refreshRunState();
        retryFailedPages();
    });
    connect(start, &QPushButton::clicked, &m_state, &AppState::start);
    connect(stop, &QPushButton::clicked, this, &ContentView::onStopClicked);
    connect(m_outputButton, &QPushButton::clicked, this, &ContentView::showLastOutput);
    connect(m_operatorButton, &QPushButton::clicked, this, &ContentView::onOperatorClicked);
    return header;
}

QMenu* ContentView::buildViewMenu(QWidget* parent) {
    m_viewMenu = new QMenu(parent);
    m_viewMenu->setObjectName(QStringLiteral("viewMenu"));
    auto* layouts = new QActionGroup(m_viewMenu);
    layouts->setExclusive(true);
    m_pageLayoutAction = m_viewMenu->addAction(QStringLiteral("Page Layout"));
    m_workspaceLayoutAction = m_viewMenu->addAction(QStringLiteral("Workspace Layout"));
    for (QAction* a : {m_pageLayoutAction, m_workspaceLayoutAction}) {
        a->setCheckable(true);
        layouts->addAction(a);
    }
    m_pageLayoutAction->setObjectName(QStringLiteral("pageLayoutAction"));
    m_workspaceLayoutAction->setObjectName(QStringLiteral("workspaceLayoutAction"));
    connect(m_pageLayoutAction, &QAction::triggered, this, [this] { chooseLayout(false); });
    connect(m_workspaceLayoutAction, &QAction::triggered, this, [this] { chooseLayout(true); });
    m_viewMenu->addSeparator();
    QAction* reset = m_viewMenu->addAction(QStringLiteral("Reset Workspace"));
    reset->setObjectName(QStringLiteral("resetWorkspaceAction"));
    connect(reset, &QAction::triggered, this, [this] {
        m_workspaceRestored = true; // the stored arrangement gives way to the default
        terminal()->resetWorkspace();
        m_tabs->setCurrentWidget(m_terminal);
    });
    m_panelsMenu = m_viewMenu->addMenu(QStringLiteral("Panels"));
    m_panelsMenu->setObjectName(QStringLiteral("panelsMenu"));
    // Filled as it opens: resetting the workspace makes its panels' actions afresh.
    connect(m_panelsMenu, &QMenu::aboutToShow, this, &ContentView::fillPanelsMenu);
    connect(m_viewMenu, &QMenu::aboutToShow, this, &ContentView::updateViewMenu);
    m_pageLayoutAction->setChecked(!m_state.settings().workspaceLayout());
    m_workspaceLayoutAction->setChecked(m_state.settings().workspaceLayout());
    return m_viewMenu;
}

void ContentView::fillPanelsMenu() {
    m_panelsMenu->clear();
    restoreWorkspaceOnce();
    m_panelsMenu->addActions(terminal()->panelActions());
}

void ContentView::updateViewMenu() {
    const bool workspace =
        m_terminal ? m_terminal->layoutMode() == TerminalLayout::Workspace : m_state.settings().workspaceLayout();
    m_pageLayoutAction->setChecked(!workspace);
    m_workspaceLayoutAction->setChecked(workspace);
    m_panelsMenu->setEnabled(workspace);
}

void ContentView::restoreWorkspaceOnce() {
    if (std::exchange(m_workspaceRestored, true))
        return;
    terminal()->restoreWorkspace(m_state.settings().workspaceState());
}

void ContentView::chooseLayout(bool workspace) {
    if (workspace)
        restoreWorkspaceOnce();
    terminal()->setLayoutMode(workspace ? TerminalLayout::Workspace : TerminalLayout::Page);
    m_tabs->setCurrentWidget(m_terminal);
    if (m_state.settings().workspaceLayout() != workspace)
        m_state.settings().setWorkspaceLayout(workspace);
    updateViewMenu();
}

void ContentView::closeEvent(QCloseEvent* event) {
    if (m_terminal && m_workspaceRestored)
        m_state.settings().setWorkspaceState(m_terminal->saveWorkspace());
    QWidget::closeEvent(event);
}

void ContentView::buildTabs() {
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    m_tabs->setDocumentMode(true);
    m_tabs->setUsesScrollButtons(true);
    m_tabs->setElideMode(Qt::ElideNone);
    m_tabs->tabBar()->setExpanding(false);

    using K = AppIcons::Kind;
    m_site = addWebTab(QStringLiteral("Site"), static_cast<int>(K::Globe));
    m_external = addWebTab(QStringLiteral("External"), static_cast<int>(K::Sparkles));
    m_portal = addWebTab(QStringLiteral("Trader Portal"), static_cast<int>(K::Person));
    // The terminal page (a few hundred widgets) is built right after the window's first paint, or when its tab is
    // chosen before that; its model runs from the start either way.
    m_terminalPlaceholder = new QWidget(m_tabs);
    m_tabs->addTab(m_terminalPlaceholder, AppIcons::icon(K::Bolt), QStringLiteral("Native Terminal"));
    m_webTerminal = addWebTab(QStringLiteral("Web Terminal"), static_cast<int>(K::Chart));
}

NativeTerminalView* ContentView::terminal() {
    buildTerminalPage();
    return m_terminal;
}

void ContentView::buildTerminalPage() {
    if (m_terminal)
        return;
    const int index = m_tabs->indexOf(m_terminalPlaceholder);
    const bool current = m_tabs->currentIndex() == index;
    m_terminal = new NativeTerminalView(m_terminalModel, m_tabs);
    QWidget* placeholder = std::exchange(m_terminalPlaceholder, nullptr);
    m_tabs->insertTab(index, m_terminal, m_tabs->tabIcon(index), m_tabs->tabText(index));
    if (current)
        m_tabs->setCurrentWidget(m_terminal);
    m_tabs->removeTab(m_tabs->indexOf(placeholder));
    delete placeholder;
    if (m_state.settings().workspaceLayout()) {
        restoreWorkspaceOnce();
        m_terminal->setLayoutMode(TerminalLayout::Workspace);
    }
}

WebView* ContentView::addWebTab(const QString& title, int iconKind) {
    auto* view =
        new WebView([this] { return webProfile(); }, [this](const QUrl& url) { m_openExternally(url); }, title, m_tabs);
    view->setAllowedOrigins(engineOrigins(m_state.addresses()));
    view->setDivertedPage(EngineAddresses::webTerminalUrl(m_state.addresses().engine, QString()));
    connect(view, &WebView::pageDiverted, this, &ContentView::openWebTerminal);
    m_tabs->addTab(view, AppIcons::icon(static_cast<AppIcons::Kind>(iconKind)), title);
    return view;
}

QWebEngineProfile* ContentView::webProfile() {
    // Deleted after every page (see the destructor).
    if (!m_profile)
        m_profile = WebView::createProfile(this);
    return m_profile;
}

WebView* ContentView::webView(const QString& title) const {
    for (int i = 0; i < m_tabs->count(); ++i) {
        if (m_tabs->tabText(i) == title)
            return qobject_cast<WebView*>(m_tabs->widget(i));
    }
    return nullptr;
}

void ContentView::setExternalOpener(std::function<void(const QUrl&)> open) {
    m_openExternally = std::move(open);
}

QList<QUrl> ContentView::engineOrigins(const EngineAddresses& addresses) {
    return {addresses.engine, addresses.marketing, addresses.portal};
}

void ContentView::setTheme(Theme& theme) {
    if (m_viewMenu->findChild<QMenu*>(QStringLiteral("themeMenu")))
        return;
    m_viewMenu->addSeparator();
    addThemeMenu(*m_viewMenu, theme);
}

QColor ContentView::onlineColor() {
    return positiveColor();
}

void ContentView::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (m_painted)
        return;
    m_painted = true;
    QTimer::singleShot(0, this, &ContentView::buildTerminalPage);
    // For the start-up benchmark: the wall-clock time of the window's first paint, in ms since the epoch.
    if (qEnvironmentVariableIsSet("ZQT_TRACE_FIRST_PAINT")) {
        std::fprintf(stderr, "zqt-first-paint-ms %lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
        std::fflush(stderr);
    }
}

QString ContentView::runStateText(bool running, TerminalLink::Reach reach) {
    if (running)
        return reach == TerminalLink::Reach::Unreachable ? QStringLiteral("Services online · terminal not reachable")
                                                         : QStringLiteral("Services online");
    return reach == TerminalLink::Reach::Reachable ? QStringLiteral("Services offline · terminal still connected")
                                                   : QStringLiteral("Services offline");
}

void ContentView::updateRunState() {
    const bool online = m_state.isRunning();
    const TerminalLink::Reach reach = m_terminalModel.link().reach();
    m_runStateLabel->setText(runStateText(online, reach));
    QPalette p = m_runStateLabel->palette();
    QColor color = online ? onlineColor() : palette().color(QPalette::PlaceholderText);
    // The process runs but the terminal gets no answer (or the other way round): a warning, not a green light.
    if (online == (reach == TerminalLink::Reach::Unreachable) && reach != TerminalLink::Reach::Unknown)
        color = warningColor();
    p.setColor(QPalette::WindowText, color);
    m_runStateLabel->setPalette(p);
}

void ContentView::updateSaveError() {
    const QString error = m_state.settings().saveError();
    m_saveErrorLabel->setText(error);
    m_saveErrorLabel->setVisible(!error.isEmpty());
}

void ContentView::updateOutcome() {
    const QString outcome = m_state.lastOutcome();
    showPlainText(m_outcomeLabel, outcome, kMessageTextChars);
    QPalette p = m_outcomeLabel->palette();
    p.setColor(QPalette::WindowText,
               m_state.lastRunFailed() ? negativeColor() : palette().color(QPalette::PlaceholderText));
    m_outcomeLabel->setPalette(p);
    m_outcomeLabel->setVisible(!outcome.isEmpty());
    m_outputButton->setVisible(!outcome.isEmpty() && !m_state.lastOutput().isEmpty());
}

void ContentView::showLastOutput() {
    if (!m_outputWindow) {
        auto* window = new QDialog(this);
        window->setObjectName(QStringLiteral("lastOutputWindow"));
        window->setWindowTitle(QStringLiteral("Last Output"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        auto* column = new QVBoxLayout(window);
        auto* text = new QPlainTextEdit(window);
        text->setObjectName(QStringLiteral("lastOutputText"));
        text->setAccessibleName(QStringLiteral("Last output"));
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        auto* close = new QDialogButtonBox(QDialogButtonBox::Close, window);
        connect(close, &QDialogButtonBox::rejected, window, &QDialog::close);
        column->addWidget(text);
        column->addWidget(close);
        const auto fill = [this, text] {
            text->setPlainText(m_state.lastOutput());
        };
        fill();
        connect(&m_state, &AppState::lastOutputChanged, text, fill);
        window->resize(720, 420);
        m_outputWindow = window;
    }
    m_outputWindow->show();
    m_outputWindow->raise();
    m_outputWindow->activateWindow();
}

void ContentView::onStopClicked() {
    qsizetype open = 0;
    for (const PositionRow& p : m_terminalModel.account().positions())
        open += p.units != 0.0 ? 1 : 0;
    if (open == 0) {
        m_state.stop();
        return;
    }
    // Stopping leaves the positions to the broker with nobody watching them: ask, without blocking the window.
    auto* question = new QMessageBox(QMessageBox::Warning, QStringLiteral("Stop the engine?"),
                                     open == 1 ? QStringLiteral("Stop the engine with 1 open position?")
                                               : QStringLiteral("Stop the engine with %1 open positions?").arg(open),
                                     QMessageBox::Cancel, this);
    question->setObjectName(QStringLiteral("stopConfirmation"));
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->setWindowModality(Qt::WindowModal);
    QPushButton* stop = question->addButton(QStringLiteral("Stop"), QMessageBox::AcceptRole);
    stop->setObjectName(QStringLiteral("confirmStopButton"));
    question->setDefaultButton(QMessageBox::Cancel);
    question->setEscapeButton(QMessageBox::Cancel);
    connect(question, &QMessageBox::buttonClicked, this, [this, stop](QAbstractButton* clicked) {
        if (clicked == stop)
            m_state.stop();
    });
    question->open();
}

void ContentView::updateOperatorButton() {
    m_operatorButton->setText(m_state.settings().flag(Setting::OperatorUnlocked) ? QStringLiteral("Operator: ON")
                                                                                 : QStringLiteral("Operator Unlock"));
    // Wide enough for either text, so the buttons beside it do not move when the lock changes.
    const QFontMetrics fm = m_operatorButton->fontMetrics();
    m_operatorButton->setMinimumWidth(std::max(fm.horizontalAdvance(QStringLiteral("Operator Unlock")),
                                               fm.horizontalAdvance(QStringLiteral("Operator: ON"))) +
                                      28);
}

void ContentView::updateOperatorTabs() {
    const bool unlocked = m_state.settings().flag(Setting::OperatorUnlocked);
    if (unlocked && !m_admin) {
        using K = AppIcons::Kind;
        m_admin = addWebTab(QStringLiteral("Admin"), static_cast<int>(K::Shield));
        m_admin->setUrl(m_state.addresses().admin);
        m_status = new StatusView(m_state, m_tabs);
        m_tabs->addTab(m_status, AppIcons::icon(K::Pulse), QStringLiteral("Status"));
        m_logs = new LogsView(m_state, m_tabs);
        m_tabs->addTab(m_logs, AppIcons::icon(K::Document), QStringLiteral("Logs"));
        m_settings = new SettingsView(m_state, m_tabs);
        m_tabs->addTab(m_settings, AppIcons::icon(K::Gear), QStringLiteral("Settings"));
    } else if (!unlocked && m_admin) {
        // An operator section that is showing gives way to the terminal, the operator's main workspace.
        const std::initializer_list<QWidget*> sections{m_admin, m_status, m_logs, m_settings};
        if (std::find(sections.begin(), sections.end(), m_tabs->currentWidget()) != sections.end())
            m_tabs->setCurrentWidget(m_terminal ? m_terminal : m_terminalPlaceholder);
        for (QWidget* section : sections) {
            m_tabs->removeTab(m_tabs->indexOf(section));
            delete section;
        }
        m_admin = nullptr;
        m_status = nullptr;
        m_logs = nullptr;
        m_settings = nullptr;
    }
}

void ContentView::updateBusy() {
    const bool busy = m_state.busy();
    m_busyIndicator->setVisible(busy);
    m_busyLabel->setVisible(busy);
    m_busyLabel->setText(m_state.busyText());
}

void ContentView::updatePortsNote() {
    m_portsNoteLabel->setText(m_state.runtimePortsNote());
    m_portsNoteLabel->setVisible(!m_state.runtimePortsNote().isEmpty());
}

void ContentView::updateAddresses() {
    const EngineAddresses addresses = m_state.addresses();
    // Each page may go to any of the engine's origins, and only there.
    for (WebView* page : {m_site, m_external, m_portal, m_webTerminal, m_admin})
        if (page)
            page->setAllowedOrigins(engineOrigins(addresses));
    m_site->setUrl(addresses.marketing);
    m_external->setUrl(addresses.external);
    m_portal->setUrl(addresses.portal);
    updateWebTerminal();
    if (m_admin)
        m_admin->setUrl(addresses.admin);
    // A link to the engine's terminal page from any tab opens the Web Terminal tab, signed in, instead of an
    // unsigned copy in place.
    for (WebView* page : {m_site, m_external, m_portal, m_webTerminal, m_admin})
        if (page)
            page->setDivertedPage(EngineAddresses::webTerminalUrl(addresses.engine, QString()));
}

void ContentView::openWebTerminal() {
    m_tabs->setCurrentWidget(m_webTerminal);
    m_webTerminal->showHome();
}

void ContentView::updateWebTerminal() {
    // The token goes in the address only while nobody else's program holds the engine's port (the terminal's
    // client makes that check for its own requests too); otherwise the page loads without it and says why.
    const EngineAddresses addresses = m_state.addresses();
    QUrl url = addresses.webTerminal;
    QString notice;
    APIClient& api = m_terminalModel.link().api();
    if (QUrlQuery(url).hasQueryItem(QStringLiteral("token")) && !api.maySendSecretsTo(url)) {
        url = EngineAddresses::webTerminalUrl(addresses.engine, QString());
        notice = api.withheldNotice();
    }
    m_webTerminal->setUrl(url);
    m_webTerminal->setStandingNotice(notice);
}

void ContentView::retryFailedPages() {
    updateWebTerminal();
    for (WebView* page : {m_site, m_external, m_portal, m_webTerminal, m_admin})
        if (page)
            page->retryIfFailed();
}

void ContentView::onOperatorClicked() {
    if (m_state.settings().flag(Setting::OperatorUnlocked))
        m_state.lockOperator();
    else
        m_sheet->open();
}

} // namespace zqt
