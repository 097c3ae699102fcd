#pragma once

#include "display/Typography.h"

#include <QWidget>

namespace zqt {

// The window's text styles, taken from the display kit.
struct Typography {
    // Section titles in the widget's own font.
    static QFont headline(const QWidget* w) { return headlineFont(w->font()); }
    // Logs, status replies and script output.
    static QFont monospaced() { return monospacedFont(); }
};

} // namespace zqt
