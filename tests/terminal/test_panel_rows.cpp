#include "terminal/PanelRows.h"

#include <gtest/gtest.h>

#include <limits>

using namespace zqt;

namespace {

DepthLevel level(double price, std::optional<double> bid, std::optional<double> ask, std::optional<bool> mid = {}) {
    return DepthLevel{price, bid, ask, mid};
}

ProfileBin bin(double price, double buy, double sell) {
    return ProfileBin{price, buy, sell, buy + sell};
}

FlowCluster cluster(double price, std::int64_t count, double buy, double sell) {
    return FlowCluster{price, count, buy, sell, buy + sell};
}

} // namespace

TEST(LadderRows, textsAndTints_theOneRowNearestThePickWithin00001IsPicked) {
    const QList<DepthLevel> book{level(1.0852, std::nullopt, 3.456), level(1.0850, 1.5, 2.0, true),
                                 level(1.0834, 12.0, std::nullopt), level(1.0836, 4.0, 0.0, false)};
    struct Case {
        std::optional<double> selected;
        QList<RowTint> expected;
    };
    using H = RowTint;
    const Case cases[] = {
        {std::nullopt, {H::None, H::Mid, H::None, H::None}},
        {1.0850, {H::None, H::MidPicked, H::None, H::None}}, // the mid keeps its tint and shows the pick too
        {1.08349, {H::None, H::Mid, H::Picked, H::None}},    // 0.00009 away; 0.00011 from the next
        {1.08352, {H::None, H::Mid, H::None, H::Picked}},
        {1.0838, {H::None, H::Mid, H::None, H::None}}, // 0.0002 away from the nearest
    };
    for (const auto& c : cases) {
        const auto rows = ladderRows(book, c.selected);
        ASSERT_EQ(rows.size(), 4);
        for (qsizetype i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i].tint, c.expected[i]) << c.selected.value_or(-1) << " row " << i;
    }
    const auto rows = ladderRows(book, std::nullopt);
    EXPECT_EQ(rows[0], (LadderRow{1.0852, "", "1.0852", "3.46", H::None, {}, CellTone::Default}));
    EXPECT_EQ(rows[1], (LadderRow{1.0850, "1.50", "1.0850", "2.00", H::Mid, {}, CellTone::Default}));
    EXPECT_EQ(rows[2].priceText, "1.0834");
    EXPECT_EQ(rows[2].askText, "");
    EXPECT_EQ(rows[3].askText, "0.00");
    EXPECT_TRUE(ladderRows({}, 1.0).isEmpty());

    // Levels a tick apart lie a hair under 0.0001 from each other in binary: a pick still tints one row only.
    const QList<DepthLevel> ticks{level(1.0836, 1, 1), level(1.0835, 1, 1), level(1.0834, 1, 1)};
    for (double picked : {1.0836, 1.0835, 1.0834}) {
        int pickedRows = 0;
        for (const LadderRow& r : ladderRows(ticks, picked)) {
            pickedRows += r.tint == H::Picked;
            EXPECT_EQ(r.tint == H::Picked, r.price == picked) << picked << " row " << r.price;
        }
        EXPECT_EQ(pickedRows, 1) << picked;
    }

    // A size no book can hold reads as the readouts count it, 0; an absent one stays empty.
    const auto odd = ladderRows({level(1.1, -5.0, std::numeric_limits<double>::quiet_NaN()),
                                 level(1.2, std::numeric_limits<double>::infinity(), std::nullopt)},
                                std::nullopt);
    EXPECT_EQ(odd[0].bidText, "0.00");
    EXPECT_EQ(odd[0].askText, "0.00");
    EXPECT_EQ(odd[1].bidText, "0.00");
    EXPECT_EQ(odd[1].askText, "");
}

TEST(TapeRows, keepTheTapeOrderNewestFirstWithFormattedNumbers) {
    const QList<TapePrint> tape{{QUuid::createUuid(), "14:30:05", 1.08456, 2.345, Side::Sell},
                                {QUuid::createUuid(), "14:30:00", 1.0845, 0.5, Side::Buy}};
    const auto rows = tapeRowsForDisplay(tape);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0], (TapeRow{tape[0].id, "14:30:05", "1.0846", "2.35", Side::Sell}));
    EXPECT_EQ(rows[1], (TapeRow{tape[1].id, "14:30:00", "1.0845", "0.50", Side::Buy}));
}

TEST(HeatStrip, linesAreCentredTenHighSixApart_withTheirInksAndShades) {
    const QList<DepthHeatRow> rows{{1.0, 10, 5, 96, 51}, {2.0, 0, 2, 6, 24}};
    const HeatStrip strip = heatStrip(rows, 200);
    ASSERT_EQ(strip.shapes.size(), 6);
    EXPECT_EQ(strip.height, 10 + 6 + 10);
    // Line 1: 96 + 6 + 2 + 6 + 51 = 161 wide, so it starts at (200 - 161) / 2.
    const double x0 = (200 - 161) / 2.0;
    EXPECT_EQ(strip.shapes[0], (Capsule{QRectF(x0, 2, 96, 6), Ink::Buy, 0.2, 0.85}));
    EXPECT_EQ(strip.shapes[1], (Capsule{QRectF(x0 + 102, 0, 2, 10), Ink::Neutral, 0.4, 0.4}));
    EXPECT_EQ(strip.shapes[2], (Capsule{QRectF(x0 + 110, 2, 51, 6), Ink::Sell, 0.85, 0.2}));
    // Line 2 sits 16 lower, its 6-point minimum bid bar included.
    const double x1 = (200 - (6 + 6 + 2 + 6 + 24)) / 2.0;
    EXPECT_EQ(strip.shapes[3], (Capsule{QRectF(x1, 18, 6, 6), Ink::Buy, 0.2, 0.85}));
    EXPECT_EQ(strip.shapes[5].rect, QRectF(x1 + 20, 18, 24, 6));

    const HeatStrip empty = heatStrip({}, 200);
    EXPECT_TRUE(empty.shapes.isEmpty());
    EXPECT_EQ(empty.height, 0.0);
}

TEST(ProfileRows, twelveHeaviestScaledAgainstTheLargestShown_withFourPointMinimum) {
    QList<ProfileBin> bins;
    bins.append(bin(1.5, 30, 10)); // the largest total, 40
    bins.append(bin(1.4, 0, 20));  // no buying: a 4-point green capsule
    for (int i = 0; i < 10; ++i)
        bins.append(bin(1.3 - i * 0.01, 1, 1));
    bins.append(bin(0.9, 400, 400)); // 13th: not shown, so it does not set the scale
    for (int i = 0; i < 3; ++i)
        bins.append(bin(0.8, 0, 0));
    ASSERT_EQ(bins.size(), kProfileBins);

    const auto rows = profileRows(bins);
    ASSERT_EQ(rows.size(), kProfileRowsShown);
    EXPECT_EQ(rows[0].priceText, "1.5000");
    ASSERT_EQ(rows[0].bars.size(), 2);
    EXPECT_EQ(rows[0].bars[0], (Capsule{QRectF(0, 0, 30.0 / 40 * 120 + 4, 6), Ink::Buy, 0.8, 0.8}));
    EXPECT_EQ(rows[0].bars[1], (Capsule{QRectF(94 + 3, 0, 10.0 / 40 * 120 + 4, 6), Ink::Sell, 0.8, 0.8}));
    EXPECT_EQ(rows[1].bars[0].rect.width(), 4.0);
    EXPECT_EQ(rows[1].bars[1].rect, QRectF(4 + 3, 0, 64, 6));

    // Totals all below 1 are scaled against 1.
    const auto small = profileRows({bin(2.0, 0.5, 0.25)});
    ASSERT_EQ(small.size(), 1);
    EXPECT_EQ(small[0].bars[0].rect.width(), 0.5 * 120 + 4);
    EXPECT_EQ(small[0].bars[1].rect.width(), 0.25 * 120 + 4);
    EXPECT_TRUE(profileRows({}).isEmpty());
}

TEST(ClusterRows, countsSidesAndShareOfTheLargest) {
    const auto rows =
        clusterRows({cluster(1.0845, 12, 10.5, 9.5), cluster(1.0846, 3, 1.25, 3.75), cluster(1.0, 1, 0, 0.5)});
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], (ClusterRow{"1.0845", "12x", "B 10.50", "S 9.50", "1.00"}));
    EXPECT_EQ(rows[1], (ClusterRow{"1.0846", "3x", "B 1.25", "S 3.75", "0.25"}));
    EXPECT_EQ(rows[2].shareText, "0.03"); // 0.5 / 20
    // A tape of tiny prints is measured against 1, not against its own largest cluster.
    EXPECT_EQ(clusterRows({cluster(5.0, 1, 0.5, 0)})[0].shareText, "0.50");
    EXPECT_TRUE(clusterRows({}).isEmpty());
}
