#pragma once

#include "charts/CandleChartView.h"
#include "charts/ChartPlan.h"

#include <QString>

#include <vector>

namespace zqt {

// A labelled horizontal line at a price: an order's limit or stop (dashed) or a position's entry (solid).
struct PriceLine {
    double price = 0.0;
    QString label;
    ChartColor color = ChartColor::Text;
    bool dashed = false;
    friend bool operator==(const PriceLine&, const PriceLine&) = default;
};

struct PriceLineStyle {
    static constexpr double kWidth = 1.0;
    static constexpr double kDash = 6.0;
    static constexpr double kGap = 4.0;
    static constexpr double kFontSize = 9.0;
    static constexpr double kLabelInset = 4.0;   // from the plot's right edge
    static constexpr double kCharWidth = 0.62;   // an estimate of a label character's advance, per point of size
    static constexpr double kLabelHeight = 12.0; // the label's band above (or below) its line
    static constexpr double kLabelOpacity = 0.18;
};

// Appends to `plan` the lines whose price lies on `scale` within the plot (plan.plot, set by the chart's own
// plan): each a line across the plot at its price, then its label right-aligned at the plot's right end on a
// faint band of the line's colour, above the line, or below it where the line runs along the plot's top. Lines
// off the plot are left out, as are prices that are not finite; an empty plot draws nothing.
void planPriceLines(const std::vector<PriceLine>& lines, const PriceScale& scale, ChartPlan& plan);

} // namespace zqt
