#pragma once

#include "charts/ChartPlan.h"

#include <vector>

namespace zqt {

// The RSI line on a 0 to 100 scale with reference lines at 30 and 70. Values are not clamped: one above 100
// lies above the plot and the frame's clip cuts it.
struct RsiChartView {
    std::vector<double> values;
    double gutter = 0; // a label column right of the plot, with "30" and "70" at their lines; 0: none

    double height = kHeight; // the canvas's height, pixels

    static constexpr double kHeight = 110;
    static constexpr double kInsetX = 16;
    static constexpr double kInsetY = 12;
};

void planRsiChart(const RsiChartView& view, double width, ChartPlan& plan);
ChartPlan planRsiChart(const RsiChartView& view, double width);

} // namespace zqt
