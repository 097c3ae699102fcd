#include "display/Typography.h"

#include <QFontDatabase>

namespace zqt {

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

QFont monospacedFont() {
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

} // namespace zqt
