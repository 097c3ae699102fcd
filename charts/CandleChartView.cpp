#include "charts/CandleChartView.h"

#include "charts/ChartScales.h"

#include <algorithm>
#include <cmath>

namespace zqt {

namespace {

using Kind = ChartPrimitive::Kind;
using OptionalList = std::vector<std::optional<double>>;

struct Bounds {
    double low;
    double high;
    void take(double v) {
        if (!std::isfinite(v))
            return;
        low = std::min(low, v);
        high = std::max(high, v);
    }
};

void takePresent(Bounds& b, const OptionalList& list) {
    for (const std::optional<double>& v : list)
        if (v)
            b.take(*v);
}

ChartPrimitive stroke(Kind kind, ChartColor color, double opacity, double width) {
    ChartPrimitive p;
    p.kind = kind;
    p.color = color;
    p.opacity = opacity;
    p.width = width;
    return p;
}

// A line through every value (EMA, VWAP); one point alone shows nothing and is left out.
void addLine(ChartPlan& plan, const PriceScale& scale, const std::vector<double>& values, ChartColor color,
             double width) {
    if (values.size() < 2)
        return;
    ChartPrimitive line = stroke(Kind::Polyline, color, 1.0, width);
    line.points.reserve(static_cast<qsizetype>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i)
        line.points.append(QPointF(plan.x(static_cast<std::ptrdiff_t>(i)), scale.y(plan.plot, values[i])));
    plan.primitives.push_back(std::move(line));
}

// A line through the present values, joining each to the previous present one, so absent runs are bridged.
void addOptionalLine(ChartPlan& plan, const PriceScale& scale, const OptionalList& values, ChartColor color,
                     double opacity, double width) {
    ChartPrimitive line = stroke(Kind::Polyline, color, opacity, width);
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i])
            line.points.append(QPointF(plan.x(static_cast<std::ptrdiff_t>(i)), scale.y(plan.plot, *values[i])));
    if (line.points.size() >= 2)
        plan.primitives.push_back(std::move(line));
}

// The band between two lines: forward through the present upper values, back through the present lower ones,
// closed. Drawn only when the upper line has a present value.
void addBandFill(ChartPlan& plan, const PriceScale& scale, const OptionalList& upper, const OptionalList& lower,
                 ChartColor color, double opacity) {
    ChartPrimitive fill = stroke(Kind::FilledPath, color, opacity, 0.0);
    for (std::size_t i = 0; i < upper.size(); ++i)
        if (upper[i])
            fill.points.append(QPointF(plan.x(static_cast<std::ptrdiff_t>(i)), scale.y(plan.plot, *upper[i])));
    if (fill.points.isEmpty())
        return;
    for (std::size_t i = lower.size(); i-- > 0;)
        if (lower[i])
            fill.points.append(QPointF(plan.x(static_cast<std::ptrdiff_t>(i)), scale.y(plan.plot, *lower[i])));
    plan.primitives.push_back(std::move(fill));
}

} // namespace

PriceScale candlePriceScale(const CandleChartView& view) {
    if (view.candles.empty())
        return {};
    Bounds b{view.candles.front().low, view.candles.front().high};
    for (const Candle& c : view.candles) {
        b.low = std::min(b.low, c.low);
        b.high = std::max(b.high, c.high);
    }
    if (view.showEma)
        for (double v : view.ema)
            b.take(v);
    if (view.showVwap)
        for (double v : view.vwap)
            b.take(v);
    if (view.showSma50)
        takePresent(b, view.sma50);
    if (view.showSma200)
        takePresent(b, view.sma200);
    if (view.showBbands) {
        takePresent(b, view.bbUpper);
        takePresent(b, view.bbLower);
    }
    if (view.showVwapBands) {
        takePresent(b, view.vwapUpper);
        takePresent(b, view.vwapLower);
    }
    return {b.low, b.high, std::max(b.high - b.low, CandleChartView::kMinRange)};
}

ValueAxis candlePriceAxis(const CandleChartView& view, double plotHeight) {
    const PriceScale scale = candlePriceScale(view);
    const ScaleTicks ticks = roundTicks(scale.low, scale.low + scale.range, plotHeight);
    return {scale.low, scale.range, std::max(ticks.decimals, view.priceDecimals)};
}

double candlePriceGutter(const CandleChartView& view) {
    const ValueAxis axis = candlePriceAxis(view, std::max(view.height - 2 * CandleChartView::kInset, 0.0));
    return priceGutterWidth(axis.low, axis.low + axis.range, axis.decimals);
}

void planCandleChart(const CandleChartView& view, double width, ChartPlan& plan) {
    plan.clear();
    plan.size = QSizeF(width, view.height);
    plan.gutter = std::max(view.gutter, 0.0);
    plan.plot = insetPlot(plan.size, CandleChartView::kInset, CandleChartView::kInset, plan.gutter);

    if (view.candles.empty()) {
        ChartPrimitive text;
        text.kind = Kind::Text;
        text.color = ChartColor::Text;
        text.p1 = QPointF(90, 18);
        text.text = QString::fromLatin1(CandleChartView::kWaitingText);
        text.fontSize = 12;
        plan.primitives.push_back(std::move(text));
        return;
    }

    const std::size_t n = view.candles.size();
    const QRectF& plot = plan.plot;
    const PriceScale scale = candlePriceScale(view);
    plan.step = plot.width() / static_cast<double>(n);
    plan.slotCount = n;
    const double bodyWidth = std::max(plan.step * 0.6, CandleChartView::kMinBodyWidth);

    std::size_t count = 2 * n + 10;
    if (view.showGrid)
        ++count;
    plan.primitives.reserve(count);

    if (view.showGrid) {
        ChartPrimitive grid = stroke(Kind::Segments, ChartColor::Gray, 0.25, 1.0);
        for (int k = 0; k <= 4; ++k) {
            const double y = plot.top() + plot.height() * k / 4;
            grid.points << QPointF(plot.left(), y) << QPointF(plot.right(), y);
        }
        plan.primitives.push_back(std::move(grid));
    }

    for (std::size_t i = 0; i < n; ++i) {
        const Candle& c = view.candles[i];
        const ChartColor color = c.close < c.open ? ChartColor::Red : ChartColor::Green;
        const double x = plan.x(static_cast<std::ptrdiff_t>(i));
        ChartPrimitive wick = stroke(Kind::Line, color, 0.7, 1.0);
        wick.p1 = QPointF(x, scale.y(plot, c.high));
        wick.p2 = QPointF(x, scale.y(plot, c.low));
        plan.primitives.push_back(std::move(wick));
        const double yOpen = scale.y(plot, c.open);
        const double yClose = scale.y(plot, c.close);
        ChartPrimitive body = stroke(Kind::Rect, color, 0.7, 0.0);
        body.rect = QRectF(x - bodyWidth / 2, std::min(yOpen, yClose), bodyWidth,
                           std::max(std::abs(yClose - yOpen), CandleChartView::kMinBodyHeight));
        plan.primitives.push_back(std::move(body));
    }

    if (view.showEma && view.ema.size() == n)
        addLine(plan, scale, view.ema, ChartColor::SystemOrange, 1.5);
    if (view.showVwap && view.vwap.size() == n)
        addLine(plan, scale, view.vwap, ChartColor::SystemBlue, 1.5);
    if (view.showSma50 && view.sma50.size() == n)
        addOptionalLine(plan, scale, view.sma50, ChartColor::SystemTeal, 1.0, 1.3);
    if (view.showSma200 && view.sma200.size() == n)
        addOptionalLine(plan, scale, view.sma200, ChartColor::SystemPink, 1.0, 1.3);
    if (view.showBbands) {
        if (view.bbUpper.size() == n)
            addOptionalLine(plan, scale, view.bbUpper, ChartColor::Gray, 0.6, 1.3);
        if (view.bbLower.size() == n)
            addOptionalLine(plan, scale, view.bbLower, ChartColor::Gray, 0.6, 1.3);
        addBandFill(plan, scale, view.bbUpper, view.bbLower, ChartColor::Gray, 0.1);
    }
    if (view.showVwapBands) {
        if (view.vwapUpper.size() == n)
            addOptionalLine(plan, scale, view.vwapUpper, ChartColor::SystemCyan, 0.8, 1.3);
        if (view.vwapLower.size() == n)
            addOptionalLine(plan, scale, view.vwapLower, ChartColor::SystemCyan, 0.8, 1.3);
        addBandFill(plan, scale, view.vwapUpper, view.vwapLower, ChartColor::SystemCyan, 0.08);
    }

    if (plan.gutter > 0) {
        plan.axis = candlePriceAxis(view, plot.height());
        addPriceScale(plan, view.candles.back());
    }
    if (view.interval > 0)
        addTimeScale(plan, view.candles, view.interval, view.timeZone);
}

ChartPlan planCandleChart(const CandleChartView& view, double width) {
    ChartPlan plan;
    planCandleChart(view, width, plan);
    return plan;
}

} // namespace zqt
