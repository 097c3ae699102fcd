// Moving the crosshair against a full chart tick, for the main chart at 1200x240 with every overlay, the grid and
// the price and time scales on:
//  - BM_chartTickWithScales: a price tick (the last close moves; series, plan and image made afresh), as the
//    chart panel does it for every candle change;
//  - BM_crosshairMove: the crosshair moves one bar and the widget repaints (the cached image copied, the crosshair's
//    lines and tag painted over it), all on the UI thread. The widget repaints whole here; on screen only the old
//    and new crosshair's strips are repainted, so this is an upper bound.
// At 80 bars (the terminal's size) and 10,000 bars.
//
// Run: build-bench/bench/charts/bench_crosshair
#include "charts/CandleChartView.h"
#include "terminal/Indicators.h"
#include "terminal/views/ChartPainter.h"
#include "terminal/views/ChartWidgets.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <span>
#include <vector>

namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 240;

std::vector<zqt::Candle> makeBars(std::int64_t n) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> step(-0.75, 0.75);
    std::uniform_real_distribution<double> wick(0.0, 0.5);
    std::vector<zqt::Candle> bars;
    double price = 100.0;
    const std::int64_t first = 1'709'650'000 / 15;
    for (std::int64_t i = 0; i < n; ++i) {
        const double open = price;
        price += step(rng);
        bars.push_back(zqt::Candle{first + i, open, std::max(open, price) + wick(rng),
                                   std::min(open, price) - wick(rng), price, 1 + wick(rng)});
    }
    return bars;
}

double minOf(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

void computeSeries(zqt::CandleChartView& v) {
    const std::span<const zqt::Candle> bars(v.candles);
    v.ema = zqt::emaSeries(14, bars);
    v.vwap = zqt::vwapSeries(bars);
    zqt::BandSeries vwapBands = zqt::vwapBandSeries(1.35, 20, bars);
    v.vwapUpper = std::move(vwapBands.upper);
    v.vwapLower = std::move(vwapBands.lower);
    v.sma50 = zqt::smaSeries(50, bars);
    v.sma200 = zqt::smaSeries(200, bars);
    zqt::BandSeries bollinger = zqt::bollingerSeries(20, 2.0, bars);
    v.bbUpper = std::move(bollinger.upper);
    v.bbLower = std::move(bollinger.lower);
}

void everythingOn(zqt::CandleChartView& v, std::int64_t bars) {
    v.candles = makeBars(bars);
    v.showEma = v.showVwap = v.showVwapBands = v.showSma50 = v.showSma200 = v.showBbands = v.showGrid = true;
    v.height = kHeight;
    v.interval = 15;
    computeSeries(v);
    v.gutter = zqt::candlePriceGutter(v);
}

void BM_chartTickWithScales(benchmark::State& state) {
    zqt::CandleChartView view;
    everythingOn(view, state.range(0));
    zqt::ChartPlan plan;
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    const QPalette palette;
    const double close = view.candles.back().close;
    std::int64_t tick = 0;
    for (auto _ : state) {
        view.candles.back().close = close + 0.01 * static_cast<double>(++tick % 7);
        computeSeries(view);
        zqt::planCandleChart(view, kWidth, plan);
        zqt::renderChartPlan(image, plan, palette);
    }
    state.counters["scale"] = static_cast<double>(plan.scale.size());
}
BENCHMARK(BM_chartTickWithScales)
    ->Arg(80)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->ComputeStatistics("min", minOf);

void BM_crosshairMove(benchmark::State& state) {
    zqt::CandleChartWidget chart(kHeight);
    everythingOn(chart.view(), state.range(0));
    chart.resize(kWidth, kHeight);
    chart.refresh();
    QImage target(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    chart.render(&target); // paints the chart's image once
    const std::size_t n = chart.view().candles.size();
    const double y = chart.plan().plot.center().y();
    std::size_t i = 0;
    for (auto _ : state) {
        i = (i + 1) % n;
        chart.setCrosshair(i, y + static_cast<double>(i % 5));
        chart.render(&target);
    }
    state.counters["crosshair"] = static_cast<double>(chart.crosshair().size());
}
BENCHMARK(BM_crosshairMove)
    ->Arg(80)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->ComputeStatistics("min", minOf);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
