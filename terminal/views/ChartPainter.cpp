#include "terminal/views/ChartPainter.h"

#include "display/Palette.h"
#include "terminal/views/DisplayHelpers.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QSemaphore>
#include <QThreadPool>

#include <cmath>

namespace zqt {

QColor chartColor(ChartColor role, const QPalette& palette) {
    const ColorSet& colors = activeColors();
    switch (role) {
    case ChartColor::Text:
        return palette.color(QPalette::Text);
    case ChartColor::Gray:
        return colors.chartGray;
    case ChartColor::Red:
        return colors.chartDown;
    case ChartColor::Green:
        return colors.chartUp;
    case ChartColor::Blue:
        return colors.chartBlue;
    case ChartColor::Orange:
        return colors.chartOrange;
    case ChartColor::SystemOrange:
        return colors.chartAmber;
    case ChartColor::SystemBlue:
        return colors.chartSkyBlue;
    case ChartColor::SystemTeal:
        return colors.chartTeal;
    case ChartColor::SystemPink:
        return colors.chartPink;
    case ChartColor::SystemCyan:
        return colors.chartCyan;
    case ChartColor::OnTag:
        return colors.chartOnTag;
    case ChartColor::Crosshair:
        return colors.chartGray;
    }
    return palette.color(QPalette::Text);
}

namespace {

// Width of the columns in which a band is filled, in device-independent pixels.
constexpr int kStrokeColumn = 32;

// Strokes a polyline wider than one pixel segment by segment, with flat caps. The raster engine draws a wide
// line of its own (a thick-line scan conversion) many times faster than it strokes a path: a path goes through the
// generic stroker and then the coverage rasteriser, whose per-row cell lists grow with every nearly horizontal
// edge, and a chart's lines are long and nearly horizontal. Eight 80-point lines took about 4 ms as paths and 0.4
// ms as segments. The segments meet at the points without a join: at a bend, the outer corner misses a sliver of
// (w / 2)^2 * tan(bend / 2) and a translucent line darkens the inner one of the same size (well under a pixel at
// the chart's widths and bends). Thin lines take the raster engine's own thin-line path whole.
void strokeSegments(QPainter& painter, const QPolygonF& points, const QPen& pen, QVector<QLineF>& segments) {
    if (pen.widthF() <= 1 || points.size() < 2) {
        painter.drawPolyline(points);
        return;
    }
    segments.resize(points.size() - 1);
    for (qsizetype i = 1; i < points.size(); ++i)
        segments[i - 1] = QLineF(points[i - 1], points[i]);
    painter.drawLines(segments);
}

// Fills a band outline (a chain of points whose x increases, then one back whose x never increases,
// spanning the same x range) column by column, because the coverage rasteriser's per-row cell lists grow with the
// band's nearly horizontal edges. Each column fills the two chains' points that reach it, joined at their ends; the
// joining edges lie outside the column (or are the outline's own end edges), so inside it the winding, and so every
// pixel, is that of the whole outline. Other outlines are filled whole.
void fillInColumns(QPainter& painter, const QPolygonF& points, const QRectF& canvas) {
    const qsizetype n = points.size();
    qsizetype turn = 1; // first index of the returning chain
    while (turn < n && points[turn].x() > points[turn - 1].x())
        ++turn;
    bool band = turn > 1 && turn < n;
    for (qsizetype i = turn + 1; i < n && band; ++i)
        band = points[i].x() <= points[i - 1].x();
    band = band && points[0].x() == points[n - 1].x() && points[turn - 1].x() == points[turn].x();
    if (!band) {
        painter.drawPolygon(points, Qt::WindingFill);
        return;
    }
    const double reach = 2;
    const int top = static_cast<int>(std::floor(canvas.top()));
    const int height = static_cast<int>(std::ceil(canvas.bottom())) - top;
    const int end = static_cast<int>(std::ceil(canvas.right()));
    QPolygonF piece;
    qsizetype upperFirst = 0;
    qsizetype lowerLast = n - 1;
    for (int left = static_cast<int>(std::floor(canvas.left())); left < end; left += kStrokeColumn) {
        const int right = left + kStrokeColumn;
        if (points[0].x() > right + reach || points[turn - 1].x() < left - reach)
            continue;
        while (upperFirst + 1 < turn && points[upperFirst + 1].x() < left - reach)
            ++upperFirst;
        qsizetype upperLast = upperFirst;
        while (upperLast + 1 < turn && points[upperLast].x() <= right + reach)
            ++upperLast;
        while (lowerLast - 1 >= turn && points[lowerLast - 1].x() < left - reach)
            --lowerLast;
        qsizetype lowerFirst = lowerLast;
        while (lowerFirst - 1 >= turn && points[lowerFirst].x() <= right + reach)
            --lowerFirst;
        piece.clear();
        for (qsizetype i = upperFirst; i <= upperLast; ++i)
            piece.append(points[i]);
        for (qsizetype i = lowerFirst; i <= lowerLast; ++i)
            piece.append(points[i]);
        painter.setClipRect(QRect(left, top, kStrokeColumn, height));
        painter.drawPolygon(piece, Qt::WindingFill);
    }
    painter.setClipRect(canvas);
}

// Paints `primitives` in order; `canvas` is the clip the band fills restore.
void paintPrimitives(QPainter& painter, const std::vector<ChartPrimitive>& primitives, const QPalette& palette,
                     const QRectF& canvas) {
    // The pen changes only when a primitive's colour, opacity or width differs from the one before (a run of
    // candles of one direction shares it); colours are resolved once per role and opacity.
    QPen pen;
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    bool penSet = false;
    ChartColor lastRole = ChartColor::Text;
    double lastOpacity = -1;
    QColor color;
    auto usePen = [&](double width) {
        if (!penSet || pen.color() != color || pen.widthF() != width) {
            pen.setColor(color);
            pen.setWidthF(width);
            painter.setPen(pen);
            penSet = true;
        }
    };
    QVector<QLineF> segments;
    for (const ChartPrimitive& p : primitives) {
        if (p.color != lastRole || p.opacity != lastOpacity) {
            color = chartColor(p.color, palette);
            color.setAlphaF(static_cast<float>(p.opacity));
            lastRole = p.color;
            lastOpacity = p.opacity;
        }
        switch (p.kind) {
        case ChartPrimitive::Kind::Line:
            if (p.dashed) {
                QPen dashes = pen;
                dashes.setColor(color);
                dashes.setWidthF(p.width);
                dashes.setStyle(Qt::DashLine);
                painter.setPen(dashes);
                painter.drawLine(p.p1, p.p2);
                penSet = false;
                break;
            }
            usePen(p.width);
            painter.drawLine(p.p1, p.p2);
            break;
        case ChartPrimitive::Kind::Segments:
            usePen(p.width);
            painter.drawLines(p.points.constData(), static_cast<int>(p.points.size() / 2));
            break;
        case ChartPrimitive::Kind::Polyline:
            usePen(p.width);
            strokeSegments(painter, p.points, pen, segments);
            break;
        case ChartPrimitive::Kind::Rect:
            painter.fillRect(p.rect, color);
            break;
        case ChartPrimitive::Kind::FilledPath:
            painter.setPen(Qt::NoPen);
            penSet = false;
            painter.setBrush(color);
            fillInColumns(painter, p.points, canvas);
            painter.setBrush(Qt::NoBrush);
            break;
        case ChartPrimitive::Kind::Text: {
            QFont font = painter.font();
            font.setPointSizeF(p.fontSize);
            painter.setFont(font);
            usePen(1);
            const QSizeF textSize = QFontMetricsF(font).size(Qt::TextSingleLine, p.text);
            painter.drawText(QRectF(p.p1 - QPointF(textSize.width() / 2, textSize.height() / 2), textSize),
                             Qt::AlignCenter, p.text);
            break;
        }
        }
    }
}

} // namespace

void paintChartOverlay(QPainter& painter, const ChartPlan& plan, const std::vector<ChartPrimitive>& primitives,
                       const QPalette& palette) {
    if (primitives.empty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF canvas(QPointF(0, 0), plan.size);
    painter.setClipRect(canvas);
    paintPrimitives(painter, primitives, palette, canvas);
    painter.restore();
}

void paintChartPlan(QPainter& painter, const ChartPlan& plan, const QPalette& palette, bool fillBackground) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // A rectangular clip costs nothing per primitive, a rounded one a great deal: clip to the canvas, and cut the
    // rounded corners out afterwards.
    const QRectF canvas(QPointF(0, 0), plan.size);
    painter.setClipRect(canvas);
    if (fillBackground)
        painter.fillRect(canvas, palette.color(QPalette::Base));
    paintPrimitives(painter, plan.primitives, palette, canvas);
    paintPrimitives(painter, plan.scale, palette, canvas);
    QPainterPath corners;
    corners.addRect(canvas);
    QPainterPath frame;
    frame.addRoundedRect(canvas, plan.clipRadius, plan.clipRadius);
    corners = corners.subtracted(frame);
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.fillPath(corners, Qt::black);
    painter.restore();
}

void renderChartPlan(QImage& image, const ChartPlan& plan, const QPalette& palette) {
    // Qt's raster engine splits the blending of every large batch of spans (a filled band gives several) over the
    // global thread pool, unless it already runs on one of the pool's threads. On two cores those hand-offs cost
    // more than the blending: painted on the calling thread, a chart of 80 bars took about twice as long (3.0 to
    // 5.6 ms against 1.6 to 1.7 ms of processor time, measured side by side by bench_chart_tick). So the whole
    // image is painted on one pool thread while this thread waits, and here when no pool thread is free.
    auto paint = [&] {
        image.fill(palette.color(QPalette::Base)); // far cheaper than a painted rectangle of the whole size
        QPainter painter(&image);
        paintChartPlan(painter, plan, palette, false);
    };
    QSemaphore done;
    if (QThreadPool::globalInstance()->tryStart([&] {
            paint();
            done.release();
        }))
        done.acquire();
    else
        paint();
}

} // namespace zqt
