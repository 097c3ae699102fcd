#pragma once

#include <QColor>
#include <QPalette>

namespace zqt {

// Status colours, chosen to read on both light and dark palettes: gains, buys and bids are positive; losses,
// sells and asks negative; warnings (a feed that is down) orange.
QColor positiveColor();
QColor negativeColor();
QColor warningColor();
// Secondary text: the palette's placeholder colour.
QColor secondaryTextColor(const QPalette& palette);

// Tints of highlighted rows and the strip dividers.
QColor midRowColor();      // the book's mid level: yellow at 20 %
QColor selectedRowColor(); // a picked row: blue at 20 %
QColor dividerColor();     // grey at 40 %

// `color` with its alpha set to `opacity` (0 to 1).
QColor withOpacity(QColor color, double opacity);

} // namespace zqt
