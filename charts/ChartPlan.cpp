#include "charts/ChartPlan.h"

#include <algorithm>

namespace zqt {

QRectF insetPlot(QSizeF size, double dx, double dy) {
    return QRectF(dx, dy, std::max(size.width() - 2 * dx, 0.0), std::max(size.height() - 2 * dy, 0.0));
}

} // namespace zqt
