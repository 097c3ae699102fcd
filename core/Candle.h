#pragma once

#include <cstdint>

namespace zqt {

// One OHLCV bar. `bucket` is the bar number (seconds since the Unix epoch divided by the bar interval,
// truncated toward zero) and the bar's identity; it never changes after creation.
struct Candle {
    std::int64_t bucket = 0;
    double open = 0.0;
    double high = 0.0;
    double low = 0.0;
    double close = 0.0;
    // The engine's volume for bars from a candle reply; for bars built or extended from live prices,
    // the number of price updates folded in.
    double volume = 0.0;

    std::int64_t identity() const { return bucket; }
    friend bool operator==(const Candle&, const Candle&) = default;
};

} // namespace zqt
