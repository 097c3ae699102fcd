#include "terminal/MarketModel.h"

#include "terminal/CandleRows.h"
#include "terminal/ChartSettings.h"
#include "terminal/LiveCandles.h"
#include "terminal/Tape.h"
#include "terminal/TerminalLink.h"

#include <utility>

namespace zqt {

namespace {

const QString kMarketFeedUnavailable = QStringLiteral("Market feed unavailable. Log in or start services.");
const QString kCandlesUnavailable = QStringLiteral("Candles unavailable. Log in or enable public prices.");

} // namespace

MarketModel::MarketModel(TerminalLink& link, const ChartSettings& chart, TerminalSources sources, QObject* parent)
    : QObject(parent), m_link(link), m_chart(chart), m_sources(std::move(sources)) {
    if (!m_sources.clock)
        m_sources.clock = TerminalSources::system().clock;
    if (!m_sources.sizeDraw)
        m_sources.sizeDraw = TerminalSources::system().sizeDraw;
}

void MarketModel::setSelectedSymbol(const QString& symbol) {
    if (m_selectedSymbol == symbol)
        return;
    m_selectedSymbol = symbol;
    emit selectedSymbolChanged();
    // The picked ladder price belongs to the previous symbol's book.
    if (m_selectedLadderPrice) {
        m_selectedLadderPrice.reset();
        emit selectedLadderPriceChanged();
    }
    m_candles.clear();
    emit candlesChanged();
    m_tapeRows.clear();
    m_tapeDelta = 0.0;
    m_lastTradePrice.reset();
    emit tapeChanged();
    m_depthLevels.clear();
    emit depthChanged();
    const bool wasStale = m_depthFreshness.stale() || m_candlesFreshness.stale();
    m_depthFreshness.reset();
    m_candlesFreshness.reset();
    if (wasStale)
        emit freshnessChanged();
}

void MarketModel::setSelectedLadderPrice(double price) {
    m_selectedLadderPrice = price;
    emit selectedLadderPriceChanged();
}

void MarketModel::clearCandles() {
    m_candles.clear();
    emit candlesChanged();
    if (m_candlesFreshness.stale()) {
        m_candlesFreshness.reset();
        emit freshnessChanged();
    }
    m_candlesFreshness.reset();
}

void MarketModel::clearHtfCandles() {
    m_htfCandles.clear();
    emit htfCandlesChanged();
}

void MarketModel::setMarketError(const QString& v) {
    if (m_marketError == v)
        return;
    m_marketError = v;
    emit marketErrorChanged();
}

// Only the first market failure is shown; the next good price or candle reply clears it.
void MarketModel::setMarketErrorIfEmpty(const QString& v) {
    if (m_marketError.isEmpty())
        setMarketError(v);
}

void MarketModel::noteRead(ReadFreshness& freshness, bool ok) {
    const bool wasStale = freshness.stale();
    if (ok)
        freshness.succeeded(m_sources.clock());
    else
        freshness.failed();
    if (freshness.stale() != wasStale)
        emit freshnessChanged();
}

// ---- reads ----------------------------------------------------------------------------------------------------

void MarketModel::refreshPrices() {
    m_link.get<PricesResponse>(endpoints::prices(m_watchlist), [this](Result<PricesResponse> r) {
        noteRead(m_pricesFreshness, r.ok());
        if (!r) {
            setMarketErrorIfEmpty(kMarketFeedUnavailable);
            return;
        }
        applyPrices(r.value());
    });
}

void MarketModel::applyPrices(const PricesResponse& reply) {
    setMarketError(QString());
    m_prices = reply.prices;
    emit pricesChanged();
    const auto it = m_prices.constFind(m_selectedSymbol);
    if (it == m_prices.constEnd())
        return;
    const double price = *it;
    updateCandles(price, m_sources.clock());
    updateTape(price, m_sources.clock());
}

void MarketModel::refreshDepth() {
    const QString symbol = m_selectedSymbol;
    m_link.get<DepthResponse>(endpoints::marketDepth(symbol), [this, symbol](Result<DepthResponse> r) {
        // A book asked for before the symbol changed belongs to the previous symbol.
        if (symbol != m_selectedSymbol)
            return;
        noteRead(m_depthFreshness, r.ok());
        if (!r)
            return;
        m_depthLevels = r->levels;
        emit depthChanged();
    });
}

void MarketModel::refreshCandles() {
    fetchCandles(false);
}

void MarketModel::refreshHtfCandles() {
    fetchCandles(true);
}

void MarketModel::fetchCandles(bool higherTimeframe) {
    const QString symbol = m_selectedSymbol;
    const double interval = higherTimeframe ? m_chart.htfInterval() : m_chart.candleInterval();
    m_link.get<CandlesResponse>(endpoints::candles(symbol, static_cast<std::int64_t>(interval)),
                                [this, symbol, interval, higherTimeframe](Result<CandlesResponse> r) {
                                    const double current =
                                        higherTimeframe ? m_chart.htfInterval() : m_chart.candleInterval();
                                    // Bars asked for another symbol or interval than the chart now shows would replace
                                    // its bars with foreign ones, and the next live price would fold into them: drop
                                    // the reply, success or failure.
                                    if (symbol != m_selectedSymbol || interval != current)
                                        return;
                                    if (higherTimeframe) {
                                        if (!r)
                                            return;
                                        m_htfCandles = candlesFromRows(r->candles, current);
                                        emit htfCandlesChanged();
                                        return;
                                    }
                                    noteRead(m_candlesFreshness, r.ok());
                                    if (!r) {
                                        setMarketErrorIfEmpty(kCandlesUnavailable);
                                        return;
                                    }
                                    setMarketError(QString());
                                    m_candles = candlesFromRows(r->candles, current);
                                    emit candlesChanged();
                                });
}

// ---- live updates ---------------------------------------------------------------------------------------------

void MarketModel::updateCandles(double price, const QDateTime& now) {
    zqt::updateCandles(m_candles, m_chart.candleInterval(), price, now);
    emit candlesChanged();
}

void MarketModel::updateTape(double price, const QDateTime& now) {
    zqt::updateTape(m_tapeRows, m_tapeDelta, m_lastTradePrice, price, now, m_sources.sizeDraw());
    emit tapeChanged();
}

// ---- read-outs ------------------------------------------------------------------------------------------------

QString MarketModel::aggressorLabel() const {
    return zqt::aggressorLabel(m_tapeRows);
}

DepthSummary MarketModel::depthSummary() const {
    return zqt::depthSummary(m_depthLevels);
}

double MarketModel::inferredTickSize() const {
    const auto it = m_prices.constFind(m_selectedSymbol);
    return zqt::inferredTickSize(m_depthLevels, it == m_prices.constEnd() ? std::nullopt : std::optional<double>(*it));
}

QList<ProfileBin> MarketModel::volumeProfileBins(const QList<Candle>& source, int bins) const {
    return zqt::volumeProfileBins(source, bins);
}

QList<FlowCluster> MarketModel::orderflowClusters(int limit) const {
    if (m_tapeRows.isEmpty())
        return {};
    return zqt::orderflowClusters(m_tapeRows, inferredTickSize(), limit);
}

QList<DepthHeatRow> MarketModel::depthHeatRows() const {
    return zqt::depthHeatRows(m_depthLevels);
}

} // namespace zqt
