#include "terminal/views/ChartPainter.h"

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
    switch (role) {
    case ChartColor::Text:
        return palette.color(QPalette::Text);
    case ChartColor::Gray:
        return QColor(0x8e, 0x8e, 0x93);
    case ChartColor::Red:
        return negativeColor();
    case ChartColor::Green:
        return positiveColor();
    case ChartColor::Blue:
        return QColor(0x1f, 0x6f, 0xeb);
    case ChartColor::Orange:
        return warningColor();
    case ChartColor::SystemOrange:
        return QColor(0xff, 0x95, 0x00);
    case ChartColor::SystemBlue:
        return QColor(0x0a, 0x84, 0xff);
    case ChartColor::SystemTeal:
        return QColor(0x30, 0xb0, 0xc7);
    case ChartColor::SystemPink:
        return QColor(0xff, 0x2d, 0x55);
    case ChartColor::SystemCyan:
        return QColor(0x32, 0xad, 0xe6);
    }
    return palette.color(QPalette::Text);
}

namespace {

// Width of the columns in which a wide line is stroked, in device-independent pixels.
constexpr int kStrokeColumn = 32;

// Strokes a polyline whose x never decreases, column by column: each column is clipped to its own pixel columns
// and strokes only the points that can reach it (the pen's width and miter length beyond its edges). The pixels
// are the same as stroking the whole line at once, but the raster engine, which walks the whole outline once
// per band of rows and splits its bands when a long line overflows its cell pool, does many times less work:
// a 10,000-point line drew about six times faster, an 80-point one about twice as fast. Other lines are
// stroked whole.
void strokeInColumns(QPainter& painter, const QPolygonF& points, const QPen& pen, const QRectF& canvas) {
    const qsizetype n = points.size();
    bool rising = n > 1;
    for (qsizetype i = 1; i < n && rising; ++i)
        rising = points[i].x() >= points[i - 1].x();
    if (!rising || pen.widthF() <= 1) { // a thin pen takes the raster engine's fast path anyway
        painter.drawPolyline(points);
        return;
    }
    const double reach = pen.widthF() * (pen.miterLimit() + 1) + 2;
    const int top = static_cast<int>(std::floor(canvas.top()));
    const int height = static_cast<int>(std::ceil(canvas.bottom())) - top;
    const int end = static_cast<int>(std::ceil(canvas.right()));
    qsizetype first = 0;
    for (int left = static_cast<int>(std::floor(canvas.left())); left < end; left += kStrokeColumn) {
        const int right = left + kStrokeColumn;
        while (first + 1 < n && points[first + 1].x() < left - reach)
            ++first;
        qsizetype last = first;
        while (last + 1 < n && points[last].x() <= right + reach)
            ++last;
        if (last == first || points[first].x() > right + reach)
            continue;
        painter.setClipRect(QRect(left, top, kStrokeColumn, height));
        painter.drawPolyline(points.constData() + first, static_cast<int>(last - first + 1));
    }
    painter.setClipRect(canvas);
}

// Fills a band outline (a chain of points whose x increases, then one back whose x never increases,
// spanning the same x range) column by column, for the same reason as strokeInColumns. Each column fills the
// two chains' points that reach it, joined at their ends; the joining edges lie outside the column (or are the
// outline's own end edges), so inside it the winding, and so every pixel, is that of the whole outline. Other
// outlines are filled whole.
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

} // namespace

void paintChartPlan(QPainter& painter, const ChartPlan& plan, const QPalette& palette, bool fillBackground) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // A rectangular clip costs nothing per primitive, a rounded one a great deal: clip to the canvas, and cut the
    // rounded corners out afterwards.
    const QRectF canvas(QPointF(0, 0), plan.size);
    painter.setClipRect(canvas);
    if (fillBackground)
        painter.fillRect(canvas, palette.color(QPalette::Base));

    QPen pen;
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    for (const ChartPrimitive& p : plan.primitives) {
        QColor color = chartColor(p.color, palette);
        color.setAlphaF(static_cast<float>(p.opacity));
        switch (p.kind) {
        case ChartPrimitive::Kind::Line:
            pen.setColor(color);
            pen.setWidthF(p.width);
            painter.setPen(pen);
            painter.drawLine(p.p1, p.p2);
            break;
        case ChartPrimitive::Kind::Segments:
            pen.setColor(color);
            pen.setWidthF(p.width);
            painter.setPen(pen);
            painter.drawLines(p.points.constData(), static_cast<int>(p.points.size() / 2));
            break;
        case ChartPrimitive::Kind::Polyline:
            pen.setColor(color);
            pen.setWidthF(p.width);
            painter.setPen(pen);
            strokeInColumns(painter, p.points, pen, canvas);
            break;
        case ChartPrimitive::Kind::Rect:
            painter.fillRect(p.rect, color);
            break;
        case ChartPrimitive::Kind::FilledPath:
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
            fillInColumns(painter, p.points, canvas);
            painter.setBrush(Qt::NoBrush);
            break;
        case ChartPrimitive::Kind::Text: {
            QFont font = painter.font();
            font.setPointSizeF(p.fontSize);
            painter.setFont(font);
            pen.setColor(color);
            pen.setWidthF(1);
            painter.setPen(pen);
            const QSizeF textSize = QFontMetricsF(font).size(Qt::TextSingleLine, p.text);
            painter.drawText(QRectF(p.p1 - QPointF(textSize.width() / 2, textSize.height() / 2), textSize),
                             Qt::AlignCenter, p.text);
            break;
        }
        }
    }
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
    // Qt's raster engine splits the blending of every large batch of spans (a wide antialiased stroke gives
    // several) over the global thread pool, unless it already runs on one of the pool's threads. On two cores
    // those hand-offs cost more than the blending: a chart of 80 bars took three times as long. So the whole
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
