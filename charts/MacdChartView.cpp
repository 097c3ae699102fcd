#include "charts/MacdChartView.h"

#include "charts/ChartScales.h"

#include <algorithm>
#include <cmath>

namespace zqt {

namespace {

std::size_t drawnCount(const MacdChartView& view) {
    return std::min({view.macd.size(), view.signal.size(), view.hist.size()});
}

} // namespace

double macdScale(const MacdChartView& view) {
    double scale = MacdChartView::kMinScale;
    const std::size_t n = drawnCount(view);
    for (std::size_t i = 0; i < n; ++i)
        if (std::isfinite(view.hist[i]))
            scale = std::max(scale, std::abs(view.hist[i]));
    return scale;
}

void planMacdChart(const MacdChartView& view, double width, ChartPlan& plan) {
    plan.clear();
    plan.size = QSizeF(width, view.height);
    plan.gutter = std::max(view.gutter, 0.0);
    plan.plot = insetPlot(plan.size, MacdChartView::kInsetX, MacdChartView::kInsetY, plan.gutter);
    const std::size_t n = drawnCount(view);
    if (n == 0)
        return;
    const QRectF& plot = plan.plot;
    plan.step = plot.width() / static_cast<double>(n);
    const double scale = macdScale(view);
    const double mid = plot.top() + plot.height() / 2;
    plan.primitives.reserve(n + 2);
    plan.slotCount = n;
    plan.axis = ValueAxis{-scale, 2 * scale, std::max(4, roundTicks(-scale, scale, plot.height()).decimals)};
    if (plan.gutter > 0) {
        ChartPrimitive zero;
        zero.kind = ChartPrimitive::Kind::Line;
        zero.color = ChartColor::Gray;
        zero.opacity = 0.3;
        zero.width = 1.0;
        zero.p1 = QPointF(plot.left(), mid);
        zero.p2 = QPointF(plot.right(), mid);
        plan.scale.push_back(std::move(zero));
        plan.scale.push_back(scaleText(QStringLiteral("0"), QPointF(gutterCentre(plan), mid)));
        plan.scale.push_back(scaleText(scaleLabel(scale, plan.axis.decimals), QPointF(gutterCentre(plan), plot.top())));
    }

    for (std::size_t i = 0; i < n; ++i) {
        const double h = view.hist[i];
        const double barHeight = std::abs(h) / scale * plot.height() / 2;
        const double left = plan.x(static_cast<std::ptrdiff_t>(i)) - MacdChartView::kBarWidth / 2;
        ChartPrimitive bar;
        bar.kind = ChartPrimitive::Kind::Rect;
        bar.opacity = 0.6;
        if (h >= 0) {
            bar.color = ChartColor::Green;
            bar.rect = QRectF(left, mid - barHeight, MacdChartView::kBarWidth, barHeight);
        } else {
            bar.color = ChartColor::Red;
            bar.rect = QRectF(left, mid, MacdChartView::kBarWidth, barHeight);
        }
        plan.primitives.push_back(std::move(bar));
    }

    if (n < 2)
        return; // lone points: nothing to stroke
    auto line = [&](const std::vector<double>& values, ChartColor color, double strokeWidth) {
        ChartPrimitive p;
        p.kind = ChartPrimitive::Kind::Polyline;
        p.color = color;
        p.width = strokeWidth;
        p.points.reserve(static_cast<qsizetype>(n));
        for (std::size_t i = 0; i < n; ++i)
            p.points.append(
                QPointF(plan.x(static_cast<std::ptrdiff_t>(i)), mid - values[i] / scale * plot.height() / 2));
        plan.primitives.push_back(std::move(p));
    };
    line(view.macd, ChartColor::Orange, 1.4);
    line(view.signal, ChartColor::Blue, 1.2);
}

ChartPlan planMacdChart(const MacdChartView& view, double width) {
    ChartPlan plan;
    planMacdChart(view, width, plan);
    return plan;
}

} // namespace zqt
