#include "api/JsonDecoder.h"
#include "api/JsonNumber.h"

#include <gtest/gtest.h>

#include <QHash>

#include <cmath>
#include <limits>
#include <string>

using namespace zqt;

namespace {

// Decodes as T and gives the failure description, or "ok".
template <class T> std::string outcome(std::string_view json) {
    const auto r = decodeJson<T>(json);
    return r.ok() ? std::string("ok") : r.error().description.toStdString();
}

std::string position(const std::string& fields) {
    return R"({"positions":[{)" + fields + "}]}";
}
const std::string kPositionBase = R"("symbol":"EURUSD","side":"BUY","units":1,"entry":1.1)";

} // namespace

// ---- Exact whole numbers ----

TEST(ApiWholeNumber, table_classifiesEveryForm) {
    using K = JsonWholeNumber::Kind;
    struct Case {
        const char* text;
        K kind;
        std::int64_t value;
    };
    const Case cases[] = {
        {"17", K::Whole, 17},
        {"17.0", K::Whole, 17},
        {"1.7e1", K::Whole, 17},
        {"170e-1", K::Whole, 17},
        {"1.70E+1", K::Whole, 17},
        {"-7", K::Whole, -7},
        {"-0", K::Whole, 0},
        {"-0.0", K::Whole, 0},
        {"0e999999999999999999999", K::Whole, 0},
        {"9223372036854775807", K::Whole, std::numeric_limits<std::int64_t>::max()},
        {"9223372036854775807.000", K::Whole, std::numeric_limits<std::int64_t>::max()},
        {"-9223372036854775808", K::Whole, std::numeric_limits<std::int64_t>::min()},
        {"9.223372036854775807e18", K::Whole, std::numeric_limits<std::int64_t>::max()},
        {"9223372036854775808", K::OutOfRange, 0},
        {"-9223372036854775809", K::OutOfRange, 0},
        {"18446744073709551616", K::OutOfRange, 0},
        {"1e19", K::OutOfRange, 0},
        {"1e400", K::OutOfRange, 0},
        {"1e99999999999999999999", K::OutOfRange, 0},
        {"17.5", K::Fraction, 0},
        {"1e-400", K::Fraction, 0},
        {"0.1", K::Fraction, 0},
        {"01", K::Invalid, 0},
        {"1.", K::Invalid, 0},
        {".5", K::Invalid, 0},
        {"+1", K::Invalid, 0},
        {"-", K::Invalid, 0},
        {"1e", K::Invalid, 0},
        {"1e+", K::Invalid, 0},
        {"0x10", K::Invalid, 0},
        {"17x", K::Invalid, 0},
        {"", K::Invalid, 0},
    };
    for (const auto& c : cases) {
        const auto got = parseJsonWholeNumber(c.text);
        EXPECT_EQ(got.kind, c.kind) << c.text;
        if (c.kind == K::Whole)
            EXPECT_EQ(got.value, c.value) << c.text;
    }
}

// ---- Successful decodes ----

TEST(ApiDecode, metrics_allFieldsInOrder_decodesEveryValue) {
    const auto r = decodeJson<MetricsResponse>(R"({"account_id":9223372036854775807,"balance":100000,"equity":100250.5,
        "highest_equity":100300,"stage":2.0,"rm1_access":true,"status":"ACTIVE","execution_mode":"paper",
        "broker":"sim","profit_pct":0.25,"profit_target":8,"max_loss_floor":90000,"daily_loss_limit":5000,
        "daily_loss_used":120.5,"daily_loss_buffer":4879.5,"unknown":{"deep":[1,2,{"x":null}]}})");
    ASSERT_TRUE(r.ok()) << r.error().description.toStdString();
    EXPECT_EQ(r->account_id, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(r->balance, 100000.0);
    EXPECT_EQ(r->equity, 100250.5);
    EXPECT_EQ(r->stage, 2);
    EXPECT_TRUE(r->rm1_access);
    EXPECT_EQ(r->status, QStringLiteral("ACTIVE"));
    EXPECT_EQ(r->execution_mode, QStringLiteral("paper"));
    EXPECT_EQ(r->broker, QStringLiteral("sim"));
    EXPECT_EQ(r->daily_loss_buffer, 4879.5);
}

TEST(ApiDecode, positions_emptyList_decodesToEmptyList) {
    const auto r = decodeJson<PositionsResponse>(R"({"positions":[]})");
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r->positions.isEmpty());
}

TEST(ApiDecode, positionId_numberOrString_isHeldAsText) {
    struct Case {
        const char* id;
        const char* text;
    };
    const Case cases[] = {
        {"17", "17"},
        {"-7", "-7"},
        {"42.0", "42"},
        {"4.2e1", "42"},
        {"9223372036854775807", "9223372036854775807"},
        {R"("abc-17")", "abc-17"},
        {R"(" 17 ")", " 17 "},
        {R"("\u00e9t\u00e9")", "\xc3\xa9t\xc3\xa9"},
        {"null", ""},
        {"2.5", ""},
        {"true", ""},
        {"false", ""},
        {"9223372036854775808", ""},
        {"[1,2]", ""},
        {R"({"a":1})", ""},
    };
    for (const auto& c : cases) {
        const auto r = decodeJson<PositionsResponse>(position(std::string(R"("id":)") + c.id + "," + kPositionBase));
        ASSERT_TRUE(r.ok()) << c.id << ": " << r.error().description.toStdString();
        ASSERT_EQ(r->positions.size(), 1);
        EXPECT_EQ(r->positions[0].id.value, QString::fromUtf8(c.text)) << c.id;
    }
}

TEST(ApiDecode, positionMark_nullOrMissing_hasNoValue) {
    auto r = decodeJson<PositionsResponse>(position(R"("id":1,"mark":null,)" + kPositionBase));
    ASSERT_TRUE(r.ok());
    EXPECT_FALSE(r->positions[0].mark.has_value());
    EXPECT_FALSE(r->positions[0].upl.has_value());
    r = decodeJson<PositionsResponse>(position(R"("id":1,"mark":1.25,"upl":-3,)" + kPositionBase));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r->positions[0].mark, 1.25);
    EXPECT_EQ(r->positions[0].upl, -3.0);
}

TEST(ApiDecode, orders_integerQtyAndWholeDoubleId_decode) {
    const auto r = decodeJson<OrdersResponse>(
        R"({"orders":[{"id":3.0,"symbol":"AAPL","side":"SELL","type":"LIMIT","qty":3,"status":"OPEN"}]})");
    ASSERT_TRUE(r.ok()) << r.error().description.toStdString();
    EXPECT_EQ(r->orders[0].id, 3);
    EXPECT_EQ(r->orders[0].qty, 3.0);
    EXPECT_EQ(r->orders[0].type, QStringLiteral("LIMIT"));
}

TEST(ApiDecode, wholeDoubleIntAsLastKey_decodesAndTheDocumentEnds) {
    const auto r = decodeJson<CandlesResponse>(
        R"({"symbol":"ES","candles":[{"ts":"t","open":1,"high":1,"low":1,"close":1,"volume":2.0}],"interval":6e1} )");
    ASSERT_TRUE(r.ok()) << r.error().description.toStdString();
    EXPECT_EQ(r->interval, 60);
    const auto o = decodeJson<OrdersResponse>(
        R"({"orders":[{"symbol":"A","side":"BUY","type":"MARKET","qty":1,"status":"OPEN","id":3.0}]})");
    ASSERT_TRUE(o.ok()) << o.error().description.toStdString();
    EXPECT_EQ(o->orders[0].id, 3);
}

TEST(ApiDecode, depthLevel_withoutOptionalKeys_decodesThemAbsent) {
    const auto r = decodeJson<DepthResponse>(
        R"({"symbol":"ES","price":5000.25,"levels":[{"price":5000.5},{"price":5000,"bid_size":3,"ask_size":null,"mid":true}]})");
    ASSERT_TRUE(r.ok()) << r.error().description.toStdString();
    ASSERT_EQ(r->levels.size(), 2);
    EXPECT_FALSE(r->levels[0].bid_size || r->levels[0].ask_size || r->levels[0].mid);
    EXPECT_EQ(r->levels[1].bid_size, 3.0);
    EXPECT_FALSE(r->levels[1].ask_size.has_value());
    EXPECT_EQ(r->levels[1].mid, true);
    EXPECT_FALSE(r->source.has_value());
}

TEST(ApiDecode, prices_fractionalAndInteger_decodeToTwoEntries) {
    const auto r = decodeJson<PricesResponse>(R"({"prices":{"EURUSD":1.0842,"ES":5000}})");
    ASSERT_TRUE(r.ok());
    const QHash<QString, double> expected{{QStringLiteral("EURUSD"), 1.0842}, {QStringLiteral("ES"), 5000.0}};
    EXPECT_EQ(r->prices, expected);
}

TEST(ApiDecode, doubleField_integerBeyond64Bits_decodesAsNearestDouble) {
    const auto r = decodeJson<PortfolioSummary>(R"({"total_upl":123456789012345678901234567890,"exposure":[]})");
    ASSERT_TRUE(r.ok()) << r.error().description.toStdString();
    EXPECT_DOUBLE_EQ(r->total_upl, 1.2345678901234568e29);
}

TEST(ApiDecode, candles_allRecords_decode) {
    const auto r = decodeJson<CandlesResponse>(
        R"({"symbol":"BTCUSD","interval":300,"candles":[{"ts":"2026-01-01T00:00:00Z","open":1,"high":2,"low":0.5,"close":1.5},
            {"ts":"2026-01-01T00:05:00Z","open":1.5,"high":2,"low":1,"close":1.75,"volume":12}]})");
    ASSERT_TRUE(r.ok()) << r.error().description.toStdString();
    EXPECT_EQ(r->interval, 300);
    ASSERT_EQ(r->candles.size(), 2);
    EXPECT_FALSE(r->candles[0].volume.has_value());
    EXPECT_EQ(r->candles[1].volume, 12.0);
}

TEST(ApiDecode, escapedKey_matchesItsUnescapedName) {
    const auto r = decodeJson<LoginResponse>(R"({"tok\u0065n":"abc"})");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r->token, QStringLiteral("abc"));
}

TEST(ApiDecode, otherRecords_minimalReplies_decode) {
    EXPECT_EQ(
        outcome<FillsResponse>(R"({"trades":[{"id":1,"symbol":"ES","side":"BUY","pnl":-2.5,"status":"closed"}]})"),
        "ok");
    EXPECT_EQ(outcome<RM1Response>(R"({"signals":[{"signal_id":"s1","symbol":"ES","side":"BUY","entry":1}]})"), "ok");
    EXPECT_EQ(outcome<PnlAttributionResponse>(
                  R"({"symbols":[{"symbol":"ES","realized":1,"unrealized":2,"total":3,"trades":4,"win_rate":0.5}],
                      "exposure":[{"symbol":"ES","net_units":1,"notional":5000,"upl":2}]})"),
              "ok");
    EXPECT_EQ(outcome<ExecutionQualityResponse>(
                  R"({"order_count":2,"fill_rate":1,"cancel_rate":0,"avg_latency_ms":3,"p50_latency_ms":2,
                      "p95_latency_ms":9,"avg_slippage":0.1,"recent":[{"id":5,"symbol":"ES","side":"BUY",
                      "type":"MARKET","status":"FILLED","latency_ms":null}]})"),
              "ok");
    const auto rm1 =
        decodeJson<RM1Response>(R"({"signals":[{"signal_id":"s1","symbol":"ES","side":"BUY","entry":1}]})");
    ASSERT_TRUE(rm1.ok());
    EXPECT_EQ(rm1->signals_[0].signal_id, QStringLiteral("s1"));
}

// ---- Failures: one table, the description names the place and the fault ----

TEST(ApiDecode, malformedReplies_failWithDescription) {
    struct Case {
        const char* name;
        std::string (*decode)(std::string_view);
        std::string json;
        const char* expected; // the whole description
    };
    const Case cases[] = {
        {"empty object lacks positions", outcome<PositionsResponse>, "{}", "positions: required key is missing"},
        {"id key missing", outcome<PositionsResponse>, position(kPositionBase),
         "positions[0].id: required key is missing"},
        {"mark holds digits in a string", outcome<PositionsResponse>,
         position(R"("id":1,"mark":"1.5",)" + kPositionBase), "positions[0].mark: expected a number, found a string"},
        {"units is a string in row 3", outcome<PositionsResponse>,
         R"({"positions":[{"id":1,)" + kPositionBase + R"(},{"id":2,)" + kPositionBase + R"(},{"id":3,)" +
             kPositionBase + R"(},{"id":4,"symbol":"EURUSD","side":"BUY","units":"1","entry":1.1}]})",
         "positions[3].units: expected a number, found a string"},
        {"order id 3.5", outcome<OrdersResponse>,
         R"({"orders":[{"id":3.5,"symbol":"A","side":"BUY","type":"MARKET","qty":1,"status":"OPEN"}]})",
         "orders[0].id: expected an integer, found 3.5"},
        {"order id beyond int64", outcome<OrdersResponse>,
         R"({"orders":[{"id":9223372036854775808,"symbol":"A","side":"BUY","type":"MARKET","qty":1,"status":"OPEN"}]})",
         "orders[0].id: integer 9223372036854775808 is outside the 64-bit range"},
        {"order id as string", outcome<OrdersResponse>,
         R"({"orders":[{"id":"3","symbol":"A","side":"BUY","type":"MARKET","qty":1,"status":"OPEN"}]})",
         "orders[0].id: expected an integer, found a string"},
        {"symbol as number", outcome<LoginResponse>, R"({"token":17})", "token: expected a string, found a number"},
        {"required null", outcome<LoginResponse>, R"({"token":null})", "token: expected a string, found null"},
        {"bool from string", outcome<DepthResponse>, R"({"symbol":"ES","price":1,"levels":[{"price":1,"mid":"true"}]})",
         "levels[0].mid: expected a boolean, found a string"},
        {"bool from number", outcome<MetricsResponse>, R"({"rm1_access":1})",
         "rm1_access: expected a boolean, found a number"},
        {"price value string", outcome<PricesResponse>, R"({"prices":{"EURUSD":1.1,"ES":"5000"}})",
         "prices.ES: expected a number, found a string"},
        {"prices not an object", outcome<PricesResponse>, R"({"prices":[1,2]})",
         "prices: expected an object, found an array"},
        {"capitalised key", outcome<CandlesResponse>, R"({"Symbol":"ES","interval":60,"candles":[]})",
         "symbol: required key is missing"},
        {"row not an object", outcome<OrdersResponse>, R"({"orders":[[]]})",
         "orders[0]: expected an object, found an array"},
        {"list not an array", outcome<OrdersResponse>, R"({"orders":{}})",
         "orders: expected an array, found an object"},
        {"top-level array", outcome<OrdersResponse>, R"([{"orders":[]}])",
         "expected a JSON object at the top level, found an array"},
        {"top-level string", outcome<LoginResponse>, R"("token")",
         "expected a JSON object at the top level, found a string"},
        {"double out of range", outcome<PortfolioSummary>, R"({"total_upl":1e400,"exposure":[]})",
         "total_upl: number 1e400 is outside the range of a double"},
        {"duplicate named key", outcome<LoginResponse>, R"({"token":"a","token":"b"})", "token: duplicate key"},
        {"duplicate price key", outcome<PricesResponse>, R"({"prices":{"ES":1,"ES":2}})", "prices.ES: duplicate key"},
        {"empty body", outcome<LoginResponse>, "", "the body is empty, not a JSON object"},
        {"blank body", outcome<LoginResponse>, " \r\n", "the body is empty, not a JSON object"},
        {"trailing content", outcome<LoginResponse>, R"({"token":"a"} x)", nullptr},
        {"second document", outcome<LoginResponse>, R"({"token":"a"}{})",
         "invalid JSON (content after the top-level object)"},
        {"leading zero in ignored key", outcome<LoginResponse>, R"({"x":01,"token":"a"})", "x: invalid JSON number 01"},
        {"bad literal in ignored key", outcome<LoginResponse>, R"({"x":tru,"token":"a"})", "x: malformed JSON value"},
        {"bad escape in ignored key", outcome<LoginResponse>, R"({"x":"\q","token":"a"})", nullptr},
        {"not JSON", outcome<LoginResponse>, "<html>502 Bad Gateway</html>", nullptr},
        {"truncated", outcome<OrdersResponse>, R"({"orders":[{"id":1,"symbol":"A")", nullptr},
        {"missing comma", outcome<LoginResponse>, R"({"x":[1 2],"token":"a"})", nullptr},
        {"missing colon", outcome<LoginResponse>, R"({"token" "a"})", nullptr},
        {"invalid UTF-8", outcome<LoginResponse>, "{\"token\":\"\xff\xfe\"}", nullptr},
        {"lone surrogate escape", outcome<LoginResponse>, R"({"token":"\ud800"})", nullptr},
        {"unclosed object", outcome<LoginResponse>, R"({"token":"a")", nullptr},
        {"extra closing bracket", outcome<LoginResponse>, R"({"token":"a"}])", nullptr},
        {"nan", outcome<PortfolioSummary>, R"({"total_upl":NaN,"exposure":[]})", nullptr},
        {"plus sign", outcome<PortfolioSummary>, R"({"total_upl":+1,"exposure":[]})", nullptr},
    };
    for (const auto& c : cases) {
        const std::string got = c.decode(c.json);
        if (c.expected) {
            EXPECT_EQ(got, c.expected) << c.name;
        } else {
            EXPECT_NE(got, "ok") << c.name;
            EXPECT_FALSE(got.empty()) << c.name;
        }
    }
}

TEST(ApiDecode, oneBadRowAmongFifty_failsTheWholeReply) {
    std::string json = R"({"orders":[)";
    for (int i = 0; i < 50; ++i) {
        if (i)
            json += ',';
        json += R"({"id":)" + std::to_string(i) + R"(,"symbol":"A","side":"BUY","type":"MARKET","qty":)" +
                (i == 37 ? std::string("true") : std::string("1")) + R"(,"status":"OPEN"})";
    }
    json += "]}";
    EXPECT_EQ(outcome<OrdersResponse>(json), "orders[37].qty: expected a number, found a boolean");
}

TEST(ApiDecode, deeplyNestedArrays_failCleanly) {
    for (int depth : {kMaxJsonDepth + 1, 100000}) {
        const std::string json = R"({"token":"a","x":)" + std::string(static_cast<std::size_t>(depth), '[') +
                                 std::string(static_cast<std::size_t>(depth), ']') + "}";
        const std::string got = outcome<LoginResponse>(json);
        EXPECT_NE(got, "ok") << depth;
    }
    const std::string fits = R"({"token":"a","x":)" + std::string(100, '[') + std::string(100, ']') + "}";
    EXPECT_EQ(outcome<LoginResponse>(fits), "ok");
}

TEST(ApiDecode, largeBody_decodesAndFailsWithoutPartialResult) {
    // About 50 MB: a valid candles reply, then the same with one bad row at the very end.
    std::string json = R"({"symbol":"ES","interval":60,"candles":[)";
    const std::string row =
        R"({"ts":"2026-01-01T00:00:00Z","open":1.25,"high":2.5,"low":0.75,"close":1.5,"volume":10})";
    const std::size_t rows = 50u * 1024 * 1024 / (row.size() + 1);
    json.reserve(rows * (row.size() + 1) + 128);
    for (std::size_t i = 0; i < rows; ++i) {
        if (i)
            json += ',';
        json += row;
    }
    const auto good = decodeJson<CandlesResponse>(json + "]}");
    ASSERT_TRUE(good.ok()) << good.error().description.toStdString();
    EXPECT_EQ(static_cast<std::size_t>(good->candles.size()), rows);

    const auto bad = decodeJson<CandlesResponse>(json + R"(,{"ts":1}]})");
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().description.toStdString(),
              "candles[" + std::to_string(rows) + "].ts: expected a string, found a number");
    EXPECT_EQ(bad.error().kind, ApiError::Kind::Decode);
}
