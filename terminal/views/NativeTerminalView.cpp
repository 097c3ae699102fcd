#include "terminal/views/NativeTerminalView.h"

#include "terminal/NativeTerminalModel.h"
#include "terminal/views/AccountPanels.h"
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

    NativeTerminalModel& m = m_model;
    MarketModel& market = m.market();
    TicketModel& ticket = m.ticket();
    AccountModel& account = m.account();
    addRow({new LoginPanel(m.session(), market, page)});
    addRow({new MetricsPanel(m, page)});
    addRow({new WatchlistPanel(market, page), new OrderTicketPanel(ticket, market, page)});
    addRow({new ChartPanel(market, m.chart(), page)});
    addRow({new LadderPanel(market, ticket, page), new TapePanel(market, page), new HotkeysPanel(ticket, page)});
    addRow({new MicrostructurePanel(market, page)});

    // Account and analytics.
    addRow({portfolioPanel(account, page)});
    addRow({positionsPanel(account, page)});
    addRow({ordersPanel(account, page), rm1Panel(account, page)});
    addRow({analyticsPanel(account, page), diagnosticsPanel(account, page)});
    addRow({fillsPanel(account, page)});
}

NativeTerminalView::~NativeTerminalView() = default;

void NativeTerminalView::addRow(std::initializer_list<QWidget*> cards) {
    auto* row = new QHBoxLayout;
    row->setSpacing(kRowSpacing);
    bool expands = false;
    for (QWidget* card : cards)
        expands = expands || (card->sizePolicy().horizontalPolicy() & QSizePolicy::ExpandFlag);
    if (!expands)
        row->addStretch(1);
    for (QWidget* card : cards) {
        card->setParent(widget());
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
