#pragma once

#include "terminal/views/Badge.h"
#include "terminal/views/CurrencyFormat.h"
#include "terminal/views/MetricTile.h"

#include <QColor>
#include <QFont>
#include <QPalette>

namespace zqt {

// A metric tile: `label` small and grey above `value` in the headline style.
MetricTile* metric(const QString& label, const QString& value, QWidget* parent = nullptr);
// A pill: the label upper-cased and grey, then the value in the tone's colour.
Badge* badge(const QString& label, const QString& value, BadgeTone tone, QWidget* parent = nullptr);

// Text styles, derived from the widget's font so they follow the desktop and the screen's scale.
QFont headlineFont(const QFont& base);
QFont captionFont(const QFont& base);
QFont caption2Font(const QFont& base);

// Status colours, chosen to read on both light and dark palettes.
QColor positiveColor();
QColor negativeColor();
QColor warningColor();
// Secondary text: the palette's placeholder colour.
QColor secondaryTextColor(const QPalette& palette);

} // namespace zqt
