#pragma once

#include <QFont>

namespace zqt {

// Text styles, derived from a widget's own font so they follow the desktop's font and the screen's scale.
QFont headlineFont(const QFont& base); // titles: bold, 10 % larger
QFont captionFont(const QFont& base);  // readouts and labels of tiles and badges: 85 %
QFont caption2Font(const QFont& base); // the smallest texts (badge labels, tape times): 78 %
// Logs, status replies and script output: the system's fixed-width font.
QFont monospacedFont();

} // namespace zqt
