#include "charts/ChartScales.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <cmath>

namespace zqt {

namespace {

constexpr double kTagHeight = 13;
constexpr double kTimeLabelGap = 6;
constexpr double kEpsilon = 1e-9;

ChartPrimitive strokeLine(QPointF from, QPointF to, ChartColor color, double opacity, bool dashed) {
    ChartPrimitive line;
    line.kind = ChartPrimitive::Kind::Line;
    line.color = color;
    line.opacity = opacity;
    line.width = 1.0;
    line.dashed = dashed;
    line.p1 = from;
    line.p2 = to;
    return line;
}

// A filled tag across the label column at `y`, with `text` on it.
void addTag(std::vector<ChartPrimitive>& out, const ChartPlan& plan, double y, ChartColor color, const QString& text) {
    ChartPrimitive tag;
    tag.kind = ChartPrimitive::Kind::Rect;
    tag.color = color;
    const double left = plan.plot.right() + 2;
    tag.rect = QRectF(left, y - kTagHeight / 2, std::max(plan.size.width() - 2 - left, 0.0), kTagHeight);
    out.push_back(std::move(tag));
    out.push_back(scaleText(text, QPointF(gutterCentre(plan), y), ChartColor::OnTag));
}

// Seconds since the epoch of bar `c`, shifted into the zone's local time.
struct LocalClock {
    const QTimeZone& zone;
    double interval;
    std::optional<int> fixedOffset; // the zone's offset when it is the same over all the bars (no DST change)

    std::int64_t utc(const Candle& c) const { return static_cast<std::int64_t>(std::llround(c.bucket * interval)); }
    std::int64_t local(const Candle& c) const {
        const std::int64_t t = utc(c);
        return t + (fixedOffset ? *fixedOffset : zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(t, zone)));
    }
};

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

ScaleTicks roundTicks(double low, double high, double plotHeight) {
    ScaleTicks ticks;
    const double range = high - low;
    if (!(range > 0) || !std::isfinite(range) || !(plotHeight > 0))
        return ticks;
    const double minStep = kScaleLabelHeight * range / plotHeight;
    static constexpr std::array<double, 4> kMantissas = {1, 2, 2.5, 5};
    const int k0 = static_cast<int>(std::floor(std::log10(minStep))) - 1;
    for (int k = k0; k < k0 + 4; ++k) { // the count drops below the limit within a few powers of ten
        const double power = std::pow(10.0, k);
        for (double m : kMantissas) {
            const double step = m * power;
            if (step < minStep * (1 - kEpsilon))
                continue;
            const double first = std::ceil(low / step - kEpsilon);
            const double last = std::floor(high / step + kEpsilon);
            if (last - first + 1 > kMaxScaleLabels)
                continue;
            ticks.step = step;
            ticks.decimals = std::max(0, -k) + (m == 2.5 && k <= 0 ? 1 : 0);
            for (double j = first; j <= last; ++j)
                ticks.values.push_back(j * step);
            return ticks;
        }
    }
    return ticks;
}

QString scaleLabel(double value, int decimals) {
    if (std::abs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0; // no "-0.00" for a value that rounds to zero
    return QString::number(value, 'f', decimals);
}

double scaleLabelWidth(const QString& text) {
    return static_cast<double>(text.size()) * kScaleCharWidth + 4;
}

double priceGutterWidth(double low, double high, int decimals) {
    return std::max(scaleLabelWidth(scaleLabel(low, decimals)), scaleLabelWidth(scaleLabel(high, decimals)));
}

ChartPrimitive scaleText(const QString& text, QPointF at, ChartColor color) {
    ChartPrimitive p;
    p.kind = ChartPrimitive::Kind::Text;
    p.color = color;
    p.opacity = color == ChartColor::Text ? 0.75 : 1.0;
    p.p1 = at;
    p.text = text;
    p.fontSize = kScaleFontSize;
    return p;
}

double gutterCentre(const ChartPlan& plan) {
    return (plan.plot.right() + plan.size.width()) / 2;
}

void addPriceScale(ChartPlan& plan, const std::optional<Candle>& last) {
    if (!plan.axis.valid() || plan.gutter <= 0)
        return;
    const QRectF& plot = plan.plot;
    const ValueAxis& axis = plan.axis;
    std::optional<double> tagY;
    if (last && std::isfinite(last->close))
        tagY = axis.y(plot, last->close);
    for (double v : roundTicks(axis.low, axis.low + axis.range, plot.height()).values) {
        const double y = axis.y(plot, v);
        if (tagY && std::abs(y - *tagY) < (kScaleLabelHeight + kTagHeight) / 2)
            continue;
        plan.scale.push_back(scaleText(scaleLabel(v, axis.decimals), QPointF(gutterCentre(plan), y)));
    }
    if (!tagY)
        return;
    const ChartColor color = last->close < last->open ? ChartColor::Red : ChartColor::Green;
    plan.scale.push_back(strokeLine(QPointF(plot.left(), *tagY), QPointF(plot.right(), *tagY), color, 0.8, true));
    addTag(plan.scale, plan, *tagY, color, scaleLabel(last->close, axis.decimals));
}

std::vector<TimeLabel> timeLabels(const std::vector<Candle>& candles, double interval, const ChartPlan& plan,
                                  const QTimeZone& zone) {
    std::vector<TimeLabel> labels;
    if (candles.empty() || !(interval > 0) || plan.slotCount != candles.size() || plan.step <= 0)
        return labels;
    const bool seconds = interval < 60;
    const QString timeFormat = seconds ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm");
    const QString dateFormat = QStringLiteral("d MMM");
    const double width = std::max(scaleLabelWidth(QStringLiteral("00:00:00").left(seconds ? 8 : 5)),
                                  scaleLabelWidth(QStringLiteral("00 Mmm")));

    // The smallest round interval, a whole number of bars, whose labels stay apart; a day at most.
    static constexpr std::array<std::int64_t, 17> kRound = {5,    10,   15,   30,    60,    120,   300,   600,  900,
                                                            1800, 3600, 7200, 10800, 14400, 21600, 43200, 86400};
    const auto bar = static_cast<std::int64_t>(std::llround(interval));
    std::int64_t every = kRound.back();
    for (std::int64_t c : kRound)
        if (c >= bar && bar > 0 && c % bar == 0 && static_cast<double>(c / bar) * plan.step >= width + kTimeLabelGap) {
            every = c;
            break;
        }

    LocalClock clock{zone, interval, std::nullopt};
    const int firstOffset = zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(clock.utc(candles.front()), zone));
    const int lastOffset = zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(clock.utc(candles.back()), zone));
    if (firstOffset == lastOffset)
        clock.fixedOffset = firstOffset; // one offset over the whole window: no per-bar zone look-up

    double lastRight = -1e300;
    std::int64_t previous = 0;
    for (std::size_t i = 0; i < candles.size(); ++i) {
        const std::int64_t local = clock.local(candles[i]);
        const bool crossed = i == 0 ? local % every == 0 : floorDiv(local, every) != floorDiv(previous, every);
        const bool newDay = i == 0 ? local % 86400 == 0 : floorDiv(local, 86400) != floorDiv(previous, 86400);
        previous = local;
        if (!crossed && !newDay)
            continue;
        const double x = plan.x(static_cast<std::ptrdiff_t>(i));
        if (x - width / 2 < 0 || x + width / 2 > plan.size.width() || x - width / 2 < lastRight + kTimeLabelGap)
            continue;
        const QDateTime at = QDateTime::fromSecsSinceEpoch(clock.utc(candles[i]), zone);
        labels.push_back(TimeLabel{i, x, at.toString(newDay ? dateFormat : timeFormat)});
        lastRight = x + width / 2;
    }
    return labels;
}

void addTimeScale(ChartPlan& plan, const std::vector<Candle>& candles, double interval, const QTimeZone& zone) {
    const double y = (plan.plot.bottom() + plan.size.height()) / 2;
    for (TimeLabel& label : timeLabels(candles, interval, plan, zone))
        plan.scale.push_back(scaleText(label.text, QPointF(label.x, y)));
}

std::vector<ChartPrimitive> crosshairPrimitives(const ChartPlan& plan, std::optional<std::size_t> index,
                                                std::optional<double> y) {
    std::vector<ChartPrimitive> out;
    const QRectF& plot = plan.plot;
    if (index && *index < plan.slotCount) {
        const double x = plan.x(static_cast<std::ptrdiff_t>(*index));
        out.push_back(strokeLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()), ChartColor::Crosshair, 0.8, true));
    }
    if (y && *y >= plot.top() && *y <= plot.bottom() && plan.slotCount > 0) {
        out.push_back(
            strokeLine(QPointF(plot.left(), *y), QPointF(plot.right(), *y), ChartColor::Crosshair, 0.8, true));
        if (plan.gutter > 0 && plan.axis.valid())
            addTag(out, plan, *y, ChartColor::Crosshair, scaleLabel(plan.axis.valueAt(plot, *y), plan.axis.decimals));
    }
    return out;
}

} // namespace zqt
