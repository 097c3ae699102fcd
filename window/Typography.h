#pragma once

#include <QFont>
#include <QFontDatabase>
#include <QWidget>

namespace zqt {

// The few text styles the window uses, derived from the widget's own font so they follow the desktop's font
// and the screen's scale.
struct Typography {
    // Section titles: the body font, bold, slightly larger.
    static QFont headline(const QWidget* w) {
        QFont f = w->font();
        f.setBold(true);
        f.setPointSizeF(f.pointSizeF() * 1.1);
        return f;
    }
    // Logs, status replies and script output.
    static QFont monospaced() { return QFontDatabase::systemFont(QFontDatabase::FixedFont); }
};

} // namespace zqt
