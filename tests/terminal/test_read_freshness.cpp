#include "TerminalTestServer.h"

#include "terminal/AccountTables.h"
#include "terminal/CellFormats.h"
#include "terminal/PanelRows.h"
#include "terminal/PriceMarks.h"
#include "terminal/ReadFreshness.h"

#include <QSignalSpy>

#include <cmath>
#include <limits>

using namespace zqt;
using namespace zqt::test;

namespace {

const std::string kBroken = "<html>502 Bad Gateway</html>";

class Freshness : public TerminalFixture {
protected:
    void failDepth() {
        server.setHandler("GET", "/api/market/depth", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content(kBroken, "text/html");
        });
    }
};

// The staleness of every area a read feeds, in one line: "metrics orders prices depth" for the stale ones.
std::string staleAreas(const NativeTerminalModel& m) {
    const struct {
        const char* name;
        ReadFreshness f;
    } areas[] = {{"metrics", m.account().freshness(AccountRead::Metrics)},
                 {"portfolio", m.account().freshness(AccountRead::Portfolio)},
                 {"positions", m.account().freshness(AccountRead::Positions)},
                 {"orders", m.account().freshness(AccountRead::Orders)},
                 {"fills", m.account().freshness(AccountRead::Fills)},
                 {"rm1", m.account().freshness(AccountRead::Rm1)},
                 {"pnl", m.account().freshness(AccountRead::Pnl)},
                 {"quality", m.account().freshness(AccountRead::ExecQuality)},
                 {"prices", m.market().pricesFreshness()},
                 {"depth", m.market().depthFreshness()},
                 {"candles", m.market().candlesFreshness()}};
    std::string out;
    for (const auto& a : areas)
        if (a.f.stale())
            out += (out.empty() ? "" : " ") + std::string(a.name);
    return out;
}

} // namespace

TEST(ReadFreshness, markText_table) {
    const QDateTime at(QDate(2026, 3, 5), QTime(12, 3, 4), Qt::LocalTime);
    ReadFreshness never;
    never.failed();
    ReadFreshness good;
    good.succeeded(at);
    ReadFreshness stale = good;
    stale.failed();
    ReadFreshness recovered = stale;
    recovered.succeeded(at.addSecs(5));
    ReadFreshness utc;
    utc.succeeded(at.toUTC()); // shown in local time whatever zone it was taken in
    utc.failed();
    const struct {
        const char* what;
        ReadFreshness f;
        bool stale;
        const char* text;
    } cases[] = {
        {"nothing read yet", ReadFreshness(), false, ""},
        {"failing before any good reply: nothing kept to mark", never, false, ""},
        {"last read good", good, false, ""},
        {"a failure after a good reply", stale, true, "as of 12:03:04"},
        {"a good reply after failures", recovered, false, ""},
        {"taken in UTC", utc, true, "as of 12:03:04"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.f.stale(), c.stale) << c.what;
        EXPECT_EQ(staleMarkText(c.f).toStdString(), c.text) << c.what;
    }
    ReadFreshness older = stale;
    ReadFreshness newer;
    newer.succeeded(at.addSecs(60));
    newer.failed();
    EXPECT_EQ(stalerOf(newer, older).lastGood(), at) << "two stale reads: as of the older";
    EXPECT_EQ(stalerOf(good, newer), newer) << "one stale read makes the whole stale";
    EXPECT_FALSE(stalerOf(good, recovered).stale());
}

TEST_F(Freshness, failingReads_keepTheirValues_markOnlyTheirAreasStale_asOfTheLastGoodReply_thenAGoodReplyClears) {
    model->refreshAll();
    ASSERT_TRUE(waitSettled(10));
    EXPECT_EQ(staleAreas(*model), "");
    const QDateTime firstGood = now;
    EXPECT_EQ(model->account().freshness(AccountRead::Metrics).lastGood(), firstGood);

    // The engine answers four of the reads with an error page; the clock moves on.
    for (const char* path :
         {"/api/account/metrics", "/api/oms/orders", "/api/prices", "/api/analytics/pnl_attribution"})
        reply(path, kBroken, 502);
    failDepth();
    now = now.addSecs(5);
    QSignalSpy accountStale(&model->account(), &AccountModel::freshnessChanged);
    QSignalSpy marketStale(&model->market(), &MarketModel::freshnessChanged);
    clearRecords();
    model->refreshAll();
    ASSERT_TRUE(waitSettled(10));

    EXPECT_EQ(staleAreas(*model), "metrics orders pnl prices depth");
    EXPECT_EQ(accountStale.count(), 3);
    EXPECT_EQ(marketStale.count(), 2);
    for (AccountRead read : {AccountRead::Metrics, AccountRead::Orders, AccountRead::Pnl})
        EXPECT_EQ(model->account().freshness(read).lastGood(), firstGood);
    EXPECT_EQ(model->market().pricesFreshness().lastGood(), firstGood);
    EXPECT_EQ(model->account().freshness(AccountRead::Positions).lastGood(), now) << "a good read stays fresh";
    EXPECT_EQ(staleMarkText(model->account().freshness(AccountRead::Metrics)),
              QStringLiteral("as of ") + firstGood.toLocalTime().toString(QStringLiteral("HH:mm:ss")));
    // The values the last good replies brought are all still there.
    ASSERT_TRUE(model->account().metrics().has_value());
    EXPECT_EQ(model->account().metrics()->balance, 10000);
    ASSERT_EQ(model->account().orders().size(), 1);
    EXPECT_EQ(model->account().pnlRows().size(), 1);
    EXPECT_EQ(model->market().prices().value(QStringLiteral("EURUSD")), 1.085);
    EXPECT_EQ(model->market().depthLevels().size(), 1);

    // A second failing round changes nothing and signals nothing.
    clearRecords();
    model->refreshAll();
    ASSERT_TRUE(waitSettled(10));
    EXPECT_EQ(accountStale.count(), 3);
    EXPECT_EQ(marketStale.count(), 2);

    // The engine answers every read again: the marks go, the new values arrive.
    reply("/api/account/metrics", R"({"account_id":7,"balance":9000,"equity":9000,"highest_equity":10100,"stage":2,
          "rm1_access":true,"status":"ACTIVE","execution_mode":"paper","broker":"sim","profit_pct":-10,
          "profit_target":10,"max_loss_floor":9000,"daily_loss_limit":500,"daily_loss_used":500,"daily_loss_buffer":0})");
    reply("/api/oms/orders", R"({"orders":[]})");
    reply("/api/prices", R"({"prices":{"EURUSD":1.09}})");
    reply("/api/analytics/pnl_attribution", R"({"symbols":[],"exposure":[]})");
    server.setHandler("GET", "/api/market/depth", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"symbol":"EURUSD","price":1.09,"levels":[]})", "application/json");
    });
    now = now.addSecs(5);
    clearRecords();
    model->refreshAll();
    ASSERT_TRUE(waitSettled(10));
    EXPECT_EQ(staleAreas(*model), "");
    EXPECT_EQ(accountStale.count(), 6);
    EXPECT_EQ(marketStale.count(), 4);
    EXPECT_EQ(model->account().freshness(AccountRead::Metrics).lastGood(), now);
    EXPECT_EQ(model->account().metrics()->balance, 9000);
    EXPECT_TRUE(model->account().orders().isEmpty());
    EXPECT_TRUE(model->market().depthLevels().isEmpty());
}

TEST_F(Freshness, failingCandles_markThemStale_aNewSymbolStartsFresh) {
    model->refreshCandles();
    model->refreshAll();
    ASSERT_TRUE(waitSettled(11));
    overrideCandles({500, kBroken});
    failDepth();
    clearRecords();
    model->refreshCandles();
    model->refreshAll();
    ASSERT_TRUE(waitSettled(11));
    EXPECT_EQ(staleAreas(*model), "depth candles");
    EXPECT_EQ(model->market().candles().size(), 2) << "the bars stay";

    // Another symbol's book and bars are not the stale ones: nothing of them is shown yet.
    model->market().setSelectedSymbol(QStringLiteral("AAPL"));
    EXPECT_EQ(staleAreas(*model), "");
    ASSERT_TRUE(waitSettled(1));
}

TEST_F(Freshness, engineGone_theLinkFindsItUnreachableAndPricesStale_backOnItsPort_reachableAndFresh) {
    EXPECT_EQ(model->link().reach(), TerminalLink::Reach::Unknown);
    model->refreshMarket();
    ASSERT_TRUE(waitSettled(1));
    EXPECT_EQ(model->link().reach(), TerminalLink::Reach::Reachable);

    // An error page is still an answer.
    reply("/api/prices", kBroken, 502);
    clearRecords();
    model->refreshMarket();
    ASSERT_TRUE(waitSettled(1));
    EXPECT_EQ(model->link().reach(), TerminalLink::Reach::Reachable);
    EXPECT_TRUE(model->market().pricesFreshness().stale());

    const int port = server.port();
    server.stop();
    QSignalSpy reach(&model->link(), &TerminalLink::reachChanged);
    handled.clear();
    model->refreshMarket();
    ASSERT_TRUE(waitHandled(1));
    EXPECT_EQ(model->link().reach(), TerminalLink::Reach::Unreachable);
    EXPECT_EQ(reach.count(), 1);
    EXPECT_EQ(model->market().prices().value(QStringLiteral("EURUSD")), 1.085);

    RecordingServer back(port);
    ASSERT_EQ(back.port(), port);
    back.setReply("GET", "/api/prices", {200, R"({"prices":{"EURUSD":1.09}})"});
    waitForListener(back);
    handled.clear();
    model->refreshMarket();
    ASSERT_TRUE(waitHandled(1));
    EXPECT_EQ(model->link().reach(), TerminalLink::Reach::Reachable);
    EXPECT_FALSE(model->market().pricesFreshness().stale());
    EXPECT_EQ(model->market().prices().value(QStringLiteral("EURUSD")), 1.09);
    model.reset();
    back.stop();
}

TEST(MoneyFormat, groupedTwoDecimals_andTonesBySign_table) {
    const struct {
        double value;
        const char* text;
        CellTone pnl;
        CellTone debit;
    } cases[] = {
        {1234567.891, "1,234,567.89", CellTone::Positive, CellTone::Default},
        {-1234.5, "-1,234.50", CellTone::Negative, CellTone::Negative},
        {999.994, "999.99", CellTone::Positive, CellTone::Default},
        {-0.004, "-0.00", CellTone::Negative, CellTone::Negative},
        {0, "0.00", CellTone::Default, CellTone::Default},
        {12.5, "12.50", CellTone::Positive, CellTone::Default},
    };
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // the grouping does not follow the locale
    for (const auto& c : cases) {
        EXPECT_EQ(fmtMoney(c.value).toStdString(), c.text) << c.value;
        EXPECT_EQ(pnlTone(c.value), c.pnl) << c.value;
        EXPECT_EQ(debitTone(c.value), c.debit) << c.value;
    }
    QLocale::setDefault(QLocale::c());
}

TEST(MoneyFormat, profitAndLossColumns_groupedAndToned_sizesAndPricesNot) {
    const PositionRow position{{QStringLiteral("7")}, "EURUSD", "BUY", 125000, 1.08, 1.0812, -1520.4};
    const auto columns = positionColumns();
    const struct {
        int column;
        const char* text;
        CellTone tone;
    } cells[] = {
        {3, "125000.00", CellTone::Default}, {4, "1.0800", CellTone::Default}, {6, "-1,520.40", CellTone::Negative}};
    for (const auto& c : cells) {
        EXPECT_EQ(columns[c.column].text(position).toStdString(), c.text);
        const CellTone tone = columns[c.column].tone ? columns[c.column].tone(position) : CellTone::Default;
        EXPECT_EQ(tone, c.tone) << c.text;
    }
    const PnlSymbolRow pnl{"EURUSD", 2500.5, -40, 2460.5, 3, 50};
    const auto pc = pnlColumns();
    EXPECT_EQ(pc[3].text(pnl), "2,500.50");
    EXPECT_EQ(pc[3].tone(pnl), CellTone::Positive);
    EXPECT_EQ(pc[4].tone(pnl), CellTone::Negative);
    const FillRow fill{9, "AAPL", "SELL", -3.5, "CLOSED"};
    EXPECT_EQ(fillColumns()[3].tone(fill), CellTone::Negative);
}

TEST(MoneyFormat, lossBufferSpent_atOrBelowZero) {
    MetricsResponse m;
    for (const auto& [buffer, spent] : {std::pair{480.0, false}, {0.01, false}, {0.0, true}, {-25.0, true}}) {
        m.daily_loss_buffer = buffer;
        EXPECT_EQ(isLossBufferSpent(m), spent) << buffer;
    }
}

TEST(PriceMarks, workingOrdersAndPositionsOfTheSymbolOnly_labelled) {
    const auto order = [](std::int64_t id, const char* symbol, const char* side, const char* type, double qty,
                          const char* status, std::optional<double> limit, std::optional<double> stop) {
        return OrderRow{id, symbol, side, type, qty, status, limit, stop};
    };
    const QList<OrderRow> orders{
        order(1, "EURUSD", "BUY", "LIMIT", 1, "WORKING", 1.08, std::nullopt),
        order(2, "EURUSD", "SELL", "STOP", 2.5, "WORKING", std::nullopt, 1.075),
        order(3, "AAPL", "BUY", "LIMIT", 1, "WORKING", 190.0, std::nullopt),           // another symbol
        order(4, "EURUSD", "BUY", "LIMIT", 1, "FILLED", 1.07, std::nullopt),           // done
        order(5, "EURUSD", "SELL", "LIMIT", 1, "cancelled", 1.09, std::nullopt),       // done, whatever the case
        order(6, "EURUSD", "BUY", "MARKET", 1, "WORKING", std::nullopt, std::nullopt), // no price to mark
        order(7, "EURUSD", "BUY", "LIMIT", 1, "NEW", std::numeric_limits<double>::quiet_NaN(),
              std::nullopt), // not a price
    };
    const QList<PositionRow> positions{{{QStringLiteral("p1")}, "EURUSD", "BUY", 2, 1.0831, std::nullopt, std::nullopt},
                                       {{QStringLiteral("p2")}, "EURUSD", "SELL", 1000, 1.0902, 1.09, 2.0},
                                       {{QStringLiteral("p3")}, "XAUUSD", "BUY", 1, 2350, std::nullopt, std::nullopt}};
    const QList<PriceMark> want{{1.08, PriceMarkKind::BuyOrder, "BUY LMT 1 @ 1.0800", "BUY LMT 1"},
                                {1.075, PriceMarkKind::SellOrder, "SELL STP 2.50 @ 1.0750", "SELL STP 2.50"},
                                {1.0831, PriceMarkKind::Long, "LONG 2 @ 1.0831", "LONG 2"},
                                {1.0902, PriceMarkKind::Short, "SHORT 1000 @ 1.0902", "SHORT 1000"}};
    const QList<PriceMark> got = priceMarks(QStringLiteral("EURUSD"), orders, positions);
    ASSERT_EQ(got.size(), want.size());
    for (qsizetype i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].label, want[i].label);
        EXPECT_EQ(got[i], want[i]) << got[i].label.toStdString();
    }
    EXPECT_TRUE(priceMarks(QStringLiteral("BTCUSD"), orders, positions).isEmpty());
}

TEST(PriceMarks, ladderRows_eachMarkOnTheRowWithinHalfATick_table) {
    QList<DepthLevel> book;
    for (double p : {1.0853, 1.0852, 1.0851, 1.0850, 1.0849})
        book.append(DepthLevel{p, 1.0, 1.0, false});
    QList<LadderRow> rows = ladderRows(book, std::nullopt);
    const QList<PriceMark> marks{{1.0852, PriceMarkKind::BuyOrder, "", "BUY LMT 1"},
                                 {1.08504, PriceMarkKind::Long, "", "LONG 2"}, // nearest row, within half a tick
                                 {1.08496, PriceMarkKind::SellOrder, "", "SELL STP 1"}, // the same row
                                 {1.0851, PriceMarkKind::Short, "", "SHORT 3"},
                                 {1.0860, PriceMarkKind::BuyOrder, "", "BUY LMT 9"}}; // off the book
    markLadderRows(rows, marks, 0.0001);
    const struct {
        const char* text;
        CellTone tone;
    } want[] = {{"", CellTone::Default},
                {"BUY LMT 1", CellTone::Positive},
                {"SHORT 3", CellTone::Negative},
                {"LONG 2, SELL STP 1", CellTone::Default},
                {"", CellTone::Default}};
    for (qsizetype i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].markText.toStdString(), want[i].text) << i;
        EXPECT_EQ(rows[i].markTone, want[i].tone) << i;
    }
    EXPECT_EQ(ladderColumns().last().text(rows[1]), "BUY LMT 1");
}
