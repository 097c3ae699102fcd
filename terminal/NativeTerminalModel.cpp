#include "terminal/NativeTerminalModel.h"

#include <utility>

namespace zqt {

NativeTerminalModel::NativeTerminalModel(const QUrl& baseUrl, TokenStore& tokens, TerminalSources sources,
                                         TimerStart timers, QObject* parent)
    : QObject(parent), m_link(baseUrl, tokens), m_session(m_link), m_market(m_link, m_chart, sources),
      m_ticket(m_link, m_market),
      m_account(m_link, sources.clock ? std::move(sources.clock) : TerminalSources::system().clock) {
    connect(&m_session, &TerminalSession::signedIn, this, &NativeTerminalModel::refreshAll);
    // Signed out, the account shows as it did before the first sign-in; the prices go on.
    connect(&m_session, &TerminalSession::signedOut, &m_account, &AccountModel::clear);
    connect(&m_ticket, &TicketModel::accountTouched, this, &NativeTerminalModel::refreshAll);
    connect(&m_market, &MarketModel::selectedSymbolChanged, this, &NativeTerminalModel::onSymbolChanged);
    connect(&m_chart, &ChartSettings::candleIntervalChanged, this, &NativeTerminalModel::onCandleIntervalChanged);
    connect(&m_chart, &ChartSettings::htfIntervalChanged, this, &NativeTerminalModel::onHtfIntervalChanged);

    const struct {
        QTimer& timer;
        int periodMs;
        void (NativeTerminalModel::*tick)();
    } ticks[] = {{m_refreshTimer, kRefreshPeriodMs, &NativeTerminalModel::onRefreshTick},
                 {m_candleTimer, kCandlePeriodMs, &NativeTerminalModel::onCandleTick},
                 {m_htfTimer, kHtfPeriodMs, &NativeTerminalModel::onHtfTick}};
    for (const auto& t : ticks) {
        t.timer.setTimerType(Qt::PreciseTimer);
        t.timer.setInterval(t.periodMs);
        connect(&t.timer, &QTimer::timeout, this, t.tick);
    }
    if (timers == TimerStart::Now)
        start();
}

NativeTerminalModel::~NativeTerminalModel() = default;

void NativeTerminalModel::start() {
    for (QTimer* t : {&m_refreshTimer, &m_candleTimer, &m_htfTimer})
        if (!t->isActive())
            t->start();
}

// ---- hooks and ticks ------------------------------------------------------------------------------------------

void NativeTerminalModel::onShown() {
    refreshAll();
    refreshMarket();
    refreshCandles();
    refreshHtfCandles();
}

void NativeTerminalModel::onRefreshTick() {
    if (!m_link.token().isEmpty())
        refreshAll();
    else
        refreshMarket();
}

void NativeTerminalModel::onCandleTick() {
    refreshCandles();
}

void NativeTerminalModel::onHtfTick() {
    refreshHtfCandles();
}

// ---- reads ----------------------------------------------------------------------------------------------------

void NativeTerminalModel::refreshAll() {
    m_account.refreshAccount();
    m_market.refreshPrices();
    m_market.refreshDepth();
    m_account.refreshAnalytics();
}

void NativeTerminalModel::refreshMarket() {
    m_market.refreshPrices();
}

void NativeTerminalModel::refreshCandles() {
    m_market.refreshCandles();
}

void NativeTerminalModel::refreshHtfCandles() {
    m_market.refreshHtfCandles();
}

// ---- changes that call for fresh data -------------------------------------------------------------------------

// The higher-timeframe bars stay until the reply for the new symbol replaces them.
void NativeTerminalModel::onSymbolChanged() {
    refreshAll();
    refreshMarket();
    refreshCandles();
    refreshHtfCandles();
}

void NativeTerminalModel::onCandleIntervalChanged() {
    m_market.clearCandles();
    refreshAll();
    refreshMarket();
    refreshCandles();
}

void NativeTerminalModel::onHtfIntervalChanged() {
    m_market.clearHtfCandles();
    refreshHtfCandles();
}

} // namespace zqt
