#pragma once

#include "display/Palette.h"
#include "display/PlainText.h"
#include "display/Typography.h"
#include "terminal/views/Badge.h"
#include "terminal/views/CurrencyFormat.h"
#include "terminal/views/MetricTile.h"

namespace zqt {

// A metric tile: `label` small and grey above `value` in the headline style.
MetricTile* metric(const QString& label, const QString& value, QWidget* parent = nullptr);
// A pill: the label upper-cased and grey, then the value in the tone's colour.
Badge* badge(const QString& label, const QString& value, BadgeTone tone, QWidget* parent = nullptr);
// Holds `widget` at a fixed size that grows to its size hint and never shrinks: a label whose text (or a strip whose
// shapes) change with every tick then asks its card for a new layout only when it needs more room than ever
// before, and a narrower number never moves what sits beside it. Call after each change of what it shows.
void holdGrownSize(QWidget* widget);

} // namespace zqt
