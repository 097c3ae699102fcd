// A price tick's cost for the main chart at 1200x240 with every overlay and the grid on, antialiased: the last
// bar's close moves, the overlay series and the drawing plan are computed afresh, and the plan is painted into
// an image. At 80 bars (the terminal's size) and 10,000 bars (how the cost grows). Beside it:
//  - the painting floor: the same primitives painted from a plan made beforehand (no computation);
//  - QtCharts: one candle of a QCandlestickSeries with one line overlay updated, and the chart repainted into an
//    image of the same size (only when built with Qt6 Charts).
//
// Run: build-bench/bench/charts/bench_chart_tick
#include "charts/CandleChartView.h"
#include "terminal/Indicators.h"
#include "terminal/views/ChartPainter.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#ifdef ZQT_BENCH_QTCHARTS
#include <QCandlestickSeries>
#include <QCandlestickSet>
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#endif

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <span>
#include <vector>

namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 240;

std::vector<zqt::Candle> makeBars(std::int64_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> step(-0.75, 0.75);
    std::uniform_real_distribution<double> wick(0.0, 0.5);
    std::uniform_real_distribution<double> volume(0.0, 5.0);
    std::vector<zqt::Candle> bars;
    double price = 100.0;
    for (std::int64_t i = 0; i < n; ++i) {
        const double open = price;
        price += step(rng);
        bars.push_back(zqt::Candle{i, open, std::max(open, price) + wick(rng), std::min(open, price) - wick(rng), price,
                                   volume(rng)});
    }
    return bars;
}

double minOf(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

// The chart panel's main-chart overlays for one drawing.
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

zqt::CandleChartView everythingOn(std::int64_t bars) {
    zqt::CandleChartView v;
    v.candles = makeBars(bars, 7);
    v.showEma = v.showVwap = v.showVwapBands = v.showSma50 = v.showSma200 = v.showBbands = v.showGrid = true;
    v.height = kHeight;
    return v;
}

QImage canvas() {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void BM_chartTick(benchmark::State& state) {
    zqt::CandleChartView view = everythingOn(state.range(0));
    zqt::ChartPlan plan;
    QImage image = canvas();
    const QPalette palette;
    const double close = view.candles.back().close;
    std::int64_t tick = 0;
    for (auto _ : state) {
        view.candles.back().close = close + 0.01 * static_cast<double>(++tick % 7);
        computeSeries(view);
        zqt::planCandleChart(view, kWidth, plan);
        zqt::renderChartPlan(image, plan, palette);
    }
    state.counters["primitives"] = static_cast<double>(plan.primitives.size());
}
BENCHMARK(BM_chartTick)
    ->Arg(80)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->ComputeStatistics("min", minOf);

// Series and plan alone, without painting.
void BM_chartTickNoPaint(benchmark::State& state) {
    zqt::CandleChartView view = everythingOn(state.range(0));
    zqt::ChartPlan plan;
    const double close = view.candles.back().close;
    std::int64_t tick = 0;
    for (auto _ : state) {
        view.candles.back().close = close + 0.01 * static_cast<double>(++tick % 7);
        computeSeries(view);
        zqt::planCandleChart(view, kWidth, plan);
        benchmark::DoNotOptimize(plan.primitives.data());
    }
}
BENCHMARK(BM_chartTickNoPaint)
    ->Arg(80)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->ComputeStatistics("min", minOf);

// The floor: the same primitives painted, nothing computed.
void BM_paintFloor(benchmark::State& state) {
    zqt::CandleChartView view = everythingOn(state.range(0));
    computeSeries(view);
    const zqt::ChartPlan plan = zqt::planCandleChart(view, kWidth);
    QImage image = canvas();
    const QPalette palette;
    for (auto _ : state) {
        zqt::renderChartPlan(image, plan, palette);
    }
}
BENCHMARK(BM_paintFloor)
    ->Arg(80)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->ComputeStatistics("min", minOf);

// Each series the panel computes, at the chart's own size of 80 bars, ns per call.
template <auto F> void BM_series80(benchmark::State& state) {
    const std::vector<zqt::Candle> bars = makeBars(80, 7);
    for (auto _ : state)
        benchmark::DoNotOptimize(F(bars));
}
auto sma50 = [](std::span<const zqt::Candle> b) {
    return zqt::smaSeries(50, b);
};
auto rsi14 = [](std::span<const zqt::Candle> b) {
    return zqt::rsiSeries(14, b);
};
auto bollinger20 = [](std::span<const zqt::Candle> b) {
    return zqt::bollingerSeries(20, 2.0, b);
};
auto ema14 = [](std::span<const zqt::Candle> b) {
    return zqt::emaSeries(14, b);
};
auto macd = [](std::span<const zqt::Candle> b) {
    return zqt::macdSeries(12, 26, 9, b);
};
BENCHMARK(BM_series80<+sma50>)->Name("BM_series80/sma50")->ComputeStatistics("min", minOf);
BENCHMARK(BM_series80<+rsi14>)->Name("BM_series80/rsi14")->ComputeStatistics("min", minOf);
BENCHMARK(BM_series80<+bollinger20>)->Name("BM_series80/bollinger20x2")->ComputeStatistics("min", minOf);
BENCHMARK(BM_series80<+ema14>)->Name("BM_series80/ema14")->ComputeStatistics("min", minOf);
BENCHMARK(BM_series80<+macd>)->Name("BM_series80/macd12x26x9")->ComputeStatistics("min", minOf);

#ifdef ZQT_BENCH_QTCHARTS
// QtCharts: a candlestick series with an EMA line overlay in a chart view of the same size. One tick updates
// the last candle's close and the last EMA point, then repaints the view into an image.
void BM_qtChartsTick(benchmark::State& state) {
    const std::vector<zqt::Candle> bars = makeBars(state.range(0), 7);
    const std::vector<double> ema = zqt::emaSeries(14, bars);
    auto* candles = new QCandlestickSeries;
    candles->setIncreasingColor(QColor(0x2e, 0xa0, 0x43));
    candles->setDecreasingColor(QColor(0xe0, 0x3e, 0x3e));
    auto* line = new QLineSeries;
    QList<QCandlestickSet*> sets;
    QList<QPointF> points;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const zqt::Candle& b = bars[i];
        sets.append(new QCandlestickSet(b.open, b.high, b.low, b.close, static_cast<qreal>(i)));
        points.append(QPointF(static_cast<qreal>(i), ema[i]));
    }
    candles->append(sets);
    line->replace(points);
    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->hide();
    chart->addSeries(candles);
    chart->addSeries(line);
    chart->createDefaultAxes();
    QChartView view(chart);
    view.setRenderHint(QPainter::Antialiasing);
    view.resize(kWidth, kHeight);
    view.show();
    QCoreApplication::processEvents();
    QImage image = canvas();
    QCandlestickSet* last = sets.back();
    const double close = last->close();
    const double lastEma = ema.back();
    const qreal lastX = static_cast<qreal>(bars.size() - 1);
    std::int64_t tick = 0;
    for (auto _ : state) {
        const double moved = close + 0.01 * static_cast<double>(++tick % 7);
        last->setClose(moved);
        line->replace(line->count() - 1, QPointF(lastX, lastEma + moved - close));
        QCoreApplication::processEvents(); // lets the chart lay out its items
        QPainter painter(&image);
        view.render(&painter);
    }
}
BENCHMARK(BM_qtChartsTick)
    ->Arg(80)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->ComputeStatistics("min", minOf);
#endif

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
