#pragma once

#include "charts/ChartPlan.h"
#include "core/Candle.h"

#include <QString>
#include <QTimeZone>

#include <optional>
#include <vector>

namespace zqt {

// Scale labels are written in a small font; their boxes are estimated from the character count so that the
// layout is plain arithmetic (digits are of equal width in the system fonts).
inline constexpr double kScaleFontSize = 7;     // points (about 9.3 pixels)
inline constexpr double kScaleLabelHeight = 11; // a label's box height, pixels
inline constexpr double kScaleCharWidth = 6;    // a digit's advance, pixels, rounded up
inline constexpr double kScaleLabelGap = 2;     // the least space between two label boxes
inline constexpr int kMinScaleLabels = 4;
inline constexpr int kMaxScaleLabels = 8;

// Round values for a scale from `low` to `high` over `plotHeight` pixels: a step of 1, 2, 2.5 or 5 times a power of
// ten, the smallest whose labels lie at least a label box (and gap) apart and that gives at most 8 labels; the
// values are the step's multiples inside [low, high]. For the chart's heights (a plot of 90 pixels and more) this
// gives 4 to 8 labels.
struct ScaleTicks {
    double step = 0.0;
    int decimals = 0; // the decimals the step needs (2.5 x 10^k one more than 10^k)
    std::vector<double> values;
};
ScaleTicks roundTicks(double low, double high, double plotHeight);

// A scale value with `decimals` decimals, never "-0".
QString scaleLabel(double value, int decimals);

// The gutter the price labels of `low`..`high` take with `decimals` decimals: the widest label plus padding.
double priceGutterWidth(double low, double high, int decimals);

// Price labels in the gutter right of `plan.plot` (at the plan's axis), and the last close's tag with a dashed
// line across the plot: green when the last bar closed at or above its open, red below. Labels that would touch the
// tag are left out.
void addPriceScale(ChartPlan& plan, const std::optional<Candle>& last);

// One label of the time scale: the x of its bar's slot centre and its text.
struct TimeLabel {
    std::size_t index = 0;
    double x = 0.0;
    QString text;
};

// The time labels of bars `interval` seconds long (bar i starts at bucket x interval seconds since the epoch),
// laid out by `plan`'s slots: a bar is labelled where its time in `zone` crosses a round interval (a multiple of
// the bar size: 5 s up to a day), the smallest whose labels stay apart; its text is the local time (HH:MM:SS for
// bars under a minute, HH:MM otherwise), or the date ("5 Mar") where the day changes. Labels never overlap and
// stay inside the canvas.
std::vector<TimeLabel> timeLabels(const std::vector<Candle>& candles, double interval, const ChartPlan& plan,
                                  const QTimeZone& zone);
// The same as text primitives under the plot, into `plan.scale`.
void addTimeScale(ChartPlan& plan, const std::vector<Candle>& candles, double interval, const QTimeZone& zone);

// A label's box width for `text`.
double scaleLabelWidth(const QString& text);

// A text primitive in the scale font, centred on (x, y).
ChartPrimitive scaleText(const QString& text, QPointF at, ChartColor color = ChartColor::Text);
// The x of the label column's centre right of the plot.
double gutterCentre(const ChartPlan& plan);

// The crosshair over a drawn plan: a vertical line through slot `index`'s centre (when given and laid out) and a
// horizontal line at `y` (when given and inside the plot) with its value's tag in the gutter.
std::vector<ChartPrimitive> crosshairPrimitives(const ChartPlan& plan, std::optional<std::size_t> index,
                                                std::optional<double> y);

} // namespace zqt
