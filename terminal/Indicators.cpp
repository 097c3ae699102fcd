#include "terminal/Indicators.h"

#include <algorithm>
#include <array>
#include <bit>
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

// The mean and population deviation of bar i's trailing window x[max(0, i - width + 1)] .. x[i] (shorter at
// the start), for each bar from `first` on, handed to emit(i, mean, deviation) in increasing order of i. Each
// window is summed from 0 in index order, first its values, then the squared deviations from its mean.
//
// kSide windows are taken side by side, advancing together term by term: each still adds its own terms in its
// own order, so every sum is that of one window alone, while the chains are independent and the processor
// overlaps them. A short window (before bar width - 1) adds 0 for the terms it does not have: its sums start
// at +0 and so are never -0, the one value to which adding 0 is not exact. The values are copied into one
// contiguous buffer first, followed by zeros that the lanes past the end read; their results are dropped.
//
// The two group functions are also compiled for AVX2 (picked at load time where the processor has it): the
// same loops, four lanes to a register instead of two. Every operation still rounds on its own (no fused
// multiply-add, see the build), so both give the same bits.
constexpr std::int64_t kSide = 32;
constexpr std::int64_t kStackValues = 512;

// The bits of a term a lane takes (all ones) or leaves out (all zeros, which reads as +0): from entry
// kSide - t on, the masks of the lanes l >= t.
constexpr std::array<std::uint64_t, 2 * kSide> kLaneMasks = [] {
    std::array<std::uint64_t, 2 * kSide> masks{};
    for (std::int64_t l = kSide; l < 2 * kSide; ++l)
        masks[static_cast<std::size_t>(l)] = ~std::uint64_t{0};
    return masks;
}();

double masked(double value, std::uint64_t mask) {
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(value) & mask);
}

// Lane l: bar i0 + l's short window x[0] .. x[i0 + l]. Every lane takes the terms up to x[i0]; term i0 + t
// only the lanes l >= t.
[[gnu::target_clones("avx2", "default")]] void shortWindowGroup(const double* x, std::int64_t i0, double* mean,
                                                                double* deviation) {
    double count[kSide];
    for (std::int64_t l = 0; l < kSide; ++l)
        count[l] = static_cast<double>(i0 + l + 1);
    double sum[kSide] = {};
    for (std::int64_t j = 0; j <= i0; ++j)
        for (std::int64_t l = 0; l < kSide; ++l)
            sum[l] += x[j];
    for (std::int64_t t = 1; t < kSide; ++t) {
        const std::uint64_t* mask = kLaneMasks.data() + (kSide - t);
        for (std::int64_t l = 0; l < kSide; ++l)
            sum[l] += masked(x[i0 + t], mask[l]);
    }
    for (std::int64_t l = 0; l < kSide; ++l)
        mean[l] = sum[l] / count[l];
    double squares[kSide] = {};
    for (std::int64_t j = 0; j <= i0; ++j)
        for (std::int64_t l = 0; l < kSide; ++l)
            squares[l] += (x[j] - mean[l]) * (x[j] - mean[l]);
    for (std::int64_t t = 1; t < kSide; ++t) {
        const std::uint64_t* mask = kLaneMasks.data() + (kSide - t);
        for (std::int64_t l = 0; l < kSide; ++l)
            squares[l] += masked((x[i0 + t] - mean[l]) * (x[i0 + t] - mean[l]), mask[l]);
    }
    for (std::int64_t l = 0; l < kSide; ++l)
        deviation[l] = std::sqrt(squares[l] / count[l]);
}

// Lane l: bar i0 + l's full window v[l] .. v[l + width - 1], v = x + i0 - width + 1.
[[gnu::target_clones("avx2", "default")]] void fullWindowGroup(const double* x, std::int64_t i0, std::int64_t width,
                                                               double* mean, double* deviation) {
    const double* v = x + (i0 - width + 1);
    const double count = static_cast<double>(width);
    double sum[kSide] = {};
    for (std::int64_t j = 0; j < width; ++j)
        for (std::int64_t l = 0; l < kSide; ++l)
            sum[l] += v[l + j];
    for (std::int64_t l = 0; l < kSide; ++l)
        mean[l] = sum[l] / count;
    double squares[kSide] = {};
    for (std::int64_t j = 0; j < width; ++j)
        for (std::int64_t l = 0; l < kSide; ++l)
            squares[l] += (v[l + j] - mean[l]) * (v[l + j] - mean[l]);
    for (std::int64_t l = 0; l < kSide; ++l)
        deviation[l] = std::sqrt(squares[l] / count);
}

template <typename Value, typename Emit>
void trailingWindows(std::int64_t n, std::int64_t width, std::int64_t first, Value value, Emit emit) {
    width = std::min(width, n);
    if (width < 1)
        return;
    double local[kStackValues + kSide];
    std::vector<double> wide;
    double* x = local;
    if (n > kStackValues) {
        wide.resize(static_cast<std::size_t>(n + kSide));
        x = wide.data();
    }
    for (std::int64_t i = 0; i < n; ++i)
        x[i] = value(i);
    std::fill(x + n, x + n + kSide, 0.0);
    double mean[kSide];
    double deviation[kSide];
    const auto emitGroup = [&](std::int64_t i0, std::int64_t end) {
        for (std::int64_t l = 0; l < kSide && i0 + l < end; ++l)
            emit(i0 + l, mean[l], deviation[l]);
    };
    for (std::int64_t i0 = first; i0 < width - 1; i0 += kSide) {
        shortWindowGroup(x, i0, mean, deviation);
        emitGroup(i0, width - 1);
    }
    for (std::int64_t i0 = std::max(first, width - 1); i0 < n; i0 += kSide) {
        fullWindowGroup(x, i0, width, mean, deviation);
        emitGroup(i0, n);
    }
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
    // The centre line is the cumulative VWAP, advanced as the windows arrive in order of their bars.
    double weightedSum = 0.0;
    double weights = 0.0;
    trailingWindows(
        countOf(source), window, 0,
        [source](std::int64_t i) { return typicalPrice(source[static_cast<std::size_t>(i)]); },
        [&](std::int64_t i, double, double deviation) {
            const Candle& bar = source[static_cast<std::size_t>(i)];
            weightedSum += typicalPrice(bar) * vwapWeight(bar);
            weights += vwapWeight(bar);
            const double vwap = weightedSum / weights;
            out.upper[static_cast<std::size_t>(i)] = deviation * mult + vwap;
            out.lower[static_cast<std::size_t>(i)] = vwap - deviation * mult;
        });
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
    trailingWindows(
        n, period, period - 1, [source](std::int64_t i) { return source[static_cast<std::size_t>(i)].close; },
        [&](std::int64_t i, double mean, double deviation) {
            out.upper[static_cast<std::size_t>(i)] = mean + deviation * mult;
            out.lower[static_cast<std::size_t>(i)] = mean - deviation * mult;
        });
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
