#include "terminal/ChartSeries.h"

#include "terminal/CellFormats.h"
#include "terminal/ChartSettings.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
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

QString barReadout(const ChartSeries& s, std::size_t index, const ChartSettings& chart, const QTimeZone& zone) {
    if (index >= s.candles.size())
        return {};
    const Candle& c = s.candles[index];
    const double interval = chart.candleInterval();
    const QDateTime at = QDateTime::fromSecsSinceEpoch(
        static_cast<qint64>(std::llround(static_cast<double>(c.bucket) * interval)), zone);
    QStringList parts;
    parts << at.toString(interval < 60 ? QStringLiteral("yyyy-MM-dd HH:mm:ss") : QStringLiteral("yyyy-MM-dd HH:mm"));
    parts << QStringLiteral("O ") + fmtPrice(c.open) << QStringLiteral("H ") + fmtPrice(c.high)
          << QStringLiteral("L ") + fmtPrice(c.low) << QStringLiteral("C ") + fmtPrice(c.close)
          << QStringLiteral("Vol ") + fmtAmount(c.volume);
    auto value = [&](const char* label, std::optional<double> v, QString (*format)(double)) {
        parts << QString::fromUtf8(label) + QLatin1Char(' ') + fmtOptional(v, format);
    };
    auto at_ = [index](const auto& list) -> std::optional<double> {
        if (index >= list.size())
            return std::nullopt;
        return list[index];
    };
    if (chart.showEma())
        value("EMA", at_(s.ema), fmtPrice);
    if (chart.showVwap())
        value("VWAP", at_(s.vwap), fmtPrice);
    if (chart.showVwapBands()) {
        value("VWAP+", at_(s.vwapBands.upper), fmtPrice);
        value("VWAP-", at_(s.vwapBands.lower), fmtPrice);
    }
    if (chart.showSma50())
        value("SMA50", at_(s.sma50), fmtPrice);
    if (chart.showSma200())
        value("SMA200", at_(s.sma200), fmtPrice);
    if (chart.showBbands()) {
        value("BB+", at_(s.bollinger.upper), fmtPrice);
        value("BB-", at_(s.bollinger.lower), fmtPrice);
    }
    if (chart.showRsi())
        value("RSI", at_(s.rsi), fmtOscillator);
    if (chart.showMacd()) {
        value("MACD", at_(s.macd.macd), fmtPrice);
        value("Signal", at_(s.macd.signal), fmtPrice);
        value("Hist", at_(s.macd.hist), fmtPrice);
    }
    return parts.join(QStringLiteral("  "));
}

std::optional<std::size_t> barAt(const std::vector<Candle>& bars, double barsInterval, std::int64_t bucket,
                                 double interval) {
    if (!(barsInterval > 0) || !(interval > 0))
        return std::nullopt;
    const double start = static_cast<double>(bucket) * interval;
    const auto wanted = static_cast<std::int64_t>(std::floor(start / barsInterval));
    const auto it = std::lower_bound(bars.begin(), bars.end(), wanted,
                                     [](const Candle& c, std::int64_t b) { return c.bucket < b; });
    if (it == bars.end() || it->bucket != wanted)
        return std::nullopt;
    return static_cast<std::size_t>(it - bars.begin());
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
