#include "terminal/DepthAnalytics.h"

#include <gtest/gtest.h>

#include <limits>
#include <string_view>

using namespace zqt;

namespace {

TapePrint print(double price, const char* side, double size) {
    return TapePrint{{}, {}, price, size, std::string_view(side) == "BUY" ? Side::Buy : Side::Sell};
}

void expectBin(const ProfileBin& got, ProfileBin want) {
    EXPECT_DOUBLE_EQ(got.price, want.price);
    EXPECT_DOUBLE_EQ(got.buy, want.buy);
    EXPECT_DOUBLE_EQ(got.sell, want.sell);
    EXPECT_DOUBLE_EQ(got.total, want.total);
}

} // namespace

TEST(VolumeProfile, noBarsOrNoBins_giveNoBins) {
    EXPECT_TRUE(volumeProfileBins({}, 16).isEmpty());
    EXPECT_TRUE(volumeProfileBins({Candle{0, 1, 2, 1, 2, 5}}, 0).isEmpty());
}

TEST(VolumeProfile, handTable_binsByTypicalPriceAndSortsByTotal) {
    // Range 10..14 in four bins of 1: entry 0 is 13.5 (top), entry 3 is 10.5.
    const QList<Candle> bars{
        Candle{0, 10, 11, 10, 11, 10},       // typical 10.67 -> 10.5, up: all buy
        Candle{1, 13, 14, 12, 12.5, 20},     // typical 12.83 -> 12.5, down: 42 % buy
        Candle{2, 12, 12.2, 11.9, 12.1, 30}, // typical 12.07 -> 12.5, up
        Candle{3, 13.9, 14, 13.9, 14, -5},   // negative volume counts as 0
        Candle{4, 14, 14, 14, 14, 1},        // typical at the very top clamps into the top bin
    };
    const auto bins = volumeProfileBins(bars, 4);
    ASSERT_EQ(bins.size(), 4);
    expectBin(bins[0], {12.5, 8.4 + 30, 11.6, 50});
    expectBin(bins[1], {10.5, 10, 0, 10});
    expectBin(bins[2], {13.5, 1, 0, 1});
    expectBin(bins[3], {11.5, 0, 0, 0});
}

TEST(VolumeProfile, downBarOfHundred_splitsFortyTwoFiftyEight) {
    const auto bins = volumeProfileBins({Candle{0, 2, 2, 1, 1, 100}}, 4);
    ASSERT_FALSE(bins.isEmpty());
    EXPECT_DOUBLE_EQ(bins[0].buy, 42);
    EXPECT_DOUBLE_EQ(bins[0].sell, 58);
    EXPECT_DOUBLE_EQ(bins[0].total, 100);
}

TEST(VolumeProfile, singleFlatBar_usesMinimumRangeAndLandsInBottomBin) {
    const auto bins = volumeProfileBins({Candle{0, 1.5, 1.5, 1.5, 1.5, 7}}, 16);
    ASSERT_EQ(bins.size(), 16);
    const double step = 0.0001 / 16;
    // The bottom bin (last before sorting) sorts first; the empty ones keep their top-down order.
    expectBin(bins[0], {1.5 - step * 15.5, 7, 0, 7});
    for (int k = 1; k < 16; ++k)
        EXPECT_DOUBLE_EQ(bins[k].price, 1.5 - step * (k - 1) - step * 0.5) << k;
}

TEST(OrderflowClusters, emptyTapeOrZeroLimit_giveNothing) {
    EXPECT_TRUE(orderflowClusters({}, 0.0001, 12).isEmpty());
    EXPECT_TRUE(orderflowClusters({print(1, "BUY", 1)}, 0.0001, 0).isEmpty());
    EXPECT_TRUE(orderflowClusters({print(1, "BUY", 1)}, 0.0001, -1).isEmpty());
}

TEST(OrderflowClusters, printsAtOneTick_formOneCluster) {
    const auto clusters = orderflowClusters(
        {print(1.08001, "BUY", 1.25), print(1.08004, "SELL", 0.5), print(1.07996, "BUY", 2)}, 0.0001, 12);
    ASSERT_EQ(clusters.size(), 1);
    EXPECT_NEAR(clusters[0].price, 1.08, 1e-12);
    EXPECT_EQ(clusters[0].count, 3);
    EXPECT_DOUBLE_EQ(clusters[0].buy, 3.25);
    EXPECT_DOUBLE_EQ(clusters[0].sell, 0.5);
    EXPECT_DOUBLE_EQ(clusters[0].buy + clusters[0].sell, clusters[0].total);
}

TEST(OrderflowClusters, roundsHalvesAwayFromZero) {
    const auto clusters =
        orderflowClusters({print(2.5, "BUY", 1), print(-2.5, "SELL", 2), print(0.4, "BUY", 3)}, 1, 12);
    ASSERT_EQ(clusters.size(), 3);
    EXPECT_EQ(clusters[0].price, 0.0);
    EXPECT_EQ(clusters[1].price, -3.0);
    EXPECT_EQ(clusters[2].price, 3.0);
}

TEST(OrderflowClusters, sortsByTotalAndHonoursLimit) {
    const QList<TapePrint> tape{print(10.1, "BUY", 1), print(10.6, "SELL", 2), print(10.0, "BUY", 0.5),
                                print(10.4, "BUY", 2)};
    const auto all = orderflowClusters(tape, 0.5, 12);
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all[0], (FlowCluster{10.5, 2, 2, 2, 4}));
    EXPECT_EQ(all[1], (FlowCluster{10.0, 2, 1.5, 0, 1.5}));
    const auto top = orderflowClusters(tape, 0.5, 1);
    ASSERT_EQ(top.size(), 1);
    EXPECT_EQ(top[0].price, 10.5);
}

namespace {

DepthLevel level(double price, std::optional<double> bid, std::optional<double> ask) {
    return DepthLevel{price, bid, ask, std::nullopt};
}

} // namespace

TEST(DepthSummary, table_imbalanceAndStrictThresholds) {
    struct Case {
        QList<DepthLevel> book;
        double imbalance;
        BookPressure pressure;
    };
    const Case cases[] = {
        {{}, 0.0, BookPressure::Neutral},
        {{level(1, 30, std::nullopt), level(2, 24, 46)}, 0.08, BookPressure::Neutral}, // exactly +8 %
        {{level(1, 46, 30), level(2, std::nullopt, 24)}, -0.08, BookPressure::Neutral},
        {{level(1, 60, 40)}, 0.2, BookPressure::Bid},
        {{level(1, 40, 60)}, -0.2, BookPressure::Ask},
        {{level(1, 5, std::nullopt), level(2, std::nullopt, std::nullopt)}, 1.0, BookPressure::Bid},
        {{level(1, 0, 0)}, 0.0, BookPressure::Neutral},
    };
    for (const auto& c : cases) {
        const auto s = depthSummary(c.book);
        EXPECT_DOUBLE_EQ(s.imbalance, c.imbalance) << c.book.size();
        EXPECT_EQ(s.pressure, c.pressure) << c.imbalance;
    }
}

TEST(InferredTickSize, table_bookGapOrPriceFallback) {
    struct Case {
        QList<double> bookPrices;
        std::optional<double> price;
        double tick;
    };
    const Case cases[] = {
        {{13, 10, 12}, 1.08, 1.0},               // smallest non-zero gap of the sorted prices
        {{10, 10, 10.5, 12}, std::nullopt, 0.5}, // zero gaps are skipped
        {{1.0801, 1.0802}, 1.08, 0.0001},        // two levels: the price decides
        {{1.0801, 1.0802}, 30, 0.01},
        {{}, 25, 0.001},
        {{}, 25.5, 0.01},
        {{}, 2.5, 0.001},
        {{}, 2, 0.0001},
        {{}, std::nullopt, 0.0001},
        {{1.5, 1.5, 1.5}, 30, 0.01}, // every level at one price: no gap, the price decides
        {{1.5, 1.5, 1.5}, std::nullopt, 0.0001},
    };
    for (const auto& c : cases) {
        QList<DepthLevel> book;
        for (double p : c.bookPrices)
            book.append(level(p, 1, 1));
        EXPECT_DOUBLE_EQ(inferredTickSize(book, c.price), c.tick)
            << c.bookPrices.size() << " levels, price " << c.price.value_or(-1);
    }
}

TEST(InferredTickSize, bookAtOnePrice_stillClustersPrintsAtTheirPrice) {
    const QList<DepthLevel> book{level(30, 1, 2), level(30, 3, 4), level(30, 5, 6)};
    const double tick = inferredTickSize(book, 30.02);
    const auto clusters = orderflowClusters({print(30.021, "BUY", 1), print(29.984, "SELL", 1)}, tick, 12);
    ASSERT_EQ(clusters.size(), 2);
    EXPECT_NEAR(clusters[0].price, 30.02, 1e-9);
    EXPECT_NEAR(clusters[1].price, 29.98, 1e-9);
}

TEST(DepthHeatRows, keepsLevelsWithSizeAndScalesAgainstLargest) {
    EXPECT_TRUE(depthHeatRows({}).isEmpty());
    const auto rows = depthHeatRows(
        {level(1.1, 10, std::nullopt), level(1.2, std::nullopt, std::nullopt), level(1.3, 0, 0), level(1.4, 2.5, 5)});
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0], (DepthHeatRow{1.1, 10, 0, 96, 6}));
    EXPECT_EQ(rows[1], (DepthHeatRow{1.4, 2.5, 5, 2.5 / 10 * 90 + 6, 5.0 / 10 * 90 + 6}));
}

TEST(DepthHeatRows, fractionalSizes_scaleAgainstOne) {
    const auto rows = depthHeatRows({level(1, 0.5, 0.25)});
    ASSERT_EQ(rows.size(), 1);
    EXPECT_DOUBLE_EQ(rows[0].bidWidth, 51);
    EXPECT_DOUBLE_EQ(rows[0].askWidth, 28.5);
}

TEST(Ladder, rowSelectedWithinOneHundredthOfAPip) {
    EXPECT_FALSE(isLadderPriceSelected(std::nullopt, 1.0));
    EXPECT_TRUE(isLadderPriceSelected(1.08345, 1.08345));
    EXPECT_TRUE(isLadderPriceSelected(1.08345, 1.0835));
    EXPECT_FALSE(isLadderPriceSelected(1.08345, 1.0836));
}

TEST(ImpossibleSizes, table_negativeOrNonFiniteSizesCountAsZeroInEveryReadoutBarAndCluster) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        QList<DepthLevel> book;
        double imbalance;
        BookPressure pressure;
        QList<DepthHeatRow> heat;
    };
    const Case cases[] = {
        // Bid 10 against ask -5 read as 300 % before: the ask counts as 0.
        {"negative ask", {level(1.1, 10, -5)}, 1.0, BookPressure::Bid, {{1.1, 10, 0, 96, 6}}},
        {"negative bid", {level(1.1, -10, 5)}, -1.0, BookPressure::Ask, {{1.1, 0, 5, 6, 96}}},
        {"both negative", {level(1.1, -1, -2)}, 0.0, BookPressure::Neutral, {}},
        {"NaN bid",
         {level(1.1, nan, 4), level(1.2, 4, std::nullopt)},
         0.0,
         BookPressure::Neutral,
         {{1.1, 0, 4, 6, 96}, {1.2, 4, 0, 96, 6}}},
        {"infinite ask",
         {level(1.1, 3, inf), level(1.2, 1, 0)},
         1.0,
         BookPressure::Bid,
         {{1.1, 3, 0, 96, 6}, {1.2, 1, 0, 1.0 / 3 * 90 + 6, 6}}},
        {"-infinite bid", {level(1.1, -inf, 2)}, -1.0, BookPressure::Ask, {{1.1, 0, 2, 6, 96}}},
        // Finite sizes whose sum is past the largest double: the side that overflowed outweighs the other.
        {"sum overflows",
         {level(1.1, 1e308, 0), level(1.2, 1e308, 1)},
         1.0,
         BookPressure::Bid,
         {{1.1, 1e308, 0, 96, 6}, {1.2, 1e308, 1, 96, 1 / 1e308 * 90 + 6}}},
        {"both sides overflow",
         {level(1.1, 1e308, 1e308), level(1.2, 1e308, 1e308)},
         0.0,
         BookPressure::Neutral,
         {{1.1, 1e308, 1e308, 96, 96}, {1.2, 1e308, 1e308, 96, 96}}},
    };
    for (const auto& c : cases) {
        const DepthSummary s = depthSummary(c.book);
        EXPECT_DOUBLE_EQ(s.imbalance, c.imbalance) << c.what;
        EXPECT_GE(s.imbalance, -1.0) << c.what;
        EXPECT_LE(s.imbalance, 1.0) << c.what;
        EXPECT_EQ(s.pressure, c.pressure) << c.what;
        const auto heat = depthHeatRows(c.book);
        ASSERT_EQ(heat.size(), c.heat.size()) << c.what;
        for (qsizetype i = 0; i < heat.size(); ++i) {
            EXPECT_EQ(heat[i].price, c.heat[i].price) << c.what;
            EXPECT_DOUBLE_EQ(heat[i].bidSize, c.heat[i].bidSize) << c.what;
            EXPECT_DOUBLE_EQ(heat[i].askSize, c.heat[i].askSize) << c.what;
            EXPECT_DOUBLE_EQ(heat[i].bidWidth, c.heat[i].bidWidth) << c.what;
            EXPECT_DOUBLE_EQ(heat[i].askWidth, c.heat[i].askWidth) << c.what;
            EXPECT_GE(heat[i].bidWidth, 6.0) << c.what;
            EXPECT_GE(heat[i].askWidth, 6.0) << c.what;
        }
    }

    // Clusters and the profile count such a size or volume as 0 too.
    const auto clusters = orderflowClusters(
        {print(1.1, "BUY", 2), print(1.1, "SELL", -5), print(1.1, "BUY", nan), print(1.1, "SELL", inf)}, 0.1, 12);
    ASSERT_EQ(clusters.size(), 1);
    EXPECT_EQ(clusters[0].count, 4);
    EXPECT_DOUBLE_EQ(clusters[0].buy, 2);
    EXPECT_DOUBLE_EQ(clusters[0].sell, 0);
    EXPECT_DOUBLE_EQ(clusters[0].total, 2);
    const auto bins = volumeProfileBins({Candle{0, 1, 2, 1, 2, nan}, Candle{1, 1, 2, 1, 2, inf}}, 1);
    ASSERT_EQ(bins.size(), 1);
    EXPECT_DOUBLE_EQ(bins[0].total, 0);
}
