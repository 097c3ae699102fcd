#include "charts/RsiChartView.h"

#include "charts/ChartScales.h"

#include <algorithm>

namespace zqt {

void planRsiChart(const RsiChartView& view, double width, ChartPlan& plan) {
    plan.clear();
    plan.size = QSizeF(width, view.height);
    plan.gutter = std::max(view.gutter, 0.0);
    plan.plot = insetPlot(plan.size, RsiChartView::kInsetX, RsiChartView::kInsetY, plan.gutter);
    if (view.values.empty())
        return;
    const QRectF& plot = plan.plot;
    plan.step = plot.width() / static_cast<double>(view.values.size());
    plan.slotCount = view.values.size();
    plan.axis = ValueAxis{0, 100, 2};
    for (double level : {0.3, 0.7}) {
        ChartPrimitive ref;
        ref.kind = ChartPrimitive::Kind::Line;
        ref.color = ChartColor::Gray;
        ref.opacity = 0.3;
        ref.width = 1.0;
        const double y = plot.bottom() - plot.height() * level;
        ref.p1 = QPointF(plot.left(), y);
        ref.p2 = QPointF(plot.right(), y);
        plan.primitives.push_back(std::move(ref));
        if (plan.gutter > 0)
            plan.scale.push_back(scaleText(QString::number(level * 100), QPointF(gutterCentre(plan), y)));
    }
    // A single value is a lone point, which a stroked line does not show.
    if (view.values.size() < 2)
        return;
    ChartPrimitive line;
    line.kind = ChartPrimitive::Kind::Polyline;
    line.color = ChartColor::Blue;
    line.opacity = 0.8;
    line.width = 1.4;
    line.points.reserve(static_cast<qsizetype>(view.values.size()));
    for (std::size_t i = 0; i < view.values.size(); ++i)
        line.points.append(
            QPointF(plan.x(static_cast<std::ptrdiff_t>(i)), plot.bottom() - view.values[i] / 100 * plot.height()));
    plan.primitives.push_back(std::move(line));
}

ChartPlan planRsiChart(const RsiChartView& view, double width) {
    ChartPlan plan;
    planRsiChart(view, width, plan);
    return plan;
}

} // namespace zqt
