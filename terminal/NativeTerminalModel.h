#pragma once

#include "terminal/AccountModel.h"
#include "terminal/ChartSettings.h"
#include "terminal/MarketModel.h"
#include "terminal/TerminalLink.h"
#include "terminal/TerminalSession.h"
#include "terminal/TerminalSources.h"
#include "terminal/TicketModel.h"

#include <QObject>
#include <QTimer>
#include <QUrl>

namespace zqt {

class TokenStore;

// The native trading terminal: the owner of its areas (session, market, chart settings, ticket, account), the
// link they share to the engine, and the one poll loop of three timers (5 s, 10 s, 30 s; precise, on the thread
// that owns the model, running from construction for the model's whole life). It loads data on the lifecycle
// hooks and ticks and ties the areas together: a sign-in, an order's outcome, a symbol or interval change read
// again what they affect. Widgets bind to the areas they show. Main thread only.
class NativeTerminalModel final : public QObject {
    Q_OBJECT

public:
    // Periods of the three ticks, in milliseconds.
    static constexpr int kRefreshPeriodMs = 5000;
    static constexpr int kCandlePeriodMs = 10000;
    static constexpr int kHtfPeriodMs = 30000;

    enum class TimerStart { Now, Later };

    // A terminal talking to the engine at `baseUrl`, keeping its sign-in token in `tokens` (which must outlive
    // it). The timers start at once unless `timers` is Later (tests that drive the ticks by hand), in which case
    // start() starts them.
    NativeTerminalModel(const QUrl& baseUrl, TokenStore& tokens, TerminalSources sources = TerminalSources::system(),
                        TimerStart timers = TimerStart::Now, QObject* parent = nullptr);
    ~NativeTerminalModel() override;

    TerminalLink& link() { return m_link; }
    const TerminalLink& link() const { return m_link; }
    TerminalSession& session() { return m_session; }
    const TerminalSession& session() const { return m_session; }
    MarketModel& market() { return m_market; }
    const MarketModel& market() const { return m_market; }
    ChartSettings& chart() { return m_chart; }
    const ChartSettings& chart() const { return m_chart; }
    TicketModel& ticket() { return m_ticket; }
    const TicketModel& ticket() const { return m_ticket; }
    AccountModel& account() { return m_account; }
    const AccountModel& account() const { return m_account; }

    void start();
    const QTimer& refreshTimer() const { return m_refreshTimer; }
    const QTimer& candleTimer() const { return m_candleTimer; }
    const QTimer& htfTimer() const { return m_htfTimer; }

    // Lifecycle hook: the terminal became visible.
    void onShown();
    // Tick handlers of refreshTimer, candleTimer and htfTimer.
    void onRefreshTick();
    void onCandleTick();
    void onHtfTick();

    // Reads of every area, in this order: account, prices, the selected symbol's book, analytics.
    void refreshAll();
    void refreshMarket();
    void refreshCandles();
    void refreshHtfCandles();

private:
    void onSymbolChanged();
    void onCandleIntervalChanged();
    void onHtfIntervalChanged();

    // Declared in construction order: the link first, as every area uses it, and gone last.
    TerminalLink m_link;
    TerminalSession m_session;
    ChartSettings m_chart;
    MarketModel m_market;
    TicketModel m_ticket;
    AccountModel m_account;
    QTimer m_refreshTimer;
    QTimer m_candleTimer;
    QTimer m_htfTimer;
};

} // namespace zqt
