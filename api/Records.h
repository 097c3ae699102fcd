#pragma once

#include "api/StringOrInt.h"

#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>
#include <type_traits>

// The records the engine's JSON replies decode into (see api/JsonDecoder.h for the decoding rule).
// Field names are the JSON keys. Plain values: they are only ever created by decoding a reply.
namespace zqt {

struct LoginResponse {
    QString token;
    friend bool operator==(const LoginResponse&, const LoginResponse&) = default;
};

struct MetricsResponse {
    std::int64_t account_id = 0;
    double balance = 0.0;
    double equity = 0.0;
    double highest_equity = 0.0;
    std::int64_t stage = 0;
    bool rm1_access = false;
    QString status;
    QString execution_mode;
    QString broker;
    double profit_pct = 0.0;
    double profit_target = 0.0;
    double max_loss_floor = 0.0;
    double daily_loss_limit = 0.0;
    double daily_loss_used = 0.0;
    double daily_loss_buffer = 0.0;
    friend bool operator==(const MetricsResponse&, const MetricsResponse&) = default;
};

// One open trade; identity: `id`.
struct PositionRow {
    StringOrInt id;
    QString symbol;
    QString side;
    double units = 0.0;
    double entry = 0.0;
    std::optional<double> mark;
    std::optional<double> upl;
    const StringOrInt& identity() const { return id; }
    friend bool operator==(const PositionRow&, const PositionRow&) = default;
};

struct PositionsResponse {
    QList<PositionRow> positions;
    friend bool operator==(const PositionsResponse&, const PositionsResponse&) = default;
};

// One symbol's net exposure in the portfolio summary; identity: `symbol`.
struct ExposureRow {
    QString symbol;
    double net_units = 0.0;
    double upl = 0.0;
    std::optional<double> mark;
    const QString& identity() const { return symbol; }
    friend bool operator==(const ExposureRow&, const ExposureRow&) = default;
};

struct PortfolioSummary {
    double total_upl = 0.0;
    QList<ExposureRow> exposure;
    friend bool operator==(const PortfolioSummary&, const PortfolioSummary&) = default;
};

// One order; identity: `id`.
struct OrderRow {
    std::int64_t id = 0;
    QString symbol;
    QString side;
    QString type;
    double qty = 0.0;
    QString status;
    // The limit price of a LIMIT order and the stop price of a STOP order, when the engine sends them.
    std::optional<double> limit_price = std::nullopt;
    std::optional<double> stop_price = std::nullopt;
    std::int64_t identity() const { return id; }
    friend bool operator==(const OrderRow&, const OrderRow&) = default;
};

struct OrdersResponse {
    QList<OrderRow> orders;
    friend bool operator==(const OrdersResponse&, const OrdersResponse&) = default;
};

// One recent trade; identity: `id`.
struct FillRow {
    std::int64_t id = 0;
    QString symbol;
    QString side;
    double pnl = 0.0;
    QString status;
    std::int64_t identity() const { return id; }
    friend bool operator==(const FillRow&, const FillRow&) = default;
};

// The reply's key is `trades`.
struct FillsResponse {
    QList<FillRow> trades;
    friend bool operator==(const FillsResponse&, const FillsResponse&) = default;
};

// One RM1 signal; identity: `signal_id`.
struct RM1Row {
    QString signal_id;
    QString symbol;
    QString side;
    double entry = 0.0;
    const QString& identity() const { return signal_id; }
    friend bool operator==(const RM1Row&, const RM1Row&) = default;
};

// JSON key `signals`; the member has a trailing underscore because Qt defines `signals` as a macro.
struct RM1Response {
    QList<RM1Row> signals_;
    friend bool operator==(const RM1Response&, const RM1Response&) = default;
};

// Symbol to last price.
struct PricesResponse {
    QHash<QString, double> prices;
    friend bool operator==(const PricesResponse&, const PricesResponse&) = default;
};

// One price level of the order book; identity: `price`.
struct DepthLevel {
    double price = 0.0;
    std::optional<double> bid_size;
    std::optional<double> ask_size;
    std::optional<bool> mid;
    double identity() const { return price; }
    friend bool operator==(const DepthLevel&, const DepthLevel&) = default;
};

struct DepthResponse {
    QString symbol;
    double price = 0.0;
    QList<DepthLevel> levels;
    std::optional<QString> source;
    friend bool operator==(const DepthResponse&, const DepthResponse&) = default;
};

// One bar of price history; `ts` is the bar's time as the engine wrote it.
struct CandleRow {
    QString ts;
    double open = 0.0;
    double high = 0.0;
    double low = 0.0;
    double close = 0.0;
    std::optional<double> volume;
    friend bool operator==(const CandleRow&, const CandleRow&) = default;
};

struct CandlesResponse {
    QString symbol;
    std::int64_t interval = 0; // seconds per bar
    QList<CandleRow> candles;
    friend bool operator==(const CandlesResponse&, const CandlesResponse&) = default;
};

// Profit and loss of one symbol; identity: `symbol`.
struct PnlSymbolRow {
    QString symbol;
    double realized = 0.0;
    double unrealized = 0.0;
    double total = 0.0;
    std::int64_t trades = 0;
    double win_rate = 0.0;
    const QString& identity() const { return symbol; }
    friend bool operator==(const PnlSymbolRow&, const PnlSymbolRow&) = default;
};

// Exposure of one symbol in the attribution reply; identity: `symbol`.
struct PnlExposureRow {
    QString symbol;
    double net_units = 0.0;
    double notional = 0.0;
    double upl = 0.0;
    const QString& identity() const { return symbol; }
    friend bool operator==(const PnlExposureRow&, const PnlExposureRow&) = default;
};

struct PnlAttributionResponse {
    QList<PnlSymbolRow> symbols;
    QList<PnlExposureRow> exposure;
    friend bool operator==(const PnlAttributionResponse&, const PnlAttributionResponse&) = default;
};

// One recent order in the execution-quality reply; identity: `id`.
struct ExecRecentRow {
    std::int64_t id = 0;
    QString symbol;
    QString side;
    QString type;
    QString status;
    std::optional<double> latency_ms;
    std::int64_t identity() const { return id; }
    friend bool operator==(const ExecRecentRow&, const ExecRecentRow&) = default;
};

struct ExecutionQualityResponse {
    std::int64_t order_count = 0;
    double fill_rate = 0.0;
    double cancel_rate = 0.0;
    double avg_latency_ms = 0.0;
    double p50_latency_ms = 0.0;
    double p95_latency_ms = 0.0;
    double avg_slippage = 0.0;
    QList<ExecRecentRow> recent;
    friend bool operator==(const ExecutionQualityResponse&, const ExecutionQualityResponse&) = default;
};

template <class... T> struct TypeList {};
template <class T, class List> inline constexpr bool inTypeList = false;
template <class T, class... Ts> inline constexpr bool inTypeList<T, TypeList<Ts...>> = (std::is_same_v<T, Ts> || ...);

// The records a whole reply decodes into, the one list of them: the decoder is compiled for each, and a fetch
// accepts only these.
using ApiRecords = TypeList<LoginResponse, MetricsResponse, PositionsResponse, PortfolioSummary, OrdersResponse,
                            FillsResponse, RM1Response, PricesResponse, DepthResponse, CandlesResponse,
                            PnlAttributionResponse, ExecutionQualityResponse>;

} // namespace zqt
