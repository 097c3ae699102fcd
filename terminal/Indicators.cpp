#include "terminal/Indicators.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

// The windowed deviations sum each window afresh, in index order from 0: first the sum and the mean, then the
// sum of squared deviations from that mean. Several consecutive windows are computed in one loop, one per
// vector lane: their sums are independent, so the processor overlaps them, while each window still adds its
// own terms in its own order. Vector lanes round exactly like the scalar operations (and the square root is
// correctly rounded in both), so the results are identical to computing one window at a time.
//
// Mean and population variance of `groups` groups of kRegs * lanes windows of `period` inputs, window w
// starting at x[w]. Vec is a vector of doubles.
template <typename Vec, int kRegs>
[[gnu::always_inline]] inline void windowGroups(const double* x, std::int64_t groups, std::int64_t period, double* mean,
                                                double* variance) {
    constexpr std::int64_t kLanes = sizeof(Vec) / sizeof(double);
    constexpr std::int64_t kWindows = kLanes * kRegs;
    Vec ns;
    for (std::int64_t l = 0; l < kLanes; ++l) {
        ns[l] = static_cast<double>(period);
    }
    for (std::int64_t g = 0; g < groups; ++g) {
        const double* start = x + g * kWindows;
        Vec s[kRegs];
        Vec q[kRegs];
        for (int r = 0; r < kRegs; ++r) {
            s[r] = ns - ns; // +0.0 in every lane
            q[r] = s[r];
        }
        for (std::int64_t j = 0; j < period; ++j) {
            for (int r = 0; r < kRegs; ++r) {
                Vec v;
                std::memcpy(&v, start + j + r * kLanes, sizeof v);
                s[r] += v;
            }
        }
        Vec m[kRegs];
        for (int r = 0; r < kRegs; ++r) {
            m[r] = s[r] / ns;
        }
        for (std::int64_t j = 0; j < period; ++j) {
            for (int r = 0; r < kRegs; ++r) {
                Vec v;
                std::memcpy(&v, start + j + r * kLanes, sizeof v);
                const Vec d = v - m[r];
                q[r] += d * d;
            }
        }
        for (int r = 0; r < kRegs; ++r) {
            const Vec v = q[r] / ns;
            std::memcpy(mean + g * kWindows + r * kLanes, &m[r], sizeof(Vec));
            std::memcpy(variance + g * kWindows + r * kLanes, &v, sizeof(Vec));
        }
    }
}

// Two doubles in one vector register: SSE2 on x86-64, NEON on arm64.
using Pair = double __attribute__((vector_size(16)));
constexpr int kPairs = 6;
constexpr std::int64_t kPairWindows = 2 * kPairs;

// Mean and population deviation of the `count` windows of `period` inputs starting at x[0], x[1], ...
[[gnu::noinline]] void windowsBaseline(const double* x, std::int64_t count, std::int64_t period, double* mean,
                                       double* deviation) {
    const std::int64_t groups = count / kPairWindows;
    windowGroups<Pair, kPairs>(x, groups, period, mean, deviation);
    for (std::int64_t w = 0; w < groups * kPairWindows; w += 2) {
#if defined(__SSE2__)
        _mm_storeu_pd(deviation + w, _mm_sqrt_pd(_mm_loadu_pd(deviation + w)));
#else
        deviation[w] = std::sqrt(deviation[w]);
        deviation[w + 1] = std::sqrt(deviation[w + 1]);
#endif
    }
    const double n = static_cast<double>(period);
    for (std::int64_t w = groups * kPairWindows; w < count; ++w) {
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

#if defined(__x86_64__)
// The same with AVX2 where the processor has it: four doubles to a register, 24 windows in flight. Only AVX
// instructions are enabled here, not FMA, so every multiply and add still rounds on its own.
using Quad = double __attribute__((vector_size(32)));
constexpr int kQuads = 6;
constexpr std::int64_t kQuadWindows = 4 * kQuads;

[[gnu::noinline, gnu::target("avx2")]] void windowsAvx2(const double* x, std::int64_t count, std::int64_t period,
                                                        double* mean, double* deviation) {
    const std::int64_t groups = count / kQuadWindows;
    windowGroups<Quad, kQuads>(x, groups, period, mean, deviation);
    for (std::int64_t w = 0; w < groups * kQuadWindows; w += 4) {
        _mm256_storeu_pd(deviation + w, _mm256_sqrt_pd(_mm256_loadu_pd(deviation + w)));
    }
    const std::int64_t done = groups * kQuadWindows;
    windowsBaseline(x + done, count - done, period, mean + done, deviation + done);
}

bool hasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}
#endif

void windowsInBuffer(const double* x, std::int64_t count, std::int64_t period, double* mean, double* deviation) {
#if defined(__x86_64__)
    if (hasAvx2()) {
        windowsAvx2(x, count, period, mean, deviation);
        return;
    }
#endif
    windowsBaseline(x, count, period, mean, deviation);
}

// Short inputs (kShortSeries bars at most) have their windows computed in whole groups of vector lanes, the
// last group padded with windows over the zeros after the inputs, whose results are dropped: no window falls to
// a scalar tail loop, where it would be a chain of 2 * period dependent additions, longer than a whole group of
// interleaved ones. The input buffer holds count + period - 1 values followed by kShortPad readable ones; the
// result buffers room for count + kShortPad values.
constexpr std::int64_t kShortPad = 64; // at least the widest group of windows

std::int64_t groupsFor(std::int64_t count, std::int64_t windowsPerGroup) {
    return (count + windowsPerGroup - 1) / windowsPerGroup;
}

[[gnu::noinline]] void shortWindowsBaseline(const double* x, std::int64_t count, std::int64_t period, double* mean,
                                            double* deviation) {
    const std::int64_t groups = groupsFor(count, kPairWindows);
    windowGroups<Pair, kPairs>(x, groups, period, mean, deviation);
    for (std::int64_t w = 0; w < count; ++w) {
        deviation[w] = std::sqrt(deviation[w]);
    }
}

#if defined(__x86_64__)
[[gnu::noinline, gnu::target("avx2")]] void shortWindowsAvx2(const double* x, std::int64_t count, std::int64_t period,
                                                             double* mean, double* deviation) {
    const std::int64_t groups = groupsFor(count, kQuadWindows);
    windowGroups<Quad, kQuads>(x, groups, period, mean, deviation);
    for (std::int64_t w = 0; w < count; w += 4) {
        _mm256_storeu_pd(deviation + w, _mm256_sqrt_pd(_mm256_loadu_pd(deviation + w)));
    }
}

// Eight doubles to a register and 32 windows in flight where the processor has AVX-512 (again without FMA).
using Oct = double __attribute__((vector_size(64)));
constexpr int kOcts = 4;
constexpr std::int64_t kOctWindows = 8 * kOcts;
static_assert(kOctWindows <= kShortPad && kQuadWindows <= kShortPad && kPairWindows <= kShortPad);

[[gnu::noinline, gnu::target("avx512f")]] void
shortWindowsAvx512(const double* x, std::int64_t count, std::int64_t period, double* mean, double* deviation) {
    const std::int64_t groups = groupsFor(count, kOctWindows);
    windowGroups<Oct, kOcts>(x, groups, period, mean, deviation);
    for (std::int64_t w = 0; w < count; w += 4) { // (GCC 12 warns about its own 512-bit square root)
        _mm256_storeu_pd(deviation + w, _mm256_sqrt_pd(_mm256_loadu_pd(deviation + w)));
    }
}

bool hasAvx512() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0;
    }();
    return has;
}
#endif

// The number of windows shortWindows computes together: its padding.
std::int64_t shortWindowGroup() {
#if defined(__x86_64__)
    if (hasAvx512()) {
        return kOctWindows;
    }
    if (hasAvx2()) {
        return kQuadWindows;
    }
#endif
    return kPairWindows;
}

void shortWindows(const double* x, std::int64_t count, std::int64_t period, double* mean, double* deviation) {
#if defined(__x86_64__)
    if (hasAvx512()) {
        shortWindowsAvx512(x, count, period, mean, deviation);
        return;
    }
    if (hasAvx2()) {
        shortWindowsAvx2(x, count, period, mean, deviation);
        return;
    }
#endif
    shortWindowsBaseline(x, count, period, mean, deviation);
}

// Room for the inputs of a short list and its padding.
constexpr std::size_t kShortBuffer = static_cast<std::size_t>(kShortSeries + kShortPad);

// Zeros after the n inputs in x, as far as the groups of shortWindows over `count` windows read.
void padWindows(double* x, std::int64_t n, std::int64_t count) {
    const std::int64_t group = shortWindowGroup();
    const std::int64_t end = n + groupsFor(count, group) * group - count;
    for (std::int64_t j = n; j < end; ++j) {
        x[j] = 0.0;
    }
}

void fillAbsent(OptionalSeries& out, std::size_t count) {
    std::fill_n(out.begin(), count, std::nullopt);
}

// Inputs are copied, a chunk of windows at a time, into a small contiguous buffer that stays in cache. The
// windows of a chunk are computed a slice at a time; before each slice, the bars of the same slice of the
// next chunk are requested from memory (prefetched), so that fetching them overlaps with the arithmetic
// instead of following it. A chunk is a whole number of slices, and a slice of the widest groups of windows.
constexpr std::int64_t kSlice = 48;
constexpr std::int64_t kChunk = 20 * kSlice;

// Requests the cache lines of bars[from] to bars[from + count - 1]. A prefetch never faults, so the range may
// extend past the end of the list; the addresses are formed as integers for that reason.
void prefetchBars(const Candle* bars, std::int64_t from, std::int64_t count) {
    constexpr std::uintptr_t kLine = 64;
    const std::uintptr_t begin =
        reinterpret_cast<std::uintptr_t>(bars) + static_cast<std::uintptr_t>(from) * sizeof(Candle);
    const std::uintptr_t end = begin + static_cast<std::uintptr_t>(count) * sizeof(Candle);
    for (std::uintptr_t a = begin & ~(kLine - 1); a < end; a += kLine) {
        __builtin_prefetch(reinterpret_cast<const void*>(a));
    }
}

// For the full windows of inputs value(i - period + 1) .. value(i), i = first .. n - 1 (first >= period - 1),
// calls chunk(k, inputs, mean, deviation) for consecutive runs of k windows in increasing order of i, where
// inputs[b] is value(i) and mean[b], deviation[b] belong to the window ending at i, for the run's b-th i.
// value(i) reads bars[i] (which are prefetched ahead of it).
template <typename Value, typename Chunk>
void forEachFullWindow(const Candle* bars, std::int64_t first, std::int64_t n, std::int64_t period, Value value,
                       Chunk chunk) {
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
        for (std::int64_t w = 0; w < k; w += kSlice) {
            const std::int64_t count = std::min(kSlice, k - w);
            // The bars of the same slice of the next chunk.
            prefetchBars(bars, i0 + kChunk + w, count);
            windowsInBuffer(buffer + w, count, period, mean + w, deviation + w);
        }
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
    std::vector<double> out;
    vwapSeries(source, out);
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
    forEachFullWindow(source.data(), partial, n, window, typical,
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
        source.data(), period - 1, n, period,
        [source](std::int64_t i) { return source[static_cast<std::size_t>(i)].close; },
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
    std::vector<double> out;
    rsiSeries(period, candles, out);
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

// ---- Into caller-owned lists ------------------------------------------------------------------------------

namespace {

// The long-input path of the band overloads: the list-returning function's result, moved into the caller's lists.
void moveBands(BandSeries bands, OptionalSeries& upper, OptionalSeries& lower) {
    upper = std::move(bands.upper);
    lower = std::move(bands.lower);
}

} // namespace

void emaSeries(std::int64_t period, std::span<const Candle> source, std::vector<double>& out) {
    const std::int64_t n = countOf(source);
    if (n > kShortSeries) {
        out = emaSeries(period, source);
        return;
    }
    out.resize(source.size());
    if (n == 0) {
        return;
    }
    const double k = smoothingFactor(period);
    const double keep = 1.0 - k;
    const Candle* bars = source.data();
    double* o = out.data();
    double e = bars[0].close;
    for (std::int64_t i = 0; i < n; ++i) {
        e = keep * e + k * bars[i].close;
        o[i] = e;
    }
}

void vwapSeries(std::span<const Candle> source, std::vector<double>& out) {
    out.resize(source.size());
    double* o = out.data();
    double weightedSum = 0.0;
    double weights = 0.0;
    for (const Candle& bar : source) {
        const double w = vwapWeight(bar);
        weightedSum += typicalPrice(bar) * w;
        weights += w;
        *o++ = weightedSum / weights;
    }
}

void vwapBandSeries(double mult, std::int64_t window, std::span<const Candle> source, OptionalSeries& upper,
                    OptionalSeries& lower) {
    const std::int64_t n = countOf(source);
    if (n > kShortSeries) {
        moveBands(vwapBandSeries(mult, window, source), upper, lower);
        return;
    }
    upper.resize(source.size());
    lower.resize(source.size());
    if (window < 1) {
        fillAbsent(upper, source.size());
        fillAbsent(lower, source.size());
        return;
    }
    const Candle* bars = source.data();
    double t[kShortBuffer];
    for (std::int64_t j = 0; j < n; ++j) {
        t[j] = typicalPrice(bars[j]);
    }
    padWindows(t, n, n - std::min(window - 1, n));
    std::optional<double>* up = upper.data();
    std::optional<double>* lo = lower.data();
    double weightedSum = 0.0;
    double weights = 0.0;

    // The first window - 1 bars have shorter windows, starting at bar 0.
    const std::int64_t partial = std::min(window - 1, n);
    for (std::int64_t i = 0; i < partial; ++i) {
        const double count = static_cast<double>(i + 1);
        double sum = 0.0;
        for (std::int64_t j = 0; j <= i; ++j) {
            sum += t[j];
        }
        const double mean = sum / count;
        double squares = 0.0;
        for (std::int64_t j = 0; j <= i; ++j) {
            const double d = t[j] - mean;
            squares += d * d;
        }
        const double deviation = std::sqrt(squares / count);
        const double w = vwapWeight(bars[i]);
        weightedSum += t[i] * w;
        weights += w;
        const double vwap = weightedSum / weights;
        up[i] = deviation * mult + vwap;
        lo[i] = vwap - deviation * mult;
    }
    if (partial == n) {
        return;
    }
    // Full windows: window b covers t[b] .. t[b + window - 1] and belongs to bar partial + b.
    const std::int64_t full = n - partial;
    double mean[kShortBuffer];
    double deviation[kShortBuffer];
    shortWindows(t, full, window, mean, deviation);
    for (std::int64_t b = 0; b < full; ++b) {
        const std::int64_t i = partial + b;
        const double w = vwapWeight(bars[i]);
        weightedSum += t[i] * w;
        weights += w;
        const double vwap = weightedSum / weights;
        up[i] = deviation[b] * mult + vwap;
        lo[i] = vwap - deviation[b] * mult;
    }
}

void macdSeries(std::int64_t fast, std::int64_t slow, std::int64_t signal, std::span<const Candle> candles,
                MacdSeries& out) {
    const std::int64_t n = countOf(candles);
    if (n > kShortSeries) {
        out = macdSeries(fast, slow, signal, candles);
        return;
    }
    out.macd.resize(candles.size());
    out.signal.resize(candles.size());
    out.hist.resize(candles.size());
    if (n == 0) {
        return;
    }
    const double kFast = smoothingFactor(fast);
    const double keepFast = 1.0 - kFast;
    const double kSlow = smoothingFactor(slow);
    const double keepSlow = 1.0 - kSlow;
    const double kSignal = smoothingFactor(signal);
    const double keepSignal = 1.0 - kSignal;
    const Candle* bars = candles.data();
    double* macd = out.macd.data();
    double* sig = out.signal.data();
    double* hist = out.hist.data();
    // As in macdSeries above: each EMA seeded with its first input, which is stepped with itself as well.
    const double first = bars[0].close;
    double f = keepFast * first + kFast * first;
    double sl = keepSlow * first + kSlow * first;
    double sg = f - sl;
    sg = keepSignal * sg + kSignal * (f - sl);
    macd[0] = f - sl;
    sig[0] = sg;
    hist[0] = macd[0] - sg;
    for (std::int64_t i = 1; i < n; ++i) {
        const double x = bars[i].close;
        f = keepFast * f + kFast * x;
        sl = keepSlow * sl + kSlow * x;
        const double m = f - sl;
        sg = keepSignal * sg + kSignal * m;
        macd[i] = m;
        sig[i] = sg;
        hist[i] = m - sg;
    }
}

void smaSeries(std::int64_t period, std::span<const Candle> source, OptionalSeries& out) {
    const std::int64_t n = countOf(source);
    if (n > kShortSeries) {
        out = smaSeries(period, source);
        return;
    }
    out.resize(source.size());
    if (period < 1 || n < period) {
        fillAbsent(out, source.size());
        return;
    }
    fillAbsent(out, static_cast<std::size_t>(period - 1));
    const Candle* bars = source.data();
    std::optional<double>* o = out.data();
    const double count = static_cast<double>(period);
    double sum = 0.0;
    for (std::int64_t i = 0; i < period; ++i) {
        sum += bars[i].close;
    }
    o[period - 1] = sum / count;
    for (std::int64_t i = period; i < n; ++i) {
        sum += bars[i].close;
        sum -= bars[i - period].close;
        o[i] = sum / count;
    }
}

void bollingerSeries(std::int64_t period, double mult, std::span<const Candle> source, OptionalSeries& upper,
                     OptionalSeries& lower) {
    const std::int64_t n = countOf(source);
    if (n > kShortSeries) {
        moveBands(bollingerSeries(period, mult, source), upper, lower);
        return;
    }
    upper.resize(source.size());
    lower.resize(source.size());
    if (period < 1 || n < period) {
        fillAbsent(upper, source.size());
        fillAbsent(lower, source.size());
        return;
    }
    fillAbsent(upper, static_cast<std::size_t>(period - 1));
    fillAbsent(lower, static_cast<std::size_t>(period - 1));
    const Candle* bars = source.data();
    double c[kShortBuffer];
    for (std::int64_t j = 0; j < n; ++j) {
        c[j] = bars[j].close;
    }
    padWindows(c, n, n - period + 1);
    // Window b covers c[b] .. c[b + period - 1] and belongs to bar b + period - 1.
    const std::int64_t full = n - period + 1;
    double mean[kShortBuffer];
    double deviation[kShortBuffer];
    shortWindows(c, full, period, mean, deviation);
    std::optional<double>* up = upper.data() + (period - 1);
    std::optional<double>* lo = lower.data() + (period - 1);
    for (std::int64_t b = 0; b < full; ++b) {
        up[b] = mean[b] + deviation[b] * mult;
        lo[b] = mean[b] - deviation[b] * mult;
    }
}

void rsiSeries(std::int64_t period, std::span<const Candle> candles, std::vector<double>& out) {
    const std::int64_t n = countOf(candles);
    if (n < 2 || period < 1) {
        out.clear();
        return;
    }
    out.assign(candles.size(), 50.0);
    if (n - 1 <= period) { // also keeps period + 1 from overflowing below
        return;
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
}

} // namespace zqt
