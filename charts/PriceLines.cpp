#include "charts/PriceLines.h"

#include <algorithm>
#include <cmath>

namespace zqt {

void planPriceLines(const std::vector<PriceLine>& lines, const PriceScale& scale, ChartPlan& plan) {
    const QRectF plot = plan.plot;
    if (plot.width() <= 0 || plot.height() <= 0 || !(scale.range > 0))
        return;
    using S = PriceLineStyle;
    for (const PriceLine& line : lines) {
        if (!std::isfinite(line.price))
            continue;
        // A price on the scale's edge may come out a rounding error beyond it: half a pixel of slack, then clamped.
        double y = scale.y(plot, line.price);
        if (!std::isfinite(y) || y < plot.top() - 0.5 || y > plot.bottom() + 0.5)
            continue;
        y = std::clamp(y, plot.top(), plot.bottom());
        ChartPrimitive stroke;
        stroke.color = line.color;
        stroke.width = S::kWidth;
        if (line.dashed) {
            stroke.kind = ChartPrimitive::Kind::Segments;
            for (double x = plot.left(); x < plot.right(); x += S::kDash + S::kGap)
                stroke.points << QPointF(x, y) << QPointF(std::min(x + S::kDash, plot.right()), y);
        } else {
            stroke.kind = ChartPrimitive::Kind::Line;
            stroke.p1 = QPointF(plot.left(), y);
            stroke.p2 = QPointF(plot.right(), y);
        }
        plan.primitives.push_back(std::move(stroke));

        if (line.label.isEmpty())
            continue;
        const double width = std::min(plot.width(), line.label.size() * S::kFontSize * S::kCharWidth + 6);
        const bool below = y - S::kLabelHeight < plot.top();
        const double top = below ? y : y - S::kLabelHeight;
        const QRectF band(plot.right() - S::kLabelInset - width, top, width, S::kLabelHeight);
        ChartPrimitive back;
        back.kind = ChartPrimitive::Kind::Rect;
        back.color = line.color;
        back.opacity = S::kLabelOpacity;
        back.rect = band.intersected(plot);
        plan.primitives.push_back(std::move(back));
        ChartPrimitive text;
        text.kind = ChartPrimitive::Kind::Text;
        text.color = line.color;
        text.p1 = band.center();
        text.text = line.label;
        text.fontSize = S::kFontSize;
        plan.primitives.push_back(std::move(text));
    }
}

} // namespace zqt
