#pragma once

#include "api/APIClient.h"
#include "api/Endpoints.h"
#include "api/Result.h"
#include "terminal/DepthAnalytics.h"
#include "terminal/TerminalSources.h"
#include "terminal/TerminalState.h"

#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace zqt {

class TokenStore;

// The native trading terminal's state and operations. It owns the API client and the three refresh timers
// (5 s, 10 s, 30 s; precise, on the thread that owns the model, running from construction for the model's whole
// life), loads data on the lifecycle hooks and ticks, folds live prices into the bars and the synthetic tape,
// and sends orders. Every change of a field is announced by its signal (one per field or per group); the
// widgets read the getters and call the operations. Main thread only.
class NativeTerminalModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString email READ email WRITE setEmail NOTIFY emailChanged)
    Q_PROPERTY(QString password READ password WRITE setPassword NOTIFY passwordChanged)
    Q_PROPERTY(QString loginError READ loginError NOTIFY loginErrorChanged)
    Q_PROPERTY(QString marketError READ marketError NOTIFY marketErrorChanged)
    Q_PROPERTY(QString portWarning READ portWarning NOTIFY portWarningChanged)
    Q_PROPERTY(double totalUpl READ totalUpl NOTIFY portfolioChanged)
    Q_PROPERTY(QStringList watchlist READ watchlist CONSTANT)
    Q_PROPERTY(QString selectedSymbol READ selectedSymbol WRITE setSelectedSymbol NOTIFY selectedSymbolChanged)
    Q_PROPERTY(double candleInterval READ candleInterval WRITE setCandleInterval NOTIFY candleIntervalChanged)
    Q_PROPERTY(double htfInterval READ htfInterval WRITE setHtfInterval NOTIFY htfIntervalChanged)
    Q_PROPERTY(bool showEma READ showEma WRITE setShowEma NOTIFY chartTogglesChanged)
    Q_PROPERTY(bool showVwap READ showVwap WRITE setShowVwap NOTIFY chartTogglesChanged)
    Q_PROPERTY(bool showVwapBands READ showVwapBands WRITE setShowVwapBands NOTIFY chartTogglesChanged)
    Q_PROPERTY(bool showSma50 READ showSma50 WRITE setShowSma50 NOTIFY chartTogglesChanged)
    Q_PROPERTY(bool showSma200 READ showSma200 WRITE setShowSma200 NOTIFY chartTogglesChanged)
    Q_PROPERTY(bool showBbands READ showBbands WRITE setShowBbands NOTIFY chartTogglesChanged)
    Q_PROPERTY(bool showVolume READ showVolume WRITE setShowVolume NOTIFY chartTogglesChanged)
    Q_PROPERTY(bool showRsi READ showRsi WRITE setShowRsi NOTIFY chartTogglesChanged)
    Q_PROPERTY(bool showMacd READ showMacd WRITE setShowMacd NOTIFY chartTogglesChanged)
    Q_PROPERTY(bool showHtf READ showHtf WRITE setShowHtf NOTIFY chartTogglesChanged)
    Q_PROPERTY(bool showGrid READ showGrid WRITE setShowGrid NOTIFY chartTogglesChanged)
    Q_PROPERTY(double tapeDelta READ tapeDelta NOTIFY tapeChanged)
    // The order type and side as their wire text ("MARKET", "BUY", ...); text that is neither is not taken.
    Q_PROPERTY(QString orderType READ orderTypeText WRITE setOrderTypeText NOTIFY orderFormChanged)
    Q_PROPERTY(QString side READ sideText WRITE setSideText NOTIFY orderFormChanged)
    Q_PROPERTY(QString qty READ qty WRITE setQty NOTIFY orderFormChanged)
    Q_PROPERTY(QString sl READ sl WRITE setSl NOTIFY orderFormChanged)
    Q_PROPERTY(QString tp READ tp WRITE setTp NOTIFY orderFormChanged)
    Q_PROPERTY(QString limitPrice READ limitPrice WRITE setLimitPrice NOTIFY orderFormChanged)
    Q_PROPERTY(QString stopPrice READ stopPrice WRITE setStopPrice NOTIFY orderFormChanged)
    Q_PROPERTY(QString orderMessage READ orderMessage NOTIFY orderMessageChanged)

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

    // Points the terminal at another engine address: the client is replaced by one for the new address holding
    // the same token. Reads still due from the old address are ended and their replies dropped; posts and sign-ins
    // already sent there run on and report their outcome (an order the engine may have taken is never left
    // without one). All state stays.
    void setBaseUrl(const QUrl& baseUrl);
    QUrl baseUrl() const;
    // Who holds the engine's port before the token or a password goes there (see APIClient::setPortCheck), for
    // this client and every later one; the kernel's tables unless set.
    void setPortCheck(PortCheck check);
    // The client's sign-in token; tokenChanged tells when a login (or anything else) replaces it.
    QString token() const;
    APIClient& api() { return *m_api; }
    const APIClient& api() const { return *m_api; }

    void start();
    const QTimer& refreshTimer() const { return m_refreshTimer; }
    const QTimer& candleTimer() const { return m_candleTimer; }
    const QTimer& htfTimer() const { return m_htfTimer; }

    // The whole state record; the getters below read the same fields.
    const TerminalState& state() const { return m_s; }

    const QString& email() const { return m_s.email; }
    const QString& password() const { return m_s.password; }
    const QString& loginError() const { return m_s.loginError; }
    const QString& marketError() const { return m_s.marketError; }
    // One line while the client withholds the token and sign-in because another user's program holds the
    // engine's port ("Port <n> is held by another user's program: sign-in and token withheld."); empty otherwise.
    const QString& portWarning() const { return m_s.portWarning; }
    const std::optional<MetricsResponse>& metrics() const { return m_s.metrics; }
    const QList<PositionRow>& positions() const { return m_s.positions; }
    const QList<ExposureRow>& exposure() const { return m_s.exposure; }
    double totalUpl() const { return m_s.totalUpl; }
    const QList<OrderRow>& orders() const { return m_s.orders; }
    const QList<FillRow>& fills() const { return m_s.fills; }
    const QList<RM1Row>& rm1() const { return m_s.rm1; }
    const QStringList& watchlist() const { return m_s.watchlist; }
    const QHash<QString, double>& prices() const { return m_s.prices; }
    const QString& selectedSymbol() const { return m_s.selectedSymbol; }
    double candleInterval() const { return m_s.candleInterval; }
    const QList<Candle>& candles() const { return m_s.candles; }
    double htfInterval() const { return m_s.htfInterval; }
    const QList<Candle>& htfCandles() const { return m_s.htfCandles; }
    bool showEma() const { return m_s.showEma; }
    bool showVwap() const { return m_s.showVwap; }
    bool showVwapBands() const { return m_s.showVwapBands; }
    bool showSma50() const { return m_s.showSma50; }
    bool showSma200() const { return m_s.showSma200; }
    bool showBbands() const { return m_s.showBbands; }
    bool showVolume() const { return m_s.showVolume; }
    bool showRsi() const { return m_s.showRsi; }
    bool showMacd() const { return m_s.showMacd; }
    bool showHtf() const { return m_s.showHtf; }
    bool showGrid() const { return m_s.showGrid; }
    const QList<DepthLevel>& depthLevels() const { return m_s.depthLevels; }
    std::optional<double> selectedLadderPrice() const { return m_s.selectedLadderPrice; }
    const QList<TapePrint>& tapeRows() const { return m_s.tapeRows; }
    double tapeDelta() const { return m_s.tapeDelta; }
    std::optional<double> lastTradePrice() const { return m_s.lastTradePrice; }
    const QList<PnlSymbolRow>& pnlRows() const { return m_s.pnlRows; }
    const QList<PnlExposureRow>& exposureRows() const { return m_s.exposureRows; }
    const std::optional<ExecutionQualityResponse>& execQuality() const { return m_s.execQuality; }
    OrderType orderType() const { return m_s.orderType; }
    Side side() const { return m_s.side; }
    QString orderTypeText() const;
    QString sideText() const;
    const QString& qty() const { return m_s.qty; }
    const QString& sl() const { return m_s.sl; }
    const QString& tp() const { return m_s.tp; }
    const QString& limitPrice() const { return m_s.limitPrice; }
    const QString& stopPrice() const { return m_s.stopPrice; }
    const QString& orderMessage() const { return m_s.orderMessage; }

    // Field edits. The symbol and the two intervals run their change hooks; setting the current value does
    // nothing. An interval must be a whole number of seconds from 1 up to 2^53; anything else is ignored.
    void setEmail(const QString& v);
    void setPassword(const QString& v);
    void setSelectedSymbol(const QString& symbol);
    void setCandleInterval(double seconds);
    void setHtfInterval(double seconds);
    void setShowEma(bool v);
    void setShowVwap(bool v);
    void setShowVwapBands(bool v);
    void setShowSma50(bool v);
    void setShowSma200(bool v);
    void setShowBbands(bool v);
    void setShowVolume(bool v);
    void setShowRsi(bool v);
    void setShowMacd(bool v);
    void setShowHtf(bool v);
    void setShowGrid(bool v);
    void setOrderType(OrderType v);
    void setSide(Side v);
    void setOrderTypeText(const QString& v);
    void setSideText(const QString& v);
    void setQty(const QString& v);
    void setSl(const QString& v);
    void setTp(const QString& v);
    void setLimitPrice(const QString& v);
    void setStopPrice(const QString& v);

    // Lifecycle hook: the terminal became visible.
    void onShown();
    // Tick handlers of refreshTimer, candleTimer and htfTimer.
    void onRefreshTick();
    void onCandleTick();
    void onHtfTick();

    // Requests; each returns at once and its reply updates the state on this thread. A read whose path and query
    // are still awaiting their reply is not sent again (it is skipped; the next tick sends it).
    void refreshAll();
    void refreshMarket();
    void refreshCandles();
    void refreshHtfCandles();
    void login();

    // Live updates from one price of the selected symbol at `now`.
    void updateCandles(double price, const QDateTime& now);
    void updateTape(double price, const QDateTime& now);

    // Orders. Each post's outcome replaces orderMessage (see OrderOutcome.h): "Order submitted." when the engine
    // took an order, a reply it could not read as such, the refusal with its HTTP status and the engine's text, a
    // redirect, or the transport error's text when no reply came; a cancel-all or close-all says the same of
    // itself, its success included. Every reply is followed by refreshAll (cancel-all and close-all refresh after a
    // transport failure too).
    void placeOrder();
    void quickOrder(Side side, OrderType type);
    void cancelAll();
    void closeAll();

    // A tap on the ladder row at `price` (the selection belongs to the book of the selected symbol, and a
    // symbol change clears it): selects it, switches the ticket to a limit order and writes the price with
    // four decimals into the limit price.
    void selectLadderPrice(double price);

    // Read-outs computed from the current state on every call.
    QString aggressorLabel() const;
    DepthSummary depthSummary() const;
    double inferredTickSize() const;
    QList<ProfileBin> volumeProfileBins(const QList<Candle>& source, int bins) const;
    QList<FlowCluster> orderflowClusters(int limit) const;
    QList<DepthHeatRow> depthHeatRows() const;

signals:
    void tokenChanged();
    void emailChanged();
    void passwordChanged();
    void loginErrorChanged();
    void marketErrorChanged();
    void portWarningChanged();
    void metricsChanged();
    void positionsChanged();
    void portfolioChanged(); // exposure and totalUpl
    void ordersChanged();
    void fillsChanged();
    void rm1Changed();
    void pricesChanged();
    void selectedSymbolChanged();
    void candleIntervalChanged();
    void candlesChanged();
    void htfIntervalChanged();
    void htfCandlesChanged();
    void chartTogglesChanged(); // any of the show* switches
    void depthChanged();        // depthLevels
    void selectedLadderPriceChanged();
    void tapeChanged(); // tapeRows, tapeDelta and lastTradePrice
    void pnlChanged();  // pnlRows and exposureRows
    void execQualityChanged();
    void orderFormChanged(); // orderType, side, qty, sl, tp, limitPrice, stopPrice
    void orderMessageChanged();
    // A reply to the request for `path` (path and query) was handled: applied, found failed, or dropped as stale.
    // Emitted after the state changes it caused. For diagnostics and tests; views need not listen.
    void replyHandled(const QString& path);

private:
    void createClient(const QUrl& baseUrl);
    // Wraps a read's reply handler so that it runs only while this model lives and the client that sent the
    // request is still the current one.
    template <class... Args, class F> std::function<void(Args...)> guarded(F handler);
    // Wraps a post's or sign-in's reply handler so that it runs while this model lives, whichever client sent it.
    template <class... Args, class F> std::function<void(Args...)> whileAlive(F handler);
    template <class T, class F> void get(const endpoints::Read<T>& read, F handler);
    void post(const endpoints::Post& form, std::function<void(const APIClient::RawReply&)> handler);
    endpoints::OrderTicket ticket() const;
    void applyPrices(const PricesResponse& reply);
    void setMarketError(const QString& v);
    void setMarketErrorIfEmpty(const QString& v);
    void setLoginError(const QString& v);
    void setPortWarning(const QString& v);
    void setOrderMessage(const QString& v);
    void setChartToggle(bool TerminalState::*field, bool v);
    void setOrderField(QString TerminalState::*field, const QString& v);
    void sendOrder(const endpoints::Post& form);
    void fetchPrices();
    void fetchCandles(bool higherTimeframe);

    TerminalSources m_sources;
    PortCheck m_portCheck;
    TokenStore& m_tokens;
    std::unique_ptr<APIClient> m_api;
    quint64 m_clientGeneration = 0; // bumped when the client is replaced or the model goes away
    QSet<QString> m_readsInFlight;  // path and query of every read of the current client awaiting its reply
    bool m_closing = false;         // set when the model starts going away
    TerminalState m_s;
    QTimer m_refreshTimer;
    QTimer m_candleTimer;
    QTimer m_htfTimer;
};

} // namespace zqt
