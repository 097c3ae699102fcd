#include "api/Endpoints.h"

#include <gtest/gtest.h>

using namespace zqt;
using namespace zqt::endpoints;

namespace {
FormFields fields(std::initializer_list<std::pair<const char*, const char*>> list) {
    FormFields out;
    for (const auto& [k, v] : list)
        out.append({QString::fromUtf8(k), QString::fromUtf8(v)});
    return out;
}

OrderTicket initialTicket() {
    OrderTicket t;
    t.symbol = QStringLiteral("EURUSD");
    t.side = Side::Buy;
    t.qty = QStringLiteral("1");
    t.orderType = OrderType::Market;
    return t;
}
} // namespace

TEST(Endpoints, reads_haveTheirExactPathsAndQueries) {
    const QStringList watchlist{"EURUSD", "AAPL", "BTCUSD", "ES", "XAUUSD"};
    const std::pair<QString, const char*> cases[] = {
        {accountMetrics().path, "/api/account/metrics"},
        {portfolioSummary().path, "/api/portfolio/summary"},
        {openTrades().path, "/api/trades/open"},
        {orders().path, "/api/oms/orders"},
        {recentTrades().path, "/api/trades/recent"},
        {rm1Latest().path, "/api/rm1/latest"},
        {prices(watchlist).path, "/api/prices?symbols=EURUSD,AAPL,BTCUSD,ES,XAUUSD"},
        {prices({}).path, "/api/prices?symbols="},
        {marketDepth("EURUSD").path, "/api/market/depth?symbol=EURUSD"},
        {marketDepth("EUR USD").path, "/api/market/depth?symbol=EUR USD"}, // not escaped
        {pnlAttribution().path, "/api/analytics/pnl_attribution?days=30"},
        {executionQuality().path, "/api/analytics/execution_quality?days=7"},
        {candles("EURUSD", 300).path, "/api/market/candles?symbol=EURUSD&interval=300&count=80"},
        {candles("BTC&USD", 15).path, "/api/market/candles?symbol=BTC&USD&interval=15&count=80"},
    };
    for (const auto& [got, expected] : cases)
        EXPECT_EQ(got.toStdString(), expected);
}

TEST(Endpoints, login_sendsEmailThenPassword) {
    const Post p = login("a@b.c", "pw");
    EXPECT_EQ(p.path, QStringLiteral("/api/login"));
    EXPECT_EQ(p.fields, fields({{"email", "a@b.c"}, {"password", "pw"}}));
}

TEST(Endpoints, placeOrder_sendsAllEightFieldsAsTyped) {
    OrderTicket t = initialTicket();
    t.sl = QStringLiteral(" 1.05 ");
    t.orderType = OrderType::Stop;
    t.limitPrice = QStringLiteral("1.2");
    const Post p = placeOrder(t);
    EXPECT_EQ(p.path, QStringLiteral("/api/oms/order"));
    EXPECT_EQ(p.fields, fields({{"symbol", "EURUSD"},
                                {"side", "BUY"},
                                {"qty", "1"},
                                {"sl", " 1.05 "},
                                {"tp", ""},
                                {"order_type", "STOP"},
                                {"limit_price", "1.2"},
                                {"stop_price", ""}}));
    EXPECT_EQ(encodeForm(p.fields),
              QByteArray("symbol=EURUSD&side=BUY&qty=1&sl=%201.05%20&tp=&order_type=STOP&limit_price=1.2&stop_price="));
}

TEST(Endpoints, wireText_ofSidesAndOrderTypes_roundTripsAndRejectsOtherText) {
    const std::pair<Side, const char*> sides[] = {{Side::Buy, "BUY"}, {Side::Sell, "SELL"}};
    for (const auto& [side, text] : sides) {
        EXPECT_EQ(wireText(side), QString::fromLatin1(text));
        EXPECT_EQ(sideFromWire(QString::fromLatin1(text)), side);
    }
    const std::pair<OrderType, const char*> types[] = {
        {OrderType::Market, "MARKET"}, {OrderType::Limit, "LIMIT"}, {OrderType::Stop, "STOP"}};
    for (const auto& [type, text] : types) {
        EXPECT_EQ(wireText(type), QString::fromLatin1(text));
        EXPECT_EQ(orderTypeFromWire(QString::fromLatin1(text)), type);
    }
    for (const char* other : {"", "buy", "BUY ", "Sell", "MARKETS", "limit"}) {
        EXPECT_FALSE(sideFromWire(QString::fromLatin1(other)).has_value()) << other;
        EXPECT_FALSE(orderTypeFromWire(QString::fromLatin1(other)).has_value()) << other;
    }
}

TEST(Endpoints, quickOrder_table) {
    OrderTicket t = initialTicket();
    t.side = Side::Sell; // the ticket's own side and type do not go into a quick order
    t.orderType = OrderType::Stop;
    t.limitPrice = QStringLiteral("1.10");
    struct Case {
        Side side;
        OrderType type;
        std::optional<double> ladder;
        const char* sideText;
        const char* typeText;
        const char* limit;
    };
    const Case cases[] = {
        {Side::Buy, OrderType::Market, std::nullopt, "BUY", "MARKET", "1.10"},
        {Side::Buy, OrderType::Market, 1.2, "BUY", "MARKET", "1.2000"},
        {Side::Sell, OrderType::Market, 1.5, "SELL", "MARKET", "1.5000"},
        {Side::Sell, OrderType::Limit, std::nullopt, "SELL", "LIMIT", "1.10"},
        {Side::Buy, OrderType::Limit, 101.23456, "BUY", "LIMIT", "101.2346"},
    };
    for (const auto& c : cases) {
        const Post p = quickOrder(c.side, c.type, t, c.ladder);
        EXPECT_EQ(p.path, QStringLiteral("/api/oms/order"));
        EXPECT_EQ(p.fields, fields({{"symbol", "EURUSD"},
                                    {"side", c.sideText},
                                    {"qty", "1"},
                                    {"sl", ""},
                                    {"tp", ""},
                                    {"order_type", c.typeText},
                                    {"limit_price", c.limit}}))
            << c.sideText << " " << c.typeText << " " << c.limit;
    }
}

TEST(Endpoints, cancelAndCloseAll_haveNoFields) {
    EXPECT_EQ(cancelAll().path, QStringLiteral("/api/oms/cancel_all"));
    EXPECT_TRUE(cancelAll().fields.isEmpty());
    EXPECT_EQ(closeAll().path, QStringLiteral("/api/positions/close_all"));
    EXPECT_TRUE(closeAll().fields.isEmpty());
    EXPECT_TRUE(encodeForm({}).isEmpty());
}

TEST(ApiFormEncoding, formEscape_table) {
    const std::pair<QString, const char*> cases[] = {
        {"AZaz09-._~!$'()*,;:@/?", "AZaz09-._~!$'()*,;:@/?"},
        {"&=+#% ", "%26%3D%2B%23%25%20"},
        {"\"<>[]\\^`{|}", "%22%3C%3E%5B%5D%5C%5E%60%7B%7C%7D"},
        {QString::fromUtf8("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"), "%C3%A9%E2%82%AC%F0%9F%98%80"},
        {QString(QChar(0xD800)), ""}, // unpaired surrogate: cannot be escaped
        {"", ""},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(formEscape(value), QByteArray(expected)) << value.toStdString();
}
