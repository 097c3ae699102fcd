#pragma once

#include "charts/ChartPlan.h"

#include <vector>

namespace zqt {

// The MACD histogram (fixed 4-wide bars about the middle of the plot) with the MACD and signal lines on the
// histogram's scale. Lists of different lengths are drawn over their common prefix only.
struct MacdChartView {
    std::vector<double> macd;
    std::vector<double> signal;
    std::vector<double> hist;
    double gutter = 0; // a label column right of the plot with the histogram's scale at the top, and the zero line

    double height = kHeight; // the canvas's height, pixels

    static constexpr double kHeight = 110;
    static constexpr double kInsetX = 16;
    static constexpr double kInsetY = 12;
    static constexpr double kMinScale = 0.0001;
    static constexpr double kBarWidth = 4;
};

// The largest absolute histogram value of the drawn prefix, but at least 0.0001.
double macdScale(const MacdChartView& view);

void planMacdChart(const MacdChartView& view, double width, ChartPlan& plan);
ChartPlan planMacdChart(const MacdChartView& view, double width);

} // namespace zqt
