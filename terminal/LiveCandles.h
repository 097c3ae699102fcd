#pragma once

#include "core/Candle.h"

#include <QDateTime>
#include <QList>

#include <cstdint>
#include <optional>

namespace zqt {

// The live chart never holds more bars than this after a price has been folded in.
inline constexpr qsizetype kMaxLiveCandles = 80;

// Bar number of an instant: `seconds` since 1970-01-01T00:00:00Z (fractional) divided by the bar interval in
// seconds, truncated toward zero. Absent when the quotient is not finite or does not fit in 64 bits.
std::optional<std::int64_t> candleBucket(double seconds, double interval);

// Seconds since the epoch (fractional, millisecond resolution) of `t`.
double epochSeconds(const QDateTime& t);

// Folds one price at time `now` into the bar list: it extends the last bar when that bar has the same bucket,
// otherwise it appends a one-tick bar and trims the oldest bars down to kMaxLiveCandles. Only the last bar is
// ever compared: a price whose bucket matches an older bar still opens a new bar at the end. `interval` is in
// seconds and positive.
void updateCandles(QList<Candle>& candles, double interval, double price, const QDateTime& now);

} // namespace zqt
