#include "terminal/views/ChartWidgets.h"

#include "charts/ChartScales.h"
#include "terminal/views/ChartPainter.h"

#include <QImage>
#include <QPen>

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include <gtest/gtest.h>

using zqt::Candle;

namespace {

// Renders the widget at `dpr` into a transparent image of its size.
QImage render(QWidget& w, qreal dpr = 1) {
    QImage image(w.size() * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    w.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

bool greenish(QColor c) {
    return c.alpha() == 255 && c.green() > c.red() + 40 && c.green() > c.blue() + 40;
}
bool reddish(QColor c) {
    return c.alpha() == 255 && c.red() > c.green() + 40 && c.red() > c.blue() + 40;
}
bool blueish(QColor c) {
    return c.alpha() == 255 && c.blue() > c.red() + 40;
}

} // namespace

TEST(ChartWidgets, candleChart_paintsGreenAndRedBodiesAndTheGrid_nothingOutsideTheRoundedFrame) {
    zqt::CandleChartWidget chart(240);
    chart.resize(232, 240); // plot (16, 16) 200 x 208, slots 100 wide centred on 66 and 166
    chart.view().candles = {Candle{0, 1, 4, 0, 3, 1}, Candle{1, 3, 4, 0, 1, 1}};
    chart.view().showGrid = true;
    chart.refresh();
    for (qreal dpr : {1.0, 2.0}) {
        const QImage image = render(chart, dpr);
        auto at = [&](double x, double y) {
            return image.pixelColor(int(x * dpr), int(y * dpr));
        };
        EXPECT_TRUE(greenish(at(66, 100))) << dpr; // rising body: 1 to 3 maps to y 172 .. 68
        EXPECT_TRUE(reddish(at(166, 100))) << dpr;
        const QColor base = chart.palette().color(QPalette::Base);
        EXPECT_EQ(at(30, 100), base) << dpr; // plain background between bodies and grid lines
        const QColor grid = at(30, 120.25);  // the middle grid line at y 120
        EXPECT_NE(grid, base) << dpr;
        EXPECT_LE(std::abs(grid.red() - grid.blue()), 8) << dpr; // grey
        EXPECT_EQ(at(0, 0).alpha(), 0) << dpr;                   // outside the radius-8 corner
        EXPECT_EQ(at(231.5, 239.5).alpha(), 0) << dpr;
        EXPECT_EQ(at(116, 0).alpha(), 255) << dpr; // the frame's edge itself is painted
    }
}

TEST(ChartWidgets, candleChart_withoutBarsShowsTheWaitingTextNearTheTopLeft) {
    zqt::CandleChartWidget chart(240);
    chart.resize(400, 240);
    chart.refresh();
    const QImage image = render(chart);
    const QColor base = chart.palette().color(QPalette::Base);
    int inked = 0;
    for (int y = 8; y < 30; ++y)
        for (int x = 20; x < 160; ++x)
            inked += image.pixelColor(x, y) != base;
    EXPECT_GT(inked, 50);
    for (int x = 20; x < 380; ++x)
        EXPECT_EQ(image.pixelColor(x, 120), base);
}

TEST(ChartWidgets, volumeChart_paintsBarsOnTheBottomEdge) {
    zqt::VolumeChartWidget chart;
    EXPECT_EQ(chart.height(), 90);
    chart.resize(232, 90);
    chart.view().candles = {Candle{0, 1, 2, 0, 2, 10}, Candle{1, 2, 2, 0, 1, 5}};
    chart.refresh();
    const QImage image = render(chart);
    EXPECT_TRUE(greenish(image.pixelColor(66, 20)));  // full height: 12 .. 78
    EXPECT_TRUE(reddish(image.pixelColor(166, 70)));  // half height: 45 .. 78
    EXPECT_FALSE(reddish(image.pixelColor(166, 40))); // above the short bar
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
}

TEST(ChartWidgets, rsiAndMacdCharts_paintTheirLinesAndBars) {
    zqt::RsiChartWidget rsi;
    EXPECT_EQ(rsi.height(), 110);
    rsi.resize(232, 110);
    rsi.view().values = {50, 50};
    rsi.refresh();
    const QImage rsiImage = render(rsi);
    EXPECT_TRUE(blueish(rsiImage.pixelColor(100, 55))); // 50 maps to y 55
    EXPECT_EQ(rsiImage.pixelColor(0, 0).alpha(), 0);

    zqt::MacdChartWidget macd;
    macd.resize(232, 110);
    macd.view().macd = {0, 0};
    macd.view().signal = {0, 0};
    macd.view().hist = {2, -2};
    macd.refresh();
    const QImage macdImage = render(macd);
    EXPECT_TRUE(greenish(macdImage.pixelColor(66, 30)));  // 12 .. 55
    EXPECT_TRUE(reddish(macdImage.pixelColor(166, 80)));  // 55 .. 98
    EXPECT_FALSE(greenish(macdImage.pixelColor(72, 30))); // bars are 4 wide: 64 .. 68
}

TEST(ChartPainter, wideLinesDrawnSegmentBySegmentMatchTheWholeStrokeAwayFromTheBends) {
    // Wide lines are drawn a segment at a time, the segments meeting without a join: they may differ from the whole
    // stroke (with its miter joins) within a few pixels of a bend, but elsewhere only by the two scan converters'
    // rounding, and the middle of every segment is painted as the whole stroke paints it. Chart-like lines (a walk
    // of a few pixels a step) and a jagged one (steps of up to 75 pixels), in a translucent colour.
    struct Case {
        const char* name;
        int points;
        double amplitude; // vertical step scale
    };
    for (const Case& c : {Case{"one segment", 2, 12.5}, Case{"chart-like 80", 80, 0.5},
                          Case{"chart-like 3000", 3000, 0.5}, Case{"jagged 7", 7, 12.5}, Case{"jagged 80", 80, 12.5}}) {
        zqt::ChartPlan plan;
        plan.size = QSizeF(600, 200);
        zqt::ChartPrimitive line;
        line.kind = zqt::ChartPrimitive::Kind::Polyline;
        line.color = zqt::ChartColor::SystemCyan;
        line.opacity = 0.8;
        line.width = 1.5;
        double walk = 100;
        for (int i = 0; i < c.points; ++i) {
            line.points << QPointF(16 + 568.0 * i / c.points,
                                   c.amplitude > 1 ? 100 + ((i * 7919) % 13 - 6) * c.amplitude : walk);
            walk += ((i * 7919) % 13 - 6) * c.amplitude;
        }
        plan.primitives.push_back(line);
        const QPalette palette;
        QImage segments(600, 200, QImage::Format_ARGB32_Premultiplied);
        zqt::renderChartPlan(segments, plan, palette);

        QImage whole(600, 200, QImage::Format_ARGB32_Premultiplied);
        whole.fill(palette.color(QPalette::Base));
        {
            QPainter p(&whole);
            p.setRenderHint(QPainter::Antialiasing);
            QColor color = zqt::chartColor(zqt::ChartColor::SystemCyan, palette);
            color.setAlphaF(0.8f);
            QPen pen(color, 1.5);
            pen.setCapStyle(Qt::FlatCap);
            pen.setJoinStyle(Qt::MiterJoin);
            p.setPen(pen);
            p.drawPolyline(line.points);
        }
        auto difference = [&](int x, int y) {
            const QColor a = segments.pixelColor(x, y);
            const QColor b = whole.pixelColor(x, y);
            return std::max(
                {std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
        };
        auto nearBend = [&](int x, int y) {
            for (qsizetype i = 1; i + 1 < line.points.size(); ++i)
                if (std::abs(line.points[i].x() - (x + 0.5)) <= 4 && std::abs(line.points[i].y() - (y + 0.5)) <= 4)
                    return true;
            return false;
        };
        if (c.points <= 80 && c.amplitude < 1) { // the jagged lines' sharp bends reach further than a few pixels
            int worst = 0;
            for (int y = 8; y < 192; ++y) // away from the rounded corners
                for (int x = 8; x < 592; ++x)
                    if (!nearBend(x, y))
                        worst = std::max(worst, difference(x, y));
            EXPECT_LE(worst, 8) << c.name;
        }
        for (qsizetype i = 1; i < line.points.size(); ++i) {
            const QPointF mid = (line.points[i - 1] + line.points[i]) / 2;
            if (std::abs(line.points[i].x() - line.points[i - 1].x()) > 6) { // segments long enough to have a middle
                EXPECT_LE(difference(int(mid.x()), int(mid.y())), 8) << c.name << " segment " << i;
                EXPECT_NE(segments.pixelColor(int(mid.x()), int(mid.y())), palette.color(QPalette::Base)) << c.name;
            }
        }
    }
}

TEST(ChartPainter, bandFillsFilledInColumnsMatchTheWholeFillPixelForPixel) {
    struct Case {
        const char* name;
        int points;
        bool crossing; // the lower chain crosses above the upper one in places
    };
    for (const Case& c : {Case{"two points", 2, false}, Case{"80 points", 80, false}, Case{"80 crossing", 80, true},
                          Case{"3000 crossing", 3000, true}}) {
        QPolygonF outline;
        for (int i = 0; i < c.points; ++i)
            outline << QPointF(16 + 568.0 * i / c.points, 80 + ((i * 7919) % 13 - 6) * 5.0);
        for (int i = c.points - 1; i >= 0; --i)
            outline << QPointF(16 + 568.0 * i / c.points, (c.crossing ? 70 : 120) + ((i * 104729) % 11 - 5) * 6.0);
        zqt::ChartPlan plan;
        plan.size = QSizeF(600, 200);
        zqt::ChartPrimitive fill;
        fill.kind = zqt::ChartPrimitive::Kind::FilledPath;
        fill.color = zqt::ChartColor::SystemCyan;
        fill.opacity = 0.3;
        fill.points = outline;
        plan.primitives.push_back(fill);
        const QPalette palette;
        QImage columns(600, 200, QImage::Format_ARGB32_Premultiplied);
        zqt::renderChartPlan(columns, plan, palette);

        QImage whole(600, 200, QImage::Format_ARGB32_Premultiplied);
        whole.fill(palette.color(QPalette::Base));
        {
            QPainter p(&whole);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            QColor color = zqt::chartColor(zqt::ChartColor::SystemCyan, palette);
            color.setAlphaF(0.3f);
            p.setBrush(color);
            p.drawPolygon(outline, Qt::WindingFill);
        }
        const QRect inside(8, 8, 584, 184);
        EXPECT_EQ(columns.copy(inside), whole.copy(inside)) << c.name;
    }
}

TEST(ChartWidgets, priceScale_paintsLabelsAndTheLastCloseTagInTheGutter_crosshairOverTheImage) {
    zqt::CandleChartWidget chart(240);
    chart.resize(400, 240);
    chart.view().candles = {Candle{0, 1, 4, 0, 3, 1}, Candle{1, 3, 4, 0, 2, 1}}; // the last bar closes down
    chart.view().gutter = zqt::candlePriceGutter(chart.view());
    chart.refresh();
    const zqt::ChartPlan& plan = chart.plan();
    const QImage image = render(chart);
    const int tagX = static_cast<int>(zqt::gutterCentre(plan) - chart.view().gutter / 2 + 2);
    const int tagY = static_cast<int>(plan.axis.y(plan.plot, 2));
    EXPECT_TRUE(reddish(image.pixelColor(tagX, tagY)));
    const QColor base = chart.palette().color(QPalette::Base);
    int inked = 0; // the labels' text in the column right of the plot, away from the tag
    for (int y = static_cast<int>(plan.plot.top()); y < tagY - 10; ++y)
        for (int x = static_cast<int>(plan.plot.right()) + 2; x < 398; ++x)
            inked += image.pixelColor(x, y) != base;
    EXPECT_GT(inked, 30);

    // The crosshair is painted over the image and gone once cleared, leaving the chart as it was.
    chart.setCrosshair(0, 100.0);
    const QImage crossed = render(chart);
    EXPECT_NE(crossed.pixelColor(static_cast<int>(plan.plot.left()) + 3, 100), base);
    chart.setCrosshair(std::nullopt, std::nullopt);
    EXPECT_EQ(render(chart), image);
}
