#include "charts/CandleChartView.h"
#include "charts/ChartScales.h"
#include "charts/MacdChartView.h"
#include "charts/RsiChartView.h"
#include "charts/VolumeChartView.h"

#include <QDateTime>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using zqt::Candle;
using zqt::CandleChartView;
using zqt::ChartColor;
using zqt::ChartPlan;
using zqt::ChartPrimitive;
using Kind = zqt::ChartPrimitive::Kind;

namespace {

// The mantissa of a step (1, 2, 2.5 or 5 for a round one).
double mantissa(double step) {
    return step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
}

std::vector<const ChartPrimitive*> texts(const std::vector<ChartPrimitive>& layer) {
    std::vector<const ChartPrimitive*> out;
    for (const ChartPrimitive& p : layer)
        if (p.kind == Kind::Text)
            out.push_back(&p);
    return out;
}

// Bars of `interval` seconds from `start` (UTC seconds), prices walking about 1.08.
std::vector<Candle> bars(std::int64_t start, double interval, int n) {
    std::vector<Candle> out;
    for (int i = 0; i < n; ++i) {
        const double open = 1.08 + 0.001 * std::sin(i);
        const double close = 1.08 + 0.001 * std::sin(i + 1);
        out.push_back(Candle{static_cast<std::int64_t>(start / interval) + i, open, std::max(open, close) + 0.0002,
                             std::min(open, close) - 0.0002, close, 10.0 + i});
    }
    return out;
}

} // namespace

TEST(ChartScales, roundTicks_fourToEightRoundLabelsInsideThePlotThatNeverOverlap) {
    // Ranges from 0.0001 to 100000 at several offsets, over plots 90 to 600 pixels high.
    const double lows[] = {0.0, 1.08423, -3.7, 190.5, 99999.3};
    const double ranges[] = {0.0001, 0.00037, 0.0013, 0.0072, 0.05,   0.31,    1.0,     2.9,
                             17.0,   64.5,    250.0,  999.0,  4321.0, 12000.0, 55555.0, 100000.0};
    const double heights[] = {90, 100, 128, 150, 208, 250, 333, 400, 480, 600};
    for (double low : lows)
        for (double range : ranges)
            for (double height : heights) {
                const double high = low + range;
                const zqt::ScaleTicks t = zqt::roundTicks(low, high, height);
                const std::string what = "low " + std::to_string(low) + " range " + std::to_string(range) + " height " +
                                         std::to_string(height);
                ASSERT_GE(t.values.size(), 4u) << what;
                ASSERT_LE(t.values.size(), 8u) << what;
                const double m = mantissa(t.step);
                EXPECT_TRUE(std::abs(m - 1) < 1e-9 || std::abs(m - 2) < 1e-9 || std::abs(m - 2.5) < 1e-9 ||
                            std::abs(m - 5) < 1e-9)
                    << what << " step " << t.step;
                const double spacing = t.step / range * height;
                EXPECT_GE(spacing, zqt::kScaleLabelHeight - 1e-9) << what; // label boxes never overlap
                for (std::size_t i = 0; i < t.values.size(); ++i) {
                    const double v = t.values[i];
                    EXPECT_NEAR(v / t.step, std::round(v / t.step), 1e-6) << what << " value " << v;
                    EXPECT_GE(v, low - range * 1e-9) << what;
                    EXPECT_LE(v, high + range * 1e-9) << what;
                    if (i > 0)
                        EXPECT_NEAR(v - t.values[i - 1], t.step, t.step * 1e-6) << what;
                }
                // The step's decimals write every label exactly: no two labels read the same.
                for (std::size_t i = 1; i < t.values.size(); ++i)
                    EXPECT_NE(zqt::scaleLabel(t.values[i], t.decimals), zqt::scaleLabel(t.values[i - 1], t.decimals))
                        << what;
            }
}

TEST(ChartScales, roundTicks_stepsAndDecimalsOfKnownRanges) {
    struct Case {
        double low, high, height;
        double step;
        int decimals;
        std::vector<double> values;
    };
    const Case cases[] = {
        {0, 100, 208, 20, 0, {0, 20, 40, 60, 80, 100}},
        {1.0841, 1.0862, 208, 0.00025, 5, {1.08425, 1.0845, 1.08475, 1.085, 1.08525, 1.0855, 1.08575, 1.086}},
        {10, 20, 90, 2, 0, {10, 12, 14, 16, 18, 20}},
        {0, 1.9, 150, 0.25, 2, {0, 0.25, 0.5, 0.75, 1, 1.25, 1.5, 1.75}},
        {190.2, 191.05, 128, 0.2, 1, {190.2, 190.4, 190.6, 190.8, 191}},
    };
    for (const Case& c : cases) {
        const zqt::ScaleTicks t = zqt::roundTicks(c.low, c.high, c.height);
        EXPECT_DOUBLE_EQ(t.step, c.step) << c.low;
        EXPECT_EQ(t.decimals, c.decimals) << c.low;
        ASSERT_EQ(t.values.size(), c.values.size()) << c.low;
        for (std::size_t i = 0; i < c.values.size(); ++i)
            EXPECT_NEAR(t.values[i], c.values[i], 1e-9) << c.low;
    }
    EXPECT_TRUE(zqt::roundTicks(1, 1, 200).values.empty());
    EXPECT_TRUE(zqt::roundTicks(0, 1, 0).values.empty());
    EXPECT_EQ(zqt::scaleLabel(-0.00001, 2), "0.00");
    EXPECT_EQ(zqt::scaleLabel(-1.5, 1), "-1.5");
}

TEST(ChartScales, candleChartWithAGutter_keepsThePlotArithmetic_labelsAndTheLastCloseTagInTheGutter) {
    CandleChartView v;
    v.candles = {Candle{0, 1.0, 1.2, 0.9, 1.1, 1}, Candle{1, 1.1, 1.4, 1.0, 1.3, 1},
                 Candle{2, 1.3, 1.35, 1.1, 1.15, 1}};
    v.gutter = zqt::candlePriceGutter(v);
    EXPECT_NEAR(v.gutter, 6 * zqt::kScaleCharWidth + 4, 1e-9); // "1.4000": the price format's four decimals
    const ChartPlan plan = zqt::planCandleChart(v, 600);
    // The plot keeps its 16-point insets, less the gutter on the right; slots and prices map as before.
    EXPECT_DOUBLE_EQ(plan.plot.left(), 16);
    EXPECT_DOUBLE_EQ(plan.plot.top(), 16);
    EXPECT_DOUBLE_EQ(plan.plot.width(), 600 - 32 - v.gutter);
    EXPECT_DOUBLE_EQ(plan.plot.height(), 240 - 32);
    EXPECT_DOUBLE_EQ(plan.step, plan.plot.width() / 3);
    const zqt::PriceScale scale = zqt::candlePriceScale(v);
    EXPECT_DOUBLE_EQ(plan.axis.low, scale.low);
    EXPECT_DOUBLE_EQ(plan.axis.range, scale.range);
    EXPECT_EQ(plan.axis.decimals, 4);

    const auto labels = texts(plan.scale);
    ASSERT_GE(labels.size(), 4u); // 0.9 .. 1.4 over 208: 0.1 apart, the one nearest the tag left out
    double lastY = 1e9;
    for (const ChartPrimitive* p : labels) {
        EXPECT_GT(p->p1.x(), plan.plot.right()) << p->text.toStdString();
        EXPECT_LT(p->p1.x(), 600);
        if (p->color != ChartColor::Text)
            continue; // the tag's text
        const double value = p->text.toDouble();
        EXPECT_NEAR(p->p1.y(), plan.axis.y(plan.plot, value), 1e-9) << p->text.toStdString();
        EXPECT_GE(p->p1.y(), plan.plot.top() - 1e-9);
        EXPECT_LE(p->p1.y(), plan.plot.bottom() + 1e-9);
        EXPECT_LE(p->p1.y(), lastY - zqt::kScaleLabelHeight); // ascending values, a label box apart
        lastY = p->p1.y();
    }
    // The last bar closed down: a red tag with its close and a red dashed line across the plot at that price.
    const double yClose = plan.axis.y(plan.plot, 1.15);
    auto tag = std::find_if(plan.scale.begin(), plan.scale.end(),
                            [](const ChartPrimitive& p) { return p.kind == Kind::Rect; });
    ASSERT_NE(tag, plan.scale.end());
    EXPECT_EQ(tag->color, ChartColor::Red);
    EXPECT_NEAR(tag->rect.center().y(), yClose, 1e-9);
    EXPECT_GE(tag->rect.left(), plan.plot.right());
    auto line = std::find_if(plan.scale.begin(), plan.scale.end(), [](const ChartPrimitive& p) { return p.dashed; });
    ASSERT_NE(line, plan.scale.end());
    EXPECT_EQ(line->color, ChartColor::Red);
    EXPECT_DOUBLE_EQ(line->p1.x(), plan.plot.left());
    EXPECT_DOUBLE_EQ(line->p2.x(), plan.plot.right());
    EXPECT_NEAR(line->p1.y(), yClose, 1e-9);
    auto tagText = std::find_if(plan.scale.begin(), plan.scale.end(),
                                [](const ChartPrimitive& p) { return p.color == ChartColor::OnTag; });
    ASSERT_NE(tagText, plan.scale.end());
    EXPECT_EQ(tagText->text, "1.1500");
    for (const ChartPrimitive* p : labels)
        if (p->color == ChartColor::Text)
            EXPECT_GE(std::abs(p->p1.y() - yClose), zqt::kScaleLabelHeight) << p->text.toStdString();

    // A rising last bar: green.
    v.candles.back().close = 1.32;
    const ChartPlan up = zqt::planCandleChart(v, 600);
    EXPECT_EQ(std::find_if(up.scale.begin(), up.scale.end(), [](const ChartPrimitive& p) { return p.dashed; })->color,
              ChartColor::Green);

    // Without a gutter the drawing is the plain chart: no scale layer.
    v.gutter = 0;
    EXPECT_TRUE(zqt::planCandleChart(v, 600).scale.empty());
}

TEST(ChartScales, timeLabels_perBarSize_roundLocalTimes_apartAndInside) {
    struct Case {
        double interval;
        const char* pattern; // every label that is not a date
        int roundSeconds;    // labelled times are multiples of this many seconds (at least)
    };
    const Case cases[] = {{5, R"(^\d\d:\d\d:\d\d$)", 30},
                          {15, R"(^\d\d:\d\d:\d\d$)", 60},
                          {60, R"(^\d\d:\d\d$)", 300},
                          {300, R"(^\d\d:\d\d$)", 1800},
                          {900, R"(^\d\d:\d\d$)", 3600}};
    const QTimeZone zone(5 * 3600 + 1800); // UTC+05:30: labels are in the zone's local time, not UTC
    const std::int64_t start = QDateTime(QDate(2024, 3, 5), QTime(9, 7, 10), zone).toSecsSinceEpoch();
    for (const Case& c : cases) {
        CandleChartView v;
        v.candles = bars(start, c.interval, 80);
        v.interval = c.interval;
        v.timeZone = zone;
        const ChartPlan plan = zqt::planCandleChart(v, 1000);
        const std::vector<zqt::TimeLabel> labels = zqt::timeLabels(v.candles, c.interval, plan, zone);
        ASSERT_GE(labels.size(), 3u) << c.interval;
        const double width = zqt::scaleLabelWidth(QStringLiteral("00 Mmm"));
        for (std::size_t i = 0; i < labels.size(); ++i) {
            const zqt::TimeLabel& l = labels[i];
            const QDateTime at = QDateTime::fromSecsSinceEpoch(
                static_cast<qint64>(static_cast<double>(v.candles[l.index].bucket) * c.interval), zone);
            EXPECT_DOUBLE_EQ(l.x, plan.x(static_cast<std::ptrdiff_t>(l.index)));
            if (at.time() == QTime(0, 0)) {
                EXPECT_EQ(l.text, at.toString("d MMM"));
            } else {
                EXPECT_TRUE(QRegularExpression(c.pattern).match(l.text).hasMatch()) << l.text.toStdString();
                EXPECT_EQ(l.text, at.toString(c.interval < 60 ? "HH:mm:ss" : "HH:mm"));
                EXPECT_EQ(at.time().msecsSinceStartOfDay() / 1000 % c.roundSeconds, 0)
                    << c.interval << " " << l.text.toStdString();
            }
            EXPECT_GE(l.x - width / 2, 0);
            EXPECT_LE(l.x + width / 2, plan.size.width());
            if (i > 0)
                EXPECT_GE(l.x - labels[i - 1].x, width) << c.interval; // never overlapping
        }
        // Placed under the plot, in the bottom inset.
        const auto placed = texts(plan.scale);
        ASSERT_FALSE(placed.empty());
        for (const ChartPrimitive* p : placed) {
            EXPECT_GT(p->p1.y(), plan.plot.bottom());
            EXPECT_LT(p->p1.y(), plan.size.height());
        }
    }
}

TEST(ChartScales, timeLabels_theDateWhereTheDayChanges) {
    const QTimeZone zone(-5 * 3600);
    const std::int64_t start = QDateTime(QDate(2024, 3, 5), QTime(23, 40), zone).toSecsSinceEpoch();
    CandleChartView v;
    v.candles = bars(start, 60, 60); // 23:40 to 00:39
    v.interval = 60;
    const ChartPlan plan = zqt::planCandleChart(v, 1000);
    const std::vector<zqt::TimeLabel> labels = zqt::timeLabels(v.candles, 60, plan, zone);
    QStringList got;
    for (const zqt::TimeLabel& l : labels)
        got << l.text;
    EXPECT_TRUE(got.contains("6 Mar")) << got.join(',').toStdString();
    EXPECT_TRUE(got.contains("23:45") || got.contains("23:50")) << got.join(',').toStdString();
    const auto midnight = std::find_if(labels.begin(), labels.end(), [](const auto& l) { return l.text == "6 Mar"; });
    EXPECT_EQ(midnight->index, 20u); // the first bar of the new day

    // A gap over midnight: the first bar after it still carries the date.
    std::vector<Candle> gap = bars(start, 60, 10);
    std::vector<Candle> after = bars(start + 3600 * 8, 60, 10);
    gap.insert(gap.end(), after.begin(), after.end());
    v.candles = gap;
    const ChartPlan gapPlan = zqt::planCandleChart(v, 1000);
    const std::vector<zqt::TimeLabel> gapLabels = zqt::timeLabels(gap, 60, gapPlan, zone);
    const auto day = std::find_if(gapLabels.begin(), gapLabels.end(), [](const auto& l) { return l.text == "6 Mar"; });
    ASSERT_NE(day, gapLabels.end());
    EXPECT_EQ(day->index, 10u);
}

TEST(ChartScales, subCharts_rsiLevels_macdZeroLineAndScale_volumeItsLargest) {
    zqt::RsiChartView rsi;
    rsi.values = {40, 60, 55};
    rsi.gutter = 40;
    const ChartPlan r = zqt::planRsiChart(rsi, 400);
    EXPECT_DOUBLE_EQ(r.plot.width(), 400 - 32 - 40);
    const auto rl = texts(r.scale);
    ASSERT_EQ(rl.size(), 2u);
    EXPECT_EQ(rl[0]->text, "30");
    EXPECT_DOUBLE_EQ(rl[0]->p1.y(), r.plot.bottom() - r.plot.height() * 0.3);
    EXPECT_EQ(rl[1]->text, "70");
    EXPECT_DOUBLE_EQ(rl[1]->p1.y(), r.plot.bottom() - r.plot.height() * 0.7);
    EXPECT_GT(rl[0]->p1.x(), r.plot.right());

    zqt::MacdChartView macd;
    macd.macd = {0.001, 0.002};
    macd.signal = {0.0005, 0.001};
    macd.hist = {0.0005, -0.0025};
    macd.gutter = 40;
    const ChartPlan m = zqt::planMacdChart(macd, 400);
    const double mid = m.plot.top() + m.plot.height() / 2;
    auto zero =
        std::find_if(m.scale.begin(), m.scale.end(), [](const ChartPrimitive& p) { return p.kind == Kind::Line; });
    ASSERT_NE(zero, m.scale.end());
    EXPECT_DOUBLE_EQ(zero->p1.y(), mid);
    EXPECT_DOUBLE_EQ(zero->p1.x(), m.plot.left());
    EXPECT_DOUBLE_EQ(zero->p2.x(), m.plot.right());
    const auto ml = texts(m.scale);
    auto top = std::find_if(ml.begin(), ml.end(), [&](const ChartPrimitive* p) { return p->p1.y() == m.plot.top(); });
    ASSERT_NE(top, ml.end());
    EXPECT_EQ((*top)->text, "0.0025"); // the largest histogram bar reaches the top

    zqt::VolumeChartView volume;
    volume.candles = {Candle{0, 1, 1, 1, 1, 950}, Candle{1, 1, 1, 1, 1, 12480}};
    volume.gutter = 40;
    const ChartPlan vp = zqt::planVolumeChart(volume, 400);
    const auto vl = texts(vp.scale);
    ASSERT_EQ(vl.size(), 1u);
    EXPECT_EQ(vl[0]->text, "12.5K");
    EXPECT_DOUBLE_EQ(vl[0]->p1.y(), vp.plot.top());
    EXPECT_EQ(zqt::compactVolume(950), "950");
    EXPECT_EQ(zqt::compactVolume(3.2e6), "3.20M");
    EXPECT_EQ(zqt::compactVolume(0.5), "0.50");

    // Slots line up under the candle chart of the same width and gutter.
    CandleChartView candles;
    candles.candles = volume.candles;
    candles.gutter = 40;
    const ChartPlan c = zqt::planCandleChart(candles, 400);
    for (std::ptrdiff_t i = 0; i < 2; ++i)
        EXPECT_DOUBLE_EQ(c.x(i), vp.x(i));

    // Without a gutter, no scale layer (the plain sub-charts).
    rsi.gutter = macd.gutter = volume.gutter = 0;
    EXPECT_TRUE(zqt::planRsiChart(rsi, 400).scale.empty());
    EXPECT_TRUE(zqt::planMacdChart(macd, 400).scale.empty());
    EXPECT_TRUE(zqt::planVolumeChart(volume, 400).scale.empty());
}

TEST(ChartScales, crosshair_linesThroughTheSlotAndThePointer_tagReadsTheValueThere) {
    CandleChartView v;
    v.candles = {Candle{0, 10, 20, 10, 15, 1}, Candle{1, 15, 20, 10, 12, 1}, Candle{2, 12, 14, 11, 13, 1}};
    v.gutter = 40;
    const ChartPlan plan = zqt::planCandleChart(v, 400);
    ASSERT_EQ(plan.slotCount, 3u);
    const double y = plan.axis.y(plan.plot, 17.5);
    const auto cross = zqt::crosshairPrimitives(plan, 1, y);
    ASSERT_EQ(cross.size(), 4u); // vertical line, horizontal line, tag, tag text
    EXPECT_DOUBLE_EQ(cross[0].p1.x(), plan.x(1));
    EXPECT_DOUBLE_EQ(cross[0].p2.x(), plan.x(1));
    EXPECT_DOUBLE_EQ(cross[0].p1.y(), plan.plot.top());
    EXPECT_DOUBLE_EQ(cross[0].p2.y(), plan.plot.bottom());
    EXPECT_DOUBLE_EQ(cross[1].p1.y(), y);
    EXPECT_EQ(cross[3].text, "17.5000");
    EXPECT_GT(cross[2].rect.left(), plan.plot.right());

    EXPECT_EQ(zqt::crosshairPrimitives(plan, 3, std::nullopt).size(), 0u);           // past the bars
    EXPECT_EQ(zqt::crosshairPrimitives(plan, 0, plan.plot.bottom() + 5).size(), 1u); // below the plot: no line
    EXPECT_TRUE(zqt::crosshairPrimitives(zqt::planCandleChart(CandleChartView{}, 400), 0, 50.0).empty());

    // The slot under a pointer, clamped to the bars.
    EXPECT_EQ(plan.slotAt(plan.x(2)), 2u);
    EXPECT_EQ(plan.slotAt(plan.plot.left() + plan.step - 0.01), 0u);
    EXPECT_EQ(plan.slotAt(0), 0u);
    EXPECT_EQ(plan.slotAt(399), 2u);
}
