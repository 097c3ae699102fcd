#include "charts/PriceLines.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using zqt::ChartColor;
using zqt::ChartPlan;
using zqt::ChartPrimitive;
using zqt::PriceLine;
using zqt::PriceScale;
using Kind = zqt::ChartPrimitive::Kind;

namespace {

// A plot (16, 16) 200 x 200 over prices 1.0800 to 1.0900: y = 216 - (p - 1.08) / 0.01 * 200.
ChartPlan plotted() {
    ChartPlan plan;
    plan.size = QSizeF(232, 232);
    plan.plot = QRectF(16, 16, 200, 200);
    return plan;
}

const PriceScale kScale{1.08, 1.09, 0.01};

std::vector<const ChartPrimitive*> ofKind(const ChartPlan& plan, Kind kind) {
    std::vector<const ChartPrimitive*> out;
    for (const ChartPrimitive& p : plan.primitives)
        if (p.kind == kind)
            out.push_back(&p);
    return out;
}

} // namespace

TEST(PriceLines, eachPriceOnThePlot_aLineAcrossAtItsY_andItsLabelInsideThePlot_table) {
    const struct {
        PriceLine line;
        double y;
        bool labelBelow; // along the top edge the label goes under its line
    } cases[] = {
        {{1.0850, "BUY LMT 1 @ 1.0850", ChartColor::Green, false}, 116, false},
        {{1.0800, "SHORT 2 @ 1.0800", ChartColor::Red, false}, 216, false},
        {{1.0900, "LONG 2 @ 1.0900", ChartColor::Green, false}, 16, true},
        {{1.0895, "SELL STP 1 @ 1.0895", ChartColor::Red, false}, 26, true},
    };
    for (const auto& c : cases) {
        ChartPlan plan = plotted();
        zqt::planPriceLines({c.line}, kScale, plan);
        const auto lines = ofKind(plan, Kind::Line);
        const auto texts = ofKind(plan, Kind::Text);
        const auto bands = ofKind(plan, Kind::Rect);
        ASSERT_EQ(lines.size(), 1u) << c.line.label.toStdString();
        ASSERT_EQ(texts.size(), 1u);
        ASSERT_EQ(bands.size(), 1u);
        EXPECT_NEAR(lines[0]->p1.y(), c.y, 1e-9) << c.line.label.toStdString();
        EXPECT_NEAR(lines[0]->p2.y(), c.y, 1e-9);
        EXPECT_EQ(lines[0]->p1.x(), 16);
        EXPECT_EQ(lines[0]->p2.x(), 216);
        EXPECT_EQ(lines[0]->color, c.line.color);
        EXPECT_EQ(texts[0]->text, c.line.label);
        EXPECT_EQ(texts[0]->color, c.line.color);
        EXPECT_TRUE(plan.plot.contains(bands[0]->rect)) << c.line.label.toStdString();
        EXPECT_TRUE(bands[0]->rect.contains(texts[0]->p1));
        EXPECT_EQ(texts[0]->p1.y() > c.y, c.labelBelow) << c.line.label.toStdString();
        EXPECT_GT(texts[0]->p1.x(), plan.plot.center().x()) << "labels sit at the right end";
    }
}

TEST(PriceLines, pricesOffThePlotOrNotFinite_drawNothing_anEmptyPlotNothingAtAll) {
    const std::vector<PriceLine> off{{1.0799, "below", ChartColor::Red, false},
                                     {1.0901, "above", ChartColor::Green, true},
                                     {std::numeric_limits<double>::quiet_NaN(), "nan", ChartColor::Red, false},
                                     {std::numeric_limits<double>::infinity(), "inf", ChartColor::Red, false}};
    ChartPlan plan = plotted();
    zqt::planPriceLines(off, kScale, plan);
    EXPECT_TRUE(plan.primitives.empty());

    ChartPlan empty;
    empty.size = QSizeF(20, 20);
    empty.plot = QRectF(16, 16, 0, 0);
    zqt::planPriceLines({{1.085, "x", ChartColor::Red, false}}, kScale, empty);
    EXPECT_TRUE(empty.primitives.empty());
}

TEST(PriceLines, ordersDashed_acrossThePlotOnly_afterWhatTheChartDrew) {
    ChartPlan plan = plotted();
    ChartPrimitive bar;
    bar.kind = Kind::Rect;
    plan.primitives.push_back(bar);
    zqt::planPriceLines({{1.0825, "BUY LMT 1 @ 1.0825", ChartColor::Green, true}}, kScale, plan);
    ASSERT_GE(plan.primitives.size(), 2u);
    EXPECT_EQ(plan.primitives[1].kind, Kind::Segments) << "drawn over the bars";
    const QPolygonF& dashes = plan.primitives[1].points;
    ASSERT_GT(dashes.size(), 4);
    ASSERT_EQ(dashes.size() % 2, 0);
    for (qsizetype i = 0; i < dashes.size(); i += 2) {
        EXPECT_NEAR(dashes[i].y(), 166, 1e-9);
        EXPECT_GE(dashes[i].x(), 16);
        EXPECT_LE(dashes[i + 1].x(), 216);
        EXPECT_GT(dashes[i + 1].x(), dashes[i].x());
    }
    EXPECT_EQ(dashes.front().x(), 16);
}
