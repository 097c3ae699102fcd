#include "terminal/ChartSeries.h"

#include <span>

namespace zqt {

namespace {

ChartSeries overlays(const QList<Candle>& bars, double vwapBandWidth) {
    ChartSeries s;
    s.candles.assign(bars.cbegin(), bars.cend());
    const std::span<const Candle> b(s.candles);
    s.ema = emaSeries(kChartEmaPeriod, b);
    s.vwap = vwapSeries(b);
    s.vwapBands = vwapBandSeries(vwapBandWidth, kChartBandWindow, b);
    s.sma50 = smaSeries(50, b);
    s.sma200 = smaSeries(200, b);
    s.bollinger = bollingerSeries(kChartBandWindow, kBollingerWidth, b);
    return s;
}

std::optional<double> lastPresent(const OptionalSeries& list) {
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (*it)
            return *it;
    return std::nullopt;
}

} // namespace

ChartSeries mainChartSeries(const QList<Candle>& bars) {
    ChartSeries s = overlays(bars, kMainVwapBandWidth);
    s.rsi = rsiSeries(kRsiPeriod, s.candles);
    s.macd = macdSeries(12, 26, 9, s.candles);
    return s;
}

ChartSeries htfChartSeries(const QList<Candle>& bars) {
    return overlays(bars, kHtfVwapBandWidth);
}

ChartReadouts chartReadouts(const ChartSeries& main) {
    const std::span<const Candle> b(main.candles);
    ChartReadouts r;
    r.ema = emaValue(kChartEmaPeriod, b);
    r.vwap = vwapValue(b);
    r.atr = atrValue(kAtrPeriod, b);
    if (!main.rsi.empty())
        r.rsi = main.rsi.back();
    if (!main.macd.macd.empty())
        r.macd = main.macd.macd.back();
    if (!main.sma50.empty())
        r.sma50 = main.sma50.back();
    if (!main.sma200.empty())
        r.sma200 = main.sma200.back();
    r.bollingerUpper = lastPresent(main.bollinger.upper);
    r.bollingerLower = lastPresent(main.bollinger.lower);
    return r;
}

QList<double> htfIntervalsAbove(double barInterval, const QList<double>& choices) {
    QList<double> above;
    for (double seconds : choices)
        if (seconds > barInterval)
            above.append(seconds);
    return above;
}

std::optional<double> htfIntervalFor(double barInterval, double chosen, const QList<double>& choices) {
    if (chosen > barInterval)
        return chosen;
    const QList<double> above = htfIntervalsAbove(barInterval, choices);
    return above.isEmpty() ? std::nullopt : std::optional<double>(above.front());
}

} // namespace zqt
