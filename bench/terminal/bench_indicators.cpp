// Indicator throughput over 1,000,000 bars (ns per bar, the "per_bar" counter) and the cost of everything the
// chart panel computes for one drawing of its usual 80 bars. Beside them, plain single-pass loops of the same
// kind over a contiguous array with preallocated output, as a yardstick for what this machine does per bar.
//
// Run: build-bench/bench/terminal/bench_indicators
#include "terminal/Indicators.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

namespace {

constexpr std::int64_t kBars = 1'000'000;

// A random walk with wicks and volumes from 0 to 5.
std::vector<zqt::Candle> makeBars(std::int64_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> step(-0.75, 0.75);
    std::uniform_real_distribution<double> wick(0.0, 0.5);
    std::uniform_real_distribution<double> volume(0.0, 5.0);
    std::vector<zqt::Candle> bars;
    bars.reserve(static_cast<std::size_t>(n));
    double price = 100.0;
    for (std::int64_t i = 0; i < n; ++i) {
        const double open = price;
        price += step(rng);
        bars.push_back(zqt::Candle{i, open, std::max(open, price) + wick(rng), std::min(open, price) - wick(rng), price,
                                   volume(rng)});
    }
    return bars;
}

const std::vector<zqt::Candle>& millionBars() {
    static const std::vector<zqt::Candle> bars = makeBars(kBars, 42);
    return bars;
}

const std::vector<double>& millionCloses() {
    static const std::vector<double> closes = [] {
        std::vector<double> c;
        for (const zqt::Candle& b : millionBars()) {
            c.push_back(b.close);
        }
        return c;
    }();
    return closes;
}

// With --benchmark_repetitions, the fastest repetition beside the mean and median: on a shared machine it is
// the figure least disturbed by other work.
double minOf(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

void perBar(benchmark::State& state, std::int64_t bars) {
    state.counters["per_bar"] = benchmark::Counter(
        static_cast<double>(bars), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// ---- The library over 1,000,000 bars --------------------------------------------------------------------

void BM_smaSeries50(benchmark::State& state) {
    const auto& bars = millionBars();
    for (auto _ : state) {
        benchmark::DoNotOptimize(zqt::smaSeries(50, bars));
    }
    perBar(state, kBars);
}
BENCHMARK(BM_smaSeries50)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

void BM_emaSeries14(benchmark::State& state) {
    const auto& bars = millionBars();
    for (auto _ : state) {
        benchmark::DoNotOptimize(zqt::emaSeries(14, bars));
    }
    perBar(state, kBars);
}
BENCHMARK(BM_emaSeries14)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

// calcEma over a contiguous list of doubles, the same input shape as the reference libraries take.
void BM_calcEma14Doubles(benchmark::State& state) {
    const auto& closes = millionCloses();
    for (auto _ : state) {
        benchmark::DoNotOptimize(zqt::calcEma(closes, 14));
    }
    perBar(state, kBars);
}
BENCHMARK(BM_calcEma14Doubles)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

void BM_bollingerSeries20x2(benchmark::State& state) {
    const auto& bars = millionBars();
    for (auto _ : state) {
        benchmark::DoNotOptimize(zqt::bollingerSeries(20, 2.0, bars));
    }
    perBar(state, kBars);
}
BENCHMARK(BM_bollingerSeries20x2)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

void BM_vwapBandSeries135x20(benchmark::State& state) {
    const auto& bars = millionBars();
    for (auto _ : state) {
        benchmark::DoNotOptimize(zqt::vwapBandSeries(1.35, 20, bars));
    }
    perBar(state, kBars);
}
BENCHMARK(BM_vwapBandSeries135x20)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

void BM_rsiSeries14(benchmark::State& state) {
    const auto& bars = millionBars();
    for (auto _ : state) {
        benchmark::DoNotOptimize(zqt::rsiSeries(14, bars));
    }
    perBar(state, kBars);
}
BENCHMARK(BM_rsiSeries14)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

void BM_macdSeries12x26x9(benchmark::State& state) {
    const auto& bars = millionBars();
    for (auto _ : state) {
        benchmark::DoNotOptimize(zqt::macdSeries(12, 26, 9, bars));
    }
    perBar(state, kBars);
}
BENCHMARK(BM_macdSeries12x26x9)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

void BM_vwapSeries(benchmark::State& state) {
    const auto& bars = millionBars();
    for (auto _ : state) {
        benchmark::DoNotOptimize(zqt::vwapSeries(bars));
    }
    perBar(state, kBars);
}
BENCHMARK(BM_vwapSeries)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

// The readouts walk all bars (ATR over every true range, to be comparable with a whole-series ATR).
void BM_readoutsAllBars(benchmark::State& state) {
    const auto& bars = millionBars();
    for (auto _ : state) {
        benchmark::DoNotOptimize(zqt::emaValue(14, bars));
        benchmark::DoNotOptimize(zqt::vwapValue(bars));
        benchmark::DoNotOptimize(zqt::atrValue(kBars, bars));
    }
    perBar(state, kBars);
}
BENCHMARK(BM_readoutsAllBars)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

// ---- Yardstick: plain single-pass loops ------------------------------------------------------------------

// Reading the closes out of the bars into a fresh vector: the floor for any series built from bars.
void BM_yardstickCopyCloses(benchmark::State& state) {
    const auto& bars = millionBars();
    for (auto _ : state) {
        std::vector<double> out;
        out.reserve(bars.size());
        for (const zqt::Candle& b : bars) {
            out.push_back(b.close);
        }
        benchmark::DoNotOptimize(out);
    }
    perBar(state, kBars);
}
BENCHMARK(BM_yardstickCopyCloses)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

// The same into a fresh list of optional values (what smaSeries and the bands return).
void BM_yardstickCopyClosesOptional(benchmark::State& state) {
    const auto& bars = millionBars();
    for (auto _ : state) {
        zqt::OptionalSeries out;
        out.reserve(bars.size());
        for (const zqt::Candle& b : bars) {
            out.emplace_back(b.close);
        }
        benchmark::DoNotOptimize(out);
    }
    perBar(state, kBars);
}
BENCHMARK(BM_yardstickCopyClosesOptional)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

// Running-sum SMA over a contiguous array into a preallocated one.
void BM_yardstickPlainSma50(benchmark::State& state) {
    const auto& c = millionCloses();
    std::vector<double> out(c.size());
    for (auto _ : state) {
        double s = 0.0;
        for (std::size_t i = 0; i < c.size(); ++i) {
            s += c[i];
            if (i >= 50) {
                s -= c[i - 50];
            }
            out[i] = s / 50.0;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    perBar(state, kBars);
}
BENCHMARK(BM_yardstickPlainSma50)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

// EMA over a contiguous array into a preallocated one.
void BM_yardstickPlainEma14(benchmark::State& state) {
    const auto& c = millionCloses();
    std::vector<double> out(c.size());
    const double k = 2.0 / 15.0;
    for (auto _ : state) {
        double e = c[0];
        for (std::size_t i = 0; i < c.size(); ++i) {
            e = (1.0 - k) * e + k * c[i];
            out[i] = e;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    perBar(state, kBars);
}
BENCHMARK(BM_yardstickPlainEma14)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

// Bollinger(20, 2), one window at a time, over a contiguous array into preallocated arrays: the loop the
// library's interleaved windows must match bit for bit.
void BM_yardstickPlainBollinger20x2(benchmark::State& state) {
    const auto& c = millionCloses();
    std::vector<double> upper(c.size());
    std::vector<double> lower(c.size());
    for (auto _ : state) {
        for (std::size_t i = 19; i < c.size(); ++i) {
            double sum = 0.0;
            for (std::size_t j = i - 19; j <= i; ++j) {
                sum += c[j];
            }
            const double mean = sum / 20.0;
            double sq = 0.0;
            for (std::size_t j = i - 19; j <= i; ++j) {
                sq += (c[j] - mean) * (c[j] - mean);
            }
            const double sd = std::sqrt(sq / 20.0);
            upper[i] = mean + sd * 2.0;
            lower[i] = mean - sd * 2.0;
        }
        benchmark::DoNotOptimize(upper.data());
        benchmark::DoNotOptimize(lower.data());
        benchmark::ClobberMemory();
    }
    perBar(state, kBars);
}
BENCHMARK(BM_yardstickPlainBollinger20x2)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

// Wilder RSI(14) over a contiguous array into a preallocated one.
void BM_yardstickPlainRsi14(benchmark::State& state) {
    const auto& c = millionCloses();
    std::vector<double> out(c.size(), 50.0);
    for (auto _ : state) {
        double g = 0.0;
        double l = 0.0;
        for (std::size_t i = 1; i < c.size(); ++i) {
            const double d = c[i] - c[i - 1];
            g = (g * 13.0 + (d > 0.0 ? d : 0.0)) / 14.0;
            l = (l * 13.0 + (d < 0.0 ? -d : 0.0)) / 14.0;
            out[i] = l == 0.0 ? 99.00990099009901 : 100.0 - 100.0 / (g / l + 1.0);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    perBar(state, kBars);
}
BENCHMARK(BM_yardstickPlainRsi14)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

// The yardsticks above read a contiguous array of closes (8 MB, which stays in the cache between runs) into a
// preallocated output. The library reads 48-byte bars (48 MB, streamed from memory each run) into fresh
// lists; the plain loops below do the same, so they show the floor for the library's own shape of input and
// output on this machine.

// Only reading the closes of the bars (their sum, no output): the memory floor of any pass over the bars.
void BM_yardstickBarsReadCloses(benchmark::State& state) {
    const auto& bars = millionBars();
    for (auto _ : state) {
        double s = 0.0;
        for (const zqt::Candle& bar : bars) {
            s += bar.close;
        }
        benchmark::DoNotOptimize(s);
    }
    perBar(state, kBars);
}
BENCHMARK(BM_yardstickBarsReadCloses)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

// Running-sum SMA(50) over the bars into a fresh list of optional values.
void BM_yardstickBarsSma50(benchmark::State& state) {
    const auto& bars = millionBars();
    for (auto _ : state) {
        zqt::OptionalSeries out;
        out.reserve(bars.size());
        double s = 0.0;
        for (std::size_t i = 0; i < bars.size(); ++i) {
            s += bars[i].close;
            if (i >= 50) {
                s -= bars[i - 50].close;
            }
            if (i >= 49) {
                out.emplace_back(s / 50.0);
            } else {
                out.emplace_back();
            }
        }
        benchmark::DoNotOptimize(out);
    }
    perBar(state, kBars);
}
BENCHMARK(BM_yardstickBarsSma50)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

// MACD(12, 26, 9) in one pass over the bars into three fresh lists.
void BM_yardstickBarsMacd12x26x9(benchmark::State& state) {
    const auto& bars = millionBars();
    const double kf = 2.0 / 13.0;
    const double ks = 2.0 / 27.0;
    const double kg = 2.0 / 10.0;
    for (auto _ : state) {
        std::vector<double> macd;
        std::vector<double> signal;
        std::vector<double> hist;
        macd.reserve(bars.size());
        signal.reserve(bars.size());
        hist.reserve(bars.size());
        double f = bars[0].close;
        double sl = f;
        double g = 0.0;
        for (std::size_t i = 0; i < bars.size(); ++i) {
            f = (1.0 - kf) * f + kf * bars[i].close;
            sl = (1.0 - ks) * sl + ks * bars[i].close;
            const double m = f - sl;
            g = i == 0 ? m : g;
            g = (1.0 - kg) * g + kg * m;
            macd.push_back(m);
            signal.push_back(g);
            hist.push_back(m - g);
        }
        benchmark::DoNotOptimize(macd);
        benchmark::DoNotOptimize(signal);
        benchmark::DoNotOptimize(hist);
    }
    perBar(state, kBars);
}
BENCHMARK(BM_yardstickBarsMacd12x26x9)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

// Reading the closes of the bars into three fresh lists: the memory traffic of any three-line result.
void BM_yardstickBarsCopyClosesThrice(benchmark::State& state) {
    const auto& bars = millionBars();
    for (auto _ : state) {
        std::vector<double> a;
        std::vector<double> b;
        std::vector<double> c;
        a.reserve(bars.size());
        b.reserve(bars.size());
        c.reserve(bars.size());
        for (const zqt::Candle& bar : bars) {
            a.push_back(bar.close);
            b.push_back(bar.close);
            c.push_back(bar.close);
        }
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        benchmark::DoNotOptimize(c);
    }
    perBar(state, kBars);
}
BENCHMARK(BM_yardstickBarsCopyClosesThrice)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

// Reading the closes of the bars into two fresh lists of optional values: the memory traffic of a band pair.
void BM_yardstickBarsCopyClosesOptionalTwice(benchmark::State& state) {
    const auto& bars = millionBars();
    for (auto _ : state) {
        zqt::OptionalSeries a;
        zqt::OptionalSeries b;
        a.reserve(bars.size());
        b.reserve(bars.size());
        for (const zqt::Candle& bar : bars) {
            a.emplace_back(bar.close);
            b.emplace_back(bar.close);
        }
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
    }
    perBar(state, kBars);
}
BENCHMARK(BM_yardstickBarsCopyClosesOptionalTwice)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minOf);

// ---- One drawing of the chart panel over 80 bars ---------------------------------------------------------

// Every series and readout the chart panel computes per drawing (RSI shown, higher timeframe hidden): the
// main chart's EMA 14, VWAP, VWAP bands (1.35, 20), SMA 50 and 200, Bollinger (20, 2); the MACD (12, 26, 9)
// and RSI 14 sub-charts; the readouts EMA, VWAP, ATR 14, last RSI, last MACD, last SMA 50 and 200, and the
// last present Bollinger values. The readouts call their functions again, as the panel does.
void chartDrawing(std::span<const zqt::Candle> bars, bool withHtf, std::span<const zqt::Candle> htfBars) {
    benchmark::DoNotOptimize(zqt::emaSeries(14, bars));
    benchmark::DoNotOptimize(zqt::vwapSeries(bars));
    benchmark::DoNotOptimize(zqt::vwapBandSeries(1.35, 20, bars));
    benchmark::DoNotOptimize(zqt::macdSeries(12, 26, 9, bars));
    benchmark::DoNotOptimize(zqt::smaSeries(50, bars));
    benchmark::DoNotOptimize(zqt::smaSeries(200, bars));
    const zqt::BandSeries bb = zqt::bollingerSeries(20, 2.0, bars);
    benchmark::DoNotOptimize(zqt::rsiSeries(14, bars));
    if (withHtf) {
        benchmark::DoNotOptimize(zqt::emaSeries(14, htfBars));
        benchmark::DoNotOptimize(zqt::vwapSeries(htfBars));
        benchmark::DoNotOptimize(zqt::vwapBandSeries(1.25, 20, htfBars));
        benchmark::DoNotOptimize(zqt::smaSeries(50, htfBars));
        benchmark::DoNotOptimize(zqt::smaSeries(200, htfBars));
        benchmark::DoNotOptimize(zqt::bollingerSeries(20, 2.0, htfBars));
    }

    benchmark::DoNotOptimize(zqt::emaValue(14, bars));
    benchmark::DoNotOptimize(zqt::vwapValue(bars));
    benchmark::DoNotOptimize(zqt::atrValue(14, bars));
    const std::vector<double> rsi = zqt::rsiSeries(14, bars);
    benchmark::DoNotOptimize(rsi.empty() ? std::nullopt : std::optional<double>(rsi.back()));
    const zqt::MacdSeries macd = zqt::macdSeries(12, 26, 9, bars);
    benchmark::DoNotOptimize(macd.macd.empty() ? std::nullopt : std::optional<double>(macd.macd.back()));
    const zqt::OptionalSeries sma50 = zqt::smaSeries(50, bars);
    benchmark::DoNotOptimize(sma50.empty() ? std::nullopt : sma50.back());
    const zqt::OptionalSeries sma200 = zqt::smaSeries(200, bars);
    benchmark::DoNotOptimize(sma200.empty() ? std::nullopt : sma200.back());
    const auto lastPresent = [](const zqt::OptionalSeries& s) {
        const auto it = std::find_if(s.rbegin(), s.rend(), [](const auto& v) { return v.has_value(); });
        return it == s.rend() ? std::nullopt : *it;
    };
    benchmark::DoNotOptimize(lastPresent(bb.upper));
    benchmark::DoNotOptimize(lastPresent(bb.lower));
}

void BM_chartDrawing80Bars(benchmark::State& state) {
    const std::vector<zqt::Candle> bars = makeBars(80, 7);
    for (auto _ : state) {
        chartDrawing(bars, false, {});
    }
}
BENCHMARK(BM_chartDrawing80Bars)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", minOf);

// The same with the higher-timeframe chart shown (another 80 bars).
void BM_chartDrawing80BarsWithHtf(benchmark::State& state) {
    const std::vector<zqt::Candle> bars = makeBars(80, 7);
    const std::vector<zqt::Candle> htf = makeBars(80, 8);
    for (auto _ : state) {
        chartDrawing(bars, true, htf);
    }
}
BENCHMARK(BM_chartDrawing80BarsWithHtf)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", minOf);

} // namespace

// By default freed memory stays with the process, as in a long-running program, so a result's pages are
// reused instead of being faulted in afresh each iteration (the outputs of one call over 1,000,000 bars are
// up to 32 MB, which the allocator would otherwise hand back to the kernel every time). --fresh_pages keeps the
// allocator's defaults and so includes the kernel's page-fault cost in every figure.
int main(int argc, char** argv) {
    bool freshPages = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--fresh_pages") {
            freshPages = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    if (!freshPages) {
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::AddCustomContext("pages", freshPages ? "fresh (allocator defaults)" : "reused (mallopt)");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
