#include "api/Endpoints.h"

namespace zqt::endpoints {

Read<MetricsResponse> accountMetrics() {
    return {QStringLiteral("/api/account/metrics")};
}
Read<PortfolioSummary> portfolioSummary() {
    return {QStringLiteral("/api/portfolio/summary")};
}
Read<PositionsResponse> openTrades() {
    return {QStringLiteral("/api/trades/open")};
}
Read<OrdersResponse> orders() {
    return {QStringLiteral("/api/oms/orders")};
}
Read<FillsResponse> recentTrades() {
    return {QStringLiteral("/api/trades/recent")};
}
Read<RM1Response> rm1Latest() {
    return {QStringLiteral("/api/rm1/latest")};
}

Read<PricesResponse> prices(const QStringList& symbols) {
    return {QStringLiteral("/api/prices?symbols=") + symbols.join(QLatin1Char(','))};
}

Read<DepthResponse> marketDepth(const QString& symbol) {
    return {QStringLiteral("/api/market/depth?symbol=") + symbol};
}

Read<PnlAttributionResponse> pnlAttribution() {
    return {QStringLiteral("/api/analytics/pnl_attribution?days=30")};
}

Read<ExecutionQualityResponse> executionQuality() {
    return {QStringLiteral("/api/analytics/execution_quality?days=7")};
}

Read<CandlesResponse> candles(const QString& symbol, std::int64_t intervalSeconds) {
    return {QStringLiteral("/api/market/candles?symbol=") + symbol + QStringLiteral("&interval=") +
            QString::number(intervalSeconds) + QStringLiteral("&count=80")};
}

Post login(const QString& email, const QString& password) {
    return {QString::fromLatin1(kLoginPath),
            {{QStringLiteral("email"), email}, {QStringLiteral("password"), password}}};
}

QString wireText(Side side) {
    switch (side) {
    case Side::Buy:
        return QStringLiteral("BUY");
    case Side::Sell:
        break;
    }
    return QStringLiteral("SELL");
}

QString wireText(OrderType type) {
    switch (type) {
    case OrderType::Market:
        return QStringLiteral("MARKET");
    case OrderType::Limit:
        return QStringLiteral("LIMIT");
    case OrderType::Stop:
        break;
    }
    return QStringLiteral("STOP");
}

std::optional<Side> sideFromWire(const QString& text) {
    for (Side s : {Side::Buy, Side::Sell})
        if (text == wireText(s))
            return s;
    return std::nullopt;
}

std::optional<OrderType> orderTypeFromWire(const QString& text) {
    for (OrderType t : {OrderType::Market, OrderType::Limit, OrderType::Stop})
        if (text == wireText(t))
            return t;
    return std::nullopt;
}

Post placeOrder(const OrderTicket& t) {
    return {QStringLiteral("/api/oms/order"),
            {{QStringLiteral("symbol"), t.symbol},
             {QStringLiteral("side"), wireText(t.side)},
             {QStringLiteral("qty"), t.qty},
             {QStringLiteral("sl"), t.sl},
             {QStringLiteral("tp"), t.tp},
             {QStringLiteral("order_type"), wireText(t.orderType)},
             {QStringLiteral("limit_price"), t.limitPrice},
             {QStringLiteral("stop_price"), t.stopPrice}}};
}

Post quickOrder(Side side, OrderType type, const OrderTicket& t, std::optional<double> ladderPrice) {
    // QString::number with 'f' is locale-independent: always a full stop and four decimals.
    const QString limitPrice = ladderPrice ? QString::number(*ladderPrice, 'f', 4) : t.limitPrice;
    return {QStringLiteral("/api/oms/order"),
            {{QStringLiteral("symbol"), t.symbol},
             {QStringLiteral("side"), wireText(side)},
             {QStringLiteral("qty"), t.qty},
             {QStringLiteral("sl"), t.sl},
             {QStringLiteral("tp"), t.tp},
             {QStringLiteral("order_type"), wireText(type)},
             {QStringLiteral("limit_price"), limitPrice}}};
}

Post cancelAll() {
    return {QStringLiteral("/api/oms/cancel_all"), {}};
}
Post closeAll() {
    return {QStringLiteral("/api/positions/close_all"), {}};
}

} // namespace zqt::endpoints
