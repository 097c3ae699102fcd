#pragma once

#include "api/FormEncoding.h"
#include "api/Records.h"
#include "core/TradingTerms.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <optional>

// Every request the program sends to the engine, built in one place: reads carry the path with its query and the
// record their reply decodes into; posts carry the path and the form fields. Callers never write a path by hand.
// Query values (symbols, intervals) are inserted exactly as given, without escaping: a symbol holding a space makes
// the URL invalid, and the request core then sends the request to the base address itself.
namespace zqt::endpoints {

// A GET whose reply decodes into T.
template <class T> struct Read {
    using Record = T;
    QString path; // path and query, relative to the engine's base address
};

// A form POST; its reply is not decoded.
struct Post {
    QString path;
    FormFields fields; // written in this order
};

inline constexpr char kLoginPath[] = "/api/login";

Read<MetricsResponse> accountMetrics();
Read<PortfolioSummary> portfolioSummary();
Read<PositionsResponse> openTrades();
Read<OrdersResponse> orders();
Read<FillsResponse> recentTrades();
Read<RM1Response> rm1Latest();
// "/api/prices?symbols=" + symbols joined with ",".
Read<PricesResponse> prices(const QStringList& symbols);
Read<DepthResponse> marketDepth(const QString& symbol);
Read<PnlAttributionResponse> pnlAttribution();     // 30 days
Read<ExecutionQualityResponse> executionQuality(); // 7 days
// Bars of `intervalSeconds` seconds (written as whole decimal digits), 80 of them.
Read<CandlesResponse> candles(const QString& symbol, std::int64_t intervalSeconds);

// The login form: email, then password.
Post login(const QString& email, const QString& password);

// The wire text of a side ("BUY", "SELL") and an order type ("MARKET", "LIMIT", "STOP"), and back; text that is
// none of them (compared exactly) has no value.
QString wireText(Side side);
QString wireText(OrderType type);
std::optional<Side> sideFromWire(const QString& text);
std::optional<OrderType> orderTypeFromWire(const QString& text);

// The order ticket. Its texts are sent as typed: no trimming or conversion; empty texts are sent as empty values.
struct OrderTicket {
    QString symbol;
    Side side = Side::Buy;
    QString qty;
    QString sl;
    QString tp;
    OrderType orderType = OrderType::Market;
    QString limitPrice;
    QString stopPrice;
};

// The ticket's place action: all eight fields.
Post placeOrder(const OrderTicket& ticket);

// A quick order of `side` and `type` with the ticket's symbol, qty, sl and tp: symbol, side, qty, sl, tp,
// order_type, limit_price (no stop_price). limit_price is the selected ladder price written with four decimals
// when there is one (market orders too), else the ticket's limit text. The ticket's own side and type are unused.
Post quickOrder(Side side, OrderType type, const OrderTicket& ticket, std::optional<double> ladderPrice);

Post cancelAll(); // empty body
Post closeAll();  // empty body

} // namespace zqt::endpoints
