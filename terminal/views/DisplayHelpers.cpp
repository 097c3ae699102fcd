#include "terminal/views/DisplayHelpers.h"

namespace zqt {

MetricTile* metric(const QString& label, const QString& value, QWidget* parent) {
    return new MetricTile(label, value, parent);
}

Badge* badge(const QString& label, const QString& value, BadgeTone tone, QWidget* parent) {
    return new Badge(label, value, tone, parent);
}

} // namespace zqt
