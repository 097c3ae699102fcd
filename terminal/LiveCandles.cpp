#include "terminal/LiveCandles.h"

#include <cmath>

namespace zqt {

std::optional<std::int64_t> candleBucket(double seconds, double interval) {
    const double q = std::trunc(seconds / interval);
    // 2^63 is exactly representable; anything at or beyond it (or NaN) would overflow the cast.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(q) || q >= limit || q < -limit)
        return std::nullopt;
    return static_cast<std::int64_t>(q);
}

double epochSeconds(const QDateTime& t) {
    return static_cast<double>(t.toMSecsSinceEpoch()) / 1000.0;
}

void updateCandles(QList<Candle>& candles, double interval, double price, const QDateTime& now) {
    const auto bucket = candleBucket(epochSeconds(now), interval);
    if (!bucket)
        return; // only reachable with an interval the pickers never offer
    if (!candles.isEmpty() && candles.last().bucket == *bucket) {
        Candle& bar = candles.last();
        if (bar.high <= price)
            bar.high = price;
        if (bar.low > price)
            bar.low = price;
        bar.close = price;
        bar.volume += 1.0;
        return;
    }
    candles.append(Candle{*bucket, price, price, price, price, 1.0});
    if (candles.size() > kMaxLiveCandles)
        candles.remove(0, candles.size() - kMaxLiveCandles);
}

} // namespace zqt
