#pragma once

#include "terminal/TapePrint.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace zqt {

// The tape shows at most this many prints, newest first.
inline constexpr qsizetype kMaxTapePrints = 24;

// Upper end of the integer draw behind a print's size: sizes come from an integer uniform on [0, 2^53].
inline constexpr std::uint64_t kTapeSizeDrawMax = std::uint64_t{1} << 53;

// A print's size, 0.5 to 2.5 inclusive, from an integer `draw` uniform on [0, kTapeSizeDrawMax].
double tapeSizeFromDraw(std::uint64_t draw);

// A uniform draw on [0, kTapeSizeDrawMax] from the process-wide generator.
std::uint64_t systemTapeSizeDraw();

// Local wall-clock time of `t`, "HH:mm:ss" on a 24-hour clock, in the process's time zone.
QString tapeTimeText(const QDateTime& t);

// The signed size of a print: its size for a buy, the negated size for a sell.
double signedPrintSize(const TapePrint& print);

// Adds one synthetic print at `price`: a buy on an uptick or an unchanged price, a sell on a downtick, with a
// size from `sizeDraw`. Puts it at the front of `tapeRows`, keeps `tapeDelta` as the running signed sum of the
// prints shown (updated incrementally, also when the oldest print drops off) and sets `lastTradePrice`.
void updateTape(QList<TapePrint>& tapeRows, double& tapeDelta, std::optional<double>& lastTradePrice, double price,
                const QDateTime& now, std::uint64_t sizeDraw);

// "Buyer-led" when the buy sizes exceed the sell sizes by more than 8 % of the sell sizes, "Seller-led" the
// other way round, otherwise "Neutral" (also for an empty tape).
QString aggressorLabel(const QList<TapePrint>& tapeRows);

} // namespace zqt
