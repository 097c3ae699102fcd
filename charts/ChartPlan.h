#pragma once

#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <cstddef>
#include <vector>

namespace zqt {

// What a chart draws, as plain data: the plot rectangle, the slot step, and the primitives in drawing order.
// Colours are roles; the widget resolves them against its palette. Coordinates are device-independent pixels
// on a canvas of `size`, origin top-left, y downward. The widget fills the canvas with the text-background
// colour and clips it, and every primitive, to a rounded rectangle of radius `clipRadius`.
enum class ChartColor {
    Text,         // the default text colour
    Gray,         // plain grey: grid, reference lines, Bollinger bands
    Red,          // falling bars
    Green,        // rising bars
    Blue,         // RSI line, MACD signal
    Orange,       // MACD line
    SystemOrange, // EMA
    SystemBlue,   // VWAP
    SystemTeal,   // SMA 50
    SystemPink,   // SMA 200
    SystemCyan,   // VWAP bands
};

struct ChartPrimitive {
    enum class Kind {
        Line,       // a straight line from p1 to p2, stroked
        Segments,   // separate lines, points taken in pairs, stroked as one path
        Polyline,   // points joined in order, stroked
        Rect,       // `rect` filled
        FilledPath, // the closed outline `points`, filled with the non-zero winding rule
        Text,       // `text` centred on p1, in the system font at `fontSize` points
    };

    Kind kind = Kind::Line;
    ChartColor color = ChartColor::Text;
    double opacity = 1.0;
    double width = 0.0; // stroke width; 0 for fills and text
    QPointF p1;
    QPointF p2;
    QPolygonF points;
    QRectF rect;
    QString text;
    double fontSize = 0.0;
};

struct ChartPlan {
    QSizeF size;
    double clipRadius = 8.0;
    QRectF plot;
    double step = 0.0;
    std::vector<ChartPrimitive> primitives;

    void clear() {
        plot = QRectF();
        step = 0.0;
        primitives.clear();
    }
    // Centre of slot i.
    double x(std::ptrdiff_t i) const { return plot.left() + step * static_cast<double>(i) + step / 2; }
};

// The plot rectangle: the canvas inset by `dx` left and right and `dy` top and bottom. A canvas smaller than
// the insets gives an empty plot at the inset corner, never one of negative size.
QRectF insetPlot(QSizeF size, double dx, double dy);

} // namespace zqt
