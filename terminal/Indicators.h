#pragma once

#include "core/Candle.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Technical indicators for the chart panel: pure functions of a bar list (or a list of doubles). Every
// series has one entry per input bar; an absent entry (std::nullopt) is still warming up and is not drawn.
//
// The results are defined down to the last bit: each function performs its floating-point operations in
// the order written in its comment, so this file must be compiled without contraction into fused
// multiply-adds and without reassociation (the target sets -ffp-contract=off; never add -ffast-math).
//
// Periods and windows below 1 (the chart passes fixed positive values only) are answered with a result
// that draws nothing or the plainest meaning, never with an out-of-range read: see each function.
namespace zqt {

using OptionalSeries = std::vector<std::optional<double>>;

// Two band lines (Bollinger, VWAP bands), one entry per bar each.
struct BandSeries {
    OptionalSeries upper;
    OptionalSeries lower;
};

// MACD line, signal line and histogram (MACD minus signal), one entry per bar each, no warm-up gap.
struct MacdSeries {
    std::vector<double> macd;
    std::vector<double> signal;
    std::vector<double> hist;
};

// EMA with k = 2 / (period + 1), seeded with values[0]; the first element is stepped with itself too, so
// out[0] = (1 - k) * values[0] + k * values[0]. Step: e = (1 - k) * e + k * x. A period below 1 counts as
// 1 (k = 1).
std::vector<double> calcEma(std::span<const double> values, std::int64_t period);

// calcEma over the closes.
std::vector<double> emaSeries(std::int64_t period, std::span<const Candle> source);

// Cumulative VWAP of typical prices ((high + low + close) / 3), each bar weighted by max(volume, 1).
std::vector<double> vwapSeries(std::span<const Candle> source);

// Bands around the cumulative VWAP, mult standard deviations (population) of the typical prices in the
// trailing `window` bars wide (fewer at the start; every entry is present). A window below 1 gives all
// entries absent.
BandSeries vwapBandSeries(double mult, std::int64_t window, std::span<const Candle> source);

// MACD of the closes: calcEma(fast) - calcEma(slow), its calcEma(signal), and their difference.
MacdSeries macdSeries(std::int64_t fast, std::int64_t slow, std::int64_t signal, std::span<const Candle> candles);

// Simple moving average of the closes by a running sum (add the new close, then subtract the one leaving);
// entries 0 to period - 2 absent. Fewer bars than period, or a period below 1: all absent.
OptionalSeries smaSeries(std::int64_t period, std::span<const Candle> source);

// Bollinger bands of the closes: mean +/- mult population standard deviations, each window summed afresh
// in index order. Entries 0 to period - 2 absent; fewer bars than period or a period below 1: all absent.
BandSeries bollingerSeries(std::int64_t period, double mult, std::span<const Candle> source);

// Wilder RSI of the closes. Fewer than 2 bars: empty. Entries 0 to period are 50 (the seed averages are
// not turned into a value; the first computed entry already includes one smoothing step). No losses in
// the averages gives 100 - 100 / 101, never 100. A period below 1 gives an empty list.
std::vector<double> rsiSeries(std::int64_t period, std::span<const Candle> candles);

// The last EMA of the closes, seeded with the first close, which (unlike calcEma) is not stepped with itself.
// No bars: absent. A period below 1 counts as 1.
std::optional<double> emaValue(std::int64_t period, std::span<const Candle> candles);

// Volume-weighted mean of all typical prices; equals the last entry of vwapSeries. No bars: absent.
std::optional<double> vwapValue(std::span<const Candle> candles);

// Simple mean of the last min(period, n - 1) true ranges (not Wilder-smoothed). Fewer than 2 bars, or a
// period of 0 or below: absent.
std::optional<double> atrValue(std::int64_t period, std::span<const Candle> candles);

} // namespace zqt
