#include "terminal/views/DisplayHelpers.h"

namespace zqt {

MetricTile* metric(const QString& label, const QString& value, QWidget* parent) {
    return new MetricTile(label, value, parent);
}

Badge* badge(const QString& label, const QString& value, BadgeTone tone, QWidget* parent) {
    return new Badge(label, value, tone, parent);
}

QFont headlineFont(const QFont& base) {
    QFont f = base;
    f.setBold(true);
    f.setPointSizeF(base.pointSizeF() * 1.1);
    return f;
}

QFont captionFont(const QFont& base) {
    QFont f = base;
    f.setPointSizeF(base.pointSizeF() * 0.85);
    return f;
}

QFont caption2Font(const QFont& base) {
    QFont f = base;
    f.setPointSizeF(base.pointSizeF() * 0.78);
    return f;
}

QColor positiveColor() {
    return QColor(0x2e, 0xa0, 0x43);
}

QColor negativeColor() {
    return QColor(0xe0, 0x3e, 0x3e);
}

QColor warningColor() {
    return QColor(0xe8, 0x86, 0x1a);
}

QColor secondaryTextColor(const QPalette& palette) {
    return palette.color(QPalette::PlaceholderText);
}

} // namespace zqt
