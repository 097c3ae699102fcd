// The indicators at the chart's size: each one over 80 bars (ns per call) and everything the chart panel computes
// for one drawing of 80 bars, the figures kept as a regression guard. Over 1,000,000 bars (ns per bar, the
// "per_bar" counter) only to state how the plain loops scale; those figures are not a goal.
//
// Run: build-bench/bench/terminal/bench_indicators
#include "terminal/Indicators.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
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

// ---- Each indicator over the chart's 80 bars, ns per call ----------------------------------------------

template <auto F> void BM_80Bars(benchmark::State& state) {
    const std::vector<zqt::Candle> bars = makeBars(80, 7);
    for (auto _ : state) {
        benchmark::DoNotOptimize(F(std::span<const zqt::Candle>(bars)));
    }
}
using Bars = std::span<const zqt::Candle>;
auto ema14 = [](Bars b) {
    return zqt::emaSeries(14, b);
};
auto vwap = [](Bars b) {
    return zqt::vwapSeries(b);
};
auto vwapBands = [](Bars b) {
    return zqt::vwapBandSeries(1.35, 20, b);
};
auto macd = [](Bars b) {
    return zqt::macdSeries(12, 26, 9, b);
};
auto sma50 = [](Bars b) {
    return zqt::smaSeries(50, b);
};
auto bollinger = [](Bars b) {
    return zqt::bollingerSeries(20, 2.0, b);
};
auto rsi14 = [](Bars b) {
    return zqt::rsiSeries(14, b);
};
auto readouts = [](Bars b) {
    return std::array{zqt::emaValue(14, b), zqt::vwapValue(b), zqt::atrValue(14, b)};
};
BENCHMARK(BM_80Bars<+ema14>)->Name("BM_80Bars/emaSeries14")->ComputeStatistics("min", minOf);
BENCHMARK(BM_80Bars<+vwap>)->Name("BM_80Bars/vwapSeries")->ComputeStatistics("min", minOf);
BENCHMARK(BM_80Bars<+vwapBands>)->Name("BM_80Bars/vwapBandSeries135x20")->ComputeStatistics("min", minOf);
BENCHMARK(BM_80Bars<+macd>)->Name("BM_80Bars/macdSeries12x26x9")->ComputeStatistics("min", minOf);
BENCHMARK(BM_80Bars<+sma50>)->Name("BM_80Bars/smaSeries50")->ComputeStatistics("min", minOf);
BENCHMARK(BM_80Bars<+bollinger>)->Name("BM_80Bars/bollingerSeries20x2")->ComputeStatistics("min", minOf);
BENCHMARK(BM_80Bars<+rsi14>)->Name("BM_80Bars/rsiSeries14")->ComputeStatistics("min", minOf);
BENCHMARK(BM_80Bars<+readouts>)->Name("BM_80Bars/readouts")->ComputeStatistics("min", minOf);

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
