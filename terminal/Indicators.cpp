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
    if (period < 1) {
        period = 1;
    }
    if (period == std::numeric_limits<std::int64_t>::max()) {
        return 2.0 / 9223372036854775808.0; // period + 1 = 2^63 would overflow as an integer
    }
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

// EMA over x(0) .. x(n - 1), seeded with x(0), which is stepped with itself too.
template <typename Value> std::vector<double> emaOf(std::int64_t n, std::int64_t period, Value x) {
    std::vector<double> out;
    if (n == 0) {
        return out;
    }
    out.reserve(static_cast<std::size_t>(n));
    const double k = smoothingFactor(period);
    const double keep = 1.0 - k;
    double e = x(0);
    for (std::int64_t i = 0; i < n; ++i) {
        e = keep * e + k * x(i);
        out.push_back(e);
    }
    return out;
}

// Windows wider than a few bars are summed afresh for each window, in index order (first the sum and the
// mean, then the sum of squared deviations from that mean). kInFlight consecutive windows are computed in
// one loop: their sums are independent, so the processor overlaps them (and packs neighbouring windows into
// one vector register), while each window still adds its own terms in its own order from 0. The results
// are therefore identical to computing one window at a time.
constexpr std::int64_t kInFlight = 8;

// Calls visit(i, mean, deviation) for i = first .. n - 1 in increasing order, where mean and deviation
// (population) belong to the full window x[i - period + 1] .. x[i]. Requires first >= period - 1 >= 0.
template <typename Visit>
void forEachFullWindow(const double* x, std::int64_t first, std::int64_t n, std::int64_t period, Visit&& visit) {
    const double count = static_cast<double>(period);
    std::int64_t i = first;
    for (; i + kInFlight <= n; i += kInFlight) {
        const double* start = x + (i - period + 1);
        double sum[kInFlight] = {};
        for (std::int64_t j = 0; j < period; ++j) {
            for (std::int64_t w = 0; w < kInFlight; ++w) {
                sum[w] += start[j + w];
            }
        }
        double mean[kInFlight];
        for (std::int64_t w = 0; w < kInFlight; ++w) {
            mean[w] = sum[w] / count;
        }
        double squares[kInFlight] = {};
        for (std::int64_t j = 0; j < period; ++j) {
            for (std::int64_t w = 0; w < kInFlight; ++w) {
                const double d = start[j + w] - mean[w];
                squares[w] += d * d;
            }
        }
        for (std::int64_t w = 0; w < kInFlight; ++w) {
            visit(i + w, mean[w], std::sqrt(squares[w] / count));
        }
    }
    for (; i < n; ++i) {
        const double* start = x + (i - period + 1);
        double sum = 0.0;
        for (std::int64_t j = 0; j < period; ++j) {
            sum += start[j];
        }
        const double mean = sum / count;
        double squares = 0.0;
        for (std::int64_t j = 0; j < period; ++j) {
            const double d = start[j] - mean;
            squares += d * d;
        }
        visit(i, mean, std::sqrt(squares / count));
    }
}

} // namespace

std::vector<double> calcEma(std::span<const double> values, std::int64_t period) {
    return emaOf(static_cast<std::int64_t>(values.size()), period,
                 [values](std::int64_t i) { return values[static_cast<std::size_t>(i)]; });
}

std::vector<double> emaSeries(std::int64_t period, std::span<const Candle> source) {
    return emaOf(countOf(source), period,
                 [source](std::int64_t i) { return source[static_cast<std::size_t>(i)].close; });
}

std::vector<double> vwapSeries(std::span<const Candle> source) {
    std::vector<double> out;
    out.reserve(source.size());
    double weightedSum = 0.0;
    double weights = 0.0;
    for (const Candle& bar : source) {
        const double w = vwapWeight(bar);
        weightedSum += typicalPrice(bar) * w;
        weights += w;
        out.push_back(weightedSum / weights);
    }
    return out;
}

BandSeries vwapBandSeries(double mult, std::int64_t window, std::span<const Candle> source) {
    const std::int64_t n = countOf(source);
    BandSeries out;
    if (window < 1) {
        out.upper.resize(source.size());
        out.lower.resize(source.size());
        return out;
    }
    out.upper.reserve(source.size());
    out.lower.reserve(source.size());

    std::vector<double> typical;
    typical.reserve(source.size());
    for (const Candle& bar : source) {
        typical.push_back(typicalPrice(bar));
    }

    // The centre line is the cumulative VWAP, advanced here bar by bar as the windows are emitted in order.
    double weightedSum = 0.0;
    double weights = 0.0;
    auto visit = [&](std::int64_t i, double deviation) {
        const double w = vwapWeight(source[static_cast<std::size_t>(i)]);
        weightedSum += typical[static_cast<std::size_t>(i)] * w;
        weights += w;
        const double vwap = weightedSum / weights;
        out.upper.emplace_back(deviation * mult + vwap);
        out.lower.emplace_back(vwap - deviation * mult);
    };

    // The first window - 1 bars have shorter windows, starting at bar 0.
    const std::int64_t partial = std::min(window - 1, n);
    for (std::int64_t i = 0; i < partial; ++i) {
        const double count = static_cast<double>(i + 1);
        double sum = 0.0;
        for (std::int64_t j = 0; j <= i; ++j) {
            sum += typical[static_cast<std::size_t>(j)];
        }
        const double mean = sum / count;
        double squares = 0.0;
        for (std::int64_t j = 0; j <= i; ++j) {
            const double d = typical[static_cast<std::size_t>(j)] - mean;
            squares += d * d;
        }
        visit(i, std::sqrt(squares / count));
    }
    forEachFullWindow(typical.data(), partial, n, window,
                      [&](std::int64_t i, double, double deviation) { visit(i, deviation); });
    return out;
}

MacdSeries macdSeries(std::int64_t fast, std::int64_t slow, std::int64_t signal, std::span<const Candle> candles) {
    MacdSeries out;
    if (candles.empty()) {
        return out;
    }
    out.macd.reserve(candles.size());
    out.signal.reserve(candles.size());
    out.hist.reserve(candles.size());
    const double kFast = smoothingFactor(fast);
    const double keepFast = 1.0 - kFast;
    const double kSlow = smoothingFactor(slow);
    const double keepSlow = 1.0 - kSlow;
    const double kSignal = smoothingFactor(signal);
    const double keepSignal = 1.0 - kSignal;

    // The three EMAs run side by side in one pass; each keeps exactly its own recurrence. Every EMA is
    // seeded with its first input, which is stepped with itself as well.
    double fastEma = candles[0].close;
    double slowEma = candles[0].close;
    double signalEma = 0.0;
    for (std::size_t i = 0; i < candles.size(); ++i) {
        const double x = candles[i].close;
        fastEma = keepFast * fastEma + kFast * x;
        slowEma = keepSlow * slowEma + kSlow * x;
        const double m = fastEma - slowEma;
        if (i == 0) {
            signalEma = m;
        }
        signalEma = keepSignal * signalEma + kSignal * m;
        out.macd.push_back(m);
        out.signal.push_back(signalEma);
        out.hist.push_back(m - signalEma);
    }
    return out;
}

OptionalSeries smaSeries(std::int64_t period, std::span<const Candle> source) {
    const std::int64_t n = countOf(source);
    if (period < 1 || n < period) {
        return OptionalSeries(source.size());
    }
    OptionalSeries out;
    out.reserve(source.size());
    const double count = static_cast<double>(period);
    // A running sum: add the new close, then subtract the one leaving the window.
    double sum = 0.0;
    for (std::int64_t i = 0; i < period - 1; ++i) {
        sum += source[static_cast<std::size_t>(i)].close;
        out.emplace_back();
    }
    sum += source[static_cast<std::size_t>(period - 1)].close;
    out.emplace_back(sum / count);
    for (std::int64_t i = period; i < n; ++i) {
        sum += source[static_cast<std::size_t>(i)].close;
        sum -= source[static_cast<std::size_t>(i - period)].close;
        out.emplace_back(sum / count);
    }
    return out;
}

BandSeries bollingerSeries(std::int64_t period, double mult, std::span<const Candle> source) {
    const std::int64_t n = countOf(source);
    BandSeries out;
    if (period < 1 || n < period) {
        out.upper.resize(source.size());
        out.lower.resize(source.size());
        return out;
    }
    out.upper.reserve(source.size());
    out.lower.reserve(source.size());
    out.upper.resize(static_cast<std::size_t>(period - 1));
    out.lower.resize(static_cast<std::size_t>(period - 1));

    std::vector<double> closes;
    closes.reserve(source.size());
    for (const Candle& bar : source) {
        closes.push_back(bar.close);
    }
    forEachFullWindow(closes.data(), period - 1, n, period, [&](std::int64_t, double mean, double deviation) {
        out.upper.emplace_back(mean + deviation * mult);
        out.lower.emplace_back(mean - deviation * mult);
    });
    return out;
}

std::vector<double> rsiSeries(std::int64_t period, std::span<const Candle> candles) {
    const std::int64_t n = countOf(candles);
    std::vector<double> out;
    if (n < 2 || period < 1) {
        return out;
    }
    if (n - 1 <= period) { // also keeps period + 1 from overflowing below
        out.assign(candles.size(), 50.0);
        return out;
    }
    auto close = [candles](std::int64_t i) {
        return candles[static_cast<std::size_t>(i)].close;
    };
    const double count = static_cast<double>(period);
    const double keep = static_cast<double>(period - 1);

    // Seed: plain averages of the first `period` gains and losses (a zero change is a gain of 0).
    double gainSum = 0.0;
    double lossSum = 0.0;
    for (std::int64_t j = 0; j < period; ++j) {
        const double d = close(j + 1) - close(j);
        if (d >= 0.0) {
            gainSum += d;
        } else if (d < 0.0) {
            lossSum += std::abs(d);
        }
    }
    double gain = gainSum / count;
    double loss = lossSum / count;

    // Entries 0 .. period stay 50; the first computed entry already includes one smoothing step.
    out.reserve(candles.size());
    out.assign(static_cast<std::size_t>(period + 1), 50.0);
    for (std::int64_t i = period + 1; i < n; ++i) {
        const double d = close(i) - close(i - 1);
        gain = (gain * keep + (d > 0.0 ? d : 0.0)) / count;
        loss = (loss * keep + (d < 0.0 ? std::abs(d) : 0.0)) / count;
        out.push_back(loss == 0.0 ? kRsiNoLoss : 100.0 - 100.0 / (gain / loss + 1.0));
    }
    return out;
}

std::optional<double> emaValue(std::int64_t period, std::span<const Candle> candles) {
    if (candles.empty()) {
        return std::nullopt;
    }
    const double k = smoothingFactor(period);
    const double keep = 1.0 - k;
    double e = candles[0].close;
    for (std::size_t i = 1; i < candles.size(); ++i) {
        e = keep * e + k * candles[i].close;
    }
    return e;
}

std::optional<double> vwapValue(std::span<const Candle> candles) {
    if (candles.empty()) {
        return std::nullopt;
    }
    double weightedSum = 0.0;
    double weights = 0.0;
    for (const Candle& bar : candles) {
        const double w = vwapWeight(bar);
        weightedSum += typicalPrice(bar) * w;
        weights += w;
    }
    return weightedSum / weights;
}

std::optional<double> atrValue(std::int64_t period, std::span<const Candle> candles) {
    const std::int64_t n = countOf(candles);
    if (n < 2 || period < 1) {
        return std::nullopt;
    }
    const std::int64_t count = std::min(period, n - 1);
    double sum = 0.0;
    for (std::int64_t i = n - count; i < n; ++i) {
        const Candle& bar = candles[static_cast<std::size_t>(i)];
        const double previousClose = candles[static_cast<std::size_t>(i - 1)].close;
        double range = bar.high - bar.low;
        if (std::abs(bar.high - previousClose) >= range) {
            range = std::abs(bar.high - previousClose);
        }
        if (std::abs(bar.low - previousClose) >= range) {
            range = std::abs(bar.low - previousClose);
        }
        sum += range;
    }
    return sum / static_cast<double>(count);
}

} // namespace zqt
