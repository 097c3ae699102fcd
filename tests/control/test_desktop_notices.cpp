#include "control/DesktopNotices.h"
#include "control/Preferences.h"
#include "control/Settings.h"

#include "TestEnv.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using zqt::DesktopNotice;
using zqt::DesktopNotices;
using zqt::FillRow;
using zqt::OrderRow;
using zqt::Setting;
using zqt::test::TempEnv;
using Kind = zqt::DesktopNotice::Kind;

namespace {

class DesktopNoticesTest : public ::testing::Test {
protected:
    QList<DesktopNotice> raised() {
        QList<DesktopNotice> out;
        for (const QList<QVariant>& args : spy)
            out << args[0].value<DesktopNotice>();
        spy.clear();
        return out;
    }

    TempEnv env;
    zqt::Preferences store;
    zqt::Settings settings{store};
    qint64 now = 1000;
    DesktopNotices notices{settings, [this] {
                               return now;
                           }};
    QSignalSpy spy{&notices, &DesktopNotices::raised};
};

OrderRow order(std::int64_t id, const char* status, const char* symbol = "EURUSD") {
    return {id, symbol, "BUY", "MARKET", 1.0, status};
}

FillRow fill(std::int64_t id, const char* status, double pnl, const char* symbol = "EURUSD") {
    return {id, symbol, "SELL", pnl, status};
}

} // namespace

TEST_F(DesktopNoticesTest, runState_offlineOnlyWithoutAStop_onlineOnlyAfterSuchAnOffline) {
    const struct {
        const char* step;
        bool running;
        bool byStop;
        QStringList summaries;
    } steps[] = {
        {"started by the operator", true, false, {}},
        {"stopped by the operator", false, true, {}},
        {"started again", true, false, {}},
        {"gone without a stop", false, false, {"ZQT engine offline"}},
        {"back", true, false, {"ZQT engine back online"}},
        {"stopped by the operator", false, true, {}},
        {"started by the operator", true, false, {}},
    };
    for (const auto& s : steps) {
        notices.runStateChanged(s.running, s.byStop);
        QStringList got;
        for (const DesktopNotice& n : raised())
            got << n.summary;
        EXPECT_EQ(got, s.summaries) << s.step;
    }
}

TEST_F(DesktopNoticesTest, repeatsWithin30s_mergeIntoTheFirstNotice_laterOnesAreNew) {
    notices.runStateChanged(false, false);
    const QList<DesktopNotice> first = raised();
    ASSERT_EQ(first.size(), 1);
    EXPECT_EQ(first[0].kind, Kind::EngineOffline);
    EXPECT_EQ(first[0].count, 1);

    now += 29999;
    notices.runStateChanged(true, false); // back online: another notice, not a repeat
    notices.runStateChanged(false, false);
    const QList<DesktopNotice> again = raised();
    ASSERT_EQ(again.size(), 2);
    EXPECT_EQ(again[1].id, first[0].id) << "merged into the first";
    EXPECT_EQ(again[1].count, 2);
    EXPECT_EQ(again[1].body, first[0].body + " (2 times in 30 s)");

    now += 1; // 30 s after the first
    notices.runStateChanged(true, false);
    notices.runStateChanged(false, false);
    const QList<DesktopNotice> later = raised();
    ASSERT_EQ(later.size(), 2);
    EXPECT_NE(later[1].id, first[0].id);
    EXPECT_EQ(later[1].count, 1);
}

TEST_F(DesktopNoticesTest, scriptOutput_anErrorLineIsNoticedWithTheLine) {
    const struct {
        const char* output;
        const char* line;
    } cases[] = {
        {"engine started on 8000\n", ""},
        {"starting\nERROR: port 8000 in use\nbye\n", "ERROR: port 8000 in use"},
        {"level=fatal msg=\"db locked\"", "level=fatal msg=\"db locked\""},
        {"WARNING: slow disk\n", ""},
        {"0 errors\nNO_ERROR\n", ""},
        {"Failed to run: No such file", "Failed to run: No such file"},
        {"ZQT_HOME not found: /nowhere", "ZQT_HOME not found: /nowhere"},
        {"  CRITICAL\tbroker down\r\n", "CRITICAL broker down"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DesktopNotices::errorLine(c.output), c.line) << c.output;

    const QString longLine = "ERROR " + QString(500, 'x');
    EXPECT_EQ(DesktopNotices::errorLine(longLine).size(), DesktopNotices::kMaxQuotedLength);

    notices.scriptFinished(true, "ok\nERROR: port 8000 in use\n");
    notices.scriptFinished(false, "stopped\n");
    notices.scriptFinished(false, "ERROR: pid file unreadable\n");
    const QList<DesktopNotice> got = raised();
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0].summary, "Engine start script reported an error");
    EXPECT_EQ(got[0].body, "ERROR: port 8000 in use");
    EXPECT_EQ(got[1].summary, "Engine stop script reported an error");
}

TEST_F(DesktopNoticesTest, orders_onlyRejectionsNewerThanTheFirstListAreNoticed) {
    notices.ordersRead({order(5, "REJECTED"), order(4, "FILLED")});
    EXPECT_TRUE(raised().isEmpty()) << "what was there before is known";
    notices.ordersRead(
        {order(8, "REJECTED", "GBPUSD"), order(7, "FILLED"), order(6, "rejected"), order(5, "REJECTED")});
    const QList<DesktopNotice> got = raised();
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0].kind, Kind::OrderRejected);
    EXPECT_EQ(got[0].summary, "Order rejected");
    EXPECT_EQ(got[0].body, "BUY 1.00 EURUSD MARKET") << "oldest first";
    EXPECT_EQ(got[1].body, "BUY 1.00 GBPUSD MARKET");
    notices.ordersRead({order(8, "REJECTED", "GBPUSD")});
    EXPECT_TRUE(raised().isEmpty()) << "the same list again";

    // Another sign-in: its list is known as it is.
    notices.resetAccount();
    notices.ordersRead({order(20, "REJECTED")});
    EXPECT_TRUE(raised().isEmpty());
}

TEST_F(DesktopNoticesTest, fills_aNewClosingFillIsNoticedWithSymbolAndPnl_closesOfOneSymbolMerge) {
    notices.fillsRead({fill(3, "CLOSED", 5.0), fill(2, "OPEN", 0)});
    EXPECT_TRUE(raised().isEmpty());
    notices.fillsRead({fill(4, "OPEN", 0), fill(3, "CLOSED", 5.0)});
    EXPECT_TRUE(raised().isEmpty()) << "an opening fill closes nothing";
    notices.fillsRead({fill(6, "CLOSED", -1.5, "XAUUSD"), fill(5, "CLOSED", 12.25), fill(4, "OPEN", 0)});
    QList<DesktopNotice> got = raised();
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0].summary, "Position closed: EURUSD");
    EXPECT_EQ(got[0].body, "PnL +12.25");
    EXPECT_EQ(got[1].summary, "Position closed: XAUUSD");
    EXPECT_EQ(got[1].body, "PnL -1.50");

    now += 5000;
    notices.fillsRead({fill(8, "CLOSED", -2.0), fill(7, "CLOSED", 1.0)});
    got = raised();
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[1].count, 3);
    EXPECT_EQ(got[1].body, "3 positions closed, PnL +11.25 in all");
}

TEST_F(DesktopNoticesTest, switchOff_raisesNothingButKeepsUp) {
    notices.ordersRead({});
    notices.fillsRead({});
    settings.set(Setting::DesktopNotifications, false);
    notices.runStateChanged(false, false);
    notices.scriptFinished(true, "ERROR x");
    notices.ordersRead({order(1, "REJECTED")});
    notices.fillsRead({fill(1, "CLOSED", 3)});
    EXPECT_TRUE(raised().isEmpty());

    settings.set(Setting::DesktopNotifications, true);
    notices.ordersRead({order(1, "REJECTED")});
    notices.fillsRead({fill(1, "CLOSED", 3)});
    EXPECT_TRUE(raised().isEmpty()) << "what happened while off is not told later";
    notices.runStateChanged(true, false);
    const QList<DesktopNotice> got = raised();
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0].kind, Kind::EngineOnline) << "the offline nobody asked for is still known";
}

TEST_F(DesktopNoticesTest, outsideText_isOneBoundedPlainLine) {
    notices.fillsRead({});
    notices.fillsRead({fill(1, "CLOSED", 1, "EUR\nUSD<b>\x01")});
    const QList<DesktopNotice> got = raised();
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0].summary, "Position closed: EUR USD<b> ") << "plain text; markup is the notifier's business";
}
