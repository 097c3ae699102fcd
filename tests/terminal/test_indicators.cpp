#include "terminal/Indicators.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

using zqt::Candle;
using zqt::OptionalSeries;

namespace {

// ---------------------------------------------------------------------------------------------------------
// Reference evaluations, written as plainly as possible: one window at a time, one operation per step, in the
// order the indicators define. The library's loops are compared with these bit for bit.
namespace ref {

double smoothing(std::int64_t period) {
    return 2.0 / static_cast<double>(period + 1);
}

double typical(const Candle& b) {
    return (b.high + b.low + b.close) / 3.0;
}

double weight(const Candle& b) {
    return b.volume > 1.0 ? b.volume : 1.0;
}

std::vector<double> closes(const std::vector<Candle>& bars) {
    std::vector<double> c;
    for (const Candle& b : bars) {
        c.push_back(b.close);
    }
    return c;
}

std::vector<double> calcEma(const std::vector<double>& values, std::int64_t period) {
    std::vector<double> out;
    if (values.empty()) {
        return out;
    }
    const double k = smoothing(period);
    double e = values[0];
    for (double x : values) {
        e = (1.0 - k) * e + k * x;
        out.push_back(e);
    }
    return out;
}

std::vector<double> vwapSeries(const std::vector<Candle>& bars) {
    std::vector<double> out;
    double p = 0.0;
    double w = 0.0;
    for (const Candle& b : bars) {
        p = p + typical(b) * weight(b);
        w = w + weight(b);
        out.push_back(p / w);
    }
    return out;
}

zqt::BandSeries vwapBandSeries(double mult, std::int64_t window, const std::vector<Candle>& bars) {
    zqt::BandSeries out;
    const std::vector<double> v = vwapSeries(bars);
    const auto n = static_cast<std::int64_t>(bars.size());
    for (std::int64_t i = 0; i < n; ++i) {
        const std::int64_t lo = std::max<std::int64_t>(0, i - window + 1);
        const auto count = static_cast<double>(i - lo + 1);
        double sum = 0.0;
        for (std::int64_t j = lo; j <= i; ++j) {
            sum = sum + typical(bars[j]);
        }
        const double m = sum / count;
        double sq = 0.0;
        for (std::int64_t j = lo; j <= i; ++j) {
            sq = sq + (typical(bars[j]) - m) * (typical(bars[j]) - m);
        }
        const double sd = std::sqrt(sq / count);
        out.upper.push_back(sd * mult + v[i]);
        out.lower.push_back(v[i] - sd * mult);
    }
    return out;
}

zqt::MacdSeries macdSeries(std::int64_t fast, std::int64_t slow, std::int64_t signal, const std::vector<Candle>& bars) {
    zqt::MacdSeries out;
    const std::vector<double> c = closes(bars);
    const std::vector<double> a = calcEma(c, fast);
    const std::vector<double> b = calcEma(c, slow);
    for (std::size_t i = 0; i < c.size(); ++i) {
        out.macd.push_back(a[i] - b[i]);
    }
    out.signal = calcEma(out.macd, signal);
    for (std::size_t i = 0; i < c.size(); ++i) {
        out.hist.push_back(out.macd[i] - out.signal[i]);
    }
    return out;
}

OptionalSeries smaSeries(std::int64_t period, const std::vector<Candle>& bars) {
    const std::vector<double> c = closes(bars);
    const auto n = static_cast<std::int64_t>(c.size());
    OptionalSeries out(c.size());
    if (n < period) {
        return out;
    }
    double s = 0.0;
    for (std::int64_t i = 0; i < n; ++i) {
        s = s + c[i];
        if (i >= period) {
            s = s - c[i - period];
        }
        if (i >= period - 1) {
            out[i] = s / static_cast<double>(period);
        }
    }
    return out;
}

zqt::BandSeries bollingerSeries(std::int64_t period, double mult, const std::vector<Candle>& bars) {
    const std::vector<double> c = closes(bars);
    const auto n = static_cast<std::int64_t>(c.size());
    zqt::BandSeries out{OptionalSeries(c.size()), OptionalSeries(c.size())};
    if (n < period) {
        return out;
    }
    for (std::int64_t i = period - 1; i < n; ++i) {
        double sum = 0.0;
        for (std::int64_t j = i - period + 1; j <= i; ++j) {
            sum = sum + c[j];
        }
        const double mean = sum / static_cast<double>(period);
        double sq = 0.0;
        for (std::int64_t j = i - period + 1; j <= i; ++j) {
            sq = sq + (c[j] - mean) * (c[j] - mean);
        }
        const double sd = std::sqrt(sq / static_cast<double>(period));
        out.upper[i] = mean + sd * mult;
        out.lower[i] = mean - sd * mult;
    }
    return out;
}

std::vector<double> rsiSeries(std::int64_t period, const std::vector<Candle>& bars) {
    const std::vector<double> c = closes(bars);
    const auto n = static_cast<std::int64_t>(c.size());
    if (n < 2) {
        return {};
    }
    std::vector<double> out(c.size(), 50.0);
    if (n <= period) {
        return out;
    }
    double gainSum = 0.0;
    double lossSum = 0.0;
    for (std::int64_t j = 0; j < period; ++j) {
        const double d = c[j + 1] - c[j];
        if (d >= 0) {
            gainSum = gainSum + d;
        } else {
            lossSum = lossSum + std::abs(d);
        }
    }
    double g = gainSum / static_cast<double>(period);
    double l = lossSum / static_cast<double>(period);
    if (n == period + 1) {
        return out;
    }
    for (std::int64_t i = period + 1; i < n; ++i) {
        const double d = c[i] - c[i - 1];
        g = (g * static_cast<double>(period - 1) + std::max(d, 0.0)) / static_cast<double>(period);
        l = (l * static_cast<double>(period - 1) + (d < 0 ? std::abs(d) : 0.0)) / static_cast<double>(period);
        out[i] = l == 0 ? 99.00990099009901 : 100.0 - 100.0 / (g / l + 1.0);
    }
    return out;
}

std::optional<double> emaValue(std::int64_t period, const std::vector<Candle>& bars) {
    if (bars.empty()) {
        return std::nullopt;
    }
    const double k = smoothing(period);
    double e = bars[0].close;
    for (std::size_t i = 1; i < bars.size(); ++i) {
        e = (1.0 - k) * e + k * bars[i].close;
    }
    return e;
}

std::optional<double> atrValue(std::int64_t period, const std::vector<Candle>& bars) {
    const auto n = static_cast<std::int64_t>(bars.size());
    if (n < 2) {
        return std::nullopt;
    }
    std::vector<double> ranges;
    for (std::int64_t i = 1; i < n; ++i) {
        const double p = bars[i - 1].close;
        double r = bars[i].high - bars[i].low;
        if (std::abs(bars[i].high - p) >= r) {
            r = std::abs(bars[i].high - p);
        }
        if (std::abs(bars[i].low - p) >= r) {
            r = std::abs(bars[i].low - p);
        }
        ranges.push_back(r);
    }
    const std::int64_t count = std::min<std::int64_t>(period, n - 1);
    if (count <= 0) {
        return std::nullopt;
    }
    double sum = 0.0;
    for (std::int64_t i = n - 1 - count; i < n - 1; ++i) {
        sum = sum + ranges[i];
    }
    return sum / static_cast<double>(count);
}

} // namespace ref

// ---------------------------------------------------------------------------------------------------------
// One driver for every table: a row of expected values against the row computed, compared bit for bit
// (so -0.0 differs from 0.0 and an absent entry differs from any value), printed whole on a mismatch.

using Row = OptionalSeries;

Row present(const std::vector<double>& values) {
    return Row(values.begin(), values.end());
}

Row single(std::optional<double> value) {
    return Row{value};
}

std::string text(const Row& row) {
    std::string s = "[";
    for (std::size_t i = 0; i < row.size(); ++i) {
        char buf[40];
        if (row[i]) {
            std::snprintf(buf, sizeof buf, "%.17g", *row[i]);
        } else {
            std::snprintf(buf, sizeof buf, "-");
        }
        s += (i == 0 ? "" : ", ") + std::string(buf);
    }
    return s + "]";
}

bool sameBits(const Row& a, const Row& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].has_value() != b[i].has_value()) {
            return false;
        }
        if (a[i] && std::bit_cast<std::uint64_t>(*a[i]) != std::bit_cast<std::uint64_t>(*b[i])) {
            return false;
        }
    }
    return true;
}

void expectRow(const std::string& name, const Row& expected, const Row& got) {
    EXPECT_TRUE(sameBits(expected, got)) << name << "\n  expected " << text(expected) << "\n  got      " << text(got);
}

struct Case {
    std::string name;
    std::vector<Candle> bars;
    std::function<Row(std::span<const Candle>)> run;
    Row expected;
};

void runTable(const std::vector<Case>& table) {
    for (const Case& c : table) {
        expectRow(c.name, c.expected, c.run(c.bars));
    }
}

Candle bar(double high, double low, double close, double volume = 1.0) {
    return Candle{0, close, high, low, close, volume};
}

std::vector<Candle> fromCloses(const std::vector<double>& closes) {
    std::vector<Candle> bars;
    for (double c : closes) {
        bars.push_back(bar(c, c, c));
    }
    return bars;
}

std::vector<Candle> rising(int n) {
    std::vector<double> c;
    for (int i = 0; i < n; ++i) {
        c.push_back(100.0 + i * 0.25);
    }
    return fromCloses(c);
}

const std::optional<double> absent = std::nullopt;

// A random walk with highs and lows around it and volumes from 0 to 5 (some below 1, which weigh 1).
std::vector<Candle> randomBars(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> step(-0.75, 0.75);
    std::uniform_real_distribution<double> wick(0.0, 0.5);
    std::uniform_real_distribution<double> volume(0.0, 5.0);
    std::vector<Candle> bars;
    double price = 100.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double open = price;
        price += step(rng);
        bars.push_back(Candle{static_cast<std::int64_t>(i), open, std::max(open, price) + wick(rng),
                              std::min(open, price) - wick(rng), price, volume(rng)});
    }
    return bars;
}

// ---------------------------------------------------------------------------------------------------------
// Hand-computed tables.

TEST(IndicatorsTest, ema_matchesHandTable) {
    runTable({
        {"empty", {}, [](auto b) { return present(zqt::emaSeries(3, b)); }, {}},
        // k = 2 / 4 = 0.5: 0.5*2 + 0.5*2 = 2, 0.5*2 + 0.5*4 = 3, 0.5*3 + 0.5*8 = 5.5
        {"period 3", fromCloses({2, 4, 8}), [](auto b) { return present(zqt::emaSeries(3, b)); }, {2.0, 3.0, 5.5}},
        {"period 1 follows the closes",
         fromCloses({3, 7, -1}),
         [](auto b) { return present(zqt::emaSeries(1, b)); },
         {3.0, 7.0, -1.0}},
        {"period 0 counts as 1",
         fromCloses({3, 7, -1}),
         [](auto b) { return present(zqt::emaSeries(0, b)); },
         {3.0, 7.0, -1.0}},
        {"negative period counts as 1",
         fromCloses({3, 7}),
         [](auto b) { return present(zqt::emaSeries(-4, b)); },
         {3.0, 7.0}},
        // The first close is stepped with itself: with k = 2/15, (13/15)*10 + (2/15)*10 is not exactly 10.
        {"one bar, period 14",
         fromCloses({10}),
         [](auto b) { return present(zqt::emaSeries(14, b)); },
         {10.000000000000002}},
        // ...whereas the readout starts from the first close unstepped.
        {"emaValue one bar", fromCloses({10}), [](auto b) { return single(zqt::emaValue(14, b)); }, {10.0}},
        {"emaValue no bars", {}, [](auto b) { return single(zqt::emaValue(14, b)); }, {absent}},
        {"emaValue period 3", fromCloses({2, 4, 8}), [](auto b) { return single(zqt::emaValue(3, b)); }, {5.5}},
        {"emaValue period 1 is the last close",
         fromCloses({2, 4, 8}),
         [](auto b) { return single(zqt::emaValue(1, b)); },
         {8.0}},
    });
    // k for the largest period: period + 1 is 2^63 (no integer overflow).
    const std::vector<double> one{4.0};
    EXPECT_EQ(zqt::calcEma(one, INT64_MAX).size(), 1u);
    EXPECT_TRUE(zqt::calcEma({}, 14).empty());
}

TEST(IndicatorsTest, vwapAndBands_matchHandTable) {
    // Typical prices 9, 11, 10; volume 0.5 weighs 1, volume 3 weighs 3.
    const std::vector<Candle> bars{bar(12, 6, 9, 0.5), bar(13, 9, 11, 3), bar(10, 10, 10, 0)};
    runTable({
        {"vwap empty", {}, [](auto b) { return present(zqt::vwapSeries(b)); }, {}},
        {"vwap weights", bars, [](auto b) { return present(zqt::vwapSeries(b)); }, {9.0, 10.5, 52.0 / 5.0}},
        {"vwapValue is the last vwap", bars, [](auto b) { return single(zqt::vwapValue(b)); }, {52.0 / 5.0}},
        {"vwapValue no bars", {}, [](auto b) { return single(zqt::vwapValue(b)); }, {absent}},
        {"bands one bar: deviation 0",
         {bar(12, 6, 9, 7)},
         [](auto b) { return zqt::vwapBandSeries(1.35, 20, b).upper; },
         {9.0}},
        {"bands one bar lower",
         {bar(12, 6, 9, 7)},
         [](auto b) { return zqt::vwapBandSeries(1.35, 20, b).lower; },
         {9.0}},
        // Bar 1: slice {9, 11}, mean 10, deviation 1, so 10.5 +/- 2. Bar 2: slice {9, 11, 10}: deviation
        // sqrt(2/3).
        {"bands short start upper",
         bars,
         [](auto b) { return zqt::vwapBandSeries(2.0, 20, b).upper; },
         {9.0, 12.5, std::sqrt(2.0 / 3.0) * 2.0 + 52.0 / 5.0}},
        {"bands short start lower",
         bars,
         [](auto b) { return zqt::vwapBandSeries(2.0, 20, b).lower; },
         {9.0, 8.5, 52.0 / 5.0 - std::sqrt(2.0 / 3.0) * 2.0}},
        // Window 2: bar 2's slice is {11, 10}, deviation 0.5.
        {"bands window 2",
         bars,
         [](auto b) { return zqt::vwapBandSeries(2.0, 2, b).upper; },
         {9.0, 12.5, 1.0 + 52.0 / 5.0}},
        {"bands window 1 is the vwap",
         bars,
         [](auto b) { return zqt::vwapBandSeries(2.0, 1, b).lower; },
         {9.0, 10.5, 52.0 / 5.0}},
        {"bands window 0 draws nothing",
         bars,
         [](auto b) { return zqt::vwapBandSeries(2.0, 0, b).upper; },
         {absent, absent, absent}},
        {"bands empty", {}, [](auto b) { return zqt::vwapBandSeries(2.0, 20, b).upper; }, {}},
    });
}

TEST(IndicatorsTest, smaAndBollinger_matchHandTable) {
    runTable({
        {"sma empty", {}, [](auto b) { return zqt::smaSeries(3, b); }, {}},
        {"sma period 3",
         fromCloses({1, 2, 3, 4, 10}),
         [](auto b) { return zqt::smaSeries(3, b); },
         {absent, absent, 2.0, 3.0, 17.0 / 3.0}},
        // The running sum is the contract: (0.1 + 0.2) + 0.3 - 0.1 is not 0.2 + 0.3.
        {"sma running sum",
         fromCloses({0.1, 0.2, 0.3, 0.4}),
         [](auto b) { return zqt::smaSeries(2, b); },
         {absent, 0.15000000000000002, 0.25000000000000006, 0.3500000000000001}},
        {"sma period 1", fromCloses({5, 6}), [](auto b) { return zqt::smaSeries(1, b); }, {5.0, 6.0}},
        {"sma fewer bars than period",
         fromCloses({5, 6}),
         [](auto b) { return zqt::smaSeries(3, b); },
         {absent, absent}},
        {"sma period 0 draws nothing",
         fromCloses({5, 6}),
         [](auto b) { return zqt::smaSeries(0, b); },
         {absent, absent}},
        {"sma negative period draws nothing",
         fromCloses({5, 6}),
         [](auto b) { return zqt::smaSeries(-3, b); },
         {absent, absent}},
        // Windows {1, 3}, {3, 5}, {5, 5}: means 2, 4, 5 and deviations 1, 1, 0.
        {"bollinger upper",
         fromCloses({1, 3, 5, 5}),
         [](auto b) { return zqt::bollingerSeries(2, 2.0, b).upper; },
         {absent, 4.0, 6.0, 5.0}},
        {"bollinger lower",
         fromCloses({1, 3, 5, 5}),
         [](auto b) { return zqt::bollingerSeries(2, 2.0, b).lower; },
         {absent, 0.0, 2.0, 5.0}},
        {"bollinger period 1",
         fromCloses({1, 3}),
         [](auto b) { return zqt::bollingerSeries(1, 2.0, b).upper; },
         {1.0, 3.0}},
        {"bollinger fewer bars than period",
         fromCloses({1, 3}),
         [](auto b) { return zqt::bollingerSeries(3, 2.0, b).upper; },
         {absent, absent}},
        {"bollinger period 0 draws nothing",
         fromCloses({1, 3}),
         [](auto b) { return zqt::bollingerSeries(0, 2.0, b).lower; },
         {absent, absent}},
        {"bollinger empty", {}, [](auto b) { return zqt::bollingerSeries(20, 2.0, b).upper; }, {}},
    });

    // SMA 50 over 49 bars is all absent; over 50 bars only the last entry is present.
    const OptionalSeries sma49 = zqt::smaSeries(50, rising(49));
    EXPECT_EQ(sma49.size(), 49u);
    EXPECT_TRUE(std::none_of(sma49.begin(), sma49.end(), [](auto v) { return v.has_value(); }));
    const OptionalSeries sma50 = zqt::smaSeries(50, rising(50));
    ASSERT_EQ(sma50.size(), 50u);
    EXPECT_EQ(std::count_if(sma50.begin(), sma50.end(), [](auto v) { return v.has_value(); }), 1);
    EXPECT_TRUE(sma50.back().has_value());
}

TEST(IndicatorsTest, rsi_matchesHandTable) {
    const auto rsi = [](std::int64_t period) {
        return [period](std::span<const Candle> b) {
            return present(zqt::rsiSeries(period, b));
        };
    };
    runTable({
        {"no bars", {}, rsi(14), {}},
        {"one bar", fromCloses({10}), rsi(14), {}},
        // Changes +1, -1 seed g = l = 0.5; then +2: g = (0.5 + 2) / 2, l = 0.5 / 2, RS 5; then -1: RS 1.
        {"period 2", fromCloses({10, 11, 10, 12, 11}), rsi(2), {50.0, 50.0, 50.0, 100.0 - 100.0 / 6.0, 50.0}},
        // Period 1 keeps nothing of the previous average.
        {"period 1", fromCloses({1, 2, 1}), rsi(1), {50.0, 50.0, 0.0}},
        {"falling", fromCloses({5, 4, 3, 2}), rsi(2), {50.0, 50.0, 50.0, 0.0}},
        // A flat series has no losses: a zero change counts as a gain of 0.
        {"flat", fromCloses({5, 5, 5, 5}), rsi(2), {50.0, 50.0, 50.0, 99.00990099009901}},
        {"period 0 gives nothing", fromCloses({1, 2, 3}), rsi(0), {}},
        {"negative period gives nothing", fromCloses({1, 2, 3}), rsi(-2), {}},
        {"huge period", fromCloses({1, 2, 3}), rsi(INT64_MAX), {50.0, 50.0, 50.0}},
    });
    EXPECT_EQ(99.00990099009901, 100.0 - 100.0 / 101.0);
}

TEST(IndicatorsTest, rsiPeriodBoundaries_firstValueAtIndexPeriodPlusOne) {
    EXPECT_EQ(zqt::rsiSeries(14, rising(14)), std::vector<double>(14, 50.0));
    EXPECT_EQ(zqt::rsiSeries(14, rising(15)), std::vector<double>(15, 50.0));
    std::vector<double> sixteen(16, 50.0);
    sixteen[15] = 99.00990099009901;
    EXPECT_EQ(zqt::rsiSeries(14, rising(16)), sixteen);

    // A rising series never reaches 100.
    const std::vector<double> risingRsi = zqt::rsiSeries(14, rising(80));
    ASSERT_EQ(risingRsi.size(), 80u);
    for (std::size_t i = 15; i < risingRsi.size(); ++i) {
        EXPECT_EQ(risingRsi[i], 99.00990099009901) << "index " << i;
    }
}

TEST(IndicatorsTest, macdAndAtr_matchHandTable) {
    const std::vector<Candle> bars = fromCloses({2, 4, 8});
    // fast 1: the closes; slow 3 (k 0.5): 2, 3, 5.5; MACD 0, 1, 2.5; signal 3: 0, 0.5, 1.5.
    runTable({
        {"macd", bars, [](auto b) { return present(zqt::macdSeries(1, 3, 3, b).macd); }, {0.0, 1.0, 2.5}},
        {"signal", bars, [](auto b) { return present(zqt::macdSeries(1, 3, 3, b).signal); }, {0.0, 0.5, 1.5}},
        {"hist", bars, [](auto b) { return present(zqt::macdSeries(1, 3, 3, b).hist); }, {0.0, 0.5, 1.0}},
        {"macd empty", {}, [](auto b) { return present(zqt::macdSeries(12, 26, 9, b).macd); }, {}},
        {"macd one bar", fromCloses({10}), [](auto b) { return present(zqt::macdSeries(12, 26, 9, b).hist); }, {0.0}},
    });

    // True ranges 3, 1 (low to previous close), 4.5 (gap up: high to previous close), 7 (gap down: low to
    // previous close).
    const std::vector<Candle> atrBars{bar(10, 8, 9), bar(12, 9, 11), bar(11, 10, 10.5), bar(15, 14, 14),
                                      bar(8, 7, 7.5)};
    const auto atr = [](std::int64_t period) {
        return [period](std::span<const Candle> b) {
            return single(zqt::atrValue(period, b));
        };
    };
    runTable({
        {"atr 14 over 5 bars averages the 4 ranges", atrBars, atr(14), {15.5 / 4.0}},
        {"atr 2", atrBars, atr(2), {5.75}},
        {"atr 1", atrBars, atr(1), {7.0}},
        {"atr 0", atrBars, atr(0), {absent}},
        {"atr negative period", atrBars, atr(-1), {absent}},
        {"atr one bar", {bar(10, 8, 9)}, atr(14), {absent}},
        {"atr no bars", {}, atr(14), {absent}},
    });
}

// ---------------------------------------------------------------------------------------------------------
// Random bars against the plain reference loops, bit for bit, at lengths around the number of windows
// computed together (12) and around the periods.

TEST(IndicatorsTest, randomBars_equalPlainReferenceBitForBit) {
    // Also across the library's blocks of 256 results, its groups of 12 or 24 windows, its slices of 48 and its
    // chunks of 1024 or 960 windows.
    const std::vector<std::size_t> lengths{0,   1,   2,   3,   7,    8,    9,    11,   12,   13,   14,  15,  16,  17,
                                           19,  20,  21,  23,  24,   25,   26,   27,   28,   29,   30,  31,  32,  35,
                                           36,  37,  49,  50,  51,   57,   66,   67,   68,   80,   200, 256, 257, 258,
                                           263, 978, 979, 990, 1002, 1030, 1031, 1043, 1044, 1049, 2100};
    const std::vector<std::int64_t> periods{1, 2, 3, 7, 8, 9, 14, 20, 26, 50};
    std::uint64_t seed = 7;
    for (std::size_t n : lengths) {
        const std::vector<Candle> bars = randomBars(n, seed++);
        const std::vector<double> closes = ref::closes(bars);
        const std::string at = "n=" + std::to_string(n);
        expectRow("vwap " + at, present(ref::vwapSeries(bars)), present(zqt::vwapSeries(bars)));
        expectRow("vwapValue " + at, bars.empty() ? single(absent) : single(ref::vwapSeries(bars).back()),
                  single(zqt::vwapValue(bars)));
        for (std::int64_t p : periods) {
            const std::string tag = at + " p=" + std::to_string(p);
            expectRow("calcEma " + tag, present(ref::calcEma(closes, p)), present(zqt::calcEma(closes, p)));
            expectRow("emaSeries " + tag, present(ref::calcEma(closes, p)), present(zqt::emaSeries(p, bars)));
            expectRow("emaValue " + tag, single(ref::emaValue(p, bars)), single(zqt::emaValue(p, bars)));
            expectRow("sma " + tag, ref::smaSeries(p, bars), zqt::smaSeries(p, bars));
            const zqt::BandSeries bb = zqt::bollingerSeries(p, 2.0, bars);
            const zqt::BandSeries bbRef = ref::bollingerSeries(p, 2.0, bars);
            expectRow("bollinger upper " + tag, bbRef.upper, bb.upper);
            expectRow("bollinger lower " + tag, bbRef.lower, bb.lower);
            const zqt::BandSeries vb = zqt::vwapBandSeries(1.35, p, bars);
            const zqt::BandSeries vbRef = ref::vwapBandSeries(1.35, p, bars);
            expectRow("vwap band upper " + tag, vbRef.upper, vb.upper);
            expectRow("vwap band lower " + tag, vbRef.lower, vb.lower);
            expectRow("rsi " + tag, present(ref::rsiSeries(p, bars)), present(zqt::rsiSeries(p, bars)));
            expectRow("atr " + tag, single(ref::atrValue(p, bars)), single(zqt::atrValue(p, bars)));
            const zqt::MacdSeries m = zqt::macdSeries(p, p * 2 + 1, p / 2 + 1, bars);
            const zqt::MacdSeries mRef = ref::macdSeries(p, p * 2 + 1, p / 2 + 1, bars);
            expectRow("macd " + tag, present(mRef.macd), present(m.macd));
            expectRow("macd signal " + tag, present(mRef.signal), present(m.signal));
            expectRow("macd hist " + tag, present(mRef.hist), present(m.hist));
        }
    }
}

TEST(IndicatorsTest, chartParameters_equalPlainReferenceBitForBit) {
    // The chart's own parameters over its usual 80 bars and a longer list.
    for (std::size_t n : {80u, 1000u}) {
        const std::vector<Candle> bars = randomBars(n, 1234 + n);
        const std::string at = "n=" + std::to_string(n);
        expectRow("bollinger(20, 2) " + at, ref::bollingerSeries(20, 2.0, bars).upper,
                  zqt::bollingerSeries(20, 2.0, bars).upper);
        expectRow("vwap bands(1.35, 20) " + at, ref::vwapBandSeries(1.35, 20, bars).lower,
                  zqt::vwapBandSeries(1.35, 20, bars).lower);
        expectRow("vwap bands(1.25, 20) " + at, ref::vwapBandSeries(1.25, 20, bars).upper,
                  zqt::vwapBandSeries(1.25, 20, bars).upper);
        expectRow("sma 200 " + at, ref::smaSeries(200, bars), zqt::smaSeries(200, bars));
        expectRow("rsi 14 " + at, present(ref::rsiSeries(14, bars)), present(zqt::rsiSeries(14, bars)));
        const zqt::MacdSeries m = zqt::macdSeries(12, 26, 9, bars);
        const zqt::MacdSeries mRef = ref::macdSeries(12, 26, 9, bars);
        expectRow("macd(12, 26, 9) hist " + at, present(mRef.hist), present(m.hist));
        expectRow("atr 14 " + at, single(ref::atrValue(14, bars)), single(zqt::atrValue(14, bars)));
    }
}

TEST(IndicatorsTest, wideWindows_equalPlainReferenceBitForBit) {
    // Windows wider than the library keeps on the stack.
    const std::vector<Candle> bars = randomBars(2100, 99);
    for (std::int64_t p : {300, 1500}) {
        const std::string tag = "p=" + std::to_string(p);
        expectRow("bollinger upper " + tag, ref::bollingerSeries(p, 2.0, bars).upper,
                  zqt::bollingerSeries(p, 2.0, bars).upper);
        expectRow("vwap band lower " + tag, ref::vwapBandSeries(1.35, p, bars).lower,
                  zqt::vwapBandSeries(1.35, p, bars).lower);
    }
}

// The overloads writing into caller-owned lists against the functions returning fresh lists, bit for bit. The
// lists are reused across the whole table, from long inputs to short ones and back, so that a stale entry left
// from an earlier, longer call or a missed absent fill shows; inputs around the short/long boundary take both
// paths, and NaN closes and volumes travel through the windows.
TEST(IndicatorsTest, reusedLists_equalFreshListsBitForBit) {
    std::vector<std::vector<Candle>> inputs;
    for (std::size_t n : {0u,  1u,   2u,   14u,  15u,  16u,   19u, 20u, 21u,  49u, 50u, 51u, 80u,
                          81u, 100u, 511u, 512u, 513u, 1100u, 80u, 3u,  600u, 24u, 33u, 65u}) {
        inputs.push_back(randomBars(n, 500 + n));
    }
    std::vector<Candle> withNan = randomBars(80, 77);
    withNan[30].close = std::nan("");
    withNan[45].volume = std::nan("");
    const std::size_t nanInput = inputs.size();
    inputs.push_back(withNan);
    inputs.push_back(randomBars(2, 3)); // short again after the NaN
    std::vector<Candle> flat = fromCloses(std::vector<double>(40, 7.25));
    flat[10].close = -0.0; // a negative zero in the first windows
    inputs.push_back(flat);

    std::vector<double> ema;
    std::vector<double> vwap;
    OptionalSeries vwapUpper;
    OptionalSeries vwapLower;
    zqt::MacdSeries macd;
    OptionalSeries sma;
    OptionalSeries bbUpper;
    OptionalSeries bbLower;
    std::vector<double> rsi;
    for (const std::vector<Candle>& bars : inputs) {
        for (std::int64_t p : {-1, 0, 1, 2, 9, 14, 20, 50, 200}) {
            const std::string tag = "n=" + std::to_string(bars.size()) + " p=" + std::to_string(p);
            zqt::emaSeries(p, bars, ema);
            expectRow("ema " + tag, present(zqt::emaSeries(p, bars)), present(ema));
            zqt::vwapSeries(bars, vwap);
            expectRow("vwap " + tag, present(zqt::vwapSeries(bars)), present(vwap));
            zqt::vwapBandSeries(1.35, p, bars, vwapUpper, vwapLower);
            const zqt::BandSeries vb = zqt::vwapBandSeries(1.35, p, bars);
            expectRow("vwap band upper " + tag, vb.upper, vwapUpper);
            expectRow("vwap band lower " + tag, vb.lower, vwapLower);
            zqt::macdSeries(p, p * 2 + 1, p / 2 + 1, bars, macd);
            const zqt::MacdSeries m = zqt::macdSeries(p, p * 2 + 1, p / 2 + 1, bars);
            expectRow("macd " + tag, present(m.macd), present(macd.macd));
            expectRow("macd signal " + tag, present(m.signal), present(macd.signal));
            expectRow("macd hist " + tag, present(m.hist), present(macd.hist));
            zqt::smaSeries(p, bars, sma);
            expectRow("sma " + tag, zqt::smaSeries(p, bars), sma);
            zqt::bollingerSeries(p, 2.0, bars, bbUpper, bbLower);
            const zqt::BandSeries bb = zqt::bollingerSeries(p, 2.0, bars);
            expectRow("bollinger upper " + tag, bb.upper, bbUpper);
            expectRow("bollinger lower " + tag, bb.lower, bbLower);
            zqt::rsiSeries(p, bars, rsi);
            expectRow("rsi " + tag, present(zqt::rsiSeries(p, bars)), present(rsi));
            // And the plain reference, where it is quick and defined (its RSI takes NaN changes differently).
            if (p >= 1 && bars.size() <= 100 && &bars != &inputs[nanInput]) {
                expectRow("bollinger upper (reference) " + tag, ref::bollingerSeries(p, 2.0, bars).upper, bbUpper);
                expectRow("vwap band lower (reference) " + tag, ref::vwapBandSeries(1.35, p, bars).lower, vwapLower);
                expectRow("sma (reference) " + tag, ref::smaSeries(p, bars), sma);
                expectRow("rsi (reference) " + tag, present(ref::rsiSeries(p, bars)), present(rsi));
                expectRow("vwap (reference) " + tag, present(ref::vwapSeries(bars)), present(vwap));
            }
        }
    }
}

} // namespace
