#include "TerminalTestServer.h"

#include "api/APIClient.h"

#include <QNetworkReply>
#include <QSignalSpy>
#include <QUrlQuery>

using namespace zqt;
using namespace zqt::test;

namespace {

using OrderEntry = TerminalFixture;

// The form body as name -> value, decoded; fails the test on a repeated name.
std::map<std::string, std::string> formOf(const RecordedRequest& r) {
    std::map<std::string, std::string> out;
    const QUrlQuery q(QString::fromStdString(r.body));
    for (const auto& [name, value] : q.queryItems(QUrl::FullyDecoded))
        EXPECT_TRUE(out.emplace(name.toStdString(), value.toStdString()).second) << "repeated " << name.toStdString();
    return out;
}

std::vector<RecordedRequest> posts(const RecordingServer& s) {
    std::vector<RecordedRequest> out;
    for (const auto& r : s.requests())
        if (r.method == "POST")
            out.push_back(r);
    return out;
}

using Form = std::map<std::string, std::string>;

} // namespace

TEST_F(OrderEntry, quickBuy_initialState_sendsSevenFieldsWithEmptyPrice) {
    model->ticket().quickOrder(Side::Buy, OrderType::Market);
    ASSERT_TRUE(waitSettled(1));
    const auto p = posts(server);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].target, "/api/oms/order");
    EXPECT_EQ(p[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(formOf(p[0]), (Form{{"symbol", "EURUSD"},
                                  {"side", "BUY"},
                                  {"qty", "1"},
                                  {"sl", ""},
                                  {"tp", ""},
                                  {"order_type", "MARKET"},
                                  {"limit_price", ""}}));
}

TEST_F(OrderEntry, ladderTap_switchesTicketToLimitWithFourDecimals) {
    QSignalSpy form(&model->ticket(), &TicketModel::orderFormChanged);
    QSignalSpy ladder(&model->market(), &MarketModel::selectedLadderPriceChanged);
    model->ticket().selectLadderPrice(1.08346);
    EXPECT_EQ(model->market().selectedLadderPrice(), 1.08346);
    EXPECT_EQ(model->ticket().orderType(), OrderType::Limit);
    EXPECT_EQ(model->ticket().limitPrice(), "1.0835");
    EXPECT_GE(form.count(), 1);
    EXPECT_EQ(ladder.count(), 1);
}

TEST_F(OrderEntry, afterLadderTap_quickSellSendsLadderPriceOnMarketOrder) {
    model->ticket().setLimitPrice(QStringLiteral("9.99"));
    model->ticket().selectLadderPrice(1.5);
    model->ticket().setLimitPrice(
        QStringLiteral("2.0")); // a later edit of the ticket does not replace the ladder price
    model->ticket().quickOrder(Side::Sell, OrderType::Market);
    ASSERT_TRUE(waitHandledFor("/api/oms/order"));
    const auto p = posts(server);
    ASSERT_EQ(p.size(), 1u);
    const auto f = formOf(p[0]);
    EXPECT_EQ(f.at("limit_price"), "1.5000");
    EXPECT_EQ(f.at("order_type"), "MARKET");
    EXPECT_EQ(f.at("side"), "SELL");
    EXPECT_EQ(f.count("stop_price"), 0u);
    // The ticket keeps its own type and side.
    EXPECT_EQ(model->ticket().orderType(), OrderType::Limit);
    EXPECT_EQ(model->ticket().side(), Side::Buy);
}

TEST_F(OrderEntry, quickLimit_takesTicketSideAndTypedPriceWithoutLadder) {
    model->ticket().setSide(Side::Sell);
    model->ticket().setLimitPrice(QStringLiteral(" 1.2 "));
    model->ticket().setQty(QStringLiteral("abc"));
    model->ticket().setSl(QStringLiteral("1.1"));
    model->ticket().quickOrder(model->ticket().side(), OrderType::Limit);
    ASSERT_TRUE(waitHandledFor("/api/oms/order"));
    const auto p = posts(server);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(formOf(p[0]), (Form{{"symbol", "EURUSD"},
                                  {"side", "SELL"},
                                  {"qty", "abc"},
                                  {"sl", "1.1"},
                                  {"tp", ""},
                                  {"order_type", "LIMIT"},
                                  {"limit_price", " 1.2 "}}));
}

TEST_F(OrderEntry, ticketWithStopType_stillSendsHiddenLimitText) {
    model->market().setSelectedSymbol(QStringLiteral("ES"));
    ASSERT_TRUE(waitSettled(12));
    model->ticket().setOrderType(OrderType::Limit);
    model->ticket().setLimitPrice(QStringLiteral("1.0800"));
    model->ticket().setOrderType(OrderType::Stop);
    model->ticket().setStopPrice(QStringLiteral("1.0900"));
    model->ticket().setTp(QStringLiteral("1.2"));
    clearRecords();
    model->ticket().placeOrder();
    ASSERT_TRUE(waitHandledFor("/api/oms/order"));
    const auto p = posts(server);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(formOf(p[0]), (Form{{"symbol", "ES"},
                                  {"side", "BUY"},
                                  {"qty", "1"},
                                  {"sl", ""},
                                  {"tp", "1.2"},
                                  {"order_type", "STOP"},
                                  {"limit_price", "1.0800"},
                                  {"stop_price", "1.0900"}}));
}

TEST_F(OrderEntry, ticketAnsweredWithRefusal_showsRejectionAndRefreshesAtOnce) {
    server.setReply("POST", "/api/oms/order", CannedReply{500, "<html>refused</html>", "text/html"});
    model->ticket().placeOrder();
    ASSERT_TRUE(waitSettled(11));
    EXPECT_EQ(model->ticket().orderMessage(), "Order rejected (HTTP 500)");
    std::multiset<std::string> reads;
    for (const auto& r : server.requests())
        if (r.method == "GET")
            reads.insert(r.target);
    EXPECT_EQ(reads, asSet(refreshAllTargets("EURUSD")));
    EXPECT_EQ(model->account().positions().size(), 1);
    EXPECT_EQ(model->account().orders().size(), 1);
}

TEST_F(OrderEntry, transportFailure_showsErrorTextAndRefreshesNothing) {
    model->link().setBaseUrl(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(freePort())));
    model->ticket().setQty(QStringLiteral("2"));
    model->ticket().placeOrder();
    ASSERT_TRUE(waitHandledFor("/api/oms/order"));
    EXPECT_FALSE(model->ticket().orderMessage().isEmpty());
    EXPECT_NE(model->ticket().orderMessage(), "Order submitted.");
    // Nothing else was asked for: no read is on its way.
    EXPECT_EQ(handledCount(), 1);
    for (QNetworkReply* r : model->link().api().findChildren<QNetworkReply*>())
        EXPECT_TRUE(r->isFinished()) << r->url().toString().toStdString();
}

TEST_F(OrderEntry, cancelAllAndCloseAll_postEmptyFormsAndRefreshWhateverTheOutcome) {
    struct Case {
        void (TicketModel::*action)();
        std::string path;
        const char* message;
    };
    for (const Case& c : {Case{&TicketModel::cancelAll, "/api/oms/cancel_all", "Cancel all accepted."},
                          Case{&TicketModel::closeAll, "/api/positions/close_all", "Close all accepted."}}) {
        clearRecords();
        server.setReply("POST", c.path, CannedReply{200, R"({"cancelled":2})"});
        (model->ticket().*c.action)();
        ASSERT_TRUE(waitSettled(11)) << c.path;
        const auto p = posts(server);
        ASSERT_EQ(p.size(), 1u);
        EXPECT_EQ(p[0].target, c.path);
        EXPECT_TRUE(p[0].body.empty());
        EXPECT_EQ(p[0].header("Content-Type"), "application/x-www-form-urlencoded");
        EXPECT_EQ(model->ticket().orderMessage(), c.message);
    }
    // A transport failure also refreshes (the reads fail too, against the closed port), and says so.
    model->link().setBaseUrl(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(freePort())));
    clearRecords();
    model->ticket().cancelAll();
    ASSERT_TRUE(waitSettled(11));
    EXPECT_EQ(handledFor("/api/account/metrics"), 1);
    EXPECT_TRUE(model->ticket().orderMessage().startsWith("Cancel all failed: "))
        << model->ticket().orderMessage().toStdString();
    EXPECT_GT(model->ticket().orderMessage().size(), QStringLiteral("Cancel all failed: ").size());
}

TEST_F(OrderEntry, orderReplies_table_refusalsShowStatusAndEngineText) {
    struct Case {
        int status;
        std::string body;
        std::string contentType;
        const char* message;
    };
    const Case cases[] = {
        {422, R"({"error":"qty must be a number"})", "application/json",
         "Order rejected (HTTP 422): qty must be a number"},
        {400, R"({"detail":"limit price\nrequired"})", "application/json",
         "Order rejected (HTTP 400): limit price required"},
        {400, R"({"error":"market closed","order_id":9,"status":"REJECTED"})", "application/json",
         "Order rejected (HTTP 400): market closed"},
        {503, "<html>down</html>", "text/html", "Order rejected (HTTP 503)"},
        {500, R"(["not","an","object"])", "application/json", "Order rejected (HTTP 500)"},
        {200, R"({"order_id":9,"status":"FILLED"})", "application/json", "Order submitted."},
        {201, "{}", "application/json", "Order submitted."},
        // Accepted, but no acknowledgement: nothing tells that an order was placed.
        {200, "<html><body>Sign in</body></html>", "text/html",
         "Order sent, but the engine's reply was not understood (HTTP 200)"},
        {201, "", "text/plain", "Order sent, but the engine's reply was not understood (HTTP 201)"},
        {202, R"({"order_id":9,)", "application/json",
         "Order sent, but the engine's reply was not understood (HTTP 202)"},
        {200, std::string(70 * 1024, ' ') + "{}", "application/json",
         "Order sent, but the engine's reply was not understood (HTTP 200)"},
    };
    for (const auto& c : cases) {
        server.setReply("POST", "/api/oms/order", CannedReply{c.status, c.body, c.contentType});
        clearRecords();
        model->ticket().placeOrder();
        // The refresh that follows a reply runs whether the engine took the order or not.
        ASSERT_TRUE(waitSettled(11)) << c.status;
        EXPECT_EQ(model->ticket().orderMessage(), c.message) << c.status << " " << c.body;
        EXPECT_EQ(handledFor("/api/oms/orders"), 1) << c.status;
    }
    // A quick order reports the same way.
    server.setReply("POST", "/api/oms/order", CannedReply{422, R"({"error":"qty must be a number"})"});
    model->ticket().setQty(QStringLiteral("x"));
    clearRecords();
    model->ticket().quickOrder(Side::Sell, OrderType::Market);
    ASSERT_TRUE(waitSettled(11));
    EXPECT_EQ(model->ticket().orderMessage(), "Order rejected (HTTP 422): qty must be a number");
}

TEST_F(OrderEntry, cancelAllAndCloseAll_refused_showTheFailure) {
    struct Case {
        void (TicketModel::*action)();
        std::string path;
        int status;
        std::string body;
        const char* message;
    };
    const Case cases[] = {
        {&TicketModel::cancelAll, "/api/oms/cancel_all", 409, R"({"error":"nothing to cancel"})",
         "Cancel all failed (HTTP 409): nothing to cancel"},
        {&TicketModel::closeAll, "/api/positions/close_all", 500, "oops", "Close all failed (HTTP 500)"},
        {&TicketModel::closeAll, "/api/positions/close_all", 401, R"({"error":"unauthorized"})",
         "Close all failed (HTTP 401): unauthorized"},
    };
    for (const auto& c : cases) {
        server.setReply("POST", c.path, CannedReply{c.status, c.body});
        clearRecords();
        (model->ticket().*c.action)();
        ASSERT_TRUE(waitSettled(11)) << c.path;
        EXPECT_EQ(model->ticket().orderMessage(), c.message) << c.path;
    }
}

TEST_F(OrderEntry, cancelAllAndCloseAll_latestOutcomeReplacesTheLine_aSuccessIncluded) {
    struct Step {
        int status;
        std::string body;
        const char* message; // "%1" is the action's name
    };
    const Step steps[] = {
        {500, R"({"error":"engine busy"})", "%1 failed (HTTP 500): engine busy"},
        {200, R"({"cancelled":2})", "%1 accepted."},
        {409, R"({"detail":"nothing open"})", "%1 failed (HTTP 409): nothing open"},
        {200, "<html>Sign in</html>", "%1 sent, but the engine's reply was not understood (HTTP 200)"},
        {200, "{}", "%1 accepted."},
    };
    const struct {
        void (TicketModel::*action)();
        std::string path;
        QString name;
    } actions[] = {{&TicketModel::cancelAll, "/api/oms/cancel_all", QStringLiteral("Cancel all")},
                   {&TicketModel::closeAll, "/api/positions/close_all", QStringLiteral("Close all")}};
    for (const auto& a : actions) {
        for (const Step& s : steps) {
            server.setReply("POST", a.path, CannedReply{s.status, s.body});
            clearRecords();
            (model->ticket().*a.action)();
            ASSERT_TRUE(waitSettled(11)) << a.path;
            EXPECT_EQ(model->ticket().orderMessage(), QString::fromLatin1(s.message).arg(a.name))
                << a.path << " " << s.body;
        }
    }
    // An order's outcome replaces a bulk action's, and the other way round.
    server.setReply("POST", "/api/oms/order", CannedReply{422, R"({"error":"qty must be a number"})"});
    clearRecords();
    model->ticket().placeOrder();
    ASSERT_TRUE(waitSettled(11));
    EXPECT_EQ(model->ticket().orderMessage(), "Order rejected (HTTP 422): qty must be a number");
    clearRecords();
    model->ticket().closeAll();
    ASSERT_TRUE(waitSettled(11));
    EXPECT_EQ(model->ticket().orderMessage(), "Close all accepted.");
}

TEST_F(OrderEntry, orderPostRedirected_isNotFollowed_showsStatusAndTarget_andRefreshes) {
    // The page the post is sent to answers with a sign-in page, as a proxy in front of an engine might.
    server.setReply("GET", "/login", {200, "<html>Sign in</html>", "text/html"});
    server.setReply("POST", "/login", {200, R"({"ok":true})"});
    for (const int status : {302, 303, 307}) {
        server.setHandler("POST", "/api/oms/order", [status](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            res.set_header("Location", "/login");
        });
        clearRecords();
        model->ticket().placeOrder();
        ASSERT_TRUE(waitSettled(11)) << status;
        EXPECT_EQ(model->ticket().orderMessage(),
                  QStringLiteral("Redirected (HTTP %1) to /login, not followed").arg(status));
        EXPECT_EQ(handledFor("/api/oms/orders"), 1) << "the refresh after the post runs";
        for (const auto& r : server.requests())
            EXPECT_NE(r.path, "/login") << status << ": the redirect was followed with " << r.method;
    }
}

TEST_F(OrderEntry, symbolChange_clearsEveryTicketPrice_keepsTypeAndQuantity_andNoOldPriceGoesOut) {
    model->ticket().setQty(QStringLiteral("3"));
    model->ticket().setStopPrice(QStringLiteral("1.0811"));
    model->ticket().setSl(QStringLiteral("1.0799"));
    model->ticket().setTp(QStringLiteral("1.0877"));
    model->ticket().selectLadderPrice(1.0842); // a ladder tap on EURUSD: LIMIT at that price
    ASSERT_EQ(model->ticket().limitPrice(), "1.0842");
    QSignalSpy ladder(&model->market(), &MarketModel::selectedLadderPriceChanged);
    QSignalSpy form(&model->ticket(), &TicketModel::orderFormChanged);
    model->market().setSelectedSymbol(QStringLiteral("BTCUSD"));
    EXPECT_EQ(ladder.count(), 1);
    EXPECT_EQ(form.count(), 1);
    EXPECT_FALSE(model->market().selectedLadderPrice().has_value());
    for (const QString& price :
         {model->ticket().limitPrice(), model->ticket().stopPrice(), model->ticket().sl(), model->ticket().tp()})
        EXPECT_EQ(price, QString());
    EXPECT_EQ(model->ticket().orderType(), OrderType::Limit);
    EXPECT_EQ(model->ticket().qty(), "3");
    ASSERT_TRUE(waitSettled(12));

    // Place Order and the limit quick action on BTCUSD: no EURUSD price on the wire.
    clearRecords();
    model->ticket().placeOrder();
    model->ticket().quickOrder(model->ticket().side(), OrderType::Limit);
    ASSERT_TRUE(waitSettled(2));
    const auto p = posts(server);
    ASSERT_EQ(p.size(), 2u);
    for (const auto& post : p) {
        EXPECT_EQ(formOf(post).at("symbol"), "BTCUSD");
        for (const char* old : {"1.0842", "1.0811", "1.0799", "1.0877"})
            EXPECT_EQ(post.body.find(old), std::string::npos) << old << " in " << post.body;
    }
}

TEST_F(OrderEntry, sideAndOrderType_changeTheFormOnlyWhenNew_andGoOutAsWireText) {
    QSignalSpy form(&model->ticket(), &TicketModel::orderFormChanged);
    struct Case {
        Side side;
        OrderType type;
        int changes; // orderFormChanged emitted by the two edits
        const char* sideText;
        const char* typeText;
    };
    const Case cases[] = {
        {Side::Sell, OrderType::Market, 1, "SELL", "MARKET"},
        {Side::Sell, OrderType::Stop, 1, "SELL", "STOP"},
        {Side::Sell, OrderType::Stop, 0, "SELL", "STOP"},
        {Side::Buy, OrderType::Limit, 2, "BUY", "LIMIT"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const auto before = form.count();
        model->ticket().setSide(c.side);
        model->ticket().setOrderType(c.type);
        EXPECT_EQ(form.count() - before, c.changes) << i;
        model->ticket().placeOrder();
        ASSERT_TRUE(waitUntil([&] { return posts(server).size() == i + 1; }, 10000)) << i;
        const Form sent = formOf(posts(server).back());
        EXPECT_EQ(sent.at("side"), c.sideText) << i;
        EXPECT_EQ(sent.at("order_type"), c.typeText) << i;
    }
}
