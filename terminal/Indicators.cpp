#include "terminal/Indicators.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zqt {

namespace {

// 100 - 100 / 101: the RSI when the average loss is zero.
constexpr double kRsiNoLoss = 99.00990099009901;

// EMA smoothing factor 2 / (period + 1), with period + 1 formed as an integer and then converted.
double smoothingFactor(std::int64_t period) {
    if (period < 1)
        period = 1;
    if (period == std::numeric_limits<std::int64_t>::max())
        return 2.0 / 9223372036854775808.0; // period + 1 = 2^63 would overflow as an integer
    return 2.0 / static_cast<double>(period + 1);
}

double typicalPrice(const Candle& bar) {
    return (bar.high + bar.low + bar.close) / 3.0;
}

// A bar with volume 0 or 1 (or below) still counts once.
double vwapWeight(const Candle& bar) {
    return bar.volume > 1.0 ? bar.volume : 1.0;
}

std::int64_t countOf(std::span<const Candle> bars) {
    return static_cast<std::int64_t>(bars.size());
}

std::vector<double> closesOf(std::span<const Candle> bars) {
    std::vector<double> closes(bars.size());
    std::transform(bars.begin(), bars.end(), closes.begin(), [](const Candle& b) { return b.close; });
    return closes;
}

// Mean and population deviation of each bar's trailing window x[max(0, i - width + 1)] .. x[i] (shorter at the
// start). Each window is summed afresh from 0 in index order, first the values, then the squared deviations
// from its mean. The full windows are taken eight at a time, advancing side by side (term j of each, then term
// j + 1): each still adds its own terms in its own order, so the sums are those of one window at a time, while
// the eight chains are independent and the processor overlaps them.
struct Windows {
    std::vector<double> mean;
    std::vector<double> deviation;
};

Windows trailingWindows(std::vector<double> x, std::int64_t width) {
    constexpr std::int64_t kSide = 8;
    const auto n = static_cast<std::int64_t>(x.size());
    width = std::min(width, n);
    if (width < 1)
        return {};
    Windows out{std::vector<double>(x.size() + kSide), std::vector<double>(x.size() + kSide)};
    x.resize(x.size() + kSide, 0.0); // the last group's windows past the end read these; their results are dropped
    // The short windows from bar 0, side by side too: term j belongs to the windows of bars j to width - 2.
    const std::int64_t shortOnes = width - 1;
    for (std::int64_t j = 0; j < shortOnes; ++j)
        for (std::int64_t i = j; i < shortOnes; ++i)
            out.mean[i] += x[j];
    for (std::int64_t i = 0; i < shortOnes; ++i)
        out.mean[i] /= static_cast<double>(i + 1);
    for (std::int64_t j = 0; j < shortOnes; ++j)
        for (std::int64_t i = j; i < shortOnes; ++i)
            out.deviation[i] += (x[j] - out.mean[i]) * (x[j] - out.mean[i]);
    for (std::int64_t i = 0; i < shortOnes; ++i)
        out.deviation[i] = std::sqrt(out.deviation[i] / static_cast<double>(i + 1));
    for (std::int64_t i0 = width - 1; i0 < n; i0 += kSide) { // bar i0 + l's window starts at x[i0 + l - width + 1]
        const double* v = x.data() + (i0 - width + 1);
        double sum[kSide] = {};
        double squares[kSide] = {};
        for (std::int64_t j = 0; j < width; ++j)
            for (std::int64_t l = 0; l < kSide; ++l)
                sum[l] += v[l + j];
        for (std::int64_t l = 0; l < kSide; ++l)
            sum[l] /= static_cast<double>(width);
        for (std::int64_t j = 0; j < width; ++j)
            for (std::int64_t l = 0; l < kSide; ++l)
                squares[l] += (v[l + j] - sum[l]) * (v[l + j] - sum[l]);
        for (std::int64_t l = 0; l < kSide; ++l) {
            out.mean[i0 + l] = sum[l];
            out.deviation[i0 + l] = std::sqrt(squares[l] / static_cast<double>(width));
        }
    }
    out.mean.resize(x.size() - kSide);
    out.deviation.resize(x.size() - kSide);
    return out;
}

// EMA of value(0) .. value(n - 1), seeded with value(0), which is stepped with itself too.
template <typename Value> std::vector<double> emaOf(std::size_t n, std::int64_t period, Value value) {
    std::vector<double> out(n);
    const double k = smoothingFactor(period);
    double e = n == 0 ? 0.0 : value(0);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = e = (1.0 - k) * e + k * value(i);
    return out;
}

} // namespace

std::vector<double> calcEma(std::span<const double> values, std::int64_t period) {
    return emaOf(values.size(), period, [values](std::size_t i) { return values[i]; });
}

std::vector<double> emaSeries(std::int64_t period, std::span<const Candle> source) {
    return emaOf(source.size(), period, [source](std::size_t i) { return source[i].close; });
}

std::vector<double> vwapSeries(std::span<const Candle> source) {
    std::vector<double> out(source.size());
    double weightedSum = 0.0;
    double weights = 0.0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        weightedSum += typicalPrice(source[i]) * vwapWeight(source[i]);
        weights += vwapWeight(source[i]);
        out[i] = weightedSum / weights;
    }
    return out;
}

BandSeries vwapBandSeries(double mult, std::int64_t window, std::span<const Candle> source) {
    BandSeries out{OptionalSeries(source.size()), OptionalSeries(source.size())};
    if (window < 1)
        return out;
    std::vector<double> typical(source.size());
    std::transform(source.begin(), source.end(), typical.begin(), typicalPrice);
    const std::vector<double> vwap = vwapSeries(source);
    const std::vector<double> deviation = trailingWindows(typical, window).deviation;
    for (std::size_t i = 0; i < source.size(); ++i) {
        out.upper[i] = deviation[i] * mult + vwap[i];
        out.lower[i] = vwap[i] - deviation[i] * mult;
    }
    return out;
}

MacdSeries macdSeries(std::int64_t fast, std::int64_t slow, std::int64_t signal, std::span<const Candle> candles) {
    const std::size_t n = candles.size();
    MacdSeries out{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n)};
    if (n == 0)
        return out;
    // Three EMAs side by side, each seeded with its first input, stepped with itself too (calcEma).
    const double kf = smoothingFactor(fast);
    const double ks = smoothingFactor(slow);
    const double kg = smoothingFactor(signal);
    double f = candles[0].close;
    double sl = f;
    double g = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        f = (1.0 - kf) * f + kf * candles[i].close;
        sl = (1.0 - ks) * sl + ks * candles[i].close;
        out.macd[i] = f - sl;
        g = i == 0 ? out.macd[0] : g;
        out.signal[i] = g = (1.0 - kg) * g + kg * out.macd[i];
        out.hist[i] = out.macd[i] - g;
    }
    return out;
}

OptionalSeries smaSeries(std::int64_t period, std::span<const Candle> source) {
    const std::int64_t n = countOf(source);
    OptionalSeries out(source.size());
    if (period < 1 || n < period)
        return out;
    double sum = 0.0;
    for (std::int64_t i = 0; i < n; ++i) {
        sum += source[static_cast<std::size_t>(i)].close;
        if (i >= period)
            sum -= source[static_cast<std::size_t>(i - period)].close;
        if (i >= period - 1)
            out[static_cast<std::size_t>(i)] = sum / static_cast<double>(period);
    }
    return out;
}

BandSeries bollingerSeries(std::int64_t period, double mult, std::span<const Candle> source) {
    const std::int64_t n = countOf(source);
    BandSeries out{OptionalSeries(source.size()), OptionalSeries(source.size())};
    if (period < 1 || n < period)
        return out;
    // Only the full windows (bars period - 1 and later) are drawn.
    const Windows w = trailingWindows(closesOf(source), period);
    for (auto i = static_cast<std::size_t>(period - 1); i < source.size(); ++i) {
        out.upper[i] = w.mean[i] + w.deviation[i] * mult;
        out.lower[i] = w.mean[i] - w.deviation[i] * mult;
    }
    return out;
}

std::vector<double> rsiSeries(std::int64_t period, std::span<const Candle> candles) {
    const std::int64_t n = countOf(candles);
    if (n < 2 || period < 1)
        return {};
    std::vector<double> out(candles.size(), 50.0);
    if (n - 1 <= period) // also keeps period + 1 from overflowing below
        return out;
    const auto change = [candles](std::int64_t i) {
        return candles[static_cast<std::size_t>(i)].close - candles[static_cast<std::size_t>(i - 1)].close;
    };
    // Seed: plain averages of the first `period` gains and losses (a zero change is a gain of 0).
    double gain = 0.0;
    double loss = 0.0;
    for (std::int64_t i = 1; i <= period; ++i) {
        const double d = change(i);
        if (d >= 0.0)
            gain += d;
        else if (d < 0.0)
            loss += std::abs(d);
    }
    gain /= static_cast<double>(period);
    loss /= static_cast<double>(period);
    // Entries 0 .. period stay 50; the first computed entry already includes one smoothing step.
    for (std::int64_t i = period + 1; i < n; ++i) {
        const double d = change(i);
        gain = (gain * static_cast<double>(period - 1) + (d > 0.0 ? d : 0.0)) / static_cast<double>(period);
        loss = (loss * static_cast<double>(period - 1) + (d < 0.0 ? std::abs(d) : 0.0)) / static_cast<double>(period);
        out[static_cast<std::size_t>(i)] = loss == 0.0 ? kRsiNoLoss : 100.0 - 100.0 / (gain / loss + 1.0);
    }
    return out;
}

std::optional<double> emaValue(std::int64_t period, std::span<const Candle> candles) {
    if (candles.empty())
        return std::nullopt;
    const double k = smoothingFactor(period);
    double e = candles[0].close;
    for (std::size_t i = 1; i < candles.size(); ++i)
        e = (1.0 - k) * e + k * candles[i].close;
    return e;
}

std::optional<double> vwapValue(std::span<const Candle> candles) {
    if (candles.empty())
        return std::nullopt;
    double weightedSum = 0.0;
    double weights = 0.0;
    for (const Candle& bar : candles) {
        weightedSum += typicalPrice(bar) * vwapWeight(bar);
        weights += vwapWeight(bar);
    }
    return weightedSum / weights;
}

std::optional<double> atrValue(std::int64_t period, std::span<const Candle> candles) {
    const std::int64_t n = countOf(candles);
    if (n < 2 || period < 1)
        return std::nullopt;
    const std::int64_t count = std::min(period, n - 1);
    double sum = 0.0;
    for (std::int64_t i = n - count; i < n; ++i) {
        const Candle& bar = candles[static_cast<std::size_t>(i)];
        const double previousClose = candles[static_cast<std::size_t>(i - 1)].close;
        // The largest of the three ranges; a later one wins a tie.
        double range = bar.high - bar.low;
        range = std::abs(bar.high - previousClose) >= range ? std::abs(bar.high - previousClose) : range;
        range = std::abs(bar.low - previousClose) >= range ? std::abs(bar.low - previousClose) : range;
        sum += range;
    }
    return sum / static_cast<double>(count);
}

} // namespace zqt
