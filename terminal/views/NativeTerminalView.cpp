#include "terminal/views/NativeTerminalView.h"

#include "terminal/NativeTerminalModel.h"
#include "terminal/views/AccountPanels.h"
#include "terminal/views/ChartMarks.h"
#include "terminal/views/ChartPanel.h"
#include "terminal/views/HotkeysPanel.h"
#include "terminal/views/LadderPanel.h"
#include "terminal/views/LoginPanel.h"
#include "terminal/views/MetricsPanel.h"
#include "terminal/views/MicrostructurePanel.h"
#include "terminal/views/OrderTicketPanel.h"
#include "terminal/views/TapePanel.h"
#include "terminal/views/WatchlistPanel.h"

#include <QAction>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QMainWindow>
#include <QScrollBar>
#include <QShortcut>
#include <QShowEvent>
#include <QStyle>
#include <QTabBar>
#include <QVBoxLayout>

#include <utility>

namespace zqt {

namespace {

constexpr int kPageMargin = 16;
constexpr int kRowSpacing = 16;
// Room around a card in a dock of the default workspace, for the dock's frame.
constexpr int kDockRoom = 8;

QString dockName(const QString& panelName) {
    return panelName + QStringLiteral("Dock");
}

} // namespace

const QStringList& workspacePanelOrder() {
    static const QStringList order{
        QStringLiteral("chartPanel"),       QStringLiteral("ladderPanel"),
        QStringLiteral("orderPanel"),       QStringLiteral("hotkeysPanel"),
        QStringLiteral("tapePanel"),        QStringLiteral("positionsPanel"),
        QStringLiteral("watchlistPanel"),   QStringLiteral("metricsPanel"),
        QStringLiteral("loginPanel"),       QStringLiteral("portfolioPanel"),
        QStringLiteral("ordersPanel"),      QStringLiteral("fillsPanel"),
        QStringLiteral("rm1Panel"),         QStringLiteral("analyticsPanel"),
        QStringLiteral("diagnosticsPanel"), QStringLiteral("microstructurePanel"),
    };
    return order;
}

// Each entry hands its panel the areas it shows.
const QList<QList<PagePanel>>& terminalPageRows() {
    using M = NativeTerminalModel&;
    using P = QWidget*;
    static const QList<QList<PagePanel>> rows{
        {{QStringLiteral("loginPanel"),
          [](M m, P p) -> PanelCard* {
              return new LoginPanel(m.session(), m.market(), p);
          }}},
        {{QStringLiteral("metricsPanel"),
          [](M m, P p) -> PanelCard* {
              return new MetricsPanel(m, p);
          }}},
        {{QStringLiteral("watchlistPanel"),
          [](M m, P p) -> PanelCard* {
              return new WatchlistPanel(m.market(), p);
          }},
         {QStringLiteral("orderPanel"),
          [](M m, P p) -> PanelCard* {
              return new OrderTicketPanel(m.ticket(), m.market(), p);
          }}},
        {{QStringLiteral("chartPanel"),
          [](M m, P p) -> PanelCard* {
              auto* chart = new ChartPanel(m.market(), m.chart(), p);
              showChartMarks(*chart, m.market(), m.account());
              return chart;
          }}},
        {{QStringLiteral("ladderPanel"),
          [](M m, P p) -> PanelCard* {
              auto* ladder = new LadderPanel(m.market(), m.ticket(), p);
              ladder->showOwnMarks(m.account());
              return ladder;
          }},
         {QStringLiteral("tapePanel"),
          [](M m, P p) -> PanelCard* {
              return new TapePanel(m.market(), p);
          }},
         {QStringLiteral("hotkeysPanel"),
          [](M m, P p) -> PanelCard* {
              return new HotkeysPanel(m.ticket(), p);
          }}},
        {{QStringLiteral("microstructurePanel"),
          [](M m, P p) -> PanelCard* {
              return new MicrostructurePanel(m.market(), p);
          }}},
        // Account and analytics.
        {{QStringLiteral("portfolioPanel"),
          [](M m, P p) -> PanelCard* {
              return new PortfolioPanel(m.account(), p);
          }}},
        {{QStringLiteral("positionsPanel"),
          [](M m, P p) -> PanelCard* {
              return new PositionsPanel(m.account(), p);
          }}},
        {{QStringLiteral("ordersPanel"),
          [](M m, P p) -> PanelCard* {
              return new OrdersPanel(m.account(), p);
          }},
         {QStringLiteral("rm1Panel"),
          [](M m, P p) -> PanelCard* {
              return new Rm1Panel(m.account(), p);
          }}},
        {{QStringLiteral("analyticsPanel"),
          [](M m, P p) -> PanelCard* {
              return new AnalyticsPanel(m.account(), p);
          }},
         {QStringLiteral("diagnosticsPanel"),
          [](M m, P p) -> PanelCard* {
              return new DiagnosticsPanel(m.account(), p);
          }}},
        {{QStringLiteral("fillsPanel"),
          [](M m, P p) -> PanelCard* {
              return new FillsPanel(m.account(), p);
          }}},
    };
    return rows;
}

NativeTerminalView::NativeTerminalView(NativeTerminalModel& model, QWidget* parent)
    : QScrollArea(parent), m_model(model) {
    setObjectName(QStringLiteral("nativeTerminalView"));
    setAccessibleName(QStringLiteral("Native Terminal"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    // The page sits on the text-background colour so the window-coloured cards stand out in light and dark.
    auto* page = new QWidget(this);
    m_page = page;
    page->setObjectName(QStringLiteral("terminalPage"));
    page->setBackgroundRole(QPalette::Base);
    page->setAutoFillBackground(true);
    // A card that grows (the tape filling up) resizes the page; only the cards that moved or changed size and
    // the newly exposed strip are painted again, not the whole page.
    page->setAttribute(Qt::WA_StaticContents);
    m_rows = new QVBoxLayout(page);
    m_rows->setContentsMargins(kPageMargin, kPageMargin, kPageMargin, kPageMargin);
    m_rows->setSpacing(kRowSpacing);
    m_rows->addStretch(1);
    setWidget(page);

    for (const QList<PagePanel>& row : terminalPageRows()) {
        QList<PanelCard*> cards;
        for (const PagePanel& panel : row) {
            PanelCard* card = panel.make(m_model, page);
            Q_ASSERT(card->objectName() == panel.name);
            m_cards.insert(panel.name, card);
            cards << card;
        }
        addRow(cards);
    }
}

NativeTerminalView::~NativeTerminalView() = default;

void NativeTerminalView::addRow(const QList<PanelCard*>& cards) {
    auto* row = new QHBoxLayout;
    row->setSpacing(kRowSpacing);
    bool expands = false;
    for (PanelCard* card : cards)
        expands = expands || (card->sizePolicy().horizontalPolicy() & QSizePolicy::ExpandFlag);
    if (!expands)
        row->addStretch(1);
    for (PanelCard* card : cards) {
        row->addWidget(card, card->sizePolicy().horizontalPolicy() & QSizePolicy::ExpandFlag ? 1 : 0, Qt::AlignTop);
    }
    if (!expands)
        row->addStretch(1);
    // Before the closing stretch, so rows stay packed at the top.
    m_rows->insertLayout(m_rows->count() - 1, row);
}

void NativeTerminalView::layOutPage() {
    // The rows are laid out afresh, from the table, around the same cards.
    while (m_rows->count() > 1) {
        QLayoutItem* row = m_rows->takeAt(0);
        delete row; // the row's layout, not its cards
    }
    for (const QList<PagePanel>& row : terminalPageRows()) {
        QList<PanelCard*> cards;
        for (const PagePanel& panel : row) {
            PanelCard* card = m_cards.value(panel.name);
            if (QScrollArea* holder = m_dockScrolls.value(panel.name); holder && holder->widget() == card)
                holder->takeWidget();
            card->setParent(m_page);
            card->setAutoFillBackground(false);
            card->show();
            cards << card;
        }
        addRow(cards);
    }
    // On the page every card keeps its own height (the charts and tables theirs).
    for (PanelCard* card : std::as_const(m_cards))
        card->setFillsHeight(false);
}

void NativeTerminalView::buildWorkspace() {
    m_workspace = new QMainWindow(this, Qt::Widget);
    m_workspace->setObjectName(QStringLiteral("terminalWorkspace"));
    m_workspace->setAccessibleName(QStringLiteral("Workspace"));
    m_workspace->setDockNestingEnabled(true);
    // Not animated: docks move at once, so a layout change costs one layout pass.
    m_workspace->setDockOptions(QMainWindow::AllowNestedDocks | QMainWindow::AllowTabbedDocks |
                                QMainWindow::GroupedDragging);
    m_workspace->setBackgroundRole(QPalette::Base);
    m_workspace->setAutoFillBackground(true);
    m_workspace->hide();
    m_workspace->installEventFilter(this);
    // Ctrl+1 to Ctrl+9: the first nine panels; one press, one move of the focus, however long the keys are held.
    for (int i = 0; i < 9; ++i) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + i)), m_workspace);
        shortcut->setObjectName(QStringLiteral("focusPanelShortcut%1").arg(i + 1));
        shortcut->setContext(Qt::WindowShortcut);
        shortcut->setAutoRepeat(false);
        connect(shortcut, &QShortcut::activated, this, [this, i] { focusPanel(i); });
    }
    for (const QString& name : workspacePanelOrder()) {
        PanelCard* card = m_cards.value(name);
        Q_ASSERT(card);
        auto* dock = new QDockWidget(card->windowTitle(), m_workspace);
        dock->setObjectName(dockName(name));
        // The quick actions stay in the window: their keys are the window's, and a panel floating in a window of
        // its own would take them along.
        dock->setFeatures(name == QStringLiteral("hotkeysPanel")
                              ? QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable
                              : QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                                    QDockWidget::DockWidgetFloatable);
        // A card bigger than its dock scrolls inside it; a card held at its width stays at it.
        auto* holder = new QScrollArea(dock);
        holder->setObjectName(name + QStringLiteral("Scroll"));
        holder->setFrameShape(QFrame::NoFrame);
        holder->setWidgetResizable(true);
        holder->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        holder->setBackgroundRole(QPalette::Base);
        dock->setWidget(holder);
        dock->toggleViewAction()->setText(card->windowTitle());
        m_docks.insert(name, dock);
        m_dockScrolls.insert(name, holder);
    }
    // Laid out for the size it is about to take, the view's.
    m_workspace->resize(viewport()->size());
    arrangeDefault();
}

void NativeTerminalView::holdCardsInDocks() {
    for (const QString& name : workspacePanelOrder()) {
        PanelCard* card = m_cards.value(name);
        m_dockScrolls.value(name)->setWidget(card);
        card->setAutoFillBackground(false);
    }
    // Each card fits its dock: the chart's charts share out the height the dock gives, a table takes what its card
    // leaves and scrolls inside itself.
    for (PanelCard* card : std::as_const(m_cards))
        card->setFillsHeight(true);
}

void NativeTerminalView::setLayoutMode(TerminalLayout layout) {
    if (layout == m_layout)
        return;
    if (!m_workspace)
        buildWorkspace();
    m_layout = layout;
    setUpdatesEnabled(false);
    if (layout == TerminalLayout::Workspace) {
        m_pageScroll = verticalScrollBar()->value();
        QWidget* page = takeWidget();
        page->setParent(this);
        page->hide();
        holdCardsInDocks();
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setWidget(m_workspace);
        m_workspace->show();
        for (auto it = m_dockScrollPos.cbegin(); it != m_dockScrollPos.cend(); ++it) {
            QScrollArea* holder = m_dockScrolls.value(it.key());
            holder->horizontalScrollBar()->setValue(it.value().x());
            holder->verticalScrollBar()->setValue(it.value().y());
        }
    } else {
        // Each dock's scroll position waits for the cards' return.
        for (auto it = m_dockScrolls.cbegin(); it != m_dockScrolls.cend(); ++it)
            m_dockScrollPos.insert(
                it.key(), {it.value()->horizontalScrollBar()->value(), it.value()->verticalScrollBar()->value()});
        takeWidget();
        m_workspace->setParent(this);
        m_workspace->hide();
        layOutPage();
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        setWidget(m_page);
        m_page->show();
        m_page->layout()->activate();
        verticalScrollBar()->setValue(m_pageScroll);
    }
    setUpdatesEnabled(true);
}

QList<QAction*> NativeTerminalView::panelActions() {
    if (!m_workspace)
        buildWorkspace();
    QList<QAction*> actions;
    for (const QString& name : workspacePanelOrder())
        actions << m_docks.value(name)->toggleViewAction();
    return actions;
}

QByteArray NativeTerminalView::saveWorkspace() {
    if (!m_workspace)
        buildWorkspace();
    return m_workspace->saveState(kWorkspaceVersion);
}

bool NativeTerminalView::restoreWorkspace(const QByteArray& state) {
    if (!m_workspace)
        buildWorkspace();
    if (!state.isEmpty() && m_workspace->restoreState(state, kWorkspaceVersion)) {
        m_defaultSizesPending = false;
        // Sizes restored into a workspace that has not yet taken its size are scaled to the size it had; the
        // state is applied once more when it has.
        if (!m_workspace->isVisible())
            m_pendingState = state;
        return true;
    }
    resetWorkspace();
    return false;
}

void NativeTerminalView::resetWorkspace() {
    m_dockScrollPos.clear();
    m_pendingState.clear();
    if (!m_workspace) {
        buildWorkspace();
        return;
    }
    // A dock host remembers the places of the docks it has held (closed, floated, tabbed) and would bring them
    // back into a new arrangement: the default is laid out in a new host, around the same cards.
    const bool shown = widget() == m_workspace;
    for (PanelCard* card : std::as_const(m_cards))
        if (card->parentWidget() != m_page)
            card->setParent(this);
    if (shown)
        takeWidget();
    delete m_workspace;
    m_docks.clear();
    m_dockScrolls.clear();
    buildWorkspace();
    if (shown) {
        holdCardsInDocks();
        setWidget(m_workspace);
        m_workspace->show();
    }
    emit panelsRebuilt();
}

void NativeTerminalView::arrangeDefault() {
    QMainWindow* w = m_workspace;
    const auto d = [this](const char* name) {
        return m_docks.value(QString::fromLatin1(name));
    };
    const bool wide = w->width() >= kWideWorkspace;
    m_defaultWide = wide;
    if (wide) {
        w->addDockWidget(Qt::LeftDockWidgetArea, d("watchlistPanel"));
        w->splitDockWidget(d("watchlistPanel"), d("orderPanel"), Qt::Horizontal);
    } else {
        w->addDockWidget(Qt::LeftDockWidgetArea, d("orderPanel"));
    }
    w->splitDockWidget(d("orderPanel"), d("chartPanel"), Qt::Horizontal);
    w->splitDockWidget(d("chartPanel"), d("ladderPanel"), Qt::Horizontal);
    w->splitDockWidget(d("orderPanel"), d("hotkeysPanel"), Qt::Vertical);
    w->splitDockWidget(d("ladderPanel"), d("tapePanel"), Qt::Vertical);
    // One tab away: the account panels behind the ticket (or the watchlist) and the rest behind the open trades.
    // In a wide window the open trades go under the watchlist and the metrics, and the chart has its whole column.
    QDockWidget* accountFront = wide ? d("watchlistPanel") : d("orderPanel");
    QList<QDockWidget*> accountTabs{d("loginPanel")};
    if (wide) {
        w->splitDockWidget(d("watchlistPanel"), d("metricsPanel"), Qt::Vertical);
        w->splitDockWidget(d("metricsPanel"), d("positionsPanel"), Qt::Vertical);
    } else {
        w->splitDockWidget(d("chartPanel"), d("positionsPanel"), Qt::Vertical);
        accountTabs = {d("watchlistPanel"), d("metricsPanel"), d("loginPanel")};
    }
    for (QDockWidget* tab : accountTabs)
        w->tabifyDockWidget(accountFront, tab);
    for (const char* name : {"portfolioPanel", "ordersPanel", "fillsPanel", "rm1Panel", "analyticsPanel",
                             "diagnosticsPanel", "microstructurePanel"})
        w->tabifyDockWidget(d("positionsPanel"), d(name));
    for (QDockWidget* dock : std::as_const(m_docks))
        dock->show();
    accountFront->raise();
    d("positionsPanel")->raise();
    m_defaultSizesPending = true;
    if (w->isVisible() && w->width() > 0)
        sizeDefault();
}

void NativeTerminalView::sizeDefault() {
    m_defaultSizesPending = false;
    QMainWindow* w = m_workspace;
    const auto d = [this](const char* name) {
        return m_docks.value(QString::fromLatin1(name));
    };
    // As wide as its card needs, with room for a scroll bar should the card grow taller than its dock (the ladder
    // and the tape fill up).
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const auto card = [this](const char* name) {
        const PanelCard* c = m_cards.value(QString::fromLatin1(name));
        return c->minimumSize().expandedTo(c->minimumSizeHint());
    };
    const auto wide = [&](const char* name) {
        return card(name).width() + scrollBar + kDockRoom;
    };
    // A card whose rows wrap is as high as it is at the width of its column (less the room a scroll bar would take).
    const auto cardHigh = [&](const char* name, int columnWidth) {
        const PanelCard* c = m_cards.value(QString::fromLatin1(name));
        return std::max(card(name).height(), c->heightForWidth(columnWidth - scrollBar - kDockRoom));
    };
    // A dock as high as its card needs, with the dock's title bar, and the tab bar when it heads a tab group.
    QTabBar tabs;
    tabs.setFont(font());
    tabs.addTab(QStringLiteral("Tab"));
    const int tabBar = tabs.sizeHint().height();
    const auto high = [&](const char* name, int columnWidth, bool tabbed) {
        QDockWidget* dock = d(name);
        const int title = dock->minimumSizeHint().height() - dock->widget()->minimumSizeHint().height();
        return cardHigh(name, columnWidth) + std::max(title, 0) + (tabbed ? tabBar : 0) + kDockRoom;
    };

    const int ticket = wide("orderPanel");
    const int ladder = std::max(wide("ladderPanel"), wide("tapePanel"));
    const int watch = m_defaultWide ? std::max(wide("watchlistPanel"), wide("positionsPanel")) : 0;
    const int chart = std::max(0, w->width() - watch - ticket - ladder);
    QList<QDockWidget*> columns{d("orderPanel"), d("chartPanel"), d("ladderPanel")};
    QList<int> widths{ticket, chart, ladder};
    if (m_defaultWide) {
        columns.prepend(d("watchlistPanel"));
        widths.prepend(watch);
    }
    w->resizeDocks(columns, widths, Qt::Horizontal);

    const int height = w->height();
    const int actions = high("hotkeysPanel", ticket, false);
    w->resizeDocks({d("orderPanel"), d("hotkeysPanel")}, {height - actions, actions}, Qt::Vertical);
    // The ladder a little more than half the column, the tape at least its least (their tables fill the rest).
    const int book = std::max(std::min(high("ladderPanel", ladder, false), height - high("tapePanel", ladder, false)),
                              height * 11 / 20);
    w->resizeDocks({d("ladderPanel"), d("tapePanel")}, {book, height - book}, Qt::Vertical);
    // The chart takes the height the open trades leave, or all of it in a wide window (its charts share it out).
    if (m_defaultWide) {
        const int metrics = high("metricsPanel", watch, false);
        const int trades = high("positionsPanel", watch, true);
        w->resizeDocks({d("watchlistPanel"), d("metricsPanel"), d("positionsPanel")},
                       {height - metrics - trades, metrics, trades}, Qt::Vertical);
    } else {
        const int trades = high("positionsPanel", chart, true);
        w->resizeDocks({d("chartPanel"), d("positionsPanel")}, {height - trades, trades}, Qt::Vertical);
    }
}

void NativeTerminalView::focusPanel(int index) {
    if (!m_workspace || index < 0 || index >= workspacePanelOrder().size())
        return;
    const QString name = workspacePanelOrder().at(index);
    QDockWidget* dock = m_docks.value(name);
    dock->show();
    dock->raise();
    if (dock->isFloating())
        dock->activateWindow();
    // The first control of the panel that takes the focus from the keyboard, else the panel's scroll area.
    QWidget* target = m_dockScrolls.value(name);
    PanelCard* card = m_cards.value(name);
    for (QWidget* next = card->nextInFocusChain(); next && next != card; next = next->nextInFocusChain()) {
        if (!card->isAncestorOf(next))
            break;
        if ((next->focusPolicy() & Qt::TabFocus) && next->isEnabled() && next->isVisibleTo(card)) {
            target = next;
            break;
        }
    }
    target->setFocus(Qt::ShortcutFocusReason);
}

bool NativeTerminalView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_workspace && !m_pendingState.isEmpty() &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Show) && m_workspace->isVisible())
        m_workspace->restoreState(std::exchange(m_pendingState, QByteArray()), kWorkspaceVersion);
    if (watched == m_workspace && m_defaultSizesPending &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Show) && m_workspace->isVisible()) {
        // The wide default differs in its places, so it is laid out again for the size the workspace first takes.
        if ((m_workspace->width() >= kWideWorkspace) != m_defaultWide) {
            m_defaultSizesPending = false;
            QMetaObject::invokeMethod(this, &NativeTerminalView::resetWorkspace, Qt::QueuedConnection);
        } else
            sizeDefault();
    }
    return QScrollArea::eventFilter(watched, event);
}

void NativeTerminalView::showEvent(QShowEvent* event) {
    QScrollArea::showEvent(event);
    if (!event->spontaneous())
        m_model.onShown();
}

} // namespace zqt
