#pragma once

#include "api/Records.h"
#include "core/Candle.h"
#include "core/TradingTerms.h"
#include "terminal/DepthAnalytics.h"
#include "terminal/ReadFreshness.h"
#include "terminal/TapePrint.h"
#include "terminal/TerminalSources.h"

#include <QHash>
#include <QObject>
#include <QStringList>

#include <optional>

namespace zqt {

class ChartSettings;
class TerminalLink;

// The market the terminal watches: the watchlist and its prices, the selected symbol with its bars, book and
// synthetic tape, the picked ladder price, and the first market failure. Live prices of the selected symbol fold
// into its bars and its tape. Main thread only.
class MarketModel final : public QObject {
    Q_OBJECT

public:
    // `link` and `chart` (whose intervals the bars follow) must outlive the market.
    MarketModel(TerminalLink& link, const ChartSettings& chart, TerminalSources sources, QObject* parent = nullptr);

    const QStringList& watchlist() const { return m_watchlist; }
    const QHash<QString, double>& prices() const { return m_prices; }
    const QString& selectedSymbol() const { return m_selectedSymbol; }
    const QString& marketError() const { return m_marketError; }
    // At most 80 bars after a live update.
    const QList<Candle>& candles() const { return m_candles; }
    const QList<Candle>& htfCandles() const { return m_htfCandles; }
    const QList<DepthLevel>& depthLevels() const { return m_depthLevels; }
    std::optional<double> selectedLadderPrice() const { return m_selectedLadderPrice; }
    // How fresh the prices, the selected symbol's book and its bars are: a failed read keeps the data and marks it
    // stale until the next good reply. The book's and the bars' start over with a new symbol.
    const ReadFreshness& pricesFreshness() const { return m_pricesFreshness; }
    const ReadFreshness& depthFreshness() const { return m_depthFreshness; }
    const ReadFreshness& candlesFreshness() const { return m_candlesFreshness; }
    // At most 24 prints, newest first; tapeDelta is their running signed size.
    const QList<TapePrint>& tapeRows() const { return m_tapeRows; }
    double tapeDelta() const { return m_tapeDelta; }
    std::optional<double> lastTradePrice() const { return m_lastTradePrice; }

    // Selects another symbol (the current one does nothing): its bars, tape, book and picked ladder price start
    // empty; the higher-timeframe bars stay until the reply for the new symbol replaces them.
    void setSelectedSymbol(const QString& symbol);
    // Picks a ladder row of the selected symbol's book (emits even when unchanged).
    void setSelectedLadderPrice(double price);
    // Drops the bars of an interval that is no longer shown.
    void clearCandles();
    void clearHtfCandles();

    // Reads; each returns at once and its reply updates the state (see TerminalLink::get).
    void refreshPrices();
    void refreshDepth();
    void refreshCandles();
    void refreshHtfCandles();

    // Live updates from one price of the selected symbol at `now`.
    void updateCandles(double price, const QDateTime& now);
    void updateTape(double price, const QDateTime& now);

    // Read-outs computed from the current state on every call.
    QString aggressorLabel() const;
    DepthSummary depthSummary() const;
    double inferredTickSize() const;
    QList<ProfileBin> volumeProfileBins(const QList<Candle>& source, int bins) const;
    QList<FlowCluster> orderflowClusters(int limit) const;
    QList<DepthHeatRow> depthHeatRows() const;

signals:
    void marketErrorChanged();
    void pricesChanged();
    void selectedSymbolChanged();
    void candlesChanged();
    void htfCandlesChanged();
    void depthChanged(); // depthLevels
    void selectedLadderPriceChanged();
    void tapeChanged();      // tapeRows, tapeDelta and lastTradePrice
    void freshnessChanged(); // whether any of the three is stale

private:
    void applyPrices(const PricesResponse& reply);
    void fetchCandles(bool higherTimeframe);
    void setMarketError(const QString& v);
    void setMarketErrorIfEmpty(const QString& v);
    // Records a read's outcome in `freshness`; emits freshnessChanged when its staleness changed.
    void noteRead(ReadFreshness& freshness, bool ok);

    TerminalLink& m_link;
    const ChartSettings& m_chart;
    TerminalSources m_sources;
    QStringList m_watchlist{QStringLiteral("EURUSD"), QStringLiteral("AAPL"), QStringLiteral("BTCUSD"),
                            QStringLiteral("ES"), QStringLiteral("XAUUSD")};
    QHash<QString, double> m_prices;
    QString m_selectedSymbol = QStringLiteral("EURUSD");
    QString m_marketError;
    QList<Candle> m_candles;
    QList<Candle> m_htfCandles;
    QList<DepthLevel> m_depthLevels;
    std::optional<double> m_selectedLadderPrice;
    QList<TapePrint> m_tapeRows; // newest first
    double m_tapeDelta = 0.0;
    std::optional<double> m_lastTradePrice;
    ReadFreshness m_pricesFreshness;
    ReadFreshness m_depthFreshness;
    ReadFreshness m_candlesFreshness;
};

} // namespace zqt
