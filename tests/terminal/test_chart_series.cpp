#include "terminal/ChartSeries.h"
#include "terminal/ChartSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <span>

using zqt::Candle;

namespace {

QList<Candle> walk(int n) {
    QList<Candle> bars;
    double price = 100.0;
    for (int i = 0; i < n; ++i) {
        const double open = price;
        price += std::sin(i * 0.7) * 0.6;
        bars.append(Candle{i, open, std::max(open, price) + 0.2, std::min(open, price) - 0.3, price, (i % 5) * 1.5});
    }
    return bars;
}

// Equal lists, entry for entry (absent entries included).
template <typename T> void expectSame(const char* what, int n, const T& expected, const T& got) {
    EXPECT_TRUE(expected == got) << what << " over " << n << " bars";
}

} // namespace

TEST(ChartSeriesTest, mainAndHtfSeries_useTheChartsParameters_oneEntryPerBar) {
    for (int n : {0, 1, 2, 15, 16, 20, 50, 80, 200, 201}) {
        const QList<Candle> bars = walk(n);
        const std::vector<Candle> v(bars.cbegin(), bars.cend());
        const std::span<const Candle> b(v);
        const zqt::ChartSeries main = zqt::mainChartSeries(bars);
        const zqt::ChartSeries htf = zqt::htfChartSeries(bars);
        EXPECT_EQ(main.candles, v);
        for (const zqt::ChartSeries* s : {&main, &htf}) {
            expectSame("ema 14", n, zqt::emaSeries(14, b), s->ema);
            expectSame("vwap", n, zqt::vwapSeries(b), s->vwap);
            expectSame("sma 50", n, zqt::smaSeries(50, b), s->sma50);
            expectSame("sma 200", n, zqt::smaSeries(200, b), s->sma200);
            expectSame("bollinger 20 x 2 upper", n, zqt::bollingerSeries(20, 2.0, b).upper, s->bollinger.upper);
            expectSame("bollinger 20 x 2 lower", n, zqt::bollingerSeries(20, 2.0, b).lower, s->bollinger.lower);
            EXPECT_EQ(s->ema.size(), v.size());
            EXPECT_EQ(s->bollinger.lower.size(), v.size());
        }
        // The bands are 1.35 deviations wide on the main chart, 1.25 on the higher timeframe's.
        expectSame("main vwap bands", n, zqt::vwapBandSeries(1.35, 20, b).upper, main.vwapBands.upper);
        expectSame("main vwap bands", n, zqt::vwapBandSeries(1.35, 20, b).lower, main.vwapBands.lower);
        expectSame("htf vwap bands", n, zqt::vwapBandSeries(1.25, 20, b).upper, htf.vwapBands.upper);
        expectSame("htf vwap bands", n, zqt::vwapBandSeries(1.25, 20, b).lower, htf.vwapBands.lower);
        expectSame("rsi 14", n, zqt::rsiSeries(14, b), main.rsi);
        expectSame("macd 12 26 9", n, zqt::macdSeries(12, 26, 9, b).macd, main.macd.macd);
        expectSame("macd signal", n, zqt::macdSeries(12, 26, 9, b).signal, main.macd.signal);
        expectSame("macd hist", n, zqt::macdSeries(12, 26, 9, b).hist, main.macd.hist);
        // The higher timeframe draws no sub-charts.
        EXPECT_TRUE(htf.rsi.empty());
        EXPECT_TRUE(htf.macd.macd.empty());
    }
}

TEST(ChartSeriesTest, readouts_lastValues_absentWhileWarmingUp) {
    struct Row {
        int bars;
        bool rsi, sma50, sma200, bollinger;
    };
    for (const Row& row :
         {Row{0, false, false, false, false}, Row{1, false, false, false, false}, Row{2, true, false, false, false},
          Row{20, true, false, false, true}, Row{80, true, true, false, true}, Row{200, true, true, true, true}}) {
        const QList<Candle> bars = walk(row.bars);
        const std::vector<Candle> v(bars.cbegin(), bars.cend());
        const zqt::ChartSeries s = zqt::mainChartSeries(bars);
        const zqt::ChartReadouts r = zqt::chartReadouts(s);
        const std::string at = std::to_string(row.bars) + " bars";
        EXPECT_EQ(r.ema, zqt::emaValue(14, v)) << at;
        EXPECT_EQ(r.vwap, zqt::vwapValue(v)) << at;
        EXPECT_EQ(r.atr, zqt::atrValue(14, v)) << at;
        EXPECT_EQ(r.rsi.has_value(), row.rsi) << at;
        EXPECT_EQ(r.sma50.has_value(), row.sma50) << at;
        EXPECT_EQ(r.sma200.has_value(), row.sma200) << at;
        EXPECT_EQ(r.bollingerUpper.has_value(), row.bollinger) << at;
        EXPECT_EQ(r.macd.has_value(), row.bars > 0) << at;
        if (row.bars > 0) {
            EXPECT_EQ(*r.macd, s.macd.macd.back()) << at;
            EXPECT_EQ(r.sma50, s.sma50.back()) << at;
        }
        if (row.bollinger) {
            EXPECT_EQ(*r.bollingerUpper, *s.bollinger.upper.back()) << at;
            EXPECT_EQ(*r.bollingerLower, *s.bollinger.lower.back()) << at;
            EXPECT_EQ(*r.rsi, s.rsi.back()) << at;
        }
    }
}

TEST(ChartSeriesTest, htfChoice_staysAboveTheBarInterval) {
    const QList<double> choices{60, 300, 900};
    struct Row {
        double bars;
        double chosen;
        QList<double> offered;
        std::optional<double> shown;
    };
    for (const Row& row : {
             Row{5, 300, {60, 300, 900}, 300},
             Row{15, 60, {60, 300, 900}, 60},
             Row{60, 60, {300, 900}, 300}, // the same timeframe is not higher: the next one above
             Row{60, 900, {300, 900}, 900},
             Row{300, 60, {900}, 900}, // a lower one moves up
             Row{300, 300, {900}, 900},
             Row{900, 300, {}, std::nullopt}, // nothing above 15m bars
             Row{900, 900, {}, std::nullopt},
         }) {
        EXPECT_EQ(zqt::htfIntervalsAbove(row.bars, choices), row.offered) << row.bars;
        EXPECT_EQ(zqt::htfIntervalFor(row.bars, row.chosen, choices), row.shown) << row.bars << " " << row.chosen;
    }
}

TEST(ChartSettingsTest, aBarIntervalReachingTheHigherTimeframe_movesItUp_bothSetBeforeEitherSignal) {
    zqt::ChartSettings settings;
    settings.setHtfInterval(300);
    QList<std::pair<double, double>> atCandleSignal;
    int htfSignals = 0;
    QObject::connect(&settings, &zqt::ChartSettings::candleIntervalChanged, [&] {
        atCandleSignal.append({settings.candleInterval(), settings.htfInterval()});
    });
    QObject::connect(&settings, &zqt::ChartSettings::htfIntervalChanged, [&] { ++htfSignals; });

    settings.setCandleInterval(300); // 5m bars under "HTF 5m": the HTF moves to 15m
    EXPECT_EQ(settings.htfInterval(), 900.0);
    EXPECT_EQ(htfSignals, 1);
    ASSERT_EQ(atCandleSignal.size(), 1);
    EXPECT_EQ(atCandleSignal[0], std::make_pair(300.0, 900.0)) << "the HTF was set before the bars' signal";

    settings.setCandleInterval(900); // nothing above 15m bars: the HTF stays, and the panel says why it is empty
    EXPECT_EQ(settings.htfInterval(), 900.0);
    settings.setCandleInterval(5);
    EXPECT_EQ(settings.htfInterval(), 900.0) << "a choice still above stays";
    EXPECT_EQ(htfSignals, 1);
}

TEST(ChartSeriesTest, barAt_findsTheHigherTimeframeBarHoldingABar_andBack) {
    // 5-minute bars from t0 (a multiple of 300 s), the one at t0 + 5 min missing.
    const std::int64_t noon = 1'697'400'000 / 300; // t0 / 300
    const std::vector<Candle> htf = {Candle{noon}, Candle{noon + 2}, Candle{noon + 3}};
    struct Row {
        std::int64_t bucket; // of a 15-second bar
        std::optional<std::size_t> htfBar;
    };
    for (const Row& row : {
             Row{noon * 20, 0},                 // t0, the first instant of the first bar
             Row{noon * 20 + 19, 0},            // t0 + 4:45, its last 15 seconds
             Row{noon * 20 + 20, std::nullopt}, // t0 + 5:00: that bar is missing
             Row{noon * 20 + 40, 1}, Row{noon * 20 + 79, 2}, Row{noon * 20 + 80, std::nullopt}, // past the last bar
             Row{noon * 20 - 1, std::nullopt},                                                  // before the first
         })
        EXPECT_EQ(zqt::barAt(htf, 300, row.bucket, 15), row.htfBar) << row.bucket - noon * 20;

    // From an HTF bar to the main bar holding its start.
    std::vector<Candle> main;
    for (std::int64_t i = 0; i < 60; ++i)
        main.push_back(Candle{noon * 20 + 10 + i});           // t0 + 2:30 to t0 + 17:15
    EXPECT_EQ(zqt::barAt(main, 15, noon + 2, 300), 30u);      // t0 + 10:00
    EXPECT_EQ(zqt::barAt(main, 15, noon, 300), std::nullopt); // t0 lies before the first bar
    EXPECT_EQ(zqt::barAt(main, 0, noon, 300), std::nullopt);
}
