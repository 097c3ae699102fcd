#include "display/Palette.h"

namespace zqt {

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

QColor midRowColor() {
    return withOpacity(QColor(0xf5, 0xc5, 0x18), 0.2);
}

QColor selectedRowColor() {
    return withOpacity(QColor(0x1e, 0x78, 0xe6), 0.2);
}

QColor neutralColor() {
    return QColor(0x8e, 0x8e, 0x93);
}

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

} // namespace zqt
