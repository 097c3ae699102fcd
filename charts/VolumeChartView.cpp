#include "charts/VolumeChartView.h"

#include "charts/ChartScales.h"

#include <algorithm>
#include <cmath>

namespace zqt {

double volumeScaleMax(const VolumeChartView& view) {
    double top = 1.0;
    for (const Candle& c : view.candles)
        if (std::isfinite(c.volume))
            top = std::max(top, c.volume);
    return top;
}

void planVolumeChart(const VolumeChartView& view, double width, ChartPlan& plan) {
    plan.clear();
    plan.size = QSizeF(width, view.height);
    plan.gutter = std::max(view.gutter, 0.0);
    plan.plot = insetPlot(plan.size, VolumeChartView::kInsetX, VolumeChartView::kInsetY, plan.gutter);
    if (view.candles.empty())
        return;
    const QRectF& plot = plan.plot;
    const std::size_t n = view.candles.size();
    plan.step = plot.width() / static_cast<double>(n);
    plan.slotCount = n;
    const double maxVolume = volumeScaleMax(view);
    plan.axis = ValueAxis{0, maxVolume, maxVolume >= 100 ? 0 : 2};
    if (plan.gutter > 0)
        plan.scale.push_back(scaleText(compactVolume(maxVolume), QPointF(gutterCentre(plan), plot.top())));
    const double barWidth = std::max(plan.step * 0.6, VolumeChartView::kMinBarWidth);
    plan.primitives.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Candle& c = view.candles[i];
        const double volume = std::isfinite(c.volume) ? std::max(c.volume, 0.0) : 0.0;
        const double barHeight = volume / maxVolume * plot.height();
        ChartPrimitive bar;
        bar.kind = ChartPrimitive::Kind::Rect;
        bar.color = c.close < c.open ? ChartColor::Red : ChartColor::Green;
        bar.opacity = 0.6;
        bar.rect = QRectF(plan.x(static_cast<std::ptrdiff_t>(i)) - barWidth / 2, plot.bottom() - barHeight, barWidth,
                          barHeight);
        plan.primitives.push_back(std::move(bar));
    }
}

QString compactVolume(double volume) {
    if (volume >= 1e6)
        return QString::number(volume / 1e6, 'f', 2) + QLatin1Char('M');
    if (volume >= 1e4)
        return QString::number(volume / 1e3, 'f', 1) + QLatin1Char('K');
    return QString::number(volume, 'f', volume >= 100 ? 0 : 2);
}

ChartPlan planVolumeChart(const VolumeChartView& view, double width) {
    ChartPlan plan;
    planVolumeChart(view, width, plan);
    return plan;
}

} // namespace zqt
