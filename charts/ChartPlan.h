#pragma once

#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <cstddef>
#include <optional>
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
    OnTag,        // text on a filled tag (the last close, the crosshair's value)
    Crosshair,    // the crosshair's lines and tag
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
    bool dashed = false; // strokes only: a dashed line
};

// The value axis of a plot: `low` on its bottom edge, low + range on its top edge, values written with
// `decimals` decimals. A range of 0 means the plot has no value axis (nothing drawn yet).
struct ValueAxis {
    double low = 0.0;
    double range = 0.0;
    int decimals = 4;

    bool valid() const { return range > 0; }
    double y(const QRectF& plot, double v) const { return plot.bottom() - (v - low) / range * plot.height(); }
    double valueAt(const QRectF& plot, double y) const { return low + (plot.bottom() - y) / plot.height() * range; }
};

struct ChartPlan {
    QSizeF size;
    double clipRadius = 8.0;
    QRectF plot;
    double step = 0.0;
    std::vector<ChartPrimitive> primitives;
    // The scale layer, painted over the primitives: labels in the gutter right of the plot (and under it), the
    // last-close tag and its line. Empty for a chart without a gutter.
    std::vector<ChartPrimitive> scale;
    ValueAxis axis;
    // Width of the label column added right of the plot's right inset; 0: no scale.
    double gutter = 0.0;
    std::size_t slotCount = 0; // number of slots laid out (bars, values)

    void clear() {
        plot = QRectF();
        step = 0.0;
        primitives.clear();
        scale.clear();
        axis = ValueAxis();
        gutter = 0.0;
        slotCount = 0;
    }
    // The slot under x (clamped to the first and last slot); none when nothing is laid out.
    std::optional<std::size_t> slotAt(double px) const;
    // Centre of slot i.
    double x(std::ptrdiff_t i) const { return plot.left() + step * static_cast<double>(i) + step / 2; }
};

// The plot rectangle: the canvas inset by `dx` left and right and `dy` top and bottom. A canvas smaller than
// the insets gives an empty plot at the inset corner, never one of negative size.
QRectF insetPlot(QSizeF size, double dx, double dy);
// The same with a label column `gutter` wide taken from the plot's right side.
QRectF insetPlot(QSizeF size, double dx, double dy, double gutter);

} // namespace zqt
