#include "terminal/CandleRows.h"
#include "terminal/IsoDateTime.h"
#include "terminal/LiveCandles.h"
#include "terminal/Tape.h"

#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string_view>

using namespace zqt;

namespace {

QDateTime atMs(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
}

double signedSum(const QList<TapePrint>& rows) {
    double sum = 0.0;
    for (const auto& p : rows)
        sum += p.side == Side::Buy ? p.size : -p.size;
    return sum;
}

TapePrint print(const char* side, double size) {
    return TapePrint{{}, {}, 1.0, size, std::string_view(side) == "BUY" ? Side::Buy : Side::Sell};
}

} // namespace

TEST(LiveCandles, candleBucket_truncatesTowardZero) {
    EXPECT_EQ(candleBucket(1000.999, 15), 66);
    EXPECT_EQ(candleBucket(990.0, 15), 66);
    EXPECT_EQ(candleBucket(989.999, 15), 65);
    EXPECT_EQ(candleBucket(-20.0, 15), -1); // toward zero, not down
    EXPECT_EQ(candleBucket(1.0, 0.0), std::nullopt);
    EXPECT_EQ(candleBucket(NAN, 15), std::nullopt);
    EXPECT_EQ(candleBucket(1e300, 1), std::nullopt);
}

TEST(LiveCandles, firstPrice_opensOneTickBar) {
    QList<Candle> bars;
    updateCandles(bars, 15, 1.5, atMs(1'000'999));
    ASSERT_EQ(bars.size(), 1);
    EXPECT_EQ(bars[0], (Candle{66, 1.5, 1.5, 1.5, 1.5, 1.0}));
}

TEST(LiveCandles, pricesInSameBucket_extendLastBar) {
    QList<Candle> bars;
    updateCandles(bars, 15, 1.5, atMs(990'000));
    updateCandles(bars, 15, 1.7, atMs(995'000));
    updateCandles(bars, 15, 1.2, atMs(1'004'999));
    updateCandles(bars, 15, 1.4, atMs(1'004'999));
    ASSERT_EQ(bars.size(), 1);
    EXPECT_EQ(bars[0], (Candle{66, 1.5, 1.7, 1.2, 1.4, 4.0}));
}

TEST(LiveCandles, barFromReply_continuesCountingItsVolume) {
    QList<Candle> bars{Candle{66, 1.0, 2.0, 0.5, 1.5, 120.0}};
    updateCandles(bars, 15, 2.5, atMs(991'000));
    ASSERT_EQ(bars.size(), 1);
    EXPECT_EQ(bars[0], (Candle{66, 1.0, 2.5, 0.5, 2.5, 121.0}));
}

TEST(LiveCandles, priceForOlderBucket_opensNewBarAtEnd) {
    QList<Candle> bars{Candle{10, 1, 1, 1, 1, 1}, Candle{12, 1, 1, 1, 1, 1}};
    updateCandles(bars, 1, 3.0, atMs(10'500)); // bucket 10 matches an older bar only
    ASSERT_EQ(bars.size(), 3);
    EXPECT_EQ(bars[2], (Candle{10, 3, 3, 3, 3, 1}));
    EXPECT_EQ(bars[0].volume, 1.0);
}

TEST(LiveCandles, eightyFirstBar_dropsOldest) {
    QList<Candle> bars;
    for (int i = 0; i < 81; ++i)
        updateCandles(bars, 5, 100.0 + i, atMs(qint64{i} * 5000));
    ASSERT_EQ(bars.size(), 80);
    EXPECT_EQ(bars.first().bucket, 1);
    EXPECT_EQ(bars.last().bucket, 80);
    EXPECT_EQ(bars.last().close, 180.0);
}

TEST(LiveCandles, longReplyList_trimmedOnNewBarOnly) {
    QList<Candle> bars;
    for (int i = 0; i < 100; ++i)
        bars.append(Candle{i, 1, 1, 1, 1, 1});
    updateCandles(bars, 1, 2.0, atMs(99'000)); // same bucket as the last bar: no trimming
    EXPECT_EQ(bars.size(), 100);
    updateCandles(bars, 1, 2.0, atMs(100'000));
    ASSERT_EQ(bars.size(), 80);
    EXPECT_EQ(bars.first().bucket, 21);
    EXPECT_EQ(bars.last().bucket, 100);
}

struct IsoCase {
    const char* text;
    std::optional<double> seconds;
};

class IsoDateTimeTable : public ::testing::TestWithParam<IsoCase> {};

TEST_P(IsoDateTimeTable, parsesOnlyExtendedFormWithZone) {
    const auto& c = GetParam();
    EXPECT_EQ(parseIsoDateTime(QString::fromLatin1(c.text)), c.seconds) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsoDateTimeTable,
    ::testing::Values(IsoCase{"2024-03-05T14:30:00Z", 1709649000.0}, IsoCase{"2024-03-05T14:30:00+02:00", 1709641800.0},
                      IsoCase{"2024-03-05T14:30:00-05:30", 1709668800.0}, IsoCase{"1970-01-01T00:00:00Z", 0.0},
                      IsoCase{"1969-12-31T23:59:45Z", -15.0}, IsoCase{"2024-02-29T00:00:00Z", 1709164800.0},
                      IsoCase{"2024-03-05T14:30:00.5Z", std::nullopt}, IsoCase{"2024-03-05T14:30:00", std::nullopt},
                      IsoCase{"2024-03-05 14:30:00Z", std::nullopt}, IsoCase{"2024-03-05t14:30:00z", std::nullopt},
                      IsoCase{"20240305T143000Z", std::nullopt}, IsoCase{"2024-03-05T14:30:00+0200", std::nullopt},
                      IsoCase{"2024-03-05T14:30Z", std::nullopt}, IsoCase{"2023-02-29T00:00:00Z", std::nullopt},
                      IsoCase{"2024-13-01T00:00:00Z", std::nullopt}, IsoCase{"2024-03-05T24:00:00Z", std::nullopt},
                      IsoCase{"2024-03-05T14:30:00+24:00", std::nullopt}, IsoCase{"", std::nullopt},
                      IsoCase{"2024-03-05T14:3a:00Z", std::nullopt}, IsoCase{"x2024-03-05T14:30:00Z", std::nullopt}));

TEST(CandleRows, rowsBecomeBarsInReplyOrder_unparsableTimesTakeRowPosition) {
    const QList<CandleRow> rows{
        {QStringLiteral("2024-03-05T14:30:00Z"), 1, 2, 0.5, 1.5, 10.0},
        {QStringLiteral("2024-03-05T14:30:00.250Z"), 1.5, 1.6, 1.4, 1.45, std::nullopt}, // fractional: position
        {QStringLiteral("2024-03-05T16:45:10+02:00"), 1.45, 1.5, 1.4, 1.5, 3.0},
        {QStringLiteral("yesterday"), 1, 1, 1, 1, 0.0},
        {QStringLiteral("2024-03-05T14:29:59Z"), 1, 1, 1, 1, 0.0}, // older than the first: kept, not sorted
    };
    const auto bars = candlesFromRows(rows, 300);
    ASSERT_EQ(bars.size(), 5);
    EXPECT_EQ(bars[0], (Candle{1709649000 / 300, 1, 2, 0.5, 1.5, 10}));
    EXPECT_EQ(bars[1], (Candle{1, 1.5, 1.6, 1.4, 1.45, 0}));
    EXPECT_EQ(bars[2].bucket, (1709649000 + 15 * 60 + 10) / 300);
    EXPECT_EQ(bars[3].bucket, 3);
    EXPECT_EQ(bars[4].bucket, 1709648999 / 300);
    EXPECT_TRUE(candlesFromRows({}, 15).isEmpty());
}

TEST(Tape, sizeDraw_mapsOntoClosedRange) {
    EXPECT_EQ(tapeSizeFromDraw(0), 0.5);
    EXPECT_EQ(tapeSizeFromDraw(kTapeSizeDrawMax / 2), 1.5);
    EXPECT_EQ(tapeSizeFromDraw(kTapeSizeDrawMax), 2.5);
    for (int i = 0; i < 1000; ++i) {
        const double s = tapeSizeFromDraw(systemTapeSizeDraw());
        ASSERT_GE(s, 0.5);
        ASSERT_LE(s, 2.5);
    }
}

class TapeInZone : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // A fixed zone three hours east of UTC with no daylight saving, independent of the machine's tzdata.
        saved = qgetenv("TZ");
        qputenv("TZ", "XYZ-3");
        tzset();
    }
    static void TearDownTestSuite() {
        if (saved.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", saved);
        tzset();
    }
    static inline QByteArray saved;
};

TEST_F(TapeInZone, timeText_isLocalWallClock) {
    EXPECT_EQ(tapeTimeText(atMs(1709649000'000)), QStringLiteral("17:30:00"));
    EXPECT_EQ(tapeTimeText(atMs(1709649000'000 + 7 * 3600'000 + 5'999)), QStringLiteral("00:30:05"));
}

TEST_F(TapeInZone, prints_followTickDirection) {
    QList<TapePrint> rows;
    double delta = 0.0;
    std::optional<double> last;
    const auto now = atMs(1709649000'000);
    updateTape(rows, delta, last, 1.10, now, 0);                     // first: BUY 0.5
    updateTape(rows, delta, last, 1.10, now, kTapeSizeDrawMax / 2);  // unchanged: BUY 1.5
    updateTape(rows, delta, last, 1.09, now, kTapeSizeDrawMax);      // down: SELL 2.5
    updateTape(rows, delta, last, 1.095, now, kTapeSizeDrawMax / 4); // up: BUY 1.0
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0].side, Side::Buy);
    EXPECT_EQ(rows[0].price, 1.095);
    EXPECT_EQ(rows[0].size, 1.0);
    EXPECT_EQ(rows[1].side, Side::Sell);
    EXPECT_EQ(rows[1].size, 2.5);
    EXPECT_EQ(rows[2].side, Side::Buy);
    EXPECT_EQ(rows[3].side, Side::Buy);
    EXPECT_EQ(rows[3].size, 0.5);
    EXPECT_EQ(rows[3].time, QStringLiteral("17:30:00"));
    EXPECT_EQ(delta, 0.5 + 1.5 - 2.5 + 1.0);
    EXPECT_EQ(last, 1.095);
    EXPECT_NE(rows[0].id, rows[1].id);
    EXPECT_FALSE(rows[0].id.isNull());
}

TEST_F(TapeInZone, twentyFifthPrint_dropsOldestAndKeepsDeltaEqualToShownPrints) {
    QList<TapePrint> rows;
    double delta = 0.0;
    std::optional<double> last;
    std::uint64_t draw = 12345;
    for (int i = 0; i < 60; ++i) {
        const double price = 100.0 + ((i * 7) % 5) * 0.25; // ups, downs and repeats
        draw = (draw * 6364136223846793005ULL + 1442695040888963407ULL) % (kTapeSizeDrawMax + 1);
        updateTape(rows, delta, last, price, atMs(qint64{i} * 1000), draw);
        ASSERT_LE(rows.size(), 24);
        ASSERT_NEAR(delta, signedSum(rows), 1e-9) << "after print " << i;
        ASSERT_EQ(rows.first().price, price);
        ASSERT_EQ(last, price);
    }
    EXPECT_EQ(rows.size(), 24);
    EXPECT_EQ(rows.last().time, tapeTimeText(atMs(36 * 1000))); // the 37th print is the oldest shown
}

TEST(Tape, aggressorLabel_needsMoreThanEightPercent) {
    struct Case {
        double buy, sell;
        const char* label;
    };
    const Case cases[] = {{10.5, 10, "Neutral"}, {11, 10, "Buyer-led"}, {10, 11, "Seller-led"}, {0, 0, "Neutral"},
                          {1, 0, "Buyer-led"},   {0, 1, "Seller-led"},  {10, 10, "Neutral"},    {10, 10.5, "Neutral"}};
    for (const auto& c : cases) {
        QList<TapePrint> rows;
        if (c.buy > 0) {
            rows.append(print("BUY", c.buy / 2));
            rows.append(print("BUY", c.buy / 2));
        }
        if (c.sell > 0)
            rows.append(print("SELL", c.sell));
        EXPECT_EQ(aggressorLabel(rows), QString::fromLatin1(c.label)) << c.buy << " vs " << c.sell;
    }
    EXPECT_EQ(aggressorLabel({}), QStringLiteral("Neutral"));
}
