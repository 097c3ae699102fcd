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

// Neutral marks (dividers, neutral readouts that are drawn rather than written): grey.
QColor neutralColor();
// Tints of highlighted rows.
QColor midRowColor();      // the book's mid level: yellow at 20 %
QColor selectedRowColor(); // a picked row: blue at 20 %

// `color` with its alpha set to `opacity` (0 to 1).
QColor withOpacity(QColor color, double opacity);

} // namespace zqt
