#pragma once

#include "terminal/Indicators.h"

#include <QList>
#include <QString>
#include <QTimeZone>

#include <optional>
#include <vector>

namespace zqt {

// What the chart panel draws and reads out for one list of bars, with the chart's own parameters: EMA 14, VWAP,
// VWAP bands 20 wide (1.35 deviations on the main chart, 1.25 on the higher timeframe's), SMA 50 and 200,
// Bollinger 20 x 2, and for the main chart RSI 14, MACD 12 / 26 / 9 and the readouts.
struct ChartSeries {
    std::vector<Candle> candles;
    std::vector<double> ema;
    std::vector<double> vwap;
    BandSeries vwapBands;
    OptionalSeries sma50;
    OptionalSeries sma200;
    BandSeries bollinger;
    std::vector<double> rsi;
    MacdSeries macd;
};

// The readouts under the main chart; an absent value is shown as "-".
struct ChartReadouts {
    std::optional<double> ema;
    std::optional<double> vwap;
    std::optional<double> atr;
    std::optional<double> rsi;
    std::optional<double> macd;
    std::optional<double> sma50;          // the last entry (absent while warming up)
    std::optional<double> sma200;         // the last entry
    std::optional<double> bollingerUpper; // the last present entry
    std::optional<double> bollingerLower;
};

inline constexpr std::int64_t kChartEmaPeriod = 14;
inline constexpr std::int64_t kChartBandWindow = 20;
inline constexpr double kMainVwapBandWidth = 1.35;
inline constexpr double kHtfVwapBandWidth = 1.25;
inline constexpr double kBollingerWidth = 2.0;
inline constexpr std::int64_t kRsiPeriod = 14;
inline constexpr std::int64_t kAtrPeriod = 14;

// The main chart's series: overlays with bands 1.35 wide, RSI and MACD.
ChartSeries mainChartSeries(const QList<Candle>& bars);
// The higher timeframe's: overlays only, bands 1.25 wide.
ChartSeries htfChartSeries(const QList<Candle>& bars);
ChartReadouts chartReadouts(const ChartSeries& main);

class ChartSettings;

// One bar's values in a line: its start time in `zone` (with seconds for bars under a minute), O, H, L, C, the
// volume, and the value at that bar of every indicator `chart` switches on ("-" while warming up). Empty when
// `index` lies past the bars.
QString barReadout(const ChartSeries& series, std::size_t index, const ChartSettings& chart, const QTimeZone& zone);

// The bar of `bars` (`barsInterval` seconds each, ascending) whose time span holds the start of a bar `bucket` of
// `interval` seconds; none when no bar does.
std::optional<std::size_t> barAt(const std::vector<Candle>& bars, double barsInterval, std::int64_t bucket,
                                 double interval);

// The higher-timeframe intervals (seconds) among `choices` (ascending) that lie above a bar interval.
QList<double> htfIntervalsAbove(double barInterval, const QList<double>& choices);
// The higher timeframe to show over bars of `barInterval`: `chosen` while it lies above, else the next choice
// above the bars; none when no choice lies above.
std::optional<double> htfIntervalFor(double barInterval, double chosen, const QList<double>& choices);

} // namespace zqt
