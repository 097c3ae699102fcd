#include "TerminalTestServer.h"

#include "api/APIClient.h"
#include "terminal/Tape.h"

#include <QSignalSpy>

#include <QThreadPool>

#include <cmath>
#include <limits>

using namespace zqt;
using namespace zqt::test;

namespace {

using TerminalModel = TerminalFixture;

const QString kFeedMessage = QStringLiteral("Market feed unavailable. Log in or start services.");
const QString kCandlesMessage = QStringLiteral("Candles unavailable. Log in or enable public prices.");

// 2024-03-05T14:15:00Z and 14:30:00Z as bars of `interval` seconds.
std::int64_t bucketAt(std::int64_t secs, int interval) {
    return secs / interval;
}
constexpr std::int64_t kRow0 = 1709648100;
constexpr std::int64_t kRow1 = 1709649000;

} // namespace

TEST(TerminalModelState, construct_holdsInitialValuesAndRunsThreeTimers) {
    MemoryTokenStore tokens;
    NativeTerminalModel m(QUrl(QStringLiteral("http://127.0.0.1:9")), tokens);
    const TerminalSession& session = m.session();
    EXPECT_TRUE(session.email().isEmpty());
    EXPECT_TRUE(session.password().isEmpty());
    EXPECT_TRUE(session.loginError().isEmpty());
    const MarketModel& market = m.market();
    EXPECT_TRUE(market.marketError().isEmpty());
    const AccountModel& account = m.account();
    EXPECT_FALSE(account.metrics().has_value());
    EXPECT_TRUE(account.positions().isEmpty() && account.exposure().isEmpty() && account.orders().isEmpty() &&
                account.fills().isEmpty() && account.rm1().isEmpty() && market.prices().isEmpty() &&
                market.candles().isEmpty() && market.htfCandles().isEmpty() && market.depthLevels().isEmpty() &&
                market.tapeRows().isEmpty() && account.pnlRows().isEmpty() && account.exposureRows().isEmpty());
    EXPECT_EQ(account.totalUpl(), 0.0);
    EXPECT_EQ(market.watchlist(), (QStringList{"EURUSD", "AAPL", "BTCUSD", "ES", "XAUUSD"}));
    EXPECT_EQ(market.selectedSymbol(), "EURUSD");
    const ChartSettings& chart = m.chart();
    EXPECT_EQ(chart.candleInterval(), 15.0);
    EXPECT_EQ(chart.htfInterval(), 300.0);
    const bool toggles[] = {chart.showEma(),    chart.showVwap(),   chart.showVwapBands(), chart.showSma50(),
                            chart.showBbands(), chart.showVolume(), chart.showRsi(),       chart.showMacd(),
                            chart.showHtf(),    chart.showGrid()};
    for (bool t : toggles)
        EXPECT_TRUE(t);
    EXPECT_FALSE(chart.showSma200());
    EXPECT_FALSE(market.selectedLadderPrice().has_value());
    EXPECT_EQ(market.tapeDelta(), 0.0);
    EXPECT_FALSE(market.lastTradePrice().has_value());
    EXPECT_FALSE(account.execQuality().has_value());
    const TicketModel& ticket = m.ticket();
    EXPECT_EQ(ticket.orderType(), OrderType::Market);
    EXPECT_EQ(ticket.side(), Side::Buy);
    EXPECT_EQ(ticket.qty(), "1");
    EXPECT_TRUE(ticket.sl().isEmpty() && ticket.tp().isEmpty() && ticket.limitPrice().isEmpty() &&
                ticket.stopPrice().isEmpty());
    EXPECT_TRUE(ticket.orderMessage().isEmpty());

    const struct {
        const QTimer& timer;
        int ms;
    } timers[] = {{m.refreshTimer(), 5000}, {m.candleTimer(), 10000}, {m.htfTimer(), 30000}};
    for (const auto& t : timers) {
        EXPECT_TRUE(t.timer.isActive());
        EXPECT_EQ(t.timer.interval(), t.ms);
        EXPECT_EQ(t.timer.timerType(), Qt::PreciseTimer);
        EXPECT_FALSE(t.timer.isSingleShot());
    }
}

TEST(TerminalModelState, heldTimers_startOnlyWhenAsked) {
    MemoryTokenStore tokens;
    NativeTerminalModel m(QUrl(QStringLiteral("http://127.0.0.1:9")), tokens, TerminalSources::system(),
                          NativeTerminalModel::TimerStart::Later);
    EXPECT_FALSE(m.refreshTimer().isActive());
    m.start();
    EXPECT_TRUE(m.refreshTimer().isActive() && m.candleTimer().isActive() && m.htfTimer().isActive());
}

TEST_F(TerminalModel, shown_withoutToken_sendsEveryReadWithoutAuthorization) {
    model->onShown();
    // The prices are asked for by refreshAll and refreshMarket alike, and go once: one read per key at a time.
    ASSERT_TRUE(waitSettled(12));
    EXPECT_EQ(targets(),
              asSet(refreshAllTargets("EURUSD"), {candlesTarget("EURUSD", 15), candlesTarget("EURUSD", 300)}));
    for (const auto& r : server.requests()) {
        EXPECT_EQ(r.method, "GET");
        EXPECT_FALSE(r.hasHeader("Authorization")) << r.target;
        EXPECT_FALSE(r.hasHeader("Content-Type")) << r.target;
        EXPECT_TRUE(r.body.empty());
    }
}

TEST_F(TerminalModel, shown_withToken_everyReadCarriesBearer) {
    model->link().api().setToken(QStringLiteral("tok-1"));
    model->onShown();
    ASSERT_TRUE(waitSettled(12));
    ASSERT_EQ(server.requestCount(), 12u);
    for (const auto& r : server.requests())
        EXPECT_EQ(r.header("Authorization"), "Bearer tok-1") << r.target;
}

TEST_F(TerminalModel, slowEngine_tenTicks_sendNoReadAgainWhileItsReplyIsOut_andTheLatestDataStillArrives) {
    model->link().api().setToken(QStringLiteral("tok"));
    // An engine slower than any number of ticks: the book, the bars and the prices are held on the server until
    // the test lets them go; the other reads answer at once.
    Gate held;
    setDepthGate(&held);
    setCandleGate("EURUSD", &held);
    std::mutex priceMutex;
    std::string price = "1.085";
    server.setHandler("GET", "/api/prices", [&](const httplib::Request&, httplib::Response& res) {
        held.wait();
        std::lock_guard lock(priceMutex);
        res.set_content(R"({"prices":{"EURUSD":)" + price + "}}", "application/json");
    });
    const std::vector<std::string> heldTargets{kPricesTarget, "/api/market/depth?symbol=EURUSD",
                                               candlesTarget("EURUSD", 15), candlesTarget("EURUSD", 300)};
    auto countOf = [&](const std::string& target) {
        return targets().count(target);
    };

    for (int tick = 0; tick < 10; ++tick) {
        model->onRefreshTick();
        model->onCandleTick();
        model->onHtfTick();
        const std::vector<std::string> out = inFlight(model->link().api());
        const std::set<std::string> distinct(out.begin(), out.end());
        EXPECT_EQ(distinct.size(), out.size()) << "a read went out twice at tick " << tick;
        QCoreApplication::processEvents(); // the quick reads come back between ticks
    }
    ASSERT_TRUE(waitUntil([&] { return held.waiting() == 4; }));
    for (const std::string& target : heldTargets)
        EXPECT_EQ(countOf(target), 1u) << target;
    // The reads that answered at once went again at the next ticks, one at a time.
    EXPECT_LE(countOf("/api/account/metrics"), 10u);
    EXPECT_GE(countOf("/api/account/metrics"), 1u);

    held.open();
    ASSERT_TRUE(waitUntil([&] { return decodesDone() && inFlight(model->link().api()).empty(); }, 10000));
    EXPECT_EQ(model->market().prices().value(QStringLiteral("EURUSD")), 1.085);
    EXPECT_FALSE(model->market().depthLevels().isEmpty());
    EXPECT_FALSE(model->market().candles().isEmpty());

    // The next tick after the reply asks again, and what the engine says now arrives.
    {
        std::lock_guard lock(priceMutex);
        price = "1.2345";
    }
    clearRecords();
    model->onRefreshTick();
    ASSERT_TRUE(waitSettled(10));
    EXPECT_EQ(countOf(kPricesTarget), 1u);
    EXPECT_EQ(model->market().prices().value(QStringLiteral("EURUSD")), 1.2345);
}

TEST_F(TerminalModel, ticks_sendWhatTheirTimerOwns) {
    struct Case {
        const char* name;
        bool token;
        void (NativeTerminalModel::*tick)();
        std::multiset<std::string> expected;
    };
    const Case cases[] = {
        {"refresh, no token", false, &NativeTerminalModel::onRefreshTick, asSet({kPricesTarget})},
        {"refresh, token", true, &NativeTerminalModel::onRefreshTick, asSet(refreshAllTargets("EURUSD"))},
        {"candles, no token", false, &NativeTerminalModel::onCandleTick, asSet({candlesTarget("EURUSD", 15)})},
        {"candles, token", true, &NativeTerminalModel::onCandleTick, asSet({candlesTarget("EURUSD", 15)})},
        {"htf, no token", false, &NativeTerminalModel::onHtfTick, asSet({candlesTarget("EURUSD", 300)})},
    };
    for (const auto& c : cases) {
        model->link().api().setToken(c.token ? QStringLiteral("tok") : QString());
        clearRecords();
        (model.get()->*c.tick)();
        ASSERT_TRUE(waitSettled(static_cast<int>(c.expected.size()))) << c.name;
        EXPECT_EQ(targets(), c.expected) << c.name;
        for (const auto& r : server.requests())
            EXPECT_EQ(r.hasHeader("Authorization"), c.token) << c.name << " " << r.target;
    }
}

TEST_F(TerminalModel, timers_table_eachTimerHasItsPeriodAndDrivesItsTick) {
    // Each timer's timeout reaches its own handler: fire each once by hand instead of waiting 5 to 30 s.
    struct Case {
        const char* name;
        const QTimer& (NativeTerminalModel::*timer)() const;
        int periodMs;
        std::vector<std::string> sends;
    };
    const Case cases[] = {
        {"refreshTimer", &NativeTerminalModel::refreshTimer, 5000, {kPricesTarget}},
        {"candleTimer", &NativeTerminalModel::candleTimer, 10000, {candlesTarget("EURUSD", 15)}},
        {"htfTimer", &NativeTerminalModel::htfTimer, 30000, {candlesTarget("EURUSD", 300)}},
    };
    for (const auto& c : cases) {
        QTimer& timer = const_cast<QTimer&>((model.get()->*c.timer)());
        EXPECT_EQ(timer.interval(), c.periodMs) << c.name;
        EXPECT_EQ(timer.timerType(), Qt::PreciseTimer) << c.name;
        EXPECT_FALSE(timer.isSingleShot()) << c.name;
        clearRecords();
        QMetaObject::invokeMethod(&timer, "timeout", Qt::DirectConnection);
        EXPECT_EQ(inFlight(model->link().api()), c.sends) << c.name;
        ASSERT_TRUE(waitSettled(static_cast<int>(c.sends.size()))) << c.name;
        EXPECT_EQ(targets(), asSet(c.sends)) << c.name;
    }
}

TEST_F(TerminalModel, refreshAll_sendsTheTenReadsInOrder) {
    model->refreshAll();
    // All ten are on the wire when the call returns, in the order they were sent.
    EXPECT_EQ(inFlight(model->link().api()), refreshAllTargets("EURUSD"));
    ASSERT_TRUE(waitSettled(10));
    EXPECT_EQ(targets(), asSet(refreshAllTargets("EURUSD")));
}

TEST_F(TerminalModel, refreshAll_fillsEveryField) {
    QSignalSpy metrics(&model->account(), &AccountModel::metricsChanged);
    model->refreshAll();
    ASSERT_TRUE(waitHandled(10));
    EXPECT_EQ(metrics.count(), 1);
    ASSERT_TRUE(model->account().metrics().has_value());
    EXPECT_EQ(model->account().metrics()->balance, 10000.0);
    EXPECT_EQ(model->account().totalUpl(), 12.5);
    ASSERT_EQ(model->account().exposure().size(), 1);
    ASSERT_EQ(model->account().positions().size(), 1);
    EXPECT_EQ(model->account().positions()[0].id.value, "17");
    ASSERT_EQ(model->account().orders().size(), 1);
    ASSERT_EQ(model->account().fills().size(), 1);
    EXPECT_EQ(model->account().fills()[0].pnl, -3.5);
    ASSERT_EQ(model->account().rm1().size(), 1);
    EXPECT_EQ(model->account().rm1()[0].signal_id, "s1");
    EXPECT_EQ(model->market().prices().value("AAPL"), 190.25);
    ASSERT_EQ(model->market().depthLevels().size(), 1);
    EXPECT_EQ(model->market().depthLevels()[0].bid_size, 7.0);
    ASSERT_EQ(model->account().pnlRows().size(), 1);
    ASSERT_EQ(model->account().exposureRows().size(), 1);
    ASSERT_TRUE(model->account().execQuality().has_value());
    EXPECT_EQ(model->account().execQuality()->order_count, 3);
    // The selected symbol's price made one bar and one print.
    ASSERT_EQ(model->market().candles().size(), 1);
    EXPECT_EQ(model->market().candles()[0], (Candle{kRow1 / 15, 1.085, 1.085, 1.085, 1.085, 1}));
    ASSERT_EQ(model->market().tapeRows().size(), 1);
    EXPECT_EQ(model->market().tapeRows()[0].side, Side::Buy);
    EXPECT_EQ(model->market().tapeRows()[0].size, 1.5);
    EXPECT_EQ(model->market().tapeDelta(), 1.5);
    EXPECT_EQ(model->market().lastTradePrice(), 1.085);
}

TEST_F(TerminalModel, failedReads_keepOldData) {
    model->refreshAll();
    ASSERT_TRUE(waitHandled(10));
    for (const char* path : {"/api/account/metrics", "/api/trades/open", "/api/oms/orders", "/api/rm1/latest"})
        reply(path, R"({"error":"unauthorized"})", 401);
    clearRecords();
    model->refreshAll();
    ASSERT_TRUE(waitHandled(10));
    EXPECT_TRUE(model->account().metrics().has_value());
    EXPECT_EQ(model->account().positions().size(), 1);
    EXPECT_EQ(model->account().orders().size(), 1);
    EXPECT_EQ(model->account().rm1().size(), 1);
}

TEST_F(TerminalModel, priceReplies_foldIntoLiveBarAndTape) {
    model->refreshMarket();
    ASSERT_TRUE(waitHandled(1));
    reply("/api/prices", R"({"prices":{"EURUSD":1.084,"AAPL":190.25}})");
    now = now.addSecs(5);
    draw = 0;
    model->refreshMarket();
    ASSERT_TRUE(waitHandled(2));
    ASSERT_EQ(model->market().candles().size(), 1);
    EXPECT_EQ(model->market().candles()[0], (Candle{kRow1 / 15, 1.085, 1.085, 1.084, 1.084, 2}));
    ASSERT_EQ(model->market().tapeRows().size(), 2);
    EXPECT_EQ(model->market().tapeRows()[0].side, Side::Sell);
    EXPECT_EQ(model->market().tapeRows()[0].size, 0.5);
    EXPECT_EQ(model->market().tapeDelta(), 1.5 - 0.5);
    EXPECT_EQ(model->market().aggressorLabel(), "Buyer-led");
}

TEST_F(TerminalModel, priceReplyWithoutSelectedSymbol_updatesPricesOnly) {
    reply("/api/prices", "not json");
    model->refreshMarket();
    ASSERT_TRUE(waitHandled(1));
    ASSERT_EQ(model->market().marketError(), kFeedMessage);
    reply("/api/prices", R"({"prices":{"AAPL":190.25}})");
    model->refreshMarket();
    ASSERT_TRUE(waitHandled(2));
    EXPECT_TRUE(model->market().marketError().isEmpty());
    EXPECT_EQ(model->market().prices().size(), 1);
    EXPECT_TRUE(model->market().candles().isEmpty());
    EXPECT_TRUE(model->market().tapeRows().isEmpty());
    EXPECT_FALSE(model->market().lastTradePrice().has_value());
}

TEST_F(TerminalModel, marketError_showsFirstFailureUntilPriceOrCandleSuccess) {
    reply("/api/prices", "", 500);
    overrideCandles(CannedReply{500, "<html>oops</html>", "text/html"});
    // A price failure, then a candle failure: the feed message stays.
    model->refreshMarket();
    ASSERT_TRUE(waitHandled(1));
    EXPECT_EQ(model->market().marketError(), kFeedMessage);
    model->refreshCandles();
    ASSERT_TRUE(waitHandled(2));
    EXPECT_EQ(model->market().marketError(), kFeedMessage);
    // A higher-timeframe success does not clear it; a price success does.
    overrideCandles(CannedReply{200, R"({"symbol":"EURUSD","interval":300,"candles":[]})", "application/json"});
    model->refreshHtfCandles();
    ASSERT_TRUE(waitHandled(3));
    EXPECT_EQ(model->market().marketError(), kFeedMessage);
    reply("/api/prices", R"({"prices":{}})");
    model->refreshMarket();
    ASSERT_TRUE(waitHandled(4));
    EXPECT_TRUE(model->market().marketError().isEmpty());
    // A candle failure first shows its own message; a higher-timeframe failure never writes one.
    overrideCandles(CannedReply{404, R"({"error":"not found"})"});
    model->refreshHtfCandles();
    ASSERT_TRUE(waitHandled(5));
    EXPECT_TRUE(model->market().marketError().isEmpty());
    model->refreshCandles();
    ASSERT_TRUE(waitHandled(6));
    EXPECT_EQ(model->market().marketError(), kCandlesMessage);
    reply("/api/prices", "", 500);
    model->refreshMarket();
    ASSERT_TRUE(waitHandled(7));
    EXPECT_EQ(model->market().marketError(), kCandlesMessage);
    // A candle success clears it.
    overrideCandles(CannedReply{200, R"({"symbol":"EURUSD","interval":15,"candles":[]})", "application/json"});
    model->refreshCandles();
    ASSERT_TRUE(waitHandled(8));
    EXPECT_TRUE(model->market().marketError().isEmpty());
}

TEST_F(TerminalModel, candleReplies_replaceBarsWhole) {
    model->market().updateCandles(5.0, now);
    model->market().updateCandles(5.0, now.addSecs(60));
    model->refreshCandles();
    model->refreshHtfCandles();
    ASSERT_TRUE(waitHandled(2));
    EXPECT_EQ(model->market().candles(),
              (QList<Candle>{{bucketAt(kRow0, 15), 1, 2, 0.5, 1.08, 15}, {kRow1 / 15, 1, 2, 0.5, 1.08, 0}}));
    EXPECT_EQ(model->market().htfCandles(),
              (QList<Candle>{{bucketAt(kRow0, 300), 1, 2, 0.5, 1.08, 300}, {kRow1 / 300, 1, 2, 0.5, 1.08, 0}}));
    // The next price extends the engine's live bar, counting on from its volume.
    model->market().updateCandles(1.5, now);
    EXPECT_EQ(model->market().candles().last(), (Candle{kRow1 / 15, 1, 2, 0.5, 1.5, 1}));
    overrideCandles(CannedReply{200, R"({"symbol":"EURUSD","interval":15,"candles":[]})", "application/json"});
    model->refreshCandles();
    ASSERT_TRUE(waitHandled(3));
    EXPECT_TRUE(model->market().candles().isEmpty());
}

TEST_F(TerminalModel, symbolChange_clearsAtOnceAndReloadsForNewSymbol) {
    model->refreshAll();
    model->refreshHtfCandles();
    ASSERT_TRUE(waitHandled(11));
    ASSERT_FALSE(model->market().tapeRows().isEmpty());
    ASSERT_FALSE(model->market().depthLevels().isEmpty());
    const auto htf = model->market().htfCandles();
    ASSERT_FALSE(htf.isEmpty());
    model->ticket().selectLadderPrice(1.085);
    clearRecords();
    QSignalSpy symbolSpy(&model->market(), &MarketModel::selectedSymbolChanged);
    QSignalSpy tapeSpy(&model->market(), &MarketModel::tapeChanged);

    model->market().setSelectedSymbol(QStringLiteral("AAPL"));
    EXPECT_EQ(symbolSpy.count(), 1);
    EXPECT_EQ(tapeSpy.count(), 1);
    EXPECT_TRUE(model->market().candles().isEmpty());
    EXPECT_TRUE(model->market().tapeRows().isEmpty());
    EXPECT_EQ(model->market().tapeDelta(), 0.0);
    EXPECT_FALSE(model->market().lastTradePrice().has_value());
    EXPECT_TRUE(model->market().depthLevels().isEmpty());
    EXPECT_EQ(model->market().htfCandles(), htf);
    EXPECT_FALSE(model->market().selectedLadderPrice().has_value()); // it belonged to the EURUSD book

    ASSERT_TRUE(waitSettled(12));
    EXPECT_EQ(targets(), asSet(refreshAllTargets("AAPL"), {candlesTarget("AAPL", 15), candlesTarget("AAPL", 300)}));
    EXPECT_EQ(model->market().htfCandles().last().close, 190.0);
    EXPECT_EQ(model->market().depthLevels()[0].price, 190.25);

    // Selecting the symbol already selected changes and loads nothing: no request is on the wire after the call.
    ASSERT_TRUE(inFlight(model->link().api()).empty());
    model->market().setSelectedSymbol(QStringLiteral("AAPL"));
    EXPECT_EQ(inFlight(model->link().api()), std::vector<std::string>{});
    EXPECT_EQ(symbolSpy.count(), 1);
}

TEST_F(TerminalModel, intervalChanges_clearTheirBarsAndReload) {
    model->refreshCandles();
    model->refreshHtfCandles();
    ASSERT_TRUE(waitHandled(2));
    clearRecords();
    model->chart().setCandleInterval(60);
    EXPECT_TRUE(model->market().candles().isEmpty());
    EXPECT_FALSE(model->market().htfCandles().isEmpty());
    ASSERT_TRUE(waitSettled(11));
    EXPECT_EQ(targets(), asSet(refreshAllTargets("EURUSD"), {candlesTarget("EURUSD", 60)}));

    clearRecords();
    model->chart().setHtfInterval(900);
    EXPECT_TRUE(model->market().htfCandles().isEmpty());
    ASSERT_TRUE(waitSettled(1));
    EXPECT_EQ(targets(), asSet({candlesTarget("EURUSD", 900)}));
    EXPECT_EQ(model->market().htfCandles().first().volume, 900.0);
}

TEST_F(TerminalModel, intervalsOtherThanWholePositiveSeconds_areIgnored) {
    QSignalSpy spy(&model->chart(), &ChartSettings::candleIntervalChanged);
    for (double bad : {0.0, -15.0, 7.5, std::nan(""), std::numeric_limits<double>::infinity(), 1e300, 15.0}) {
        model->chart().setCandleInterval(bad);
        model->chart().setHtfInterval(bad == 15.0 ? 300.0 : bad);
    }
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(model->chart().candleInterval(), 15.0);
    EXPECT_EQ(model->chart().htfInterval(), 300.0);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(TerminalModel, lateCandleReplyForPreviousSymbol_isDropped) {
    reply("/api/prices", R"({"prices":{"EURUSD":1.085}})"); // no live AAPL price mixes into the bars
    Gate gate;
    setCandleGate("EURUSD", &gate);
    model->refreshCandles();
    ASSERT_TRUE(waitUntil([&] { return gate.waiting() == 1; }));
    model->market().setSelectedSymbol(QStringLiteral("AAPL"));
    ASSERT_TRUE(waitHandledFor(candlesTarget("AAPL", 15)));
    ASSERT_EQ(model->market().candles().size(), 2);
    gate.open();
    ASSERT_TRUE(waitHandledFor(candlesTarget("EURUSD", 15)));
    ASSERT_EQ(model->market().candles().size(), 2);
    EXPECT_EQ(model->market().candles().last().close, 190.0); // still AAPL's bars
    // The next live price folds into the AAPL bar, not into a EURUSD one.
    model->market().updateCandles(191.0, now);
    EXPECT_EQ(model->market().candles().last(), (Candle{kRow1 / 15, 1, 191, 0.5, 191, 1}));
    setCandleGate("EURUSD", nullptr);
}

TEST_F(TerminalModel, lateCandleFailureForPreviousInterval_isDropped) {
    Gate gate;
    setCandleGate("EURUSD/15", &gate);
    model->refreshCandles();
    ASSERT_TRUE(waitUntil([&] { return gate.waiting() == 1; }));
    model->chart().setCandleInterval(60);
    ASSERT_TRUE(waitHandledFor(candlesTarget("EURUSD", 60)));
    ASSERT_EQ(model->market().candles().size(), 2);
    // The old request now fails: neither its failure message nor anything else reaches the state.
    overrideCandles(CannedReply{500, "oops", "text/plain"});
    gate.open();
    ASSERT_TRUE(waitHandledFor(candlesTarget("EURUSD", 15)));
    EXPECT_TRUE(model->market().marketError().isEmpty());
    ASSERT_EQ(model->market().candles().size(), 2);
    EXPECT_EQ(model->market().candles().first().volume, 60.0);
    setCandleGate("EURUSD/15", nullptr);
}

TEST_F(TerminalModel, lateHtfReplyForPreviousIntervalOrSymbol_isDropped) {
    Gate gate;
    setCandleGate("EURUSD/300", &gate);
    model->refreshHtfCandles();
    ASSERT_TRUE(waitUntil([&] { return gate.waiting() == 1; }));
    model->chart().setHtfInterval(900);
    ASSERT_TRUE(waitHandledFor(candlesTarget("EURUSD", 900)));
    gate.open();
    ASSERT_TRUE(waitHandledFor(candlesTarget("EURUSD", 300)));
    ASSERT_FALSE(model->market().htfCandles().isEmpty());
    EXPECT_EQ(model->market().htfCandles().first().volume, 900.0);
    setCandleGate("EURUSD/300", nullptr);
}

TEST_F(TerminalModel, lateDepthReplyForPreviousSymbol_isDropped) {
    Gate gate;
    setDepthGate(&gate);
    model->refreshAll();
    ASSERT_TRUE(waitUntil([&] { return gate.waiting() == 1; }));
    setDepthGate(nullptr);
    model->market().setSelectedSymbol(QStringLiteral("AAPL"));
    ASSERT_TRUE(waitHandledFor("/api/market/depth?symbol=AAPL"));
    ASSERT_EQ(model->market().depthLevels().size(), 1);
    gate.open();
    ASSERT_TRUE(waitHandledFor("/api/market/depth?symbol=EURUSD"));
    ASSERT_EQ(model->market().depthLevels().size(), 1);
    EXPECT_EQ(model->market().depthLevels()[0].price, 190.25);
}

TEST_F(TerminalModel, login_success_storesTokenAndRefreshesWithIt) {
    server.setReply("POST", "/api/login", CannedReply{200, R"({"token":"abc"})"});
    model->session().setEmail(QStringLiteral("trader@example.com"));
    model->session().setPassword(QStringLiteral("p&ss=+word"));
    QSignalSpy tokenSpy(&model->session(), &TerminalSession::tokenChanged);
    model->session().login();
    ASSERT_TRUE(waitSettled(11));
    EXPECT_EQ(model->session().token(), "abc");
    EXPECT_EQ(tokenSpy.count(), 1);
    EXPECT_TRUE(model->session().loginError().isEmpty());
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 11u);
    std::multiset<std::string> reads;
    for (const auto& r : requests) {
        if (r.method == "POST") {
            EXPECT_EQ(r.target, "/api/login");
            EXPECT_EQ(r.body, "email=trader@example.com&password=p%26ss%3D%2Bword");
            continue;
        }
        reads.insert(r.target);
        EXPECT_EQ(r.header("Authorization"), "Bearer abc");
    }
    EXPECT_EQ(reads, asSet(refreshAllTargets("EURUSD")));
}

TEST_F(TerminalModel, login_failure_showsClientMessageAndClearsOnRetry) {
    server.setReply("POST", "/api/login", CannedReply{401, R"({"error":"bad"})"});
    model->session().login();
    ASSERT_TRUE(waitHandled(1));
    EXPECT_EQ(model->session().loginError(), "Invalid credentials");
    EXPECT_EQ(server.requestCount(), 1u);
    QSignalSpy spy(&model->session(), &TerminalSession::loginErrorChanged);
    model->session().login();
    EXPECT_TRUE(model->session().loginError().isEmpty()); // cleared as the login starts
    ASSERT_TRUE(waitHandled(2));
    EXPECT_EQ(model->session().loginError(), "Invalid credentials");
    EXPECT_EQ(spy.count(), 2);
}

TEST_F(TerminalModel, setBaseUrl_keepsTokenAndStateAndDropsOldReplies) {
    model->link().api().setToken(QStringLiteral("tok"));
    model->refreshAll();
    ASSERT_TRUE(waitHandled(10));
    Gate gate;
    setCandleGate("EURUSD", &gate);
    model->refreshCandles();
    ASSERT_TRUE(waitUntil([&] { return gate.waiting() == 1; }));

    RecordingServer other;
    waitForListener(other);
    other.setReply("GET", "/api/prices", CannedReply{200, R"({"prices":{"EURUSD":1.09}})"});
    model->link().setBaseUrl(QUrl(other.baseUrl()));
    gate.open(); // the old engine's reply is cancelled or dropped
    EXPECT_EQ(model->link().baseUrl(), QUrl(other.baseUrl()));
    EXPECT_EQ(model->session().token(), "tok");
    EXPECT_TRUE(model->account().metrics().has_value());
    const int before = handledCount();
    model->refreshMarket();
    ASSERT_TRUE(waitSettled(before + 1));
    ASSERT_EQ(other.requestCount(), 1u);
    EXPECT_EQ(other.requests()[0].header("Authorization"), "Bearer tok");
    EXPECT_EQ(model->market().prices().value("EURUSD"), 1.09);
    EXPECT_EQ(handledFor(candlesTarget("EURUSD", 15)), 0);
    setCandleGate("EURUSD", nullptr);
    model.reset(); // closes its connections, so stopping `other` does not wait for them to idle out
}

// The generic read: a record declared into a plain holder lands there with one change call; a second declaration
// while the first is out is not sent; a failure changes nothing; a reply due from a replaced client is dropped,
// and the new client sends the read at once.
TEST_F(TerminalModel, feed_landsItsRecordOnce_failureKeepsIt_replacedClientsReplyIsDropped) {
    struct Holder {
        std::optional<MetricsResponse> metrics;
        int changes = 0;
        void changed() { ++changes; }
    } holder;
    const auto metricsBody = [](int id) {
        return R"({"account_id":)" + std::to_string(id) +
               R"(,"balance":1,"equity":1,"highest_equity":1,"stage":1,"rm1_access":false,"status":"ACTIVE",
                  "execution_mode":"paper","broker":"sim","profit_pct":0,"profit_target":1,"max_loss_floor":0,
                  "daily_loss_limit":1,"daily_loss_used":0,"daily_loss_buffer":1})";
    };
    const std::string path = "/api/account/metrics";
    TerminalLink& link = model->link();
    const auto declare = [&] {
        link.feed(holder, endpoints::accountMetrics(), &Holder::metrics, &Holder::changed);
    };

    declare();
    declare();
    ASSERT_TRUE(waitSettled(1));
    EXPECT_EQ(server.requestCount(), 1u);
    ASSERT_TRUE(holder.metrics.has_value());
    EXPECT_EQ(holder.metrics->account_id, 7);
    EXPECT_EQ(holder.changes, 1);

    reply(path, "<html>down</html>", 500);
    clearRecords();
    declare();
    ASSERT_TRUE(waitSettled(1));
    EXPECT_EQ(holder.metrics->account_id, 7);
    EXPECT_EQ(holder.changes, 1);

    Gate held;
    server.setHandler("GET", path, [&](const httplib::Request&, httplib::Response& res) {
        held.wait();
        res.set_content(metricsBody(8), "application/json");
    });
    clearRecords();
    declare();
    ASSERT_TRUE(waitUntil([&] { return held.waiting() == 1; }));
    RecordingServer other;
    other.setReply("GET", path, {200, metricsBody(9)});
    link.setBaseUrl(QUrl(other.baseUrl()));
    declare();
    held.open();
    ASSERT_TRUE(waitSettled(1));
    EXPECT_EQ(other.requestCount(), 1u);
    EXPECT_EQ(handledFor(path), 1);
    EXPECT_EQ(holder.metrics->account_id, 9);
    EXPECT_EQ(holder.changes, 2);
    model.reset(); // closes its connections, so stopping `other` does not wait for them to idle out
}

TEST_F(TerminalModel, setBaseUrl_orderAndSignInInFlight_completeOnTheOldAddressAndReport) {
    Gate gate;
    for (const char* path : {"/api/oms/order", "/api/login"})
        server.setHandler("POST", path, [&gate, path](const httplib::Request&, httplib::Response& res) {
            gate.wait();
            res.set_content(std::string(path) == "/api/login" ? R"({"token":"new-tok"})" : R"({"ok":true})",
                            "application/json");
        });
    model->ticket().placeOrder();
    model->session().login();
    ASSERT_TRUE(waitUntil([&] { return gate.waiting() == 2; }));

    RecordingServer other;
    waitForListener(other);
    model->link().setBaseUrl(QUrl(other.baseUrl()));
    gate.open(); // the engine took both: their outcomes must still be shown

    ASSERT_TRUE(waitHandledFor("/api/oms/order"));
    ASSERT_TRUE(waitHandledFor("/api/login"));
    EXPECT_EQ(model->ticket().orderMessage(), "Order submitted.");
    EXPECT_TRUE(model->session().loginError().isEmpty());
    EXPECT_EQ(model->session().token(), "new-tok")
        << "the current client takes the token of a sign-in sent before the move";
    EXPECT_EQ(tokens.token(), "new-tok");

    // Each success refreshes everything from the new address (a read still awaiting its reply from the first
    // refresh is not sent twice); after that a read goes there with the new token. The old address got only the
    // two posts.
    ASSERT_TRUE(waitSettled(12));
    EXPECT_GE(other.requestCount(), 10u);
    other.clearRequests();
    const int before = handledCount();
    model->refreshMarket();
    ASSERT_TRUE(waitHandled(before + 1));
    ASSERT_EQ(other.requestCount(), 1u);
    EXPECT_EQ(other.requests()[0].header("Authorization"), "Bearer new-tok");
    EXPECT_EQ(server.requestCount(), 2u);
    for (const auto& r : server.requests())
        EXPECT_EQ(r.method, "POST") << r.target;
    EXPECT_TRUE(model->findChildren<APIClient*>().isEmpty()) << "the former client goes once it has reported";
    model.reset(); // closes its connections, so stopping `other` does not wait for them to idle out
}

TEST_F(TerminalModel, destroyedWithRepliesInFlight_runsNoHandler) {
    model->link().api().setToken(QStringLiteral("tok"));
    Gate gate; // holds every book reply on the server, so some requests are surely on the wire
    setDepthGate(&gate);
    model->refreshAll();
    ASSERT_TRUE(waitHandled(3)); // some replies in, others still on the wire or being decoded
    model->onShown();
    ASSERT_FALSE(inFlight(model->link().api()).empty());
    // Every signal of every area and of the link, watched through the model's destruction: a handler that ran on
    // a model being destroyed (the cancelled requests complete inside the destructor) would announce a change or a
    // handled reply.
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (QObject* area : std::initializer_list<QObject*>{&model->link(), &model->session(), &model->market(),
                                                         &model->chart(), &model->ticket(), &model->account()}) {
        const QMetaObject& meta = *area->metaObject();
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
            if (meta.method(i).methodType() == QMetaMethod::Signal)
                spies.push_back(std::make_unique<QSignalSpy>(area, meta.method(i)));
    }
    ASSERT_GE(spies.size(), 25u);

    model.reset();
    gate.open();
    setDepthGate(nullptr);
    // Decodes still running deliver afterwards and must find no model (ASan reports any use after free).
    ASSERT_TRUE(waitUntil([] { return decodesDone(); }));
    for (const auto& spy : spies)
        EXPECT_EQ(spy->count(), 0) << spy->signal().toStdString();
}

TEST_F(TerminalModel, analytics_readCurrentState) {
    model->refreshAll();
    ASSERT_TRUE(waitHandled(10));
    EXPECT_EQ(model->market().depthSummary().pressure, BookPressure::Bid);
    EXPECT_EQ(model->market().inferredTickSize(), 0.0001); // one level: EURUSD near 1.08
    const auto clusters = model->market().orderflowClusters(12);
    ASSERT_EQ(clusters.size(), 1);
    EXPECT_NEAR(clusters[0].price, 1.085, 1e-12);
    EXPECT_EQ(model->market().orderflowClusters(0).size(), 0);
    ASSERT_EQ(model->market().depthHeatRows().size(), 1);
    EXPECT_EQ(model->market().depthHeatRows()[0].bidWidth, 96.0);
    EXPECT_EQ(model->market().volumeProfileBins(model->market().candles(), 16).size(), 16);
}

// Another user's program holds the engine's port: the refresh goes on without the token, the sign-in is not sent,
// and the terminal says why in one line (not as a login error) until the port is in order again.
TEST_F(TerminalModel, portHeldByAnotherUser_withholdsTokenAndSignInAndSaysSoInOneLine) {
    PortHolder holder = PortHolder::OtherUser;
    model->link().setPortCheck([&](quint16) { return holder; });
    model->link().api().setToken(QStringLiteral("tok-1"));
    model->session().setEmail(QStringLiteral("op@zqt.test"));
    model->session().setPassword(QStringLiteral("pw"));
    QSignalSpy warnings(&model->session(), &TerminalSession::portWarningChanged);
    model->session().login();
    model->refreshAll();
    ASSERT_TRUE(waitSettled(11));
    const QString expected =
        QStringLiteral("Port %1 is held by another user's program: sign-in and token withheld.").arg(server.port());
    EXPECT_EQ(model->session().portWarning(), expected);
    EXPECT_TRUE(model->session().loginError().isEmpty()) << model->session().loginError().toStdString();
    EXPECT_EQ(warnings.count(), 1);
    ASSERT_EQ(targets(), asSet(refreshAllTargets("EURUSD"))) << "the sign-in was not sent";
    for (const auto& r : server.requests())
        EXPECT_FALSE(r.hasHeader("Authorization")) << r.target;

    // The other program is gone and the engine is back (a new client, after the reuse window of the old one).
    holder = PortHolder::ThisUser;
    clearRecords();
    model->link().setBaseUrl(QUrl(server.baseUrl() + "/"));
    model->refreshAll();
    ASSERT_TRUE(waitSettled(10));
    EXPECT_TRUE(model->session().portWarning().isEmpty());
    for (const auto& r : server.requests())
        EXPECT_EQ(r.header("Authorization"), "Bearer tok-1") << r.target;
}
