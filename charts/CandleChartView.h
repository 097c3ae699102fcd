#pragma once

#include "charts/ChartPlan.h"
#include "core/Candle.h"

#include <QTimeZone>

#include <optional>
#include <vector>

namespace zqt {

// The main price chart's inputs: the bars, the overlay series (index-aligned with the bars), the switches and
// the height. Bounds come from every switched-on series whatever its length; a series is drawn only when it
// has one entry per bar (the band fills excepted, which place each point at its own index).
struct CandleChartView {
    std::vector<Candle> candles;
    std::vector<double> ema;
    std::vector<double> vwap;
    std::vector<std::optional<double>> vwapUpper;
    std::vector<std::optional<double>> vwapLower;
    std::vector<std::optional<double>> sma50;
    std::vector<std::optional<double>> sma200;
    std::vector<std::optional<double>> bbUpper;
    std::vector<std::optional<double>> bbLower;
    bool showEma = false;
    bool showVwap = false;
    bool showVwapBands = false;
    bool showSma50 = false;
    bool showSma200 = false;
    bool showBbands = false;
    bool showGrid = false;
    double height = 240;
    // The scales: a price label column `gutter` wide right of the plot (0: none, the plot as wide as the insets
    // allow), prices written with at least `priceDecimals` decimals; the time labels under the plot when the bar
    // length `interval` (seconds) is given, in `timeZone`.
    double gutter = 0;
    int priceDecimals = 4;
    double interval = 0;
    QTimeZone timeZone = QTimeZone::systemTimeZone();

    static constexpr double kInset = 16;
    static constexpr double kMinRange = 0.0001;
    static constexpr double kMinBodyWidth = 4;
    static constexpr double kMinBodyHeight = 2;
    static constexpr const char* kWaitingText = "Waiting for candle data...";
};

// The price scale of a drawing: low on the plot's bottom edge, low + range on its top edge.
struct PriceScale {
    double low = 0.0;
    double high = 0.0;
    double range = CandleChartView::kMinRange;
    double y(const QRectF& plot, double p) const { return plot.bottom() - ((p - low) / range) * plot.height(); }
};

// The price bounds of the bars and every switched-on overlay (non-finite overlay values are skipped so that
// one overflowed value cannot turn the whole scale into NaN). No bars: a scale of low 0.
PriceScale candlePriceScale(const CandleChartView& view);

// The price axis of a drawing at `plotHeight`: the bounds, and the decimals of its labels (the step's, at least
// the view's price decimals).
ValueAxis candlePriceAxis(const CandleChartView& view, double plotHeight);
// The label column the view's price scale needs (its widest label with padding).
double candlePriceGutter(const CandleChartView& view);

// The drawing of `view` on a canvas `width` wide and view.height high, into `plan` (reusing its storage).
void planCandleChart(const CandleChartView& view, double width, ChartPlan& plan);
ChartPlan planCandleChart(const CandleChartView& view, double width);

} // namespace zqt
