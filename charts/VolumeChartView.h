#pragma once

#include "charts/ChartPlan.h"
#include "core/Candle.h"

#include <vector>

namespace zqt {

// One volume bar per bar, standing on the plot's bottom edge, in the bar's direction colour.
struct VolumeChartView {
    std::vector<Candle> candles;
    double gutter = 0; // a label column right of the plot, with the largest volume at the top; 0: none

    double height = kHeight; // the canvas's height, pixels

    static constexpr double kHeight = 90;
    static constexpr double kInsetX = 16;
    static constexpr double kInsetY = 12;
    static constexpr double kMinBarWidth = 3;
};

// The largest volume, but at least 1 (so all-zero volumes give zero-height bars, not a division by zero).
double volumeScaleMax(const VolumeChartView& view);

// Negative volumes are drawn as zero-height bars: a bar never reaches below the plot's bottom edge.
void planVolumeChart(const VolumeChartView& view, double width, ChartPlan& plan);
ChartPlan planVolumeChart(const VolumeChartView& view, double width);

// A volume in a few characters: "950", "12.5K", "3.20M".
QString compactVolume(double volume);

} // namespace zqt
