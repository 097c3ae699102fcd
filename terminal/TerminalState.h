#pragma once

#include "api/Records.h"
#include "core/Candle.h"
#include "core/TradingTerms.h"
#include "terminal/TapePrint.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace zqt {

// Everything the native terminal shows and edits, with its initial values. The client and the three timers
// live beside it in NativeTerminalModel. Lists hold exactly what the last successful reply carried, except
// `candles` (extended live, at most 80 bars after a live update) and the tape (at most 24 prints, newest first,
// `tapeDelta` their running signed size).
struct TerminalState {
    QString email;
    QString password;
    QString loginError;
    QString marketError;
    QString portWarning; // why the token and sign-in are withheld from the engine's port; empty while they are not
    std::optional<MetricsResponse> metrics;
    QList<PositionRow> positions;
    QList<ExposureRow> exposure;
    double totalUpl = 0.0;
    QList<OrderRow> orders;
    QList<FillRow> fills;
    QList<RM1Row> rm1;
    QStringList watchlist{QStringLiteral("EURUSD"), QStringLiteral("AAPL"), QStringLiteral("BTCUSD"),
                          QStringLiteral("ES"), QStringLiteral("XAUUSD")};
    QHash<QString, double> prices;
    QString selectedSymbol = QStringLiteral("EURUSD");
    double candleInterval = 15; // seconds per bar
    QList<Candle> candles;
    double htfInterval = 300; // seconds per higher-timeframe bar
    QList<Candle> htfCandles;
    bool showEma = true;
    bool showVwap = true;
    bool showVwapBands = true;
    bool showSma50 = true;
    bool showSma200 = false;
    bool showBbands = true;
    bool showVolume = true;
    bool showRsi = true;
    bool showMacd = true;
    bool showHtf = true;
    bool showGrid = true;
    QList<DepthLevel> depthLevels;
    std::optional<double> selectedLadderPrice;
    QList<TapePrint> tapeRows; // newest first
    double tapeDelta = 0.0;
    std::optional<double> lastTradePrice;
    QList<PnlSymbolRow> pnlRows;
    QList<PnlExposureRow> exposureRows;
    std::optional<ExecutionQualityResponse> execQuality;
    OrderType orderType = OrderType::Market;
    Side side = Side::Buy;
    QString qty = QStringLiteral("1");
    QString sl;
    QString tp;
    QString limitPrice;
    QString stopPrice;
    QString orderMessage;
};

} // namespace zqt
