#include "api/JsonDecoder.h"

#include "api/JsonNumber.h"

#include <simdjson.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace zqt {

namespace {

namespace od = simdjson::ondemand;
using simdjson::error_code;

// ---- Schemas: one table per record, JSON key -> member ----

template <class R, class M> struct Field {
    std::string_view name;
    M R::*member;
};
template <class R, class M> constexpr Field<R, M> field(std::string_view name, M R::*member) {
    return {name, member};
}

template <class R> struct Schema;

#define ZQT_SCHEMA(Record, ...)                                                                                        \
    template <> struct Schema<Record> { static constexpr auto fields = std::make_tuple(__VA_ARGS__); }

ZQT_SCHEMA(LoginResponse, field("token", &LoginResponse::token));
ZQT_SCHEMA(MetricsResponse, field("account_id", &MetricsResponse::account_id),
           field("balance", &MetricsResponse::balance), field("equity", &MetricsResponse::equity),
           field("highest_equity", &MetricsResponse::highest_equity), field("stage", &MetricsResponse::stage),
           field("rm1_access", &MetricsResponse::rm1_access), field("status", &MetricsResponse::status),
           field("execution_mode", &MetricsResponse::execution_mode), field("broker", &MetricsResponse::broker),
           field("profit_pct", &MetricsResponse::profit_pct), field("profit_target", &MetricsResponse::profit_target),
           field("max_loss_floor", &MetricsResponse::max_loss_floor),
           field("daily_loss_limit", &MetricsResponse::daily_loss_limit),
           field("daily_loss_used", &MetricsResponse::daily_loss_used),
           field("daily_loss_buffer", &MetricsResponse::daily_loss_buffer));
ZQT_SCHEMA(PositionRow, field("id", &PositionRow::id), field("symbol", &PositionRow::symbol),
           field("side", &PositionRow::side), field("units", &PositionRow::units), field("entry", &PositionRow::entry),
           field("mark", &PositionRow::mark), field("upl", &PositionRow::upl));
ZQT_SCHEMA(PositionsResponse, field("positions", &PositionsResponse::positions));
ZQT_SCHEMA(ExposureRow, field("symbol", &ExposureRow::symbol), field("net_units", &ExposureRow::net_units),
           field("upl", &ExposureRow::upl), field("mark", &ExposureRow::mark));
ZQT_SCHEMA(PortfolioSummary, field("total_upl", &PortfolioSummary::total_upl),
           field("exposure", &PortfolioSummary::exposure));
ZQT_SCHEMA(OrderRow, field("id", &OrderRow::id), field("symbol", &OrderRow::symbol), field("side", &OrderRow::side),
           field("type", &OrderRow::type), field("qty", &OrderRow::qty), field("status", &OrderRow::status),
           field("limit_price", &OrderRow::limit_price), field("stop_price", &OrderRow::stop_price));
ZQT_SCHEMA(OrdersResponse, field("orders", &OrdersResponse::orders));
ZQT_SCHEMA(FillRow, field("id", &FillRow::id), field("symbol", &FillRow::symbol), field("side", &FillRow::side),
           field("pnl", &FillRow::pnl), field("status", &FillRow::status));
ZQT_SCHEMA(FillsResponse, field("trades", &FillsResponse::trades));
ZQT_SCHEMA(RM1Row, field("signal_id", &RM1Row::signal_id), field("symbol", &RM1Row::symbol),
           field("side", &RM1Row::side), field("entry", &RM1Row::entry));
ZQT_SCHEMA(RM1Response, field("signals", &RM1Response::signals_));
ZQT_SCHEMA(PricesResponse, field("prices", &PricesResponse::prices));
ZQT_SCHEMA(DepthLevel, field("price", &DepthLevel::price), field("bid_size", &DepthLevel::bid_size),
           field("ask_size", &DepthLevel::ask_size), field("mid", &DepthLevel::mid));
ZQT_SCHEMA(DepthResponse, field("symbol", &DepthResponse::symbol), field("price", &DepthResponse::price),
           field("levels", &DepthResponse::levels), field("source", &DepthResponse::source));
ZQT_SCHEMA(CandleRow, field("ts", &CandleRow::ts), field("open", &CandleRow::open), field("high", &CandleRow::high),
           field("low", &CandleRow::low), field("close", &CandleRow::close), field("volume", &CandleRow::volume));
ZQT_SCHEMA(CandlesResponse, field("symbol", &CandlesResponse::symbol), field("interval", &CandlesResponse::interval),
           field("candles", &CandlesResponse::candles));
ZQT_SCHEMA(PnlSymbolRow, field("symbol", &PnlSymbolRow::symbol), field("realized", &PnlSymbolRow::realized),
           field("unrealized", &PnlSymbolRow::unrealized), field("total", &PnlSymbolRow::total),
           field("trades", &PnlSymbolRow::trades), field("win_rate", &PnlSymbolRow::win_rate));
ZQT_SCHEMA(PnlExposureRow, field("symbol", &PnlExposureRow::symbol), field("net_units", &PnlExposureRow::net_units),
           field("notional", &PnlExposureRow::notional), field("upl", &PnlExposureRow::upl));
ZQT_SCHEMA(PnlAttributionResponse, field("symbols", &PnlAttributionResponse::symbols),
           field("exposure", &PnlAttributionResponse::exposure));
ZQT_SCHEMA(ExecRecentRow, field("id", &ExecRecentRow::id), field("symbol", &ExecRecentRow::symbol),
           field("side", &ExecRecentRow::side), field("type", &ExecRecentRow::type),
           field("status", &ExecRecentRow::status), field("latency_ms", &ExecRecentRow::latency_ms));
ZQT_SCHEMA(ExecutionQualityResponse, field("order_count", &ExecutionQualityResponse::order_count),
           field("fill_rate", &ExecutionQualityResponse::fill_rate),
           field("cancel_rate", &ExecutionQualityResponse::cancel_rate),
           field("avg_latency_ms", &ExecutionQualityResponse::avg_latency_ms),
           field("p50_latency_ms", &ExecutionQualityResponse::p50_latency_ms),
           field("p95_latency_ms", &ExecutionQualityResponse::p95_latency_ms),
           field("avg_slippage", &ExecutionQualityResponse::avg_slippage),
           field("recent", &ExecutionQualityResponse::recent));

#undef ZQT_SCHEMA

template <class T> struct IsOptional : std::false_type {};
template <class T> struct IsOptional<std::optional<T>> : std::true_type {};

template <class R> constexpr std::size_t kFieldCount = std::tuple_size_v<std::remove_cv_t<decltype(Schema<R>::fields)>>;

template <class R, std::size_t... I> constexpr auto namesOf(std::index_sequence<I...>) {
    return std::array<std::string_view, sizeof...(I)>{std::get<I>(Schema<R>::fields).name...};
}
template <class R> constexpr auto kNames = namesOf<R>(std::make_index_sequence<kFieldCount<R>>{});

template <class R, std::size_t... I> constexpr std::uint32_t requiredMaskOf(std::index_sequence<I...>) {
    std::uint32_t mask = 0;
    ((mask |=
      IsOptional<std::remove_cvref_t<decltype(std::declval<R&>().*(std::get<I>(Schema<R>::fields).member))>>::value
          ? 0u
          : (1u << I)),
     ...);
    return mask;
}
template <class R>
constexpr std::uint32_t kRequiredMask = requiredMaskOf<R>(std::make_index_sequence<kFieldCount<R>>{});

// ---- Error context: the description is written where the fault is found, the path as the error unwinds ----

struct PathSegment {
    QString key;          // empty for an index
    qsizetype index = -1; // >= 0 for an index
};

struct Context {
    QString what;
    std::vector<PathSegment> path; // innermost first
    int depth = 0;

    bool fail(QString text) {
        what = std::move(text);
        return false;
    }
    bool failJson(error_code e) {
        return fail(QStringLiteral("invalid JSON (%1)").arg(QString::fromUtf8(simdjson::error_message(e))));
    }
    bool atKey(std::string_view key) {
        path.push_back({QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())), -1});
        return false;
    }
    bool atIndex(qsizetype i) {
        path.push_back({QString(), i});
        return false;
    }

    QString description() const {
        QString where;
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            if (it->index >= 0) {
                where += QLatin1Char('[') + QString::number(it->index) + QLatin1Char(']');
            } else {
                if (!where.isEmpty())
                    where += QLatin1Char('.');
                where += it->key;
            }
        }
        return where.isEmpty() ? what : where + QStringLiteral(": ") + what;
    }
};

const char* typeName(od::json_type t) {
    switch (t) {
    case od::json_type::array:
        return "an array";
    case od::json_type::object:
        return "an object";
    case od::json_type::number:
        return "a number";
    case od::json_type::string:
        return "a string";
    case od::json_type::boolean:
        return "a boolean";
    case od::json_type::null:
        return "null";
    }
    return "an unknown value";
}

QString excerpt(std::string_view raw) {
    constexpr std::size_t kMax = 40;
    QString text = QString::fromUtf8(raw.data(), static_cast<qsizetype>(std::min(raw.size(), kMax)));
    if (raw.size() > kMax)
        text += QStringLiteral("...");
    return text;
}

std::string_view trimTrailingSpace(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The value did not have the expected type: say what was found. A value whose first character announces the
// expected type but that failed to read is malformed JSON (e.g. "tru").
bool wrongType(Context& c, od::value& v, od::json_type expected, const char* expectedText) {
    od::json_type found;
    if (auto e = v.type().get(found))
        return c.failJson(e);
    if (found == expected)
        return c.fail(QStringLiteral("malformed JSON value"));
    return c.fail(
        QStringLiteral("expected %1, found %2").arg(QLatin1String(expectedText), QLatin1String(typeName(found))));
}

// ---- Values the records do not name: walked (not skipped) so that the whole document must be valid JSON ----

bool skipValue(od::value& v, Context& c);

bool skipArray(od::value& v, Context& c) {
    od::array arr;
    if (auto e = v.get_array().get(arr))
        return c.failJson(e);
    qsizetype i = 0;
    for (auto item : arr) {
        od::value element;
        if (auto e = std::move(item).get(element))
            return c.failJson(e), c.atIndex(i);
        if (!skipValue(element, c))
            return c.atIndex(i);
        ++i;
    }
    return true;
}

bool skipObject(od::value& v, Context& c) {
    od::object obj;
    if (auto e = v.get_object().get(obj))
        return c.failJson(e);
    for (auto item : obj) {
        od::field f;
        if (auto e = std::move(item).get(f))
            return c.failJson(e);
        std::string_view key;
        if (auto e = f.unescaped_key().get(key))
            return c.failJson(e);
        if (!skipValue(f.value(), c))
            return c.atKey(key);
    }
    return true;
}

bool skipValue(od::value& v, Context& c) {
    od::json_type t;
    if (auto e = v.type().get(t))
        return c.failJson(e);
    switch (t) {
    case od::json_type::array:
    case od::json_type::object: {
        if (c.depth >= kMaxJsonDepth)
            return c.fail(QStringLiteral("nested deeper than %1 levels").arg(kMaxJsonDepth));
        ++c.depth;
        const bool ok = t == od::json_type::array ? skipArray(v, c) : skipObject(v, c);
        --c.depth;
        return ok;
    }
    case od::json_type::number: {
        std::string_view raw = trimTrailingSpace(v.raw_json_token());
        if (parseJsonWholeNumber(raw).kind == JsonWholeNumber::Kind::Invalid)
            return c.fail(QStringLiteral("invalid JSON number %1").arg(excerpt(raw)));
        return true; // not consumed: the iterator steps over it
    }
    case od::json_type::string: {
        std::string_view s;
        if (auto e = v.get_string().get(s))
            return c.failJson(e);
        return true;
    }
    case od::json_type::boolean: {
        bool b = false;
        if (v.get_bool().get(b) != simdjson::SUCCESS)
            return wrongType(c, v, od::json_type::boolean, "a boolean");
        return true;
    }
    case od::json_type::null: {
        bool isNull = false;
        if (auto e = v.is_null().get(isNull); e || !isNull)
            return c.fail(QStringLiteral("invalid JSON null"));
        return true;
    }
    }
    return c.fail(QStringLiteral("invalid JSON value"));
}

// ---- Typed readers ----

bool read(od::value& v, std::int64_t& out, Context& c) {
    if (!v.get_int64().get(out))
        return true;
    // Not a plain integer token: 17.0, 1.7e1, a fraction, out of range, or not a number at all.
    od::json_type t;
    if (auto e = v.type().get(t))
        return c.failJson(e);
    if (t != od::json_type::number)
        return c.fail(QStringLiteral("expected an integer, found %1").arg(QLatin1String(typeName(t))));
    const std::string_view raw = trimTrailingSpace(v.raw_json_token());
    const JsonWholeNumber n = parseJsonWholeNumber(raw);
    switch (n.kind) {
    case JsonWholeNumber::Kind::Whole:
        out = n.value;
        return true;
    case JsonWholeNumber::Kind::Fraction:
        return c.fail(QStringLiteral("expected an integer, found %1").arg(excerpt(raw)));
    case JsonWholeNumber::Kind::OutOfRange:
        return c.fail(QStringLiteral("integer %1 is outside the 64-bit range").arg(excerpt(raw)));
    case JsonWholeNumber::Kind::Invalid:
        break;
    }
    return c.fail(QStringLiteral("invalid JSON number %1").arg(excerpt(raw)));
}

bool read(od::value& v, double& out, Context& c) {
    if (!v.get_double().get(out))
        return true;
    od::json_type t;
    if (auto e = v.type().get(t))
        return c.failJson(e);
    if (t != od::json_type::number)
        return c.fail(QStringLiteral("expected a number, found %1").arg(QLatin1String(typeName(t))));
    const std::string_view raw = trimTrailingSpace(v.raw_json_token());
    if (parseJsonWholeNumber(raw).kind == JsonWholeNumber::Kind::Invalid)
        return c.fail(QStringLiteral("invalid JSON number %1").arg(excerpt(raw)));
    return c.fail(QStringLiteral("number %1 is outside the range of a double").arg(excerpt(raw)));
}

bool read(od::value& v, QString& out, Context& c) {
    std::string_view s;
    if (auto e = v.get_string().get(s)) {
        if (e == simdjson::INCORRECT_TYPE)
            return wrongType(c, v, od::json_type::string, "a string");
        return c.failJson(e);
    }
    out = QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
    return true;
}

bool read(od::value& v, bool& out, Context& c) {
    if (v.get_bool().get(out))
        return wrongType(c, v, od::json_type::boolean, "a boolean");
    return true;
}

bool read(od::value& v, StringOrInt& out, Context& c) {
    od::json_type t;
    if (auto e = v.type().get(t))
        return c.failJson(e);
    switch (t) {
    case od::json_type::number: {
        std::int64_t i;
        if (!v.get_int64().get(i)) {
            out.value = QString::number(i);
            return true;
        }
        const std::string_view raw = trimTrailingSpace(v.raw_json_token());
        const JsonWholeNumber n = parseJsonWholeNumber(raw);
        if (n.kind == JsonWholeNumber::Kind::Invalid)
            return c.fail(QStringLiteral("invalid JSON number %1").arg(excerpt(raw)));
        out.value = n.kind == JsonWholeNumber::Kind::Whole ? QString::number(n.value) : QString();
        return true;
    }
    case od::json_type::string:
        return read(v, out.value, c);
    default:
        // null, true, false, arrays and objects give the empty text, but must still be valid JSON.
        out.value.clear();
        return skipValue(v, c);
    }
}

bool read(od::value& v, QHash<QString, double>& out, Context& c) {
    od::object obj;
    if (auto e = v.get_object().get(obj)) {
        if (e == simdjson::INCORRECT_TYPE)
            return wrongType(c, v, od::json_type::object, "an object");
        return c.failJson(e);
    }
    for (auto item : obj) {
        od::field f;
        if (auto e = std::move(item).get(f))
            return c.failJson(e);
        std::string_view key;
        if (auto e = f.unescaped_key().get(key))
            return c.failJson(e);
        double price = 0.0;
        if (!read(f.value(), price, c))
            return c.atKey(key);
        QString symbol = QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
        if (out.contains(symbol))
            return c.fail(QStringLiteral("duplicate key")), c.atKey(key);
        out.insert(std::move(symbol), price);
    }
    return true;
}

template <class T> bool read(od::value& v, std::optional<T>& out, Context& c) {
    bool isNull = false;
    if (!v.is_null().get(isNull) && isNull) {
        out.reset();
        return true;
    }
    T value{};
    if (!read(v, value, c))
        return false;
    out = std::move(value);
    return true;
}

template <class R> bool decodeObject(od::object& obj, R& out, Context& c);

template <class R> bool read(od::value& v, QList<R>& out, Context& c) {
    od::array arr;
    if (auto e = v.get_array().get(arr)) {
        if (e == simdjson::INCORRECT_TYPE)
            return wrongType(c, v, od::json_type::array, "an array");
        return c.failJson(e);
    }
    qsizetype i = 0;
    for (auto item : arr) {
        od::value element;
        if (auto e = std::move(item).get(element))
            return c.failJson(e), c.atIndex(i);
        od::object obj;
        if (auto e = element.get_object().get(obj)) {
            if (e == simdjson::INCORRECT_TYPE)
                wrongType(c, element, od::json_type::object, "an object");
            else
                c.failJson(e);
            return c.atIndex(i);
        }
        R row{};
        if (!decodeObject(obj, row, c))
            return c.atIndex(i);
        out.push_back(std::move(row));
        ++i;
    }
    return true;
}

// ---- Objects ----

template <class R, std::size_t... I>
bool readField(std::size_t index, od::value& v, R& out, Context& c, std::index_sequence<I...>) {
    bool ok = false;
    static_cast<void>(
        ((index == I ? (ok = read(v, out.*(std::get<I>(Schema<R>::fields).member), c), true) : false) || ...));
    return ok;
}

template <class R> std::size_t findField(std::string_view key, std::size_t hint) {
    constexpr auto& names = kNames<R>;
    // Replies usually list the keys in the record's order: try the one after the last match first.
    if (hint < names.size() && names[hint] == key)
        return hint;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == key)
            return i;
    return names.size();
}

template <class R> bool decodeObject(od::object& obj, R& out, Context& c) {
    static_assert(kFieldCount<R> <= 32);
    std::uint32_t seen = 0;
    std::size_t hint = 0;
    for (auto item : obj) {
        od::field f;
        if (auto e = std::move(item).get(f))
            return c.failJson(e);
        std::string_view key;
        if (auto e = f.unescaped_key().get(key))
            return c.failJson(e);
        const std::size_t index = findField<R>(key, hint);
        if (index == kFieldCount<R>) {
            if (!skipValue(f.value(), c))
                return c.atKey(key);
            continue;
        }
        const std::uint32_t bit = 1u << index;
        if (seen & bit)
            return c.fail(QStringLiteral("duplicate key")), c.atKey(key);
        seen |= bit;
        hint = index + 1;
        if (!readField(index, f.value(), out, c, std::make_index_sequence<kFieldCount<R>>{}))
            return c.atKey(key);
    }
    if ((seen & kRequiredMask<R>) != kRequiredMask<R>) {
        for (std::size_t i = 0; i < kFieldCount<R>; ++i) {
            if ((kRequiredMask<R> & ~seen) & (1u << i))
                return c.fail(QStringLiteral("required key is missing")), c.atKey(kNames<R>[i]);
        }
    }
    return true;
}

// ---- Documents ----

// Documents up to this size reuse a per-thread parser and buffer; larger ones get their own, released after use,
// so one huge reply does not pin its memory for the life of the thread.
constexpr std::size_t kReusableCapacity = 1u << 20;

struct Scratch {
    od::parser parser;
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;

    simdjson::padded_string_view pad(std::string_view json) {
        if (capacity < json.size() + simdjson::SIMDJSON_PADDING) {
            capacity = json.size() + simdjson::SIMDJSON_PADDING;
            buffer = std::make_unique<char[]>(capacity);
        }
        std::memcpy(buffer.get(), json.data(), json.size());
        std::memset(buffer.get() + json.size(), 0, simdjson::SIMDJSON_PADDING);
        return simdjson::padded_string_view(buffer.get(), json.size(), capacity);
    }
};

bool isBlank(std::string_view s) {
    for (char ch : s)
        if (ch != ' ' && ch != '\t' && ch != '\n' && ch != '\r')
            return false;
    return true;
}

template <class R> Result<R> decodeWith(Scratch& scratch, std::string_view json) {
    if (isBlank(json))
        return Result<R>::failure(ApiError::decode(QStringLiteral("the body is empty, not a JSON object")));
    Context c;
    od::document doc;
    if (auto e = scratch.parser.iterate(scratch.pad(json)).get(doc)) {
        c.failJson(e);
        return Result<R>::failure(ApiError::decode(c.description()));
    }
    od::object obj;
    if (auto e = doc.get_object().get(obj)) {
        od::json_type t;
        if (e == simdjson::INCORRECT_TYPE && !doc.type().get(t))
            c.fail(QStringLiteral("expected a JSON object at the top level, found %1").arg(QLatin1String(typeName(t))));
        else
            c.failJson(e);
        return Result<R>::failure(ApiError::decode(c.description()));
    }
    R out{};
    if (!decodeObject(obj, out, c))
        return Result<R>::failure(ApiError::decode(c.description()));
    // Only whitespace may follow the object: the iterator must stand at the end of the document.
    const char* rest = nullptr;
    if (doc.current_location().get(rest) != simdjson::OUT_OF_BOUNDS)
        return Result<R>::failure(
            ApiError::decode(QStringLiteral("invalid JSON (content after the top-level object)")));
    return Result<R>::success(std::move(out));
}

} // namespace

template <class T> Result<T> decodeJson(std::string_view json) {
    static_assert(isApiRecord<T>);
    if (json.size() > kReusableCapacity) {
        auto scratch = std::make_unique<Scratch>();
        return decodeWith<T>(*scratch, json);
    }
    thread_local Scratch scratch;
    return decodeWith<T>(scratch, json);
}

// Taking the decoder's address for every record of ApiRecords compiles it for each of them here, where its
// definition is; the other files only declare it.
template <class List> struct Decoders;
template <class... T> struct Decoders<TypeList<T...>> {
    static constexpr std::tuple<Result<T> (*)(std::string_view)...> all{&decodeJson<T>...};
};
template struct Decoders<ApiRecords>;

} // namespace zqt
