// Decode throughput (parse plus typed extraction into the records) of a 200 KB orders reply and a 10 KB candles
// reply of 80 rows. Every contender fills the same structs from the same bytes; only zqt::decodeJson enforces the
// whole decoding contract (exact 64-bit integers, strict types, duplicate keys, full validation of ignored values).
#include "api/JsonDecoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <simdjson.h>

#include <cstdio>
#include <stdexcept>
#include <string>

using namespace zqt;

namespace {

// ---- Documents, generated deterministically ----

std::string ordersReply(std::size_t targetBytes) {
    static const char* symbols[] = {"EURUSD", "AAPL", "BTCUSD", "ES", "XAUUSD"};
    static const char* statuses[] = {"OPEN", "FILLED", "CANCELLED", "PARTIAL"};
    std::string s = R"({"orders":[)";
    char row[320];
    for (int i = 0; s.size() < targetBytes; ++i) {
        std::snprintf(row, sizeof row,
                      R"(%s{"id":%d,"symbol":"%s","side":"%s","type":"%s","qty":%.2f,"status":"%s",)"
                      R"("created_at":"2026-03-%02dT%02d:%02d:%02dZ","price":%.5f})",
                      i ? "," : "", 1000000 + i, symbols[i % 5], i % 2 ? "SELL" : "BUY", i % 3 ? "LIMIT" : "MARKET",
                      0.25 * (i % 400 + 1), statuses[i % 4], i % 28 + 1, i % 24, i % 60, (i * 7) % 60,
                      1.0 + (i % 1000) * 0.00137);
        s += row;
    }
    s += "]}";
    return s;
}

std::string candlesReply(int rows) {
    std::string s = R"({"symbol":"EURUSD","interval":15,"candles":[)";
    char row[256];
    for (int i = 0; i < rows; ++i) {
        const double open = 1.08 + (i % 17) * 0.0003;
        std::snprintf(
            row, sizeof row,
            R"(%s{"ts":"2026-03-01T10:%02d:%02dZ","open":%.6f,"high":%.6f,"low":%.6f,"close":%.6f,"volume":%d,"vwap":%.6f})",
            i ? "," : "", (i * 15) / 60, (i * 15) % 60, open, open + 0.0007, open - 0.0005, open + 0.0002,
            100 + (i * 37) % 900, open + 0.0001);
        s += row;
    }
    s += "]}";
    return s;
}

const std::string& orders() {
    static const std::string doc = ordersReply(200 * 1024);
    return doc;
}
const std::string& candles() {
    static const std::string doc = candlesReply(80);
    return doc;
}

// ---- nlohmann::json ----

QString qs(const nlohmann::json& j) {
    const auto& s = j.get_ref<const std::string&>();
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

OrdersResponse ordersNlohmann(const std::string& text) {
    const auto doc = nlohmann::json::parse(text);
    OrdersResponse out;
    for (const auto& row : doc.at("orders")) {
        OrderRow r;
        r.id = row.at("id").get<std::int64_t>();
        r.symbol = qs(row.at("symbol"));
        r.side = qs(row.at("side"));
        r.type = qs(row.at("type"));
        r.qty = row.at("qty").get<double>();
        r.status = qs(row.at("status"));
        out.orders.push_back(std::move(r));
    }
    return out;
}

CandlesResponse candlesNlohmann(const std::string& text) {
    const auto doc = nlohmann::json::parse(text);
    CandlesResponse out;
    out.symbol = qs(doc.at("symbol"));
    out.interval = doc.at("interval").get<std::int64_t>();
    for (const auto& row : doc.at("candles")) {
        CandleRow r;
        r.ts = qs(row.at("ts"));
        r.open = row.at("open").get<double>();
        r.high = row.at("high").get<double>();
        r.low = row.at("low").get<double>();
        r.close = row.at("close").get<double>();
        if (auto it = row.find("volume"); it != row.end() && !it->is_null())
            r.volume = it->get<double>();
        out.candles.push_back(std::move(r));
    }
    return out;
}

// ---- QJsonDocument ----

OrdersResponse ordersQt(const QByteArray& text) {
    const QJsonObject doc = QJsonDocument::fromJson(text).object();
    OrdersResponse out;
    for (const QJsonValue row : doc.value(QLatin1String("orders")).toArray()) {
        const QJsonObject o = row.toObject();
        OrderRow r;
        r.id = o.value(QLatin1String("id")).toInteger();
        r.symbol = o.value(QLatin1String("symbol")).toString();
        r.side = o.value(QLatin1String("side")).toString();
        r.type = o.value(QLatin1String("type")).toString();
        r.qty = o.value(QLatin1String("qty")).toDouble();
        r.status = o.value(QLatin1String("status")).toString();
        out.orders.push_back(std::move(r));
    }
    return out;
}

CandlesResponse candlesQt(const QByteArray& text) {
    const QJsonObject doc = QJsonDocument::fromJson(text).object();
    CandlesResponse out;
    out.symbol = doc.value(QLatin1String("symbol")).toString();
    out.interval = doc.value(QLatin1String("interval")).toInteger();
    for (const QJsonValue row : doc.value(QLatin1String("candles")).toArray()) {
        const QJsonObject o = row.toObject();
        CandleRow r;
        r.ts = o.value(QLatin1String("ts")).toString();
        r.open = o.value(QLatin1String("open")).toDouble();
        r.high = o.value(QLatin1String("high")).toDouble();
        r.low = o.value(QLatin1String("low")).toDouble();
        r.close = o.value(QLatin1String("close")).toDouble();
        if (const QJsonValue v = o.value(QLatin1String("volume")); v.isDouble())
            r.volume = v.toDouble();
        out.candles.push_back(std::move(r));
    }
    return out;
}

// ---- simdjson DOM ----

QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

OrdersResponse ordersDom(simdjson::dom::parser& parser, const simdjson::padded_string& text) {
    simdjson::dom::element doc = parser.parse(text);
    OrdersResponse out;
    for (simdjson::dom::object o : doc["orders"].get_array()) {
        OrderRow r;
        r.id = o["id"].get_int64();
        r.symbol = qs(o["symbol"].get_string());
        r.side = qs(o["side"].get_string());
        r.type = qs(o["type"].get_string());
        r.qty = o["qty"].get_double();
        r.status = qs(o["status"].get_string());
        out.orders.push_back(std::move(r));
    }
    return out;
}

CandlesResponse candlesDom(simdjson::dom::parser& parser, const simdjson::padded_string& text) {
    simdjson::dom::element doc = parser.parse(text);
    CandlesResponse out;
    out.symbol = qs(doc["symbol"].get_string());
    out.interval = doc["interval"].get_int64();
    for (simdjson::dom::object o : doc["candles"].get_array()) {
        CandleRow r;
        r.ts = qs(o["ts"].get_string());
        r.open = o["open"].get_double();
        r.high = o["high"].get_double();
        r.low = o["low"].get_double();
        r.close = o["close"].get_double();
        double v;
        if (!o["volume"].get_double().get(v))
            r.volume = v;
        out.candles.push_back(std::move(r));
    }
    return out;
}

// ---- simdjson On-Demand (fields looked up in document order) ----

OrdersResponse ordersOnDemand(simdjson::ondemand::parser& parser, const simdjson::padded_string& text) {
    auto doc = parser.iterate(text);
    OrdersResponse out;
    for (auto item : doc["orders"].get_array()) {
        simdjson::ondemand::object o = item.get_object();
        OrderRow r;
        r.id = o["id"].get_int64();
        r.symbol = qs(std::string_view(o["symbol"].get_string()));
        r.side = qs(std::string_view(o["side"].get_string()));
        r.type = qs(std::string_view(o["type"].get_string()));
        r.qty = o["qty"].get_double();
        r.status = qs(std::string_view(o["status"].get_string()));
        out.orders.push_back(std::move(r));
    }
    return out;
}

CandlesResponse candlesOnDemand(simdjson::ondemand::parser& parser, const simdjson::padded_string& text) {
    auto doc = parser.iterate(text);
    CandlesResponse out;
    out.symbol = qs(std::string_view(doc["symbol"].get_string()));
    out.interval = doc["interval"].get_int64();
    for (auto item : doc["candles"].get_array()) {
        simdjson::ondemand::object o = item.get_object();
        CandleRow r;
        r.ts = qs(std::string_view(o["ts"].get_string()));
        r.open = o["open"].get_double();
        r.high = o["high"].get_double();
        r.low = o["low"].get_double();
        r.close = o["close"].get_double();
        double v;
        if (!o["volume"].get_double().get(v))
            r.volume = v;
        out.candles.push_back(std::move(r));
    }
    return out;
}

// ---- Benchmarks ----

template <class T> std::size_t rowsOf(const T& r) {
    if constexpr (std::is_same_v<T, OrdersResponse>)
        return static_cast<std::size_t>(r.orders.size());
    else
        return static_cast<std::size_t>(r.candles.size());
}

template <class T> const std::string& documentFor() {
    if constexpr (std::is_same_v<T, OrdersResponse>)
        return orders();
    else
        return candles();
}

template <class T> void check(const T& r) {
    const std::size_t expected = rowsOf(decodeJson<T>(documentFor<T>()).value());
    if (rowsOf(r) != expected || expected == 0)
        throw std::runtime_error("contender decoded a different number of rows");
}

template <class T> void BM_zqt(benchmark::State& state) {
    const std::string& text = documentFor<T>();
    for (auto _ : state) {
        auto r = decodeJson<T>(text);
        if (!r.ok())
            state.SkipWithError(r.error().description.toStdString().c_str());
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

template <class T> void BM_nlohmann(benchmark::State& state) {
    const std::string& text = documentFor<T>();
    for (auto _ : state) {
        if constexpr (std::is_same_v<T, OrdersResponse>) {
            auto r = ordersNlohmann(text);
            benchmark::DoNotOptimize(r);
        } else {
            auto r = candlesNlohmann(text);
            benchmark::DoNotOptimize(r);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

template <class T> void BM_qjson(benchmark::State& state) {
    const QByteArray text = QByteArray::fromStdString(documentFor<T>());
    for (auto _ : state) {
        if constexpr (std::is_same_v<T, OrdersResponse>) {
            auto r = ordersQt(text);
            benchmark::DoNotOptimize(r);
        } else {
            auto r = candlesQt(text);
            benchmark::DoNotOptimize(r);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

template <class T> void BM_simdjsonDom(benchmark::State& state) {
    const simdjson::padded_string text(documentFor<T>());
    simdjson::dom::parser parser;
    for (auto _ : state) {
        if constexpr (std::is_same_v<T, OrdersResponse>) {
            auto r = ordersDom(parser, text);
            benchmark::DoNotOptimize(r);
        } else {
            auto r = candlesDom(parser, text);
            benchmark::DoNotOptimize(r);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

template <class T> void BM_simdjsonOnDemand(benchmark::State& state) {
    const simdjson::padded_string text(documentFor<T>());
    simdjson::ondemand::parser parser;
    for (auto _ : state) {
        if constexpr (std::is_same_v<T, OrdersResponse>) {
            auto r = ordersOnDemand(parser, text);
            benchmark::DoNotOptimize(r);
        } else {
            auto r = candlesOnDemand(parser, text);
            benchmark::DoNotOptimize(r);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// Every contender must read the same rows before its figures mean anything.
[[maybe_unused]] const bool kChecked = [] {
    check(ordersNlohmann(orders()));
    check(candlesNlohmann(candles()));
    check(ordersQt(QByteArray::fromStdString(orders())));
    check(candlesQt(QByteArray::fromStdString(candles())));
    simdjson::dom::parser dom;
    check(ordersDom(dom, simdjson::padded_string(orders())));
    check(candlesDom(dom, simdjson::padded_string(candles())));
    simdjson::ondemand::parser od;
    check(ordersOnDemand(od, simdjson::padded_string(orders())));
    check(candlesOnDemand(od, simdjson::padded_string(candles())));
    std::printf("orders reply: %zu bytes, %zu rows; candles reply: %zu bytes, %zu rows\n", orders().size(),
                rowsOf(decodeJson<OrdersResponse>(orders()).value()), candles().size(),
                rowsOf(decodeJson<CandlesResponse>(candles()).value()));
    return true;
}();

} // namespace

BENCHMARK(BM_zqt<OrdersResponse>)->Name("orders/zqt_decodeJson");
BENCHMARK(BM_nlohmann<OrdersResponse>)->Name("orders/nlohmann_json");
BENCHMARK(BM_qjson<OrdersResponse>)->Name("orders/QJsonDocument");
BENCHMARK(BM_simdjsonDom<OrdersResponse>)->Name("orders/simdjson_dom");
BENCHMARK(BM_simdjsonOnDemand<OrdersResponse>)->Name("orders/simdjson_ondemand");
BENCHMARK(BM_zqt<CandlesResponse>)->Name("candles/zqt_decodeJson");
BENCHMARK(BM_nlohmann<CandlesResponse>)->Name("candles/nlohmann_json");
BENCHMARK(BM_qjson<CandlesResponse>)->Name("candles/QJsonDocument");
BENCHMARK(BM_simdjsonDom<CandlesResponse>)->Name("candles/simdjson_dom");
BENCHMARK(BM_simdjsonOnDemand<CandlesResponse>)->Name("candles/simdjson_ondemand");

BENCHMARK_MAIN();
