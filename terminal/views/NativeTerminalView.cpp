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

#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

namespace zqt {

namespace {

constexpr int kPageMargin = 16;
constexpr int kRowSpacing = 16;

} // namespace

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

void NativeTerminalView::showEvent(QShowEvent* event) {
    QScrollArea::showEvent(event);
    if (!event->spontaneous())
        m_model.onShown();
}

} // namespace zqt
