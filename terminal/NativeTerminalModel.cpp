#include "terminal/NativeTerminalModel.h"

#include "api/APIClient.h"
#include "api/TokenStore.h"
#include "terminal/CandleRows.h"
#include "terminal/LiveCandles.h"
#include "terminal/OrderOutcome.h"
#include "terminal/Tape.h"

#include <QPointer>

#include <cmath>
#include <utility>

namespace zqt {

namespace {

const QString kMarketFeedUnavailable = QStringLiteral("Market feed unavailable. Log in or start services.");
const QString kCandlesUnavailable = QStringLiteral("Candles unavailable. Log in or enable public prices.");

// Bar intervals are whole seconds; 2^53 keeps every such value exact in a double.
bool isValidInterval(double seconds) {
    return std::isfinite(seconds) && seconds >= 1.0 && seconds <= 9007199254740992.0 && std::trunc(seconds) == seconds;
}

std::int64_t wholeSeconds(double seconds) {
    return static_cast<std::int64_t>(seconds);
}

} // namespace

NativeTerminalModel::NativeTerminalModel(const QUrl& baseUrl, TokenStore& tokens, TerminalSources sources,
                                         TimerStart timers, QObject* parent)
    : QObject(parent), m_sources(std::move(sources)), m_tokens(tokens) {
    createClient(baseUrl);
    if (!m_sources.clock)
        m_sources.clock = TerminalSources::system().clock;
    if (!m_sources.sizeDraw)
        m_sources.sizeDraw = TerminalSources::system().sizeDraw;
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

NativeTerminalModel::~NativeTerminalModel() {
    // The clients cancel what is still in flight and report it at once: nobody is left to take it.
    ++m_clientGeneration;
    m_closing = true;
    m_api.reset();
    qDeleteAll(findChildren<APIClient*>(Qt::FindDirectChildrenOnly));
}

void NativeTerminalModel::createClient(const QUrl& baseUrl) {
    ++m_clientGeneration;
    m_readsInFlight.clear(); // the former client's reads are ended, and their replies dropped
    // The new client reads the token from the store, where every client writes it.
    m_api = std::make_unique<APIClient>(baseUrl, m_tokens);
    APIClient* client = m_api.get();
    client->setPortCheck(m_portCheck);
    // A new address has no verdict yet: the next request that carries the token or a password makes one.
    setPortWarning(QString());
    connect(client, &APIClient::withheldNoticeChanged, this, [this, client] {
        if (m_api.get() == client)
            setPortWarning(client->withheldNotice());
    });
    connect(client, &APIClient::tokenChanged, this, [this, client](const QString& token) {
        // A sign-in sent from a former address lands after the move: the current client takes its token.
        if (m_api && m_api.get() != client)
            m_api->setToken(token);
        emit tokenChanged();
    });
}

void NativeTerminalModel::start() {
    for (QTimer* t : {&m_refreshTimer, &m_candleTimer, &m_htfTimer})
        if (!t->isActive())
            t->start();
}

void NativeTerminalModel::setBaseUrl(const QUrl& baseUrl) {
    if (baseUrl == m_api->baseUrl())
        return;
    APIClient* previous = m_api.release();
    createClient(baseUrl); // bumps the generation before the old client reports its cancelled reads
    if (m_api->token() != previous->token())
        m_api->setToken(previous->token());
    previous->abortReads();
    if (previous->requestsInFlight() == 0) {
        delete previous;
        return;
    }
    // Kept until its posts and sign-ins have reported; the model deletes what is left when it goes.
    previous->setParent(this);
    connect(previous, &APIClient::idle, previous, &QObject::deleteLater);
}

void NativeTerminalModel::setPortCheck(PortCheck check) {
    m_portCheck = std::move(check);
    m_api->setPortCheck(m_portCheck);
}

QUrl NativeTerminalModel::baseUrl() const {
    return m_api->baseUrl();
}

QString NativeTerminalModel::token() const {
    return m_api->token();
}

// ---- field edits ----------------------------------------------------------------------------------------------

void NativeTerminalModel::setEmail(const QString& v) {
    if (m_s.email == v)
        return;
    m_s.email = v;
    emit emailChanged();
}

void NativeTerminalModel::setPassword(const QString& v) {
    if (m_s.password == v)
        return;
    m_s.password = v;
    emit passwordChanged();
}

void NativeTerminalModel::setSelectedSymbol(const QString& symbol) {
    if (m_s.selectedSymbol == symbol)
        return;
    m_s.selectedSymbol = symbol;
    emit selectedSymbolChanged();
    // Prices belong to their instrument: the picked ladder price and the ticket's limit, stop, SL and TP go with
    // the previous symbol, so none of them can be sent on the new one. Order type and quantity stay.
    if (m_s.selectedLadderPrice) {
        m_s.selectedLadderPrice.reset();
        emit selectedLadderPriceChanged();
    }
    bool pricesCleared = false;
    for (QString TerminalState::*price :
         {&TerminalState::limitPrice, &TerminalState::stopPrice, &TerminalState::sl, &TerminalState::tp}) {
        if (!(m_s.*price).isEmpty()) {
            (m_s.*price).clear();
            pricesCleared = true;
        }
    }
    if (pricesCleared)
        emit orderFormChanged();
    m_s.candles.clear();
    emit candlesChanged();
    m_s.tapeRows.clear();
    m_s.tapeDelta = 0.0;
    m_s.lastTradePrice.reset();
    emit tapeChanged();
    m_s.depthLevels.clear();
    emit depthChanged();
    // htfCandles stay until the higher-timeframe reply for the new symbol replaces them.
    refreshAll();
    refreshMarket();
    refreshCandles();
    refreshHtfCandles();
}

void NativeTerminalModel::setCandleInterval(double seconds) {
    if (!isValidInterval(seconds) || m_s.candleInterval == seconds)
        return;
    m_s.candleInterval = seconds;
    emit candleIntervalChanged();
    m_s.candles.clear();
    emit candlesChanged();
    refreshAll();
    refreshMarket();
    refreshCandles();
}

void NativeTerminalModel::setHtfInterval(double seconds) {
    if (!isValidInterval(seconds) || m_s.htfInterval == seconds)
        return;
    m_s.htfInterval = seconds;
    emit htfIntervalChanged();
    m_s.htfCandles.clear();
    emit htfCandlesChanged();
    refreshHtfCandles();
}

void NativeTerminalModel::setChartToggle(bool TerminalState::*field, bool v) {
    if (m_s.*field == v)
        return;
    m_s.*field = v;
    emit chartTogglesChanged();
}

void NativeTerminalModel::setShowEma(bool v) {
    setChartToggle(&TerminalState::showEma, v);
}
void NativeTerminalModel::setShowVwap(bool v) {
    setChartToggle(&TerminalState::showVwap, v);
}
void NativeTerminalModel::setShowVwapBands(bool v) {
    setChartToggle(&TerminalState::showVwapBands, v);
}
void NativeTerminalModel::setShowSma50(bool v) {
    setChartToggle(&TerminalState::showSma50, v);
}
void NativeTerminalModel::setShowSma200(bool v) {
    setChartToggle(&TerminalState::showSma200, v);
}
void NativeTerminalModel::setShowBbands(bool v) {
    setChartToggle(&TerminalState::showBbands, v);
}
void NativeTerminalModel::setShowVolume(bool v) {
    setChartToggle(&TerminalState::showVolume, v);
}
void NativeTerminalModel::setShowRsi(bool v) {
    setChartToggle(&TerminalState::showRsi, v);
}
void NativeTerminalModel::setShowMacd(bool v) {
    setChartToggle(&TerminalState::showMacd, v);
}
void NativeTerminalModel::setShowHtf(bool v) {
    setChartToggle(&TerminalState::showHtf, v);
}
void NativeTerminalModel::setShowGrid(bool v) {
    setChartToggle(&TerminalState::showGrid, v);
}

void NativeTerminalModel::setOrderField(QString TerminalState::*field, const QString& v) {
    if (m_s.*field == v)
        return;
    m_s.*field = v;
    emit orderFormChanged();
}

void NativeTerminalModel::setOrderType(OrderType v) {
    if (m_s.orderType == v)
        return;
    m_s.orderType = v;
    emit orderFormChanged();
}

void NativeTerminalModel::setSide(Side v) {
    if (m_s.side == v)
        return;
    m_s.side = v;
    emit orderFormChanged();
}

QString NativeTerminalModel::orderTypeText() const {
    return endpoints::wireText(m_s.orderType);
}

QString NativeTerminalModel::sideText() const {
    return endpoints::wireText(m_s.side);
}

void NativeTerminalModel::setOrderTypeText(const QString& v) {
    if (const auto type = endpoints::orderTypeFromWire(v))
        setOrderType(*type);
}

void NativeTerminalModel::setSideText(const QString& v) {
    if (const auto side = endpoints::sideFromWire(v))
        setSide(*side);
}
void NativeTerminalModel::setQty(const QString& v) {
    setOrderField(&TerminalState::qty, v);
}
void NativeTerminalModel::setSl(const QString& v) {
    setOrderField(&TerminalState::sl, v);
}
void NativeTerminalModel::setTp(const QString& v) {
    setOrderField(&TerminalState::tp, v);
}
void NativeTerminalModel::setLimitPrice(const QString& v) {
    setOrderField(&TerminalState::limitPrice, v);
}
void NativeTerminalModel::setStopPrice(const QString& v) {
    setOrderField(&TerminalState::stopPrice, v);
}

void NativeTerminalModel::setMarketError(const QString& v) {
    if (m_s.marketError == v)
        return;
    m_s.marketError = v;
    emit marketErrorChanged();
}

// Only the first market failure is shown; the next good price or candle reply clears it.
void NativeTerminalModel::setMarketErrorIfEmpty(const QString& v) {
    if (m_s.marketError.isEmpty())
        setMarketError(v);
}

void NativeTerminalModel::setLoginError(const QString& v) {
    if (m_s.loginError == v)
        return;
    m_s.loginError = v;
    emit loginErrorChanged();
}

void NativeTerminalModel::setPortWarning(const QString& v) {
    if (m_s.portWarning == v)
        return;
    m_s.portWarning = v;
    emit portWarningChanged();
}

void NativeTerminalModel::setOrderMessage(const QString& v) {
    if (m_s.orderMessage == v)
        return;
    m_s.orderMessage = v;
    emit orderMessageChanged();
}

// ---- hooks and ticks ------------------------------------------------------------------------------------------

void NativeTerminalModel::onShown() {
    refreshAll();
    refreshMarket();
    refreshCandles();
    refreshHtfCandles();
}

void NativeTerminalModel::onRefreshTick() {
    if (!m_api->token().isEmpty())
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

// ---- requests -------------------------------------------------------------------------------------------------

template <class... Args, class F> std::function<void(Args...)> NativeTerminalModel::guarded(F handler) {
    return [self = QPointer<NativeTerminalModel>(this), generation = m_clientGeneration,
            handler = std::move(handler)](Args... args) mutable {
        if (!self || self->m_clientGeneration != generation)
            return;
        handler(std::move(args)...);
    };
}

template <class T, class F> void NativeTerminalModel::get(const endpoints::Read<T>& read, F handler) {
    // One read per path and query at a time: against a slow engine the ticks would otherwise stack up requests
    // behind the ones still waiting. The next tick after the reply (or its failure) sends it again.
    if (m_readsInFlight.contains(read.path))
        return;
    m_readsInFlight.insert(read.path);
    m_api->fetch<T>(read.path, guarded<Result<T>>([this, path = read.path, handler = std::move(handler)](Result<T> r) {
                        m_readsInFlight.remove(path);
                        handler(std::move(r));
                        emit replyHandled(path);
                    }));
}

template <class... Args, class F> std::function<void(Args...)> NativeTerminalModel::whileAlive(F handler) {
    return [self = QPointer<NativeTerminalModel>(this), handler = std::move(handler)](Args... args) mutable {
        if (!self || self->m_closing)
            return;
        handler(std::move(args)...);
    };
}

void NativeTerminalModel::post(const endpoints::Post& form, std::function<void(const APIClient::RawReply&)> handler) {
    m_api->postFormExchange(form, whileAlive<APIClient::RawReply>(
                                      [this, path = form.path, handler = std::move(handler)](APIClient::RawReply r) {
                                          handler(r);
                                          emit replyHandled(path);
                                      }));
}

void NativeTerminalModel::refreshAll() {
    get(endpoints::accountMetrics(), [this](Result<MetricsResponse> r) {
        if (!r)
            return;
        m_s.metrics = std::move(r).value();
        emit metricsChanged();
    });
    get(endpoints::portfolioSummary(), [this](Result<PortfolioSummary> r) {
        if (!r)
            return;
        m_s.totalUpl = r->total_upl;
        m_s.exposure = r->exposure;
        emit portfolioChanged();
    });
    get(endpoints::openTrades(), [this](Result<PositionsResponse> r) {
        if (!r)
            return;
        m_s.positions = r->positions;
        emit positionsChanged();
    });
    get(endpoints::orders(), [this](Result<OrdersResponse> r) {
        if (!r)
            return;
        m_s.orders = r->orders;
        emit ordersChanged();
    });
    get(endpoints::recentTrades(), [this](Result<FillsResponse> r) {
        if (!r)
            return;
        m_s.fills = r->trades;
        emit fillsChanged();
    });
    get(endpoints::rm1Latest(), [this](Result<RM1Response> r) {
        if (!r)
            return;
        m_s.rm1 = r->signals_;
        emit rm1Changed();
    });
    fetchPrices();
    const QString symbol = m_s.selectedSymbol;
    get(endpoints::marketDepth(symbol), [this, symbol](Result<DepthResponse> r) {
        // A book asked for before the symbol changed belongs to the previous symbol.
        if (!r || symbol != m_s.selectedSymbol)
            return;
        m_s.depthLevels = r->levels;
        emit depthChanged();
    });
    get(endpoints::pnlAttribution(), [this](Result<PnlAttributionResponse> r) {
        if (!r)
            return;
        m_s.pnlRows = r->symbols;
        m_s.exposureRows = r->exposure;
        emit pnlChanged();
    });
    get(endpoints::executionQuality(), [this](Result<ExecutionQualityResponse> r) {
        if (!r)
            return;
        m_s.execQuality = std::move(r).value();
        emit execQualityChanged();
    });
}

void NativeTerminalModel::refreshMarket() {
    fetchPrices();
}

void NativeTerminalModel::fetchPrices() {
    get(endpoints::prices(m_s.watchlist), [this](Result<PricesResponse> r) {
        if (!r) {
            setMarketErrorIfEmpty(kMarketFeedUnavailable);
            return;
        }
        applyPrices(r.value());
    });
}

void NativeTerminalModel::applyPrices(const PricesResponse& reply) {
    setMarketError(QString());
    m_s.prices = reply.prices;
    emit pricesChanged();
    const auto it = m_s.prices.constFind(m_s.selectedSymbol);
    if (it == m_s.prices.constEnd())
        return;
    const double price = *it;
    updateCandles(price, m_sources.clock());
    updateTape(price, m_sources.clock());
}

void NativeTerminalModel::refreshCandles() {
    fetchCandles(false);
}

void NativeTerminalModel::refreshHtfCandles() {
    fetchCandles(true);
}

void NativeTerminalModel::fetchCandles(bool higherTimeframe) {
    const QString symbol = m_s.selectedSymbol;
    const double interval = higherTimeframe ? m_s.htfInterval : m_s.candleInterval;
    get(endpoints::candles(symbol, wholeSeconds(interval)),
        [this, symbol, interval, higherTimeframe](Result<CandlesResponse> r) {
            const double current = higherTimeframe ? m_s.htfInterval : m_s.candleInterval;
            // Bars asked for another symbol or interval than the chart now shows would replace its bars with
            // foreign ones, and the next live price would fold into them: drop the reply, success or failure.
            if (symbol != m_s.selectedSymbol || interval != current)
                return;
            if (higherTimeframe) {
                if (!r)
                    return;
                m_s.htfCandles = candlesFromRows(r->candles, current);
                emit htfCandlesChanged();
                return;
            }
            if (!r) {
                setMarketErrorIfEmpty(kCandlesUnavailable);
                return;
            }
            setMarketError(QString());
            m_s.candles = candlesFromRows(r->candles, current);
            emit candlesChanged();
        });
}

void NativeTerminalModel::login() {
    setLoginError(QString());
    m_api->login(m_s.email, m_s.password, whileAlive<bool, QString>([this](bool ok, QString message) {
                     if (ok)
                         refreshAll();
                     else if (message != m_s.portWarning) // a withheld sign-in: the port warning says so
                         setLoginError(message);
                     emit replyHandled(QString::fromLatin1(endpoints::kLoginPath));
                 }));
}

// ---- live updates ---------------------------------------------------------------------------------------------

void NativeTerminalModel::updateCandles(double price, const QDateTime& now) {
    zqt::updateCandles(m_s.candles, m_s.candleInterval, price, now);
    emit candlesChanged();
}

void NativeTerminalModel::updateTape(double price, const QDateTime& now) {
    zqt::updateTape(m_s.tapeRows, m_s.tapeDelta, m_s.lastTradePrice, price, now, m_sources.sizeDraw());
    emit tapeChanged();
}

// ---- orders ---------------------------------------------------------------------------------------------------

endpoints::OrderTicket NativeTerminalModel::ticket() const {
    return {m_s.selectedSymbol, m_s.side, m_s.qty, m_s.sl, m_s.tp, m_s.orderType, m_s.limitPrice, m_s.stopPrice};
}

void NativeTerminalModel::placeOrder() {
    // All eight fields, as typed: hidden price fields keep and send their last text; the engine validates.
    sendOrder(endpoints::placeOrder(ticket()));
}

void NativeTerminalModel::quickOrder(Side side, OrderType type) {
    // The ladder price, when one is selected, goes with every quick order, market ones included.
    sendOrder(endpoints::quickOrder(side, type, ticket(), m_s.selectedLadderPrice));
}

void NativeTerminalModel::sendOrder(const endpoints::Post& form) {
    post(form, [this](const APIClient::RawReply& r) {
        setOrderMessage(orderOutcomeMessage(r));
        // Whatever came back (a reply not understood, a refusal, a redirect), the refreshed orders and positions
        // show what the engine now holds; only without any reply is there nobody to ask.
        if (!r.error || r.error->kind != ApiError::Kind::Transport)
            refreshAll();
    });
}

// The outcome of the latest action replaces the line, a success included.
void NativeTerminalModel::cancelAll() {
    post(endpoints::cancelAll(), [this](const APIClient::RawReply& r) {
        setOrderMessage(bulkActionOutcome(QStringLiteral("Cancel all"), r));
        refreshAll();
    });
}

void NativeTerminalModel::closeAll() {
    post(endpoints::closeAll(), [this](const APIClient::RawReply& r) {
        setOrderMessage(bulkActionOutcome(QStringLiteral("Close all"), r));
        refreshAll();
    });
}

void NativeTerminalModel::selectLadderPrice(double price) {
    m_s.selectedLadderPrice = price;
    emit selectedLadderPriceChanged();
    m_s.orderType = OrderType::Limit;
    m_s.limitPrice = QString::asprintf("%.4f", price);
    emit orderFormChanged();
}

// ---- read-outs ------------------------------------------------------------------------------------------------

QString NativeTerminalModel::aggressorLabel() const {
    return zqt::aggressorLabel(m_s.tapeRows);
}

DepthSummary NativeTerminalModel::depthSummary() const {
    return zqt::depthSummary(m_s.depthLevels);
}

double NativeTerminalModel::inferredTickSize() const {
    const auto it = m_s.prices.constFind(m_s.selectedSymbol);
    return zqt::inferredTickSize(m_s.depthLevels,
                                 it == m_s.prices.constEnd() ? std::nullopt : std::optional<double>(*it));
}

QList<ProfileBin> NativeTerminalModel::volumeProfileBins(const QList<Candle>& source, int bins) const {
    return zqt::volumeProfileBins(source, bins);
}

QList<FlowCluster> NativeTerminalModel::orderflowClusters(int limit) const {
    if (m_s.tapeRows.isEmpty())
        return {};
    return zqt::orderflowClusters(m_s.tapeRows, inferredTickSize(), limit);
}

QList<DepthHeatRow> NativeTerminalModel::depthHeatRows() const {
    return zqt::depthHeatRows(m_s.depthLevels);
}

bool NativeTerminalModel::isLadderRowSelected(double price) const {
    return isLadderPriceSelected(m_s.selectedLadderPrice, price);
}

} // namespace zqt
