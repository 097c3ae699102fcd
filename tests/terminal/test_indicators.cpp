#include "terminal/Indicators.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

using zqt::Candle;
using zqt::OptionalSeries;

namespace {

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
// Every indicator over a sweep of pseudo-random bars, lengths and periods, compared with digests of the results
// recorded when each was checked bit for bit against a plain one-window-at-a-time evaluation. A digest covers
// every entry's bits (absent entries and NaN each as one marker), so a change in the last bit of any entry, in
// a list's length or in which entries are absent shows here; the hand tables above say where.

// FNV-1a over 64-bit words.
struct Digest {
    std::uint64_t value = 14695981039346656037ull;
    void add(std::uint64_t word) {
        for (int b = 0; b < 8; ++b) {
            value ^= (word >> (8 * b)) & 0xff;
            value *= 1099511628211ull;
        }
    }
    void add(const Row& row) {
        add(row.size());
        for (const std::optional<double>& v : row) {
            if (!v)
                add(0x0123456789abcdefull);
            else if (std::isnan(*v))
                add(0x7ff8000000000000ull);
            else
                add(std::bit_cast<std::uint64_t>(*v));
        }
    }
};

// Bars from a fixed-width generator (splitmix64), so the inputs are the same with any standard library: a random
// walk with wicks and volumes from 0 to 5 (some below 1, which weigh 1).
std::vector<Candle> sweepBars(std::size_t n, std::uint64_t seed) {
    std::uint64_t state = seed;
    const auto unit = [&state] {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        z ^= z >> 31;
        return static_cast<double>(z >> 11) * 0x1.0p-53; // [0, 1)
    };
    std::vector<Candle> bars;
    double price = 100.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double open = price;
        price += unit() * 1.5 - 0.75;
        const double high = std::max(open, price) + unit() * 0.5;
        const double low = std::min(open, price) - unit() * 0.5;
        bars.push_back(Candle{static_cast<std::int64_t>(i), open, high, low, price, unit() * 5.0});
    }
    return bars;
}

// The inputs: lengths around the chart's 80 bars, around the periods and well past them, then a NaN close and
// a NaN volume travelling through the windows, and a flat series with a negative zero.
std::vector<std::vector<Candle>> sweepInputs() {
    std::vector<std::vector<Candle>> inputs;
    std::uint64_t seed = 7;
    for (std::size_t n : {0u,  1u,  2u,  3u,  7u,  8u,  9u,  13u, 14u,  15u,  16u,  19u,  20u,  21u,   25u,
                          26u, 27u, 49u, 50u, 51u, 79u, 80u, 81u, 199u, 200u, 201u, 257u, 513u, 1031u, 2100u})
        inputs.push_back(sweepBars(n, seed++));
    std::vector<Candle> withNan = sweepBars(80, 77);
    withNan[30].close = std::nan("");
    withNan[45].volume = std::nan("");
    inputs.push_back(withNan);
    std::vector<Candle> flat = fromCloses(std::vector<double>(40, 7.25));
    flat[10].close = -0.0;
    inputs.push_back(flat);
    return inputs;
}

std::map<std::string, Digest> sweepDigests() {
    std::map<std::string, Digest> d;
    const std::vector<std::int64_t> periods{-1, 0, 1, 2, 3, 7, 8, 9, 14, 20, 26, 50, 200};
    for (const std::vector<Candle>& bars : sweepInputs()) {
        std::vector<double> closes;
        for (const Candle& b : bars)
            closes.push_back(b.close);
        d["vwap"].add(present(zqt::vwapSeries(bars)));
        d["vwapValue"].add(single(zqt::vwapValue(bars)));
        for (std::int64_t p : periods) {
            d["calcEma"].add(present(zqt::calcEma(closes, p)));
            d["emaSeries"].add(present(zqt::emaSeries(p, bars)));
            d["emaValue"].add(single(zqt::emaValue(p, bars)));
            d["sma"].add(zqt::smaSeries(p, bars));
            const zqt::BandSeries bb = zqt::bollingerSeries(p, 2.0, bars);
            d["bollinger upper"].add(bb.upper);
            d["bollinger lower"].add(bb.lower);
            const zqt::BandSeries vb = zqt::vwapBandSeries(1.35, p, bars);
            d["vwap band upper"].add(vb.upper);
            d["vwap band lower"].add(vb.lower);
            d["rsi"].add(present(zqt::rsiSeries(p, bars)));
            d["atr"].add(single(zqt::atrValue(p, bars)));
            const zqt::MacdSeries m = zqt::macdSeries(p, p * 2 + 1, p / 2 + 1, bars);
            d["macd"].add(present(m.macd));
            d["macd signal"].add(present(m.signal));
            d["macd hist"].add(present(m.hist));
        }
        // The chart's own parameters.
        const zqt::MacdSeries m = zqt::macdSeries(12, 26, 9, bars);
        d["chart macd(12, 26, 9)"].add(present(m.macd));
        d["chart macd(12, 26, 9)"].add(present(m.signal));
        d["chart macd(12, 26, 9)"].add(present(m.hist));
        d["chart vwap bands(1.25, 20)"].add(zqt::vwapBandSeries(1.25, 20, bars).upper);
        d["chart vwap bands(1.25, 20)"].add(zqt::vwapBandSeries(1.25, 20, bars).lower);
    }
    // Windows wider than most inputs and close to the longest.
    const std::vector<Candle> wide = sweepBars(2100, 99);
    for (std::int64_t p : {300, 1500, 2100, 2101}) {
        const zqt::BandSeries bb = zqt::bollingerSeries(p, 2.0, wide);
        d["wide bollinger"].add(bb.upper);
        d["wide bollinger"].add(bb.lower);
        const zqt::BandSeries vb = zqt::vwapBandSeries(1.35, p, wide);
        d["wide vwap bands"].add(vb.upper);
        d["wide vwap bands"].add(vb.lower);
    }
    return d;
}

TEST(IndicatorsTest, sweep_matchesRecordedDigestsBitForBit) {
    const std::map<std::string, std::uint64_t> recorded{
        {"atr", 0x378ec06208ce7732ull},
        {"bollinger lower", 0x3da0addb5238c15dull},
        {"bollinger upper", 0x40a1e1208bf124eaull},
        {"calcEma", 0x9e52a1861199bcfdull},
        {"chart macd(12, 26, 9)", 0x56b649edaea774a5ull},
        {"chart vwap bands(1.25, 20)", 0xc5187eab3b5543ccull},
        {"emaSeries", 0x9e52a1861199bcfdull},
        {"emaValue", 0x5e2a9944266cc5c4ull},
        {"macd", 0x9e4d45af524944d7ull},
        {"macd hist", 0x25d5d63cd442284bull},
        {"macd signal", 0xef66264b4ec2e609ull},
        {"rsi", 0x457e003d2998ade0ull},
        {"sma", 0x3413a8d229d6dd16ull},
        {"vwap", 0x90df9ddd3330fc94ull},
        {"vwap band lower", 0x912d099b51e34aa7ull},
        {"vwap band upper", 0x6aa95c4650ab4b83ull},
        {"vwapValue", 0xa4b4b35e4983a7afull},
        {"wide bollinger", 0xe0178e10e5d0518aull},
        {"wide vwap bands", 0x16fabff617d0902full},
    };
    const std::map<std::string, Digest> got = sweepDigests();
    ASSERT_EQ(got.size(), recorded.size());
    for (const auto& [name, digest] : got) {
        char text[40];
        std::snprintf(text, sizeof text, "0x%016llxull", static_cast<unsigned long long>(digest.value));
        EXPECT_EQ(recorded.at(name), digest.value) << name << ": got " << text;
    }
}

} // namespace
