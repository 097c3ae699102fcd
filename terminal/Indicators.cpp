#include "terminal/Indicators.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
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

// Long results are produced a block at a time into a small buffer on the stack and then appended: each output
// element is written once (no zero fill first). The block loop runs in a function of its own, free of calls,
// so the compiler keeps the recurrences in registers instead of spilling them around the appends.
constexpr std::int64_t kBlock = 256;

// Runs f(args...) in a function of its own (see above).
template <typename F, typename... Args> [[gnu::noinline]] void runLeaf(F& f, Args... args) {
    f(args...);
}

// Appends count values to out; produce(block, k) writes the next k of them into block.
template <typename T, typename Produce> void appendBlocks(std::vector<T>& out, std::int64_t count, Produce produce) {
    double block[kBlock];
    for (std::int64_t done = 0; done < count; done += kBlock) {
        const std::int64_t k = std::min(kBlock, count - done);
        runLeaf(produce, block, k);
        out.insert(out.end(), block, block + k);
    }
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
    std::int64_t next = 0;
    appendBlocks(out, n, [&](double* block, std::int64_t count) {
        double ema = e;
        const std::int64_t from = next;
        for (std::int64_t b = 0; b < count; ++b) {
            ema = keep * ema + k * x(from + b);
            block[b] = ema;
        }
        e = ema;
        next = from + count;
    });
    return out;
}

// Two doubles in one vector register (SSE2 on x86-64, NEON on arm64); arithmetic is lane by lane and rounds
// exactly like the scalar operations.
using Pair = double __attribute__((vector_size(16)));

Pair loadPair(const double* p) {
    Pair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The windowed deviations sum each window afresh, in index order from 0: first the sum and the mean, then the
// sum of squared deviations from that mean. kInFlight consecutive windows are computed in one loop, two to a
// register: their sums are independent, so the processor overlaps them, while each window still adds its own
// terms in its own order. The results are identical to computing one window at a time.
constexpr int kPairs = 6;
constexpr std::int64_t kInFlight = 2 * kPairs;

// Inputs are copied, a chunk of windows at a time, into a small contiguous buffer that stays in cache.
constexpr std::int64_t kChunk = 1024;

// Mean and population deviation of the `count` windows of `period` inputs starting at x[0], x[1], ...
[[gnu::noinline]] void windowsInBuffer(const double* x, std::int64_t count, std::int64_t period, double* mean,
                                       double* deviation) {
    const double n = static_cast<double>(period);
    const Pair ns = {n, n};
    std::int64_t w = 0;
    for (; w + kInFlight <= count; w += kInFlight) {
        const double* start = x + w;
        const Pair zero = {0.0, 0.0};
        Pair s0 = zero, s1 = zero, s2 = zero, s3 = zero, s4 = zero, s5 = zero;
        for (std::int64_t j = 0; j < period; ++j) {
            const double* a = start + j;
            s0 += loadPair(a);
            s1 += loadPair(a + 2);
            s2 += loadPair(a + 4);
            s3 += loadPair(a + 6);
            s4 += loadPair(a + 8);
            s5 += loadPair(a + 10);
        }
        const Pair m0 = s0 / ns, m1 = s1 / ns, m2 = s2 / ns, m3 = s3 / ns, m4 = s4 / ns, m5 = s5 / ns;
        Pair q0 = zero, q1 = zero, q2 = zero, q3 = zero, q4 = zero, q5 = zero;
        for (std::int64_t j = 0; j < period; ++j) {
            const double* a = start + j;
            const Pair d0 = loadPair(a) - m0;
            const Pair d1 = loadPair(a + 2) - m1;
            const Pair d2 = loadPair(a + 4) - m2;
            const Pair d3 = loadPair(a + 6) - m3;
            const Pair d4 = loadPair(a + 8) - m4;
            const Pair d5 = loadPair(a + 10) - m5;
            q0 += d0 * d0;
            q1 += d1 * d1;
            q2 += d2 * d2;
            q3 += d3 * d3;
            q4 += d4 * d4;
            q5 += d5 * d5;
        }
        const Pair means[kPairs] = {m0, m1, m2, m3, m4, m5};
        const Pair variances[kPairs] = {q0 / ns, q1 / ns, q2 / ns, q3 / ns, q4 / ns, q5 / ns};
        std::memcpy(mean + w, means, sizeof means);
        for (int p = 0; p < kPairs; ++p) {
            deviation[w + 2 * p] = std::sqrt(variances[p][0]);
            deviation[w + 2 * p + 1] = std::sqrt(variances[p][1]);
        }
    }
    for (; w < count; ++w) {
        const double* start = x + w;
        double sum = 0.0;
        for (std::int64_t j = 0; j < period; ++j) {
            sum += start[j];
        }
        const double m = sum / n;
        double squares = 0.0;
        for (std::int64_t j = 0; j < period; ++j) {
            const double d = start[j] - m;
            squares += d * d;
        }
        mean[w] = m;
        deviation[w] = std::sqrt(squares / n);
    }
}

// For the full windows of inputs value(i - period + 1) .. value(i), i = first .. n - 1 (first >= period - 1),
// calls chunk(k, inputs, mean, deviation) for consecutive runs of k windows in increasing order of i, where
// inputs[b] is value(i) and mean[b], deviation[b] belong to the window ending at i, for the run's b-th i.
template <typename Value, typename Chunk>
void forEachFullWindow(std::int64_t first, std::int64_t n, std::int64_t period, Value value, Chunk chunk) {
    if (first >= n) {
        return;
    }
    // On the stack for the usual windows, on the heap for very wide ones.
    const std::int64_t needed = std::min(n - first, kChunk) + period - 1;
    double local[kChunk + 256];
    std::vector<double> wide;
    double* buffer = local;
    if (needed > static_cast<std::int64_t>(std::size(local))) {
        wide.resize(static_cast<std::size_t>(needed));
        buffer = wide.data();
    }
    double mean[kChunk];
    double deviation[kChunk];
    for (std::int64_t i0 = first; i0 < n; i0 += kChunk) {
        const std::int64_t k = std::min(n - i0, kChunk);
        double* x = buffer;
        for (std::int64_t j = i0 - period + 1; j < i0 + k; ++j) {
            *x++ = value(j);
        }
        windowsInBuffer(buffer, k, period, mean, deviation);
        chunk(k, buffer + (period - 1), mean, deviation);
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
    std::vector<double> out(source.size());
    double* o = out.data();
    double weightedSum = 0.0;
    double weights = 0.0;
    for (const Candle& bar : source) {
        const double w = vwapWeight(bar);
        weightedSum += typicalPrice(bar) * w;
        weights += w;
        *o++ = weightedSum / weights;
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
    auto typical = [source](std::int64_t i) {
        return typicalPrice(source[static_cast<std::size_t>(i)]);
    };

    // The centre line is the cumulative VWAP, advanced bar by bar as the windows arrive in order.
    double weightedSum = 0.0;
    double weights = 0.0;
    std::int64_t next = 0;

    // The first window - 1 bars have shorter windows, starting at bar 0.
    const std::int64_t partial = std::min(window - 1, n);
    std::vector<double> head;
    head.reserve(static_cast<std::size_t>(partial));
    for (std::int64_t j = 0; j < partial; ++j) {
        head.push_back(typical(j));
    }
    for (; next < partial; ++next) {
        const double count = static_cast<double>(next + 1);
        double sum = 0.0;
        for (std::int64_t j = 0; j <= next; ++j) {
            sum += head[static_cast<std::size_t>(j)];
        }
        const double mean = sum / count;
        double squares = 0.0;
        for (std::int64_t j = 0; j <= next; ++j) {
            const double d = head[static_cast<std::size_t>(j)] - mean;
            squares += d * d;
        }
        const double deviation = std::sqrt(squares / count);
        const double w = vwapWeight(source[static_cast<std::size_t>(next)]);
        weightedSum += head[static_cast<std::size_t>(next)] * w;
        weights += w;
        const double vwap = weightedSum / weights;
        out.upper.emplace_back(deviation * mult + vwap);
        out.lower.emplace_back(vwap - deviation * mult);
    }

    // Full windows: the VWAP of a run of bars is advanced in a loop of its own (free of calls, so its sums
    // stay in registers), reusing the typical prices already in the window buffer.
    auto bands = [&](const double* typicals, std::int64_t k, double* upper, double* lower) {
        double p = weightedSum;
        double ws = weights;
        const Candle* bars = source.data() + next;
        for (std::int64_t b = 0; b < k; ++b) {
            const double w = vwapWeight(bars[b]);
            p += typicals[b] * w;
            ws += w;
            const double vwap = p / ws;
            const double deviation = lower[b];
            upper[b] = deviation * mult + vwap;
            lower[b] = vwap - deviation * mult;
        }
        weightedSum = p;
        weights = ws;
        next += k;
    };
    forEachFullWindow(partial, n, window, typical,
                      [&](std::int64_t k, const double* typicals, double* mean, double* deviation) {
                          runLeaf(bands, typicals, k, mean, deviation);
                          out.upper.insert(out.upper.end(), mean, mean + k);
                          out.lower.insert(out.lower.end(), deviation, deviation + k);
                      });
    return out;
}

MacdSeries macdSeries(std::int64_t fast, std::int64_t slow, std::int64_t signal, std::span<const Candle> candles) {
    const std::int64_t n = countOf(candles);
    MacdSeries out;
    if (n == 0) {
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

    // The three EMAs run side by side in one pass, each with exactly its own recurrence. Every EMA is seeded
    // with its first input, which is stepped with itself as well; the signal's first input is macd[0].
    const double first = candles[0].close;
    double fastEma = keepFast * first + kFast * first;
    double slowEma = keepSlow * first + kSlow * first;
    double signalEma = fastEma - slowEma;
    signalEma = keepSignal * signalEma + kSignal * (fastEma - slowEma);
    out.macd.push_back(fastEma - slowEma);
    out.signal.push_back(signalEma);
    out.hist.push_back(out.macd.back() - signalEma);

    double macd[kBlock];
    double sig[kBlock];
    double hist[kBlock];
    auto produce = [&](const Candle* bars, std::int64_t count) {
        double f = fastEma;
        double sl = slowEma;
        double sg = signalEma;
        for (std::int64_t b = 0; b < count; ++b) {
            const double x = bars[b].close;
            f = keepFast * f + kFast * x;
            sl = keepSlow * sl + kSlow * x;
            const double m = f - sl;
            sg = keepSignal * sg + kSignal * m;
            macd[b] = m;
            sig[b] = sg;
            hist[b] = m - sg;
        }
        fastEma = f;
        slowEma = sl;
        signalEma = sg;
    };
    for (std::int64_t i = 1; i < n; i += kBlock) {
        const std::int64_t count = std::min(kBlock, n - i);
        runLeaf(produce, candles.data() + i, count);
        out.macd.insert(out.macd.end(), macd, macd + count);
        out.signal.insert(out.signal.end(), sig, sig + count);
        out.hist.insert(out.hist.end(), hist, hist + count);
    }
    return out;
}

OptionalSeries smaSeries(std::int64_t period, std::span<const Candle> source) {
    const std::int64_t n = countOf(source);
    OptionalSeries out;
    if (period < 1 || n < period) {
        out.resize(source.size());
        return out;
    }
    auto close = [source](std::int64_t i) {
        return source[static_cast<std::size_t>(i)].close;
    };
    out.reserve(source.size());
    out.resize(static_cast<std::size_t>(period - 1));
    const double count = static_cast<double>(period);
    // A running sum: add the new close, then subtract the one leaving the window.
    double sum = 0.0;
    for (std::int64_t i = 0; i < period; ++i) {
        sum += close(i);
    }
    out.emplace_back(sum / count);
    std::int64_t next = period;
    appendBlocks(out, n - period, [&](double* block, std::int64_t k) {
        double s = sum;
        const std::int64_t from = next;
        for (std::int64_t b = 0; b < k; ++b) {
            s += close(from + b);
            s -= close(from + b - period);
            block[b] = s / count;
        }
        sum = s;
        next = from + k;
    });
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
    forEachFullWindow(
        period - 1, n, period, [source](std::int64_t i) { return source[static_cast<std::size_t>(i)].close; },
        [&](std::int64_t k, const double*, double* mean, double* deviation) {
            for (std::int64_t b = 0; b < k; ++b) {
                const double upper = mean[b] + deviation[b] * mult;
                const double lower = mean[b] - deviation[b] * mult;
                mean[b] = upper;
                deviation[b] = lower;
            }
            out.upper.insert(out.upper.end(), mean, mean + k);
            out.lower.insert(out.lower.end(), deviation, deviation + k);
        });
    return out;
}

std::vector<double> rsiSeries(std::int64_t period, std::span<const Candle> candles) {
    const std::int64_t n = countOf(candles);
    if (n < 2 || period < 1) {
        return {};
    }
    std::vector<double> out(candles.size(), 50.0);
    if (n - 1 <= period) { // also keeps period + 1 from overflowing below
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
    double* o = out.data();
    for (std::int64_t i = period + 1; i < n; ++i) {
        const double d = close(i) - close(i - 1);
        gain = (gain * keep + (d > 0.0 ? d : 0.0)) / count;
        loss = (loss * keep + (d < 0.0 ? std::abs(d) : 0.0)) / count;
        o[i] = loss == 0.0 ? kRsiNoLoss : 100.0 - 100.0 / (gain / loss + 1.0);
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
