#include "charts/ChartPlan.h"

#include <algorithm>
#include <cmath>

namespace zqt {

QRectF insetPlot(QSizeF size, double dx, double dy) {
    return QRectF(dx, dy, std::max(size.width() - 2 * dx, 0.0), std::max(size.height() - 2 * dy, 0.0));
}

QRectF insetPlot(QSizeF size, double dx, double dy, double gutter) {
    QRectF plot = insetPlot(size, dx, dy);
    plot.setWidth(std::max(plot.width() - std::max(gutter, 0.0), 0.0));
    return plot;
}

std::optional<std::size_t> ChartPlan::slotAt(double px) const {
    if (slotCount == 0 || step <= 0)
        return std::nullopt;
    const double i = std::floor((px - plot.left()) / step);
    if (!(i >= 0))
        return 0;
    return static_cast<std::size_t>(std::min(i, static_cast<double>(slotCount - 1)));
}

} // namespace zqt
