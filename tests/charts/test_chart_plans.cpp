#include "charts/CandleChartView.h"
#include "charts/ChartScales.h"
#include "charts/MacdChartView.h"
#include "charts/RsiChartView.h"
#include "charts/VolumeChartView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

using zqt::Candle;
using zqt::CandleChartView;
using zqt::ChartColor;
using zqt::ChartPlan;
using zqt::ChartPrimitive;
using Kind = zqt::ChartPrimitive::Kind;

namespace {

constexpr double kEps = 1e-9;
constexpr auto kNone = std::nullopt;

// Canvas 232 wide: the candle chart's plot is then (16, 16) 200 x 208 at height 240, a sub-chart's (16, 12)
// 200 x 66 (volume) or 200 x 86 (RSI, MACD).
constexpr double kWidth = 232;

Candle bar(double open, double high, double low, double close, double volume = 1) {
    return Candle{0, open, high, low, close, volume};
}

std::vector<const ChartPrimitive*> ofKind(const ChartPlan& plan, Kind kind) {
    std::vector<const ChartPrimitive*> out;
    for (const ChartPrimitive& p : plan.primitives)
        if (p.kind == kind)
            out.push_back(&p);
    return out;
}

void expectRect(const QRectF& got, double x, double y, double w, double h) {
    EXPECT_NEAR(got.x(), x, kEps);
    EXPECT_NEAR(got.y(), y, kEps);
    EXPECT_NEAR(got.width(), w, kEps);
    EXPECT_NEAR(got.height(), h, kEps);
}

void expectPoints(const QPolygonF& got, const std::vector<QPointF>& want) {
    ASSERT_EQ(got.size(), static_cast<qsizetype>(want.size()));
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(got[static_cast<qsizetype>(i)].x(), want[i].x(), kEps) << "point " << i;
        EXPECT_NEAR(got[static_cast<qsizetype>(i)].y(), want[i].y(), kEps) << "point " << i;
    }
}

} // namespace

// ---- Candle chart ---------------------------------------------------------------------------------------

TEST(CandleChartPlan, noCandles_showsOnlyTheWaitingTextCentredAt90_18_evenWithOverlays) {
    CandleChartView v;
    v.ema = {1, 2, 3};
    v.showEma = v.showGrid = true;
    const ChartPlan plan = zqt::planCandleChart(v, kWidth);
    ASSERT_EQ(plan.primitives.size(), 1u);
    const ChartPrimitive& text = plan.primitives[0];
    EXPECT_EQ(text.kind, Kind::Text);
    EXPECT_EQ(text.text, "Waiting for candle data...");
    EXPECT_EQ(text.p1, QPointF(90, 18));
    EXPECT_EQ(text.fontSize, 12);
    EXPECT_EQ(text.color, ChartColor::Text);
    EXPECT_EQ(plan.clipRadius, 8);
}

TEST(CandleChartPlan, oneCandle_standsCentredInThePlot) {
    CandleChartView v;
    v.candles = {bar(10, 12, 8, 11)};
    v.ema = {10}; // one value: a lone point, no line
    v.showEma = true;
    const ChartPlan plan = zqt::planCandleChart(v, kWidth);
    EXPECT_EQ(plan.plot, QRectF(16, 16, 200, 208));
    EXPECT_EQ(plan.step, 200);
    EXPECT_EQ(plan.x(0), 116);
    ASSERT_EQ(plan.primitives.size(), 2u);
    const ChartPrimitive& wick = plan.primitives[0];
    EXPECT_EQ(wick.kind, Kind::Line);
    EXPECT_EQ(wick.p1, QPointF(116, 16));  // high on the top edge
    EXPECT_EQ(wick.p2, QPointF(116, 224)); // low on the bottom edge
    EXPECT_EQ(wick.width, 1);
    const ChartPrimitive& body = plan.primitives[1];
    EXPECT_EQ(body.kind, Kind::Rect);
    expectRect(body.rect, 56, 68, 120, 52); // 0.6 x 200 wide, from close 11 (y 68) to open 10 (y 120)
    for (const ChartPrimitive& p : plan.primitives) {
        EXPECT_EQ(p.color, ChartColor::Green);
        EXPECT_EQ(p.opacity, 0.7);
    }
}

TEST(CandleChartPlan, flatPrices_lieOnTheBottomEdgeWithTwoPointBodies_andEqualOpenCloseIsGreen) {
    CandleChartView v;
    v.candles = {bar(5, 5, 5, 5), bar(5, 5, 5, 5)};
    const ChartPlan plan = zqt::planCandleChart(v, kWidth);
    EXPECT_EQ(zqt::candlePriceScale(v).range, 0.0001);
    const auto bodies = ofKind(plan, Kind::Rect);
    ASSERT_EQ(bodies.size(), 2u);
    expectRect(bodies[0]->rect, 36, 224, 60, 2);
    expectRect(bodies[1]->rect, 136, 224, 60, 2);
    for (const auto* b : bodies)
        EXPECT_EQ(b->color, ChartColor::Green);
}

TEST(CandleChartPlan, fallingCandleIsRed) {
    CandleChartView v;
    v.candles = {bar(11, 12, 8, 10)};
    const ChartPlan plan = zqt::planCandleChart(v, kWidth);
    EXPECT_EQ(plan.primitives[0].color, ChartColor::Red);
    EXPECT_EQ(plan.primitives[1].color, ChartColor::Red);
}

TEST(CandleChartPlan, emaShorterThanCandles_widensTheBoundsButIsNotDrawn) {
    CandleChartView v;
    v.candles = {bar(10, 12, 8, 11), bar(10, 12, 8, 11), bar(10, 12, 8, 11)};
    v.ema = {20, 4};
    v.showEma = true;
    const ChartPlan plan = zqt::planCandleChart(v, kWidth);
    EXPECT_TRUE(ofKind(plan, Kind::Polyline).empty());
    const zqt::PriceScale scale = zqt::candlePriceScale(v);
    EXPECT_EQ(scale.low, 4);
    EXPECT_EQ(scale.high, 20);
    // high 12 sits at 8/16 of the range: y = 224 - 104.
    EXPECT_EQ(plan.primitives[0].p1.y(), 120);

    v.showEma = false; // switched off: the candles alone set the bounds
    EXPECT_EQ(zqt::candlePriceScale(v).low, 8);
    EXPECT_EQ(zqt::candlePriceScale(v).high, 12);
}

TEST(CandleChartPlan, boundsTakeEverySwitchedOnListAndSkipAbsentValues) {
    CandleChartView v;
    v.candles = {bar(10, 12, 8, 11), bar(10, 12, 8, 11)};
    v.sma50 = {kNone, 30};
    v.sma200 = {kNone, kNone};
    v.bbLower = {2, kNone};
    v.vwapUpper = {kNone, kNone, 40}; // another length: widens, not drawn
    v.showSma50 = v.showSma200 = v.showBbands = v.showVwapBands = true;
    const zqt::PriceScale scale = zqt::candlePriceScale(v);
    EXPECT_EQ(scale.low, 2);
    EXPECT_EQ(scale.high, 40);
    EXPECT_EQ(scale.range, 38);
    v.showVwapBands = false;
    EXPECT_EQ(zqt::candlePriceScale(v).high, 30);
}

TEST(CandleChartPlan, sma50StartsAtThe50thCandle) {
    CandleChartView v;
    for (int i = 0; i < 60; ++i)
        v.candles.push_back(bar(10, 12, 8, 11));
    v.sma50.assign(60, kNone);
    for (int i = 49; i < 60; ++i)
        v.sma50[static_cast<std::size_t>(i)] = 10;
    v.showSma50 = true;
    const ChartPlan plan = zqt::planCandleChart(v, 632); // step 600 / 60 = 10
    const auto lines = ofKind(plan, Kind::Polyline);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]->color, ChartColor::SystemTeal);
    EXPECT_EQ(lines[0]->width, 1.3);
    ASSERT_EQ(lines[0]->points.size(), 11);
    EXPECT_EQ(lines[0]->points.front(), QPointF(16 + 490 + 5, 120));
    EXPECT_EQ(lines[0]->points.back(), QPointF(16 + 590 + 5, 120));
}

TEST(CandleChartPlan, gapInAnOptionalLineIsBridgedByOneSegment) {
    CandleChartView v;
    v.candles = {bar(0, 4, 0, 4), bar(0, 4, 0, 4), bar(0, 4, 0, 4), bar(0, 4, 0, 4)};
    v.sma200 = {1, kNone, kNone, 3};
    v.showSma200 = true;
    const ChartPlan plan = zqt::planCandleChart(v, kWidth); // step 50, range 4
    const auto lines = ofKind(plan, Kind::Polyline);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]->color, ChartColor::SystemPink);
    expectPoints(lines[0]->points, {{41, 172}, {191, 68}});
}

TEST(CandleChartPlan, bandFillRunsForwardOnTheUpperLineAndBackOnTheLower) {
    CandleChartView v;
    v.candles = {bar(0, 4, 0, 4), bar(0, 4, 0, 4), bar(0, 4, 0, 4), bar(0, 4, 0, 4)};
    v.bbUpper = {kNone, 3, 4, 3};
    v.bbLower = {kNone, 1, kNone, 0};
    v.showBbands = true;
    const ChartPlan plan = zqt::planCandleChart(v, kWidth);
    // wicks and bodies, upper line, lower line, fill
    ASSERT_EQ(plan.primitives.size(), 8u + 3u);
    const ChartPrimitive& upper = plan.primitives[8];
    const ChartPrimitive& lower = plan.primitives[9];
    const ChartPrimitive& fill = plan.primitives[10];
    EXPECT_EQ(upper.kind, Kind::Polyline);
    EXPECT_EQ(upper.color, ChartColor::Gray);
    EXPECT_EQ(upper.opacity, 0.6);
    expectPoints(upper.points, {{91, 68}, {141, 16}, {191, 68}});
    expectPoints(lower.points, {{91, 172}, {191, 224}});
    EXPECT_EQ(fill.kind, Kind::FilledPath);
    EXPECT_EQ(fill.color, ChartColor::Gray);
    EXPECT_EQ(fill.opacity, 0.1);
    EXPECT_EQ(fill.width, 0);
    expectPoints(fill.points, {{91, 68}, {141, 16}, {191, 68}, {191, 224}, {91, 172}});
}

TEST(CandleChartPlan, bollingerUpperWithNoValue_drawsNeitherUpperNorFill_butTheLowerLine) {
    CandleChartView v;
    v.candles = {bar(0, 4, 0, 4), bar(0, 4, 0, 4)};
    v.bbUpper = {kNone, kNone};
    v.bbLower = {1, 2};
    v.showBbands = true;
    const ChartPlan plan = zqt::planCandleChart(v, kWidth);
    EXPECT_TRUE(ofKind(plan, Kind::FilledPath).empty());
    const auto lines = ofKind(plan, Kind::Polyline);
    ASSERT_EQ(lines.size(), 1u);
    expectPoints(lines[0]->points, {{66, 172}, {166, 120}});
}

TEST(CandleChartPlan, everythingOn_drawsGridFirstAndOverlaysInTheirOrder) {
    CandleChartView v;
    v.candles = {bar(1, 4, 0, 3), bar(3, 4, 0, 1)};
    v.ema = v.vwap = {2, 2};
    v.sma50 = v.sma200 = v.bbUpper = v.bbLower = v.vwapUpper = v.vwapLower = {1, 2};
    v.showEma = v.showVwap = v.showVwapBands = v.showSma50 = v.showSma200 = v.showBbands = v.showGrid = true;
    const ChartPlan plan = zqt::planCandleChart(v, kWidth);
    struct Want {
        Kind kind;
        ChartColor color;
        double opacity;
        double width;
    };
    const std::vector<Want> want = {
        {Kind::Segments, ChartColor::Gray, 0.25, 1},
        {Kind::Line, ChartColor::Green, 0.7, 1},
        {Kind::Rect, ChartColor::Green, 0.7, 0},
        {Kind::Line, ChartColor::Red, 0.7, 1},
        {Kind::Rect, ChartColor::Red, 0.7, 0},
        {Kind::Polyline, ChartColor::SystemOrange, 1, 1.5},
        {Kind::Polyline, ChartColor::SystemBlue, 1, 1.5},
        {Kind::Polyline, ChartColor::SystemTeal, 1, 1.3},
        {Kind::Polyline, ChartColor::SystemPink, 1, 1.3},
        {Kind::Polyline, ChartColor::Gray, 0.6, 1.3},
        {Kind::Polyline, ChartColor::Gray, 0.6, 1.3},
        {Kind::FilledPath, ChartColor::Gray, 0.1, 0},
        {Kind::Polyline, ChartColor::SystemCyan, 0.8, 1.3},
        {Kind::Polyline, ChartColor::SystemCyan, 0.8, 1.3},
        {Kind::FilledPath, ChartColor::SystemCyan, 0.08, 0},
    };
    ASSERT_EQ(plan.primitives.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        const ChartPrimitive& p = plan.primitives[i];
        EXPECT_EQ(p.kind, want[i].kind) << i;
        EXPECT_EQ(p.color, want[i].color) << i;
        EXPECT_EQ(p.opacity, want[i].opacity) << i;
        EXPECT_EQ(p.width, want[i].width) << i;
    }
    // The grid: five lines across the plot at quarters of its height.
    expectPoints(plan.primitives[0].points, {{16, 16},
                                             {216, 16},
                                             {16, 68},
                                             {216, 68},
                                             {16, 120},
                                             {216, 120},
                                             {16, 172},
                                             {216, 172},
                                             {16, 224},
                                             {216, 224}});
}

TEST(CandleChartPlan, manyCandlesOnANarrowChartKeepFourPointBodies) {
    CandleChartView v;
    v.candles.assign(300, bar(1, 2, 0, 1.5));
    const ChartPlan plan = zqt::planCandleChart(v, kWidth);
    const auto bodies = ofKind(plan, Kind::Rect);
    ASSERT_EQ(bodies.size(), 300u);
    for (const auto* b : bodies)
        EXPECT_EQ(b->rect.width(), 4);
    EXPECT_NEAR(bodies[1]->rect.x() - bodies[0]->rect.x(), 200.0 / 300, kEps); // overlapping neighbours
}

TEST(CandleChartPlan, canvasSmallerThanTheInsets_givesAnEmptyPlotNotANegativeOne) {
    CandleChartView v;
    v.candles = {bar(10, 12, 8, 11)};
    v.height = 20;
    const ChartPlan plan = zqt::planCandleChart(v, 10);
    EXPECT_EQ(plan.plot, QRectF(16, 16, 0, 0));
    for (const ChartPrimitive& p : plan.primitives)
        if (p.kind == Kind::Line)
            EXPECT_EQ(p.p1, p.p2);
}

// ---- Volume ---------------------------------------------------------------------------------------------

TEST(VolumeChartPlan, noCandles_drawsNothing) {
    const ChartPlan plan = zqt::planVolumeChart({}, kWidth);
    EXPECT_TRUE(plan.primitives.empty());
    EXPECT_EQ(plan.size, QSizeF(kWidth, 90));
}

TEST(VolumeChartPlan, barHeightsAgainstTheLargestVolumeButAtLeastOne) {
    struct Case {
        const char* name;
        std::vector<double> volumes;
        std::vector<double> heights; // of a 66-high plot
    };
    const Case cases[] = {
        {"volumes below 1 are measured against 1", {0.5, 0.25}, {33, 16.5}},
        {"all zero: zero-height bars", {0, 0}, {0, 0}},
        {"the largest volume fills the plot", {10, 5}, {66, 33}},
        {"a negative volume stays on the bottom edge", {-4, 2}, {0, 66}},
    };
    for (const Case& c : cases) {
        zqt::VolumeChartView v;
        for (double vol : c.volumes)
            v.candles.push_back(bar(1, 2, 0, 2, vol));
        const ChartPlan plan = zqt::planVolumeChart(v, kWidth);
        ASSERT_EQ(plan.primitives.size(), c.heights.size()) << c.name;
        for (std::size_t i = 0; i < c.heights.size(); ++i) {
            const QRectF r = plan.primitives[i].rect;
            EXPECT_NEAR(r.height(), c.heights[i], kEps) << c.name << " bar " << i;
            EXPECT_NEAR(r.bottom(), 78, kEps) << c.name << " bar " << i;
        }
    }
}

TEST(VolumeChartPlan, oneCandle_isCentred_andColouredByDirection) {
    zqt::VolumeChartView v;
    v.candles = {bar(2, 3, 0, 1, 4)};
    const ChartPlan plan = zqt::planVolumeChart(v, kWidth);
    ASSERT_EQ(plan.primitives.size(), 1u);
    expectRect(plan.primitives[0].rect, 56, 12, 120, 66);
    EXPECT_EQ(plan.primitives[0].color, ChartColor::Red);
    EXPECT_EQ(plan.primitives[0].opacity, 0.6);
    v.candles.assign(100, bar(1, 1, 1, 1, 1)); // step 2: the 3-point floor
    EXPECT_EQ(zqt::planVolumeChart(v, kWidth).primitives[0].rect.width(), 3);
    EXPECT_EQ(zqt::planVolumeChart(v, kWidth).primitives[0].color, ChartColor::Green);
}

// ---- RSI ------------------------------------------------------------------------------------------------

TEST(RsiChartPlan, referenceLinesAt30And70_andValuesDrawnUnclamped) {
    zqt::RsiChartView v;
    v.values = {30, 100, 150, 0};
    const ChartPlan plan = zqt::planRsiChart(v, kWidth);
    EXPECT_EQ(plan.plot, QRectF(16, 12, 200, 86));
    ASSERT_EQ(plan.primitives.size(), 3u);
    const ChartPrimitive& at30 = plan.primitives[0];
    const ChartPrimitive& at70 = plan.primitives[1];
    EXPECT_NEAR(at30.p1.y(), 72.2, kEps);
    EXPECT_EQ(at30.p1.x(), 16);
    EXPECT_EQ(at30.p2.x(), 216);
    EXPECT_NEAR(at70.p1.y(), 37.8, kEps);
    for (const ChartPrimitive* ref : {&at30, &at70}) {
        EXPECT_EQ(ref->kind, Kind::Line);
        EXPECT_EQ(ref->color, ChartColor::Gray);
        EXPECT_EQ(ref->opacity, 0.3);
        EXPECT_EQ(ref->width, 1);
    }
    const ChartPrimitive& line = plan.primitives[2];
    EXPECT_EQ(line.color, ChartColor::Blue);
    EXPECT_EQ(line.opacity, 0.8);
    EXPECT_EQ(line.width, 1.4);
    // 30 on the reference line, 100 on the top edge, 150 above the plot (and the canvas), 0 on the bottom.
    expectPoints(line.points, {{41, at30.p1.y()}, {91, 12}, {141, -31}, {191, 98}});
}

TEST(RsiChartPlan, noValues_drawsNothing) {
    EXPECT_TRUE(zqt::planRsiChart({}, kWidth).primitives.empty());
}

// ---- MACD -----------------------------------------------------------------------------------------------

TEST(MacdChartPlan, allZeroHistogram_scaleFloor_zeroHeightGreenBars_linesFarOutside) {
    zqt::MacdChartView v;
    v.macd = {0.001, -0.002};
    v.signal = {0.0005, 0};
    v.hist = {0, 0};
    EXPECT_EQ(zqt::macdScale(v), 0.0001);
    const ChartPlan plan = zqt::planMacdChart(v, kWidth);
    ASSERT_EQ(plan.primitives.size(), 4u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(plan.primitives[i].color, ChartColor::Green);
        expectRect(plan.primitives[i].rect, 66 + 100 * i - 2, 55, 4, 0);
    }
    const ChartPrimitive& macd = plan.primitives[2];
    const ChartPrimitive& signal = plan.primitives[3];
    EXPECT_EQ(macd.color, ChartColor::Orange);
    EXPECT_EQ(macd.width, 1.4);
    EXPECT_EQ(signal.color, ChartColor::Blue);
    EXPECT_EQ(signal.width, 1.2);
    expectPoints(macd.points, {{66, 55 - 430}, {166, 55 + 860}});
    expectPoints(signal.points, {{66, 55 - 215}, {166, 55}});
}

TEST(MacdChartPlan, barsAreFourWideAboutTheMiddle_greenUpRedDown) {
    zqt::MacdChartView v;
    v.macd = {1, 1};
    v.signal = {1, 1};
    v.hist = {2, -1};
    const ChartPlan plan = zqt::planMacdChart(v, kWidth);
    expectRect(plan.primitives[0].rect, 64, 12, 4, 43);
    EXPECT_EQ(plan.primitives[0].color, ChartColor::Green);
    expectRect(plan.primitives[1].rect, 164, 55, 4, 21.5);
    EXPECT_EQ(plan.primitives[1].color, ChartColor::Red);
    EXPECT_EQ(plan.primitives[1].opacity, 0.6);
}

TEST(MacdChartPlan, anEmptySeriesDrawsNothing_andUnequalListsDrawTheirCommonPrefix) {
    zqt::MacdChartView v;
    v.macd = {1, 2};
    v.hist = {1, 2};
    EXPECT_TRUE(zqt::planMacdChart(v, kWidth).primitives.empty());
    v.signal = {1};
    const ChartPlan plan = zqt::planMacdChart(v, kWidth);
    EXPECT_EQ(plan.step, 200);
    ASSERT_EQ(plan.primitives.size(), 1u); // one bar; one point per line draws nothing
    EXPECT_EQ(zqt::macdScale(v), 1);
}

// ---- Heights --------------------------------------------------------------------------------------------

TEST(ChartPlanHeights, everyChartIsPlannedAtItsViewsHeight_andSubChartLabelsStayApartAtTheLeastHeights) {
    // The least heights a chart card sharing out its height gives each sub-chart, and a taller one.
    constexpr double kLabelRoom = zqt::kScaleLabelHeight + zqt::kScaleLabelGap;
    for (double h : {44.0, 50.0, 57.0, 200.0}) {
        SCOPED_TRACE(h);
        zqt::VolumeChartView volume;
        volume.height = h;
        volume.gutter = 40;
        volume.candles = {bar(1, 2, 0, 2, 10)};
        const ChartPlan v = zqt::planVolumeChart(volume, kWidth);
        EXPECT_EQ(v.size, QSizeF(kWidth, h));
        expectRect(v.plot, 16, 12, kWidth - 32 - 40, h - 24);
        ASSERT_EQ(v.primitives.size(), 1u);
        EXPECT_NEAR(v.primitives[0].rect.bottom(), h - 12, kEps) << "the bar stands on the plot's bottom edge";

        zqt::RsiChartView rsi;
        rsi.height = h;
        rsi.gutter = 40;
        rsi.values = {40, 60};
        const ChartPlan r = zqt::planRsiChart(rsi, kWidth);
        EXPECT_EQ(r.size, QSizeF(kWidth, h));
        ASSERT_EQ(r.scale.size(), 2u);
        if (h >= 57)
            EXPECT_GE(std::abs(r.scale[0].p1.y() - r.scale[1].p1.y()), kLabelRoom) << "30 and 70 apart";

        zqt::MacdChartView macd;
        macd.height = h;
        macd.gutter = 40;
        macd.macd = macd.signal = macd.hist = {0.5, -0.5};
        const ChartPlan m = zqt::planMacdChart(macd, kWidth);
        EXPECT_EQ(m.size, QSizeF(kWidth, h));
        std::vector<double> labels;
        for (const ChartPrimitive& p : m.scale)
            if (p.kind == Kind::Text)
                labels.push_back(p.p1.y());
        ASSERT_GE(labels.size(), 2u);
        if (h >= 50)
            EXPECT_GE(std::abs(labels[0] - labels[1]), kLabelRoom) << "the top and zero labels apart";
    }
    // The price chart at the least height of a shared card keeps a 90-high plot.
    CandleChartView candles;
    candles.height = 122;
    candles.candles = {bar(1, 2, 0, 1.5)};
    const ChartPlan c = zqt::planCandleChart(candles, kWidth);
    EXPECT_EQ(c.size, QSizeF(kWidth, 122));
    EXPECT_NEAR(c.plot.height(), 90, kEps);
}
