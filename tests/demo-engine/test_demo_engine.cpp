#include "EngineHarness.h"
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <regex>
#include <sstream>
#include <thread>

using nlohmann::json;
using zqt::test::EngineHarness;

namespace {

const char* kForm = "application/x-www-form-urlencoded";
constexpr std::size_t kEngineBodyCap = 16 * 1024; // the engine's documented body limit, in bytes

enum class Kind { Int, Double, String, Bool, StringOrInt };
struct Field {
    const char* name;
    Kind kind;
    bool optional = false;
};

// Checks one record against its field list the way a strict decoder would: present, non-null and of the JSON
// type unless optional; an Int must be a whole number.
void expectRecord(const json& j, const std::vector<Field>& fields, const std::string& where) {
    ASSERT_TRUE(j.is_object()) << where << ": " << j.dump();
    for (const Field& f : fields) {
        const bool has = j.contains(f.name) && !j[f.name].is_null();
        if (!has) {
            EXPECT_TRUE(f.optional || (f.kind == Kind::StringOrInt && j.contains(f.name)))
                << where << ": missing " << f.name << " in " << j.dump();
            continue;
        }
        const json& v = j[f.name];
        switch (f.kind) {
        case Kind::Int:
            EXPECT_TRUE(v.is_number() && std::trunc(v.get<double>()) == v.get<double>())
                << where << "." << f.name << " = " << v.dump();
            break;
        case Kind::Double:
            EXPECT_TRUE(v.is_number()) << where << "." << f.name << " = " << v.dump();
            break;
        case Kind::String:
            EXPECT_TRUE(v.is_string()) << where << "." << f.name << " = " << v.dump();
            break;
        case Kind::Bool:
            EXPECT_TRUE(v.is_boolean()) << where << "." << f.name << " = " << v.dump();
            break;
        case Kind::StringOrInt:
            EXPECT_TRUE(v.is_string() || v.is_number_integer()) << where << "." << f.name << " = " << v.dump();
            break;
        }
    }
}

void expectList(const json& j, const char* key, const std::vector<Field>& fields, const std::string& where) {
    ASSERT_TRUE(j.is_object() && j.contains(key) && j[key].is_array()) << where << ": " << j.dump();
    for (const json& row : j[key])
        expectRecord(row, fields, where + "." + key + "[]");
}

const std::vector<Field> kOrderRow = {{"id", Kind::Int},      {"symbol", Kind::String}, {"side", Kind::String},
                                      {"type", Kind::String}, {"qty", Kind::Double},    {"status", Kind::String}};

json getJson(httplib::Client& c, const std::string& path, const httplib::Headers& h = {}, int expectStatus = 200) {
    const auto res = c.Get(path.c_str(), h);
    if (!res) {
        ADD_FAILURE() << "no reply for " << path;
        return {};
    }
    EXPECT_EQ(res->status, expectStatus) << path << ": " << res->body;
    EXPECT_EQ(res->get_header_value("Content-Type"), "application/json") << path;
    json j = json::parse(res->body, nullptr, false);
    EXPECT_FALSE(j.is_discarded()) << path << ": " << res->body;
    return j;
}

json postForm(httplib::Client& c, const std::string& path, const std::string& body, const httplib::Headers& h,
              int* status = nullptr) {
    const auto res = c.Post(path.c_str(), h, body, kForm);
    if (!res) {
        ADD_FAILURE() << "no reply for POST " << path;
        return {};
    }
    if (status)
        *status = res->status;
    json j = json::parse(res->body, nullptr, false);
    EXPECT_TRUE(j.is_object()) << path << ": " << res->body;
    return j;
}

double priceOf(httplib::Client& c, const std::string& symbol) {
    const json j = getJson(c, "/api/prices?symbols=" + symbol);
    return j["prices"][symbol].get<double>();
}

json findOrder(const json& orders, long long id) {
    for (const json& o : orders["orders"]) {
        if (o["id"].get<long long>() == id)
            return o;
    }
    return {};
}

// A plain TCP connection to 127.0.0.1, for requests the HTTP client would not send (control characters in a
// header, chosen Accept-Encoding) and for connections that send nothing at all.
class RawConnection {
public:
    explicit RawConnection(int port) : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = m_fd >= 0 && ::connect(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~RawConnection() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool connected() const { return m_connected; }
    bool send(const std::string& bytes) {
        return ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // Everything the peer sends until it closes the connection or `timeoutMs` passes; `closed` tells which.
    std::string readUntilClosed(int timeoutMs, bool* closed = nullptr) {
        std::string out;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            char buf[4096];
            const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
            if (n <= 0) {
                if (closed)
                    *closed = true;
                return out;
            }
            out.append(buf, static_cast<std::size_t>(n));
        }
        if (closed)
            *closed = false;
        return out;
    }

private:
    int m_fd;
    bool m_connected = false;
};

struct RawReply {
    int status = 0;
    std::string head; // status line and headers
};

// Sends one GET with the given extra header lines (each ending in CRLF) and "Connection: close".
RawReply rawGet(int port, const std::string& path, const std::string& headerLines) {
    RawConnection conn(port);
    if (!conn.connected() || !conn.send("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                        "\r\n" + headerLines + "Connection: close\r\n\r\n"))
        return {};
    const std::string reply = conn.readUntilClosed(30000);
    RawReply r;
    r.head = reply.substr(0, reply.find("\r\n\r\n"));
    if (reply.rfind("HTTP/1.1 ", 0) == 0)
        r.status = std::atoi(reply.c_str() + 9);
    return r;
}

// Lines of a log that hold a byte outside printable ASCII.
std::vector<std::string> unprintableLines(const std::string& log) {
    std::vector<std::string> bad;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (std::any_of(line.begin(), line.end(), [](char c) { return c < 0x20 || c >= 0x7f; }))
            bad.push_back(line);
    }
    return bad;
}

std::string lowerCase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return s;
}

bool sanitizerReported(const std::string& log) {
    return log.find("Sanitizer") != std::string::npos || log.find("runtime error:") != std::string::npos;
}

class DemoEngine : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_engine.pid() > 0)
            m_engine.down();
        EXPECT_FALSE(sanitizerReported(m_engine.log("web"))) << m_engine.log("web");
    }
    void startOrFail() {
        const QString out = m_engine.up();
        ASSERT_GT(m_engine.port(), 0) << out.toStdString() << m_engine.log("web");
    }
    EngineHarness m_engine;
};

TEST_F(DemoEngine, upAndDown_writePidPortsAndLogsServeEveryPageAndStopCleanly) {
    const QString out = m_engine.up();
    EXPECT_TRUE(out.contains("running")) << out.toStdString();

    const json ports = m_engine.runtimePorts();
    ASSERT_TRUE(ports.is_object());
    EXPECT_EQ(ports["host"], "127.0.0.1");
    EXPECT_EQ(ports["access_host"], "127.0.0.1");
    EXPECT_EQ(ports["port"].get<int>(), m_engine.requestedPort());
    EXPECT_EQ(ports["marketing_port"].get<int>(), m_engine.env()["ZQT_MARKETING_PORT"].toInt());
    EXPECT_EQ(ports["portal_port"].get<int>(), m_engine.env()["ZQT_PORTAL_PORT"].toInt());
    const long long pid = m_engine.pid();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(::kill(static_cast<pid_t>(pid), 0), 0);
    for (const char* name : {"web", "worker", "rm1", "marketing", "portal"})
        EXPECT_TRUE(QFile::exists(m_engine.storage() + "/logs/" + name + ".log")) << name;

    auto c = m_engine.client();
    const auto health = c->Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    const auto status = c->Get("/api/system/status");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->status, 200);
    EXPECT_NE(status->body.find("running"), std::string::npos);

    const std::string token = m_engine.login();
    ASSERT_FALSE(token.empty());
    struct Page {
        int port;
        std::string path;
        std::string mustContain;
    };
    const std::vector<Page> pages = {
        {ports["port"], "/terminal", "No token given"},
        {ports["port"], "/terminal?token=" + token, "token accepted"},
        {ports["port"], "/terminal?token=forged", "not valid"},
        {ports["port"], "/admin", "ZQT Admin"},
        {ports["marketing_port"], "/", "<html"},
        {ports["marketing_port"], "/external", "About ZQT"},
        {ports["portal_port"], "/", "Trader Portal"},
    };
    for (const Page& p : pages) {
        httplib::Client pc("127.0.0.1", p.port);
        pc.set_tcp_nodelay(true);
        const auto res = pc.Get(p.path.c_str());
        ASSERT_TRUE(res) << p.path;
        EXPECT_EQ(res->status, 200) << p.path;
        EXPECT_NE(res->body.find(p.mustContain), std::string::npos) << p.path << ": " << res->body;
    }

    const QString again = m_engine.up();
    EXPECT_TRUE(again.contains("already running")) << again.toStdString();
    EXPECT_EQ(m_engine.pid(), pid);

    const QString stopped = m_engine.down();
    EXPECT_TRUE(stopped.contains("stopped")) << stopped.toStdString();
    EXPECT_FALSE(QFile::exists(m_engine.storage() + "/web.pid"));
    EXPECT_FALSE(m_engine.client()->Get("/health"));
    EXPECT_NE(m_engine.log("web").find("engine stopped"), std::string::npos);
}

TEST_F(DemoEngine, takenPortsAndSwitchesOff_bindNextFreePortAndRecordOnlyStartedServices) {
    QTcpServer blocker;
    ASSERT_TRUE(blocker.listen(QHostAddress::LocalHost, static_cast<quint16>(m_engine.requestedPort())));
    m_engine.env()["ZQT_START_MARKETING"] = "0";
    m_engine.env()["ZQT_START_PORTAL"] = "0";
    startOrFail();
    const json ports = m_engine.runtimePorts();
    EXPECT_GT(ports["port"].get<int>(), m_engine.requestedPort());
    EXPECT_LE(ports["port"].get<int>(), m_engine.requestedPort() + 50);
    EXPECT_TRUE(!ports.contains("marketing_port") || ports["marketing_port"].is_null());
    EXPECT_TRUE(!ports.contains("portal_port") || ports["portal_port"].is_null());
    const auto health = m_engine.client()->Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
}

TEST_F(DemoEngine, liveModeOrRealBroker_refusesWithOneLineAndStartsNothing) {
    const std::vector<std::pair<QString, QString>> cases = {{"LIVE", "SIM_BROKER"}, {"DRY_RUN", "OANDA"}};
    for (const auto& [mode, broker] : cases) {
        m_engine.env()["ZQT_EXECUTION_MODE"] = mode;
        m_engine.env()["ZQT_BROKER_MODE"] = broker;
        const QString out = m_engine.up().trimmed();
        EXPECT_TRUE(out.startsWith("Refusing to start")) << out.toStdString();
        EXPECT_FALSE(out.contains('\n')) << out.toStdString();
        EXPECT_EQ(m_engine.pid(), 0);
        EXPECT_FALSE(QFile::exists(m_engine.storage() + "/runtime_ports.json"));
    }
}

TEST_F(DemoEngine, everyRead_decodesToTheRecordShapes) {
    startOrFail();
    auto c = m_engine.client();
    const std::string token = m_engine.login();
    ASSERT_FALSE(token.empty());
    const auto auth = m_engine.bearer(token);
    // Rows in every list: a position, a working order, a rejected order, a closed trade.
    int st = 0;
    postForm(*c, "/api/oms/order",
             "symbol=EURUSD&side=BUY&qty=1&sl=&tp=&order_type=MARKET&limit_price=&stop_price=", auth, &st);
    EXPECT_EQ(st, 200);
    postForm(*c, "/api/oms/order", "symbol=AAPL&side=SELL&qty=2&order_type=LIMIT&limit_price=100000", auth);
    postForm(*c, "/api/oms/order", "symbol=ES&side=BUY&qty=1&order_type=MARKET", auth);
    postForm(*c, "/api/positions/close_all", "", auth);
    postForm(*c, "/api/oms/order", "symbol=XAUUSD&side=SELL&qty=3&order_type=MARKET", auth);

    const json prices = getJson(*c, "/api/prices?symbols=EURUSD,AAPL,BTCUSD,ES,XAUUSD");
    ASSERT_EQ(prices["prices"].size(), 5u) << prices.dump();
    const std::map<std::string, std::pair<double, double>> ranges = {{"EURUSD", {0.9, 1.3}},
                                                                     {"AAPL", {150, 230}},
                                                                     {"BTCUSD", {50000, 85000}},
                                                                     {"ES", {4500, 6000}},
                                                                     {"XAUUSD", {2000, 2700}}};
    for (const auto& [sym, range] : ranges) {
        ASSERT_TRUE(prices["prices"][sym].is_number()) << sym;
        EXPECT_GT(prices["prices"][sym].get<double>(), range.first) << sym;
        EXPECT_LT(prices["prices"][sym].get<double>(), range.second) << sym;
    }

    expectRecord(getJson(*c, "/api/account/metrics", auth),
                 {{"account_id", Kind::Int},
                  {"balance", Kind::Double},
                  {"equity", Kind::Double},
                  {"highest_equity", Kind::Double},
                  {"stage", Kind::Int},
                  {"rm1_access", Kind::Bool},
                  {"status", Kind::String},
                  {"execution_mode", Kind::String},
                  {"broker", Kind::String},
                  {"profit_pct", Kind::Double},
                  {"profit_target", Kind::Double},
                  {"max_loss_floor", Kind::Double},
                  {"daily_loss_limit", Kind::Double},
                  {"daily_loss_used", Kind::Double},
                  {"daily_loss_buffer", Kind::Double}},
                 "metrics");
    const json summary = getJson(*c, "/api/portfolio/summary", auth);
    expectRecord(summary, {{"total_upl", Kind::Double}}, "summary");
    expectList(
        summary, "exposure",
        {{"symbol", Kind::String}, {"net_units", Kind::Double}, {"upl", Kind::Double}, {"mark", Kind::Double, true}},
        "summary");
    EXPECT_EQ(summary["exposure"].size(), 1u);
    const json open = getJson(*c, "/api/trades/open", auth);
    expectList(open, "positions",
               {{"id", Kind::StringOrInt},
                {"symbol", Kind::String},
                {"side", Kind::String},
                {"units", Kind::Double},
                {"entry", Kind::Double},
                {"mark", Kind::Double, true},
                {"upl", Kind::Double, true}},
               "open");
    EXPECT_EQ(open["positions"].size(), 1u);
    const json orders = getJson(*c, "/api/oms/orders", auth);
    expectList(orders, "orders", kOrderRow, "orders");
    EXPECT_EQ(orders["orders"].size(), 4u);
    const json fills = getJson(*c, "/api/trades/recent", auth);
    expectList(fills, "trades",
               {{"id", Kind::Int},
                {"symbol", Kind::String},
                {"side", Kind::String},
                {"pnl", Kind::Double},
                {"status", Kind::String}},
               "fills");
    EXPECT_EQ(fills["trades"].size(), 5u); // three entries and two closes
    const json rm1 = getJson(*c, "/api/rm1/latest", auth);
    expectList(rm1, "signals",
               {{"signal_id", Kind::String}, {"symbol", Kind::String}, {"side", Kind::String}, {"entry", Kind::Double}},
               "rm1");
    EXPECT_FALSE(rm1["signals"].empty()) << "the backfilled history always holds EMA crossings";

    const json depth = getJson(*c, "/api/market/depth?symbol=EURUSD");
    expectRecord(depth, {{"symbol", Kind::String}, {"price", Kind::Double}, {"source", Kind::String, true}}, "depth");
    expectList(depth, "levels",
               {{"price", Kind::Double},
                {"bid_size", Kind::Double, true},
                {"ask_size", Kind::Double, true},
                {"mid", Kind::Bool, true}},
               "depth");
    int mids = 0;
    for (std::size_t i = 0; i < depth["levels"].size(); ++i) {
        mids += depth["levels"][i].value("mid", false) ? 1 : 0;
        if (i > 0)
            EXPECT_LT(depth["levels"][i]["price"].get<double>(), depth["levels"][i - 1]["price"].get<double>());
    }
    EXPECT_EQ(mids, 1);
    EXPECT_GE(depth["levels"].size(), 19u);

    const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
    for (int interval : {1, 5, 15, 60, 300, 900}) {
        const json candles =
            getJson(*c, "/api/market/candles?symbol=BTCUSD&interval=" + std::to_string(interval) + "&count=80");
        expectRecord(candles, {{"symbol", Kind::String}, {"interval", Kind::Int}}, "candles");
        expectList(candles, "candles",
                   {{"ts", Kind::String},
                    {"open", Kind::Double},
                    {"high", Kind::Double},
                    {"low", Kind::Double},
                    {"close", Kind::Double},
                    {"volume", Kind::Double, true}},
                   "candles");
        ASSERT_EQ(candles["candles"].size(), 80u) << interval;
        std::string last;
        for (const json& row : candles["candles"]) {
            const std::string ts = row["ts"];
            EXPECT_TRUE(std::regex_match(ts, iso)) << ts;
            EXPECT_GT(ts, last) << "bars oldest first";
            last = ts;
            EXPECT_LE(row["low"].get<double>(), std::min(row["open"].get<double>(), row["close"].get<double>()));
            EXPECT_GE(row["high"].get<double>(), std::max(row["open"].get<double>(), row["close"].get<double>()));
        }
    }

    const json pnl = getJson(*c, "/api/analytics/pnl_attribution?days=30", auth);
    expectList(pnl, "symbols",
               {{"symbol", Kind::String},
                {"realized", Kind::Double},
                {"unrealized", Kind::Double},
                {"total", Kind::Double},
                {"trades", Kind::Int},
                {"win_rate", Kind::Double}},
               "pnl");
    expectList(
        pnl, "exposure",
        {{"symbol", Kind::String}, {"net_units", Kind::Double}, {"notional", Kind::Double}, {"upl", Kind::Double}},
        "pnl");
    EXPECT_EQ(pnl["symbols"].size(), 3u); // EURUSD, ES closed; XAUUSD open
    const json exec = getJson(*c, "/api/analytics/execution_quality?days=7", auth);
    expectRecord(exec,
                 {{"order_count", Kind::Int},
                  {"fill_rate", Kind::Double},
                  {"cancel_rate", Kind::Double},
                  {"avg_latency_ms", Kind::Double},
                  {"p50_latency_ms", Kind::Double},
                  {"p95_latency_ms", Kind::Double},
                  {"avg_slippage", Kind::Double}},
                 "exec");
    expectList(exec, "recent",
               {{"id", Kind::Int},
                {"symbol", Kind::String},
                {"side", Kind::String},
                {"type", Kind::String},
                {"status", Kind::String},
                {"latency_ms", Kind::Double, true}},
               "exec");
    EXPECT_EQ(exec["order_count"], 4);
    EXPECT_DOUBLE_EQ(exec["fill_rate"].get<double>(), 75.0);
    EXPECT_GT(exec["avg_latency_ms"].get<double>(), 0.0);
}

TEST_F(DemoEngine, missingOrForgedToken_accountReadsAndPostsAnswer401Json) {
    startOrFail();
    auto c = m_engine.client();
    const std::vector<httplib::Headers> bad = {{},
                                               {{"Authorization", "Bearer forged-token"}},
                                               {{"Authorization", "Basic ZGVtbzpkZW1v"}},
                                               {{"Authorization", "Bearer"}}};
    const std::vector<std::string> reads = {"/api/account/metrics",
                                            "/api/portfolio/summary",
                                            "/api/trades/open",
                                            "/api/oms/orders",
                                            "/api/trades/recent",
                                            "/api/rm1/latest",
                                            "/api/analytics/pnl_attribution?days=30",
                                            "/api/analytics/execution_quality?days=7"};
    for (const auto& h : bad) {
        for (const std::string& path : reads) {
            const json j = getJson(*c, path, h, 401);
            EXPECT_TRUE(j.contains("error") && j["error"].is_string()) << path;
        }
        for (const char* path : {"/api/oms/order", "/api/oms/cancel_all", "/api/positions/close_all"}) {
            int status = 0;
            const json j = postForm(*c, path, "symbol=EURUSD&side=BUY&qty=1&order_type=MARKET", h, &status);
            EXPECT_EQ(status, 401) << path;
            EXPECT_TRUE(j.contains("error")) << path;
        }
    }
    EXPECT_EQ(getJson(*c, "/api/oms/orders", m_engine.bearer(m_engine.login()))["orders"].size(), 0u);
    EXPECT_NE(m_engine.log("web").find("401"), std::string::npos);
}

TEST_F(DemoEngine, publicPricesOff_marketDataNeedsAToken) {
    m_engine.env()["ZQT_PUBLIC_PRICES"] = "0";
    startOrFail();
    auto c = m_engine.client();
    getJson(*c, "/api/prices?symbols=EURUSD", {}, 401);
    getJson(*c, "/api/market/candles?symbol=EURUSD&interval=15&count=80", {}, 401);
    const auto auth = m_engine.bearer(m_engine.login());
    EXPECT_TRUE(getJson(*c, "/api/prices?symbols=EURUSD", auth)["prices"].contains("EURUSD"));
    EXPECT_EQ(getJson(*c, "/api/market/candles?symbol=EURUSD&interval=15&count=80", auth)["candles"].size(), 80u);
}

TEST_F(DemoEngine, loginWithWrongOrMissingCredentials_fails) {
    startOrFail();
    auto c = m_engine.client();
    const std::vector<std::pair<std::string, int>> cases = {
        {"email=demo%40zqt.local&password=wrong-pass", 401},
        {"email=nobody%40zqt.local&password=demo-pass-1", 401},
        {"email=demo%40zqt.local", 400},
        {"", 400},
    };
    for (const auto& [body, expected] : cases) {
        int status = 0;
        const json j = postForm(*c, "/api/login", body, {}, &status);
        EXPECT_EQ(status, expected) << body;
        EXPECT_FALSE(j.contains("token")) << body;
        EXPECT_TRUE(j.contains("error")) << body;
    }
    // The e-mail matches whatever its case.
    int status = 0;
    EXPECT_TRUE(
        postForm(*c, "/api/login", "password=demo-pass-1&email=Demo%40ZQT.local", {}, &status).contains("token"));
}

TEST_F(DemoEngine, orderLifecycle_marketWorkingCrossingCancelStopLossAndCloseAll) {
    m_engine.env()["ZQT_DEMO_TICK_MS"] = "10";
    startOrFail();
    auto c = m_engine.client();
    const auto auth = m_engine.bearer(m_engine.login());

    // Market order: filled at the simulated price, one open position.
    const json market = postForm(*c, "/api/oms/order", "symbol=ES&side=BUY&qty=2&order_type=MARKET", auth);
    ASSERT_EQ(market["status"], "FILLED") << market.dump();
    const json open = getJson(*c, "/api/trades/open", auth);
    ASSERT_EQ(open["positions"].size(), 1u);
    EXPECT_EQ(open["positions"][0]["entry"], market["fill_price"]);
    EXPECT_EQ(open["positions"][0]["units"].get<double>(), 2.0);

    // Resting orders far from the price stay working until cancelled.
    const double btc = priceOf(*c, "BTCUSD");
    const json farLimit =
        postForm(*c, "/api/oms/order",
                 "symbol=BTCUSD&side=BUY&qty=1&order_type=LIMIT&limit_price=" + std::to_string(btc / 2), auth);
    const json farStop =
        postForm(*c, "/api/oms/order",
                 "symbol=BTCUSD&side=BUY&qty=1&order_type=STOP&stop_price=" + std::to_string(btc * 2), auth);
    EXPECT_EQ(farLimit["status"], "WORKING");
    EXPECT_EQ(farStop["status"], "WORKING");
    EXPECT_EQ(postForm(*c, "/api/oms/cancel_all", "", auth)["cancelled"], 2);
    json orders = getJson(*c, "/api/oms/orders", auth);
    EXPECT_EQ(findOrder(orders, farLimit["order_id"])["status"], "CANCELLED");
    EXPECT_EQ(findOrder(orders, farStop["order_id"])["status"], "CANCELLED");

    // A bracket of resting orders 20 USD around BTCUSD: the walk (about 1.5 USD a step) crosses one side soon,
    // and the worker fills it.
    const double p = priceOf(*c, "BTCUSD");
    const json below =
        postForm(*c, "/api/oms/order",
                 "symbol=BTCUSD&side=BUY&qty=1&order_type=LIMIT&limit_price=" + std::to_string(p - 20), auth);
    const json above =
        postForm(*c, "/api/oms/order",
                 "symbol=BTCUSD&side=SELL&qty=1&order_type=LIMIT&limit_price=" + std::to_string(p + 20), auth);
    ASSERT_EQ(below["status"], "WORKING") << below.dump();
    ASSERT_EQ(above["status"], "WORKING") << above.dump();
    const bool oneFilled = zqt::test::waitUntil(
        [&] {
            orders = getJson(*c, "/api/oms/orders", auth);
            return findOrder(orders, below["order_id"])["status"] == "FILLED" ||
                   findOrder(orders, above["order_id"])["status"] == "FILLED";
        },
        30000);
    EXPECT_TRUE(oneFilled);
    EXPECT_NE(m_engine.log("worker").find("filled LIMIT order"), std::string::npos);

    // Stop-loss and take-profit 10 USD around the entry: the position closes by itself.
    const json bracket = postForm(*c, "/api/oms/order",
                                  "symbol=BTCUSD&side=SELL&qty=1&order_type=MARKET&sl=" + std::to_string(p + 3000) +
                                      "&tp=" + std::to_string(p - 3000),
                                  auth);
    ASSERT_EQ(bracket["status"], "FILLED") << bracket.dump();
    const double entry = bracket["fill_price"];
    postForm(*c, "/api/positions/close_all", "", auth);
    const json tight = postForm(*c, "/api/oms/order",
                                "symbol=BTCUSD&side=BUY&qty=1&order_type=MARKET&sl=" + std::to_string(entry - 1000) +
                                    "&tp=" + std::to_string(entry + 1000),
                                auth);
    ASSERT_EQ(tight["status"], "FILLED") << tight.dump();
    const double fill = tight["fill_price"];
    const json tighter = postForm(*c, "/api/oms/order",
                                  "symbol=BTCUSD&side=BUY&qty=1&order_type=MARKET&sl=" + std::to_string(fill - 10) +
                                      "&tp=" + std::to_string(fill + 10),
                                  auth);
    ASSERT_EQ(tighter["status"], "FILLED") << tighter.dump();
    const bool closedByExit = zqt::test::waitUntil(
        [&] {
            const json fills = getJson(*c, "/api/trades/recent", auth);
            for (const json& f : fills["trades"]) {
                if (f["status"] == "CLOSED" && (f["reason"] == "SL" || f["reason"] == "TP"))
                    return true;
            }
            return false;
        },
        30000);
    EXPECT_TRUE(closedByExit);
    EXPECT_NE(m_engine.log("worker").find("closed position"), std::string::npos);

    // Close all: no open positions left, the balance moved by exactly the realised PnL.
    const double before = getJson(*c, "/api/account/metrics", auth)["balance"];
    const json closed = postForm(*c, "/api/positions/close_all", "", auth);
    EXPECT_GE(closed["closed"].get<int>(), 1);
    EXPECT_TRUE(getJson(*c, "/api/trades/open", auth)["positions"].empty());
    const double after = getJson(*c, "/api/account/metrics", auth)["balance"];
    EXPECT_NEAR(after - before, closed["realized"].get<double>(), 0.011);
}

TEST_F(DemoEngine, restartAndKill9_keepAcknowledgedOrdersPositionsAndSession) {
    startOrFail();
    auto c = m_engine.client();
    const std::string token = m_engine.login();
    const auto auth = m_engine.bearer(token);
    std::vector<long long> acknowledged;
    for (int i = 0; i < 20; ++i) {
        const json r = postForm(*c, "/api/oms/order",
                                i % 2 ? "symbol=EURUSD&side=SELL&qty=0.5&order_type=MARKET"
                                      : "symbol=AAPL&side=BUY&qty=3&order_type=LIMIT&limit_price=1",
                                auth);
        ASSERT_TRUE(r.contains("order_id")) << r.dump();
        acknowledged.push_back(r["order_id"]);
    }
    const json metricsBefore = getJson(*c, "/api/account/metrics", auth);

    // kill -9: nothing is flushed on the way out.
    const long long pid = m_engine.pid();
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
    ASSERT_TRUE(zqt::test::waitUntil([&] { return !m_engine.client()->Get("/health"); }, 10000));
    startOrFail();
    c = m_engine.client();
    json orders = getJson(*c, "/api/oms/orders", auth); // the old token still works
    for (long long id : acknowledged)
        EXPECT_FALSE(findOrder(orders, id).is_null()) << "order " << id << " lost";
    EXPECT_EQ(getJson(*c, "/api/trades/open", auth)["positions"].size(), 10u);
    EXPECT_EQ(getJson(*c, "/api/account/metrics", auth)["balance"], metricsBefore["balance"]);

    // A clean restart keeps the working orders working, and they can still be cancelled.
    EXPECT_TRUE(m_engine.down().contains("stopped"));
    startOrFail();
    c = m_engine.client();
    orders = getJson(*c, "/api/oms/orders", auth);
    EXPECT_EQ(findOrder(orders, acknowledged[0])["status"], "WORKING");
    EXPECT_EQ(postForm(*c, "/api/oms/cancel_all", "", auth)["cancelled"], 10);
}

TEST_F(DemoEngine, badInputs_answer4xxJsonLogAndRecordRejectedOrders) {
    startOrFail();
    auto c = m_engine.client();
    const auto auth = m_engine.bearer(m_engine.login());
    struct Case {
        std::string body;
        int status;
        bool recorded; // a well-formed form that the order check rejects is kept as a REJECTED order
    };
    const std::vector<Case> cases = {
        {"symbol=NOPE&side=BUY&qty=1&order_type=MARKET", 400, true},
        {"symbol=eurusd&side=BUY&qty=1&order_type=MARKET", 400, true},
        {"side=BUY&qty=1&order_type=MARKET", 400, true},
        {"symbol=EURUSD&side=HOLD&qty=1&order_type=MARKET", 400, true},
        {"symbol=EURUSD&side=BUY&qty=abc&order_type=MARKET", 400, true},
        {"symbol=EURUSD&side=BUY&qty=-1&order_type=MARKET", 400, true},
        {"symbol=EURUSD&side=BUY&qty=0&order_type=MARKET", 400, true},
        {"symbol=EURUSD&side=BUY&qty=nan&order_type=MARKET", 400, true},
        {"symbol=EURUSD&side=BUY&qty=1e400&order_type=MARKET", 400, true},
        {"symbol=EURUSD&side=BUY&qty=&order_type=MARKET", 400, true},
        {"symbol=EURUSD&side=BUY&qty=1&order_type=ICEBERG", 400, true},
        {"symbol=EURUSD&side=BUY&qty=1&order_type=LIMIT&limit_price=", 400, true},
        {"symbol=EURUSD&side=BUY&qty=1&order_type=LIMIT&limit_price=-5", 400, true},
        {"symbol=EURUSD&side=BUY&qty=1&order_type=STOP&stop_price=x1", 400, true},
        {"symbol=EURUSD&side=BUY&qty=1&order_type=MARKET&sl=abc", 400, true},
        {"symbol=EURUSD&side=BUY&qty=1&order_type=MARKET&sl=5", 400, true},   // stop-loss above a BUY's entry
        {"symbol=EURUSD&side=BUY&qty=1&order_type=MARKET&tp=0.5", 400, true}, // take-profit below it
        {"symbol=%FF%FE&side=BUY&qty=1&order_type=MARKET", 400, true},
        {"symbol=EURUSD&symbol=AAPL&side=BUY&qty=1&order_type=MARKET", 400, false},
        {"symbol=EURUSD&side=BUY&qty=1%ZZ&order_type=MARKET", 400, false},
        {"=1&symbol=EURUSD", 400, false},
    };
    int recorded = 0;
    for (const Case& k : cases) {
        int status = 0;
        const json j = postForm(*c, "/api/oms/order", k.body, auth, &status);
        EXPECT_EQ(status, k.status) << k.body;
        EXPECT_TRUE(j.contains("error") && j["error"].is_string()) << k.body << ": " << j.dump();
        EXPECT_EQ(j.contains("order_id"), k.recorded) << k.body;
        recorded += k.recorded;
    }
    const json orders = getJson(*c, "/api/oms/orders", auth);
    ASSERT_EQ(orders["orders"].size(), static_cast<std::size_t>(recorded));
    for (const json& o : orders["orders"]) {
        EXPECT_EQ(o["status"], "REJECTED");
        EXPECT_FALSE(o["reason"].get<std::string>().empty());
    }
    expectList(orders, "orders", kOrderRow, "rejected orders");

    // Oversized and non-form bodies.
    const std::string big(kEngineBodyCap + 1, 'a');
    auto res = c->Post("/api/oms/order", auth, "symbol=EURUSD&junk=" + big, kForm);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 413);
    EXPECT_TRUE(json::parse(res->body, nullptr, false).contains("error"));
    res = c->Post("/api/oms/order", auth, R"({"symbol":"EURUSD"})", "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 415);

    // Bad queries on the reads.
    for (const std::string& path :
         {std::string("/api/prices?symbols=EURUSD,NOPE"), std::string("/api/market/depth?symbol=NOPE"),
          std::string("/api/market/depth"), std::string("/api/market/candles?symbol=EURUSD&interval=abc&count=80"),
          std::string("/api/market/candles?symbol=EURUSD&interval=0&count=80"),
          std::string("/api/market/candles?symbol=EURUSD&interval=15&count=-3"),
          std::string("/api/market/candles?symbol=EUR%20USD&interval=15&count=80")}) {
        const json j = getJson(*c, path, {}, 400);
        EXPECT_TRUE(j.contains("error")) << path;
    }
    getJson(*c, "/api/analytics/pnl_attribution?days=x", auth, 400);
    getJson(*c, "/api/no/such/endpoint", {}, 404);

    const std::string web = m_engine.log("web");
    EXPECT_NE(web.find("unknown symbol 'NOPE'"), std::string::npos);
    EXPECT_NE(web.find("413 POST /api/oms/order"), std::string::npos);
    EXPECT_EQ(web.find("demo-pass-1"), std::string::npos) << "passwords never reach the log";
    EXPECT_EQ(c->Get("/health")->status, 200);
}

TEST_F(DemoEngine, errorsForCompressingClients_logTheMessageAsText) {
    startOrFail();
    struct Case {
        std::string acceptEncoding;
        std::string path;
        std::string logged; // the line's text after "from 127.0.0.1: "
    };
    const std::vector<Case> cases = {
        {"gzip, deflate, br", "/api/prices?symbols=GZBR", R"({"error":"unknown symbol 'GZBR'"})"},
        {"gzip", "/api/market/depth?symbol=GZONLY", R"({"error":"unknown symbol 'GZONLY'"})"},
        {"br", "/api/market/candles?symbol=EURUSD&interval=15&count=0",
         R"({"error":"count must be an integer from 1 to 1000"})"},
        {"gzip, deflate, br", "/no/such/page/for/a/compressing/client", R"({"error":"not found"})"},
    };
    const std::string web0 = m_engine.log("web");
    for (const Case& k : cases) {
        const RawReply r = rawGet(m_engine.port(), k.path, "Accept-Encoding: " + k.acceptEncoding + "\r\n");
        EXPECT_GE(r.status, 400) << k.path << "\n" << r.head;
        // The reply really was compressed, so the log had compressed bytes to pick up.
        EXPECT_NE(r.head.find("Content-Encoding: "), std::string::npos) << k.path << "\n" << r.head;
    }
    const std::string web = m_engine.log("web").substr(web0.size());
    for (const Case& k : cases) {
        const std::string path = k.path.substr(0, k.path.find('?'));
        EXPECT_NE(web.find(" GET " + path + " from 127.0.0.1: " + k.logged + "\n"), std::string::npos) << k.path << "\n"
                                                                                                       << web;
    }
    EXPECT_EQ(unprintableLines(m_engine.log("web")), std::vector<std::string>());
}

TEST_F(DemoEngine, headerWithAControlCharacter_isRefusedWhateverFollowsAValidToken) {
    startOrFail();
    const std::string token = m_engine.login();
    ASSERT_FALSE(token.empty());
    struct Case {
        const char* name;
        std::string path;
        std::string headerLine; // without its CRLF
        int status;
    };
    using namespace std::string_literals;
    const std::string auth = "Authorization: Bearer " + token;
    const std::string account = "/api/account/metrics";
    const std::vector<Case> cases = {
        {"valid token", account, auth, 200},
        {"NUL after the token", account, auth + "\0"s, 400},
        {"NUL and more after the token", account, auth + "\0junk"s, 400},
        {"SOH after the token", account, auth + "\x01", 400},
        {"DEL after the token", account, auth + "\x7f", 400},
        {"ESC after the token", account, auth + "\x1b[2J", 400},
        {"CR inside the value", account, auth + "\rX-Injected: 1", 400},
        {"CR at the end of the value", account, auth + "\r", 400},
        {"NUL inside the token", account, auth.substr(0, auth.size() - 4) + "\0"s + auth.substr(auth.size() - 3), 400},
        // The server library percent-decodes header values: "%00" arrives as a NUL.
        {"percent-encoded NUL after the token", account, auth + "%00", 400},
        {"tab and text after the token", account, auth + "\tjunk", 401},
        {"control character in another header", account, auth + "\r\nX-Note: a\x02z", 400},
        {"control character in a header name", "/health", "X-No\x01te: 1", 400},
        {"control character on a public page", "/health", "User-Agent: probe\0"s, 400},
        {"tab inside a value is allowed", "/health", "User-Agent: a\tb", 200},
    };
    for (const Case& k : cases) {
        const RawReply r = rawGet(m_engine.port(), k.path, k.headerLine + "\r\n");
        EXPECT_EQ(r.status, k.status) << k.name << "\n" << r.head;
    }
    const std::string web = m_engine.log("web");
    EXPECT_NE(web.find("400 GET /api/account/metrics from 127.0.0.1: {\"error\":\"header 'Authorization' holds a "
                       "control character\"}"),
              std::string::npos)
        << web;
    EXPECT_EQ(unprintableLines(web), std::vector<std::string>());
    // The plain token still works through the ordinary client afterwards.
    getJson(*m_engine.client(), account, m_engine.bearer(token));
}

TEST_F(DemoEngine, manySilentConnections_doNotDelayOtherRequestsNorTheStop) {
    startOrFail();
    constexpr int kIdle = 200;
    std::vector<std::unique_ptr<RawConnection>> idle;
    for (int i = 0; i < kIdle; ++i) {
        idle.push_back(std::make_unique<RawConnection>(m_engine.port()));
        ASSERT_TRUE(idle.back()->connected()) << i;
    }
    // A normal request is answered at once (the bound is generous: unblocked it takes milliseconds, while a pool
    // held by the silent connections answers only after several keep-alive timeouts of 2 s).
    httplib::Client c("127.0.0.1", m_engine.port());
    c.set_connection_timeout(1, 0);
    c.set_read_timeout(1, 0);
    c.set_write_timeout(1, 0);
    const auto started = std::chrono::steady_clock::now();
    const auto health = c.Get("/health");
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(health) << "no reply within 1 s: " << httplib::to_string(health.error());
    EXPECT_EQ(health->status, 200);
    EXPECT_LT(took, std::chrono::seconds(1));

    // A silent connection does not keep its worker for long: the engine closes it.
    bool closed = false;
    EXPECT_EQ(idle.front()->readUntilClosed(15000, &closed), "");
    EXPECT_TRUE(closed);

    // The stop does not wait on the remaining connections past the script's grace period.
    const QString stopped = m_engine.down();
    EXPECT_TRUE(stopped.contains("stopped.")) << stopped.toStdString();
    EXPECT_FALSE(stopped.contains("killed")) << stopped.toStdString();
    EXPECT_NE(m_engine.log("web").find("engine stopped"), std::string::npos);
}

TEST_F(DemoEngine, concurrentClients_placeEveryOrderWithoutCorruptingTheDatabase) {
    startOrFail();
    const auto auth = m_engine.bearer(m_engine.login());
    constexpr int kClients = 8;
    constexpr int kOrdersEach = 25;
    std::atomic<int> acknowledged{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kClients; ++t) {
        threads.emplace_back([&, t] {
            auto c = m_engine.client();
            for (int i = 0; i < kOrdersEach; ++i) {
                const std::string body =
                    (i % 3 == 0) ? "symbol=XAUUSD&side=SELL&qty=1&order_type=LIMIT&limit_price=99999"
                                 : "symbol=AAPL&side=BUY&qty=" + std::to_string(t + 1) + "&order_type=MARKET";
                const auto res = c->Post("/api/oms/order", auth, body, kForm);
                if (res && res->status == 200)
                    ++acknowledged;
                if (i % 5 == 0)
                    c->Get("/api/trades/open", auth); // reads interleaved with writes
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(acknowledged.load(), kClients * kOrdersEach);
    auto c = m_engine.client();
    EXPECT_EQ(getJson(*c, "/api/analytics/execution_quality?days=7", auth)["order_count"], kClients * kOrdersEach);
    const std::size_t expectedOpen = kClients * (kOrdersEach - (kOrdersEach + 2) / 3);
    EXPECT_EQ(getJson(*c, "/api/trades/open", auth)["positions"].size(), expectedOpen);

    m_engine.down();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((m_engine.storage() + "/db.sqlite").toStdString().c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok");
    sqlite3_finalize(st);
    sqlite3_close(db);
}

TEST_F(DemoEngine, signInsWhileOrdersCommit_everySignInSucceeds) {
    startOrFail();
    const auto auth = m_engine.bearer(m_engine.login());
    constexpr int kSignIns = 40;
    std::atomic<int> signedIn{0};
    std::atomic<bool> done{false};
    // One client keeps the order tables busy on another database connection while others sign in.
    std::thread writer([&] {
        auto c = m_engine.client();
        while (!done.load())
            c->Post("/api/oms/order", auth, "symbol=AAPL&side=BUY&qty=1&order_type=MARKET", kForm);
    });
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            auto c = m_engine.client();
            for (int i = 0; i < kSignIns; ++i) {
                const auto res = c->Post("/api/login", "email=demo%40zqt.local&password=demo-pass-1", kForm);
                if (res && res->status == 200)
                    ++signedIn;
            }
        });
    }
    for (std::thread& t : readers)
        t.join();
    done = true;
    writer.join();
    EXPECT_EQ(signedIn.load(), 3 * kSignIns);
    EXPECT_EQ(m_engine.log("web").find("database is locked"), std::string::npos);
}

namespace {

// One integer from the engine's database, read on a connection of the test's own (the engine may be running).
long long queryInt(const QString& dbPath, const char* sql) {
    sqlite3* db = nullptr;
    long long value = -1;
    if (sqlite3_open_v2(dbPath.toStdString().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            value = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return value;
}

bool execSql(const QString& dbPath, const char* sql) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(dbPath.toStdString().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_busy_timeout(db, 5000);
        ok = sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    sqlite3_close(db);
    return ok;
}

// CPU time the process has used so far (all its threads), in clock ticks.
long long cpuTicks(long long pid) {
    const std::string stat = zqt::test::readFile(QString("/proc/%1/stat").arg(pid)).toStdString();
    const std::size_t paren = stat.rfind(')');
    if (paren == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(paren + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoll(field);
        if (i == 15)
            stime = std::stoll(field);
    }
    return utime + stime;
}

int modeOf(const QString& path) {
    struct stat st {};
    return ::stat(path.toStdString().c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

} // namespace

TEST_F(DemoEngine, signInHashing_doesNotHoldUpTheTokenCheckOfOtherRequests) {
    startOrFail();
    const auto auth = m_engine.bearer(m_engine.login());
    // A user whose password takes minutes to hash: while that sign-in runs, reads with a token must still answer.
    ASSERT_TRUE(execSql(m_engine.storage() + "/db.sqlite",
                        "INSERT INTO users (email, salt, pw_hash, iterations, account_id) "
                        "VALUES ('slow@zqt.local', 'salt', 'none', 2147483647, 1)"));
    const long long pid = m_engine.pid();
    const long long before = cpuTicks(pid);
    std::thread slowSignIn([&] {
        auto c = m_engine.client();
        c->set_read_timeout(1, 0); // the test does not wait for it; the engine is stopped at the end
        c->Post("/api/login", "email=slow%40zqt.local&password=x", kForm);
    });
    // The hashing has been running for a second of CPU time.
    ASSERT_TRUE(zqt::test::waitUntil([&] { return cpuTicks(pid) - before >= ::sysconf(_SC_CLK_TCK); }, 60000));
    auto c = m_engine.client();
    c->set_read_timeout(20, 0);
    for (const char* path : {"/api/account/metrics", "/api/oms/orders", "/api/trades/open"}) {
        const auto res = c->Get(path, auth);
        ASSERT_TRUE(res) << path << ": no answer while a sign-in was hashing";
        EXPECT_EQ(res->status, 200) << path;
    }
    slowSignIn.join();
    // Stopping waits for the busy worker, then kills it: the engine must not be left running.
    m_engine.down();
    if (::kill(static_cast<pid_t>(pid), 0) == 0)
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

TEST_F(DemoEngine, unknownEmail_costsTheSameHashingAsAWrongPassword) {
    startOrFail();
    const long long pid = m_engine.pid();
    auto c = m_engine.client();
    const std::string wrongPassword = "email=demo%40zqt.local&password=wrong";
    const std::vector<std::string> unknown = {"email=nobody%40zqt.local&password=wrong",
                                              "email=NoBody%40Example.invalid&password=demo-pass-1",
                                              "email=demo%40zqt.local.evil&password=demo-pass-1"};
    // CPU time, not wall time: what the engine spent on the sign-ins, whatever else the machine does.
    auto cost = [&](const std::string& body, int count) {
        const long long before = cpuTicks(pid);
        for (int i = 0; i < count; ++i) {
            const auto res = c->Post("/api/login", body, kForm);
            EXPECT_TRUE(res && res->status == 401) << body;
        }
        return cpuTicks(pid) - before;
    };
    for (const std::string& body : unknown)
        cost(body, 5); // the engine's first requests cost more (connections, caches): not measured
    cost(wrongPassword, 5);
    long long wrongTicks = 0;
    std::vector<long long> unknownTicks(unknown.size(), 0);
    for (int round = 0; round < 3; ++round) {
        wrongTicks += cost(wrongPassword, 10);
        for (std::size_t k = 0; k < unknown.size(); ++k)
            unknownTicks[k] += cost(unknown[k], 10);
    }
    ASSERT_GT(wrongTicks, 0);
    for (std::size_t k = 0; k < unknown.size(); ++k)
        EXPECT_GE(unknownTicks[k] * 2, wrongTicks)
            << unknown[k] << ": " << unknownTicks[k] << " ticks against " << wrongTicks << " for a wrong password";
}

TEST_F(DemoEngine, sessions_expireAndArePrunedFromTheDatabase) {
    m_engine.env()["ZQT_DEMO_SESSION_S"] = "1";
    startOrFail();
    const QString db = m_engine.storage() + "/db.sqlite";
    auto c = m_engine.client();
    const std::string first = m_engine.login();
    const std::string second = m_engine.login();
    EXPECT_EQ(getJson(*c, "/api/account/metrics", m_engine.bearer(first)).is_object(), true);
    EXPECT_EQ(queryInt(db, "SELECT COUNT(*) FROM sessions"), 2);
    // Both expire a second after their sign-in.
    ASSERT_TRUE(zqt::test::waitUntil(
        [&] {
            const auto res = c->Get("/api/account/metrics", m_engine.bearer(second));
            return res && res->status == 401;
        },
        30000));
    const auto expired = c->Get("/api/oms/orders", m_engine.bearer(first));
    ASSERT_TRUE(expired);
    EXPECT_EQ(expired->status, 401);
    // The next sign-in takes the expired sessions out of the database.
    const std::string third = m_engine.login();
    EXPECT_EQ(queryInt(db, "SELECT COUNT(*) FROM sessions"), 1);
    EXPECT_EQ(c->Get("/api/account/metrics", m_engine.bearer(third))->status, 200);

    const auto bad = [&](const char* value) {
        m_engine.env()["ZQT_DEMO_SESSION_S"] = value;
        m_engine.down();
        return m_engine.up();
    };
    for (const char* value : {"0", "-5", "soon", "31536001"})
        EXPECT_TRUE(bad(value).contains("ZQT_DEMO_SESSION_S must be")) << value;
}

TEST_F(DemoEngine, webLog_rotatesAt10MiBKeepingOneOldFile) {
    constexpr qint64 kMax = 10LL * 1024 * 1024;
    const QString log = m_engine.storage() + "/logs/web.log";
    // What earlier runs left: just under the limit.
    ASSERT_TRUE(zqt::test::writeFile(log, QByteArray(kMax - 2048, 'a') + "\n"));
    startOrFail();
    auto c = m_engine.client();
    auto refusedUntil = [&](const std::function<bool()>& done) {
        // Each refused request is a line in the web log.
        return zqt::test::waitUntil(
            [&] {
                c->Get("/api/account/metrics");
                return done();
            },
            60000);
    };
    ASSERT_TRUE(refusedUntil([&] { return QFile::exists(log + ".1"); }));
    EXPECT_GE(QFileInfo(log + ".1").size(), kMax);
    EXPECT_TRUE(zqt::test::readFile(log + ".1").startsWith("aaaa"));
    EXPECT_LT(QFileInfo(log).size(), 64 * 1024);
    c->Get("/api/account/metrics");
    EXPECT_NE(m_engine.log("web").find("401 GET /api/account/metrics"), std::string::npos);

    // Filled again (another writer appending counts too): the second rotation replaces the first old file.
    {
        QFile f(log);
        ASSERT_TRUE(f.open(QIODevice::Append));
        ASSERT_EQ(f.write(QByteArray(kMax, 'b')), kMax);
    }
    ASSERT_TRUE(refusedUntil([&] {
        return zqt::test::readFile(log + ".1").startsWith("b") || zqt::test::readFile(log + ".1").contains("bbbb");
    }));
    EXPECT_FALSE(zqt::test::readFile(log + ".1").contains("aaaa"));
    const QStringList logs = QDir(m_engine.storage() + "/logs").entryList({"web.log*"}, QDir::Files);
    EXPECT_EQ(logs, QStringList({"web.log", "web.log.1"}));
    EXPECT_EQ(modeOf(log), 0600);
    EXPECT_EQ(modeOf(log + ".1"), 0600);
}

TEST_F(DemoEngine, databaseLogsAndRuntimeFiles_areTheOwnersAlone) {
    // An older install's files, readable by everyone, and a start from a shell whose umask is the usual 022.
    const QString db = m_engine.storage() + "/db.sqlite";
    ASSERT_TRUE(zqt::test::writeFile(m_engine.storage() + "/logs/web.log", "older line\n"));
    {
        sqlite3* h = nullptr;
        ASSERT_EQ(sqlite3_open(db.toStdString().c_str(), &h), SQLITE_OK);
        sqlite3_exec(h, "CREATE TABLE IF NOT EXISTS older (x)", nullptr, nullptr, nullptr);
        sqlite3_close(h);
    }
    for (const QString& f : {db, m_engine.storage() + "/logs/web.log"})
        ASSERT_EQ(::chmod(f.toStdString().c_str(), 0644), 0);
    const mode_t previous = ::umask(022);
    const QString out = m_engine.up();
    ::umask(previous);
    ASSERT_GT(m_engine.port(), 0) << out.toStdString();
    m_engine.login(); // writes through the journal

    QStringList files = {db, db + "-wal", db + "-shm", m_engine.storage() + "/web.pid",
                         m_engine.storage() + "/runtime_ports.json"};
    for (const char* name : {"web", "worker", "rm1", "marketing", "portal"})
        files << m_engine.storage() + "/logs/" + name + ".log";
    for (const QString& f : files)
        EXPECT_EQ(modeOf(f), 0600) << f.toStdString();
}

TEST_F(DemoEngine, requestsForAnotherHost_areRefusedWith421) {
    startOrFail();
    const json ports = m_engine.runtimePorts();
    struct Server {
        const char* name;
        int port;
    };
    const Server servers[] = {{"API", ports["port"].get<int>()},
                              {"marketing", ports["marketing_port"].get<int>()},
                              {"portal", ports["portal_port"].get<int>()}};
    for (const Server& s : servers) {
        const std::string p = std::to_string(s.port);
        const std::string otherPort = std::to_string(s.port == 65535 ? 1 : s.port + 1);
        const struct {
            std::string hostLines; // header lines sent, each ending in CRLF
            int status;
        } cases[] = {
            {"Host: 127.0.0.1:" + p + "\r\n", 200},
            {"Host: localhost:" + p + "\r\n", 200},
            {"Host: LocalHost:" + p + "\r\n", 200},
            {"Host: [::1]:" + p + "\r\n", 200},
            {"Host: evil.example:" + p + "\r\n", 421},           // a rebound name
            {"Host: 127.0.0.1.evil.example:" + p + "\r\n", 421}, // one that starts like a good one
            {"Host: localhost.:" + p + "\r\n", 421},
            {"Host: 127.0.0.1:" + otherPort + "\r\n", 421},
            {"Host: 127.0.0.1\r\n", 421}, // no port
            {"Host: ::1:" + p + "\r\n", 421},
            {"Host: [::1]\r\n", 421},
            {"Host: 127.0.0.2:" + p + "\r\n", 421},
            {"Host: 0.0.0.0:" + p + "\r\n", 421},
            {"Host: \r\n", 421},
            {"", 421}, // none at all
            {"Host: 127.0.0.1:" + p + "\r\nHost: evil.example:" + p + "\r\n", 421},
        };
        for (const auto& c : cases) {
            RawConnection conn(s.port);
            ASSERT_TRUE(conn.connected());
            ASSERT_TRUE(conn.send("GET / HTTP/1.1\r\n" + c.hostLines + "Connection: close\r\n\r\n"));
            const std::string reply = conn.readUntilClosed(30000);
            const int status = reply.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(reply.c_str() + 9) : 0;
            EXPECT_EQ(status, c.status) << s.name << " with " << c.hostLines;
            if (c.status == 421)
                EXPECT_NE(reply.find("does not answer for host"), std::string::npos) << reply;
        }
    }
    EXPECT_NE(m_engine.log("web").find("421 GET / from"), std::string::npos);
}

TEST_F(DemoEngine, boundHost_isAnsweredAsWellAsLoopbackNames) {
    m_engine.env()["ZQT_HOST"] = "127.0.0.2";
    m_engine.env()["ZQT_START_MARKETING"] = "0";
    m_engine.env()["ZQT_START_PORTAL"] = "0";
    const QString out = m_engine.up();
    const int port = m_engine.port();
    ASSERT_GT(port, 0) << out.toStdString() << m_engine.log("web");
    httplib::Client client("127.0.0.2", port);
    client.set_tcp_nodelay(true);
    for (const auto& [host, status] : std::vector<std::pair<std::string, int>>{
             {"127.0.0.2:" + std::to_string(port), 200},
             {"localhost:" + std::to_string(port), 200},
             {"127.0.0.3:" + std::to_string(port), 421},
         }) {
        const auto res = client.Get("/health", {{"Host", host}});
        ASSERT_TRUE(res) << host;
        EXPECT_EQ(res->status, status) << host;
    }
}

TEST_F(DemoEngine, statusPageAndEndpoint_doNotShowTheMarketSeed) {
    for (const bool fixedSeed : {true, false}) {
        if (!fixedSeed) {
            m_engine.down();
            m_engine.env().erase("ZQT_DEMO_SEED");
        }
        startOrFail();
        auto c = m_engine.client();
        const auto status = c->Get("/api/system/status");
        const auto admin = c->Get("/admin");
        ASSERT_TRUE(status && admin);
        const json j = json::parse(status->body);
        EXPECT_FALSE(j.contains("seed")) << status->body;
        for (const std::string& body : {status->body, admin->body})
            EXPECT_EQ(lowerCase(body).find("seed"), std::string::npos) << body;
    }
    // A random seed is not written to the logs either.
    EXPECT_NE(m_engine.log("worker").find("random seed"), std::string::npos);
    EXPECT_EQ(std::regex_search(m_engine.log("worker"), std::regex("random seed [0-9]")), false);
}

// The install script, run the way scripts/run.sh runs it, against a temp HOME.
class InstallDemoHome : public ::testing::Test {
protected:
    QString install() {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_env.home());
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start("/bin/bash", {ZQT_INSTALL_SCRIPT, ZQT_DEMO_HOME_DIR});
        p.waitForFinished(60000);
        EXPECT_EQ(p.exitCode(), 0);
        return QString::fromUtf8(p.readAll());
    }
    QString dest(const QString& rel = {}) const { return m_env.home() + "/.local/share/zqt/engine" + rel; }
    zqt::test::TempEnv m_env;
};

TEST_F(InstallDemoHome, freshThenOlderDemoThenForeignHome_installsUpdatesKeepsStorageAndLeavesOthersAlone) {
    // Fresh: the whole home arrives, marked.
    EXPECT_TRUE(install().contains("Installed"));
    for (const char* f : {"/bin/zqt-demo-engine", "/scripts/app_up.sh", "/scripts/app_down.sh", "/.zqt-demo-home"})
        EXPECT_TRUE(QFile::exists(dest(f))) << f;
    EXPECT_TRUE(QFileInfo(dest("/scripts/app_up.sh")).isExecutable());
    EXPECT_TRUE(QDir(dest("/storage")).exists());

    // An older demo home: new program and scripts, storage untouched.
    ASSERT_TRUE(zqt::test::writeFile(dest("/bin/zqt-demo-engine"), "old program"));
    ASSERT_TRUE(zqt::test::writeFile(dest("/scripts/app_up.sh"), "old script"));
    ASSERT_TRUE(zqt::test::writeFile(dest("/storage/db.sqlite"), "keep me"));
    EXPECT_TRUE(install().contains("Updated"));
    EXPECT_EQ(zqt::test::readFile(dest("/bin/zqt-demo-engine")),
              zqt::test::readFile(QString(ZQT_DEMO_HOME_DIR) + "/bin/zqt-demo-engine"));
    EXPECT_EQ(zqt::test::readFile(dest("/scripts/app_up.sh")),
              zqt::test::readFile(QString(ZQT_DEMO_HOME_DIR) + "/scripts/app_up.sh"));
    EXPECT_EQ(zqt::test::readFile(dest("/storage/db.sqlite")), "keep me");

    // Another engine's home (no marker): nothing changes.
    ASSERT_TRUE(QFile::remove(dest("/.zqt-demo-home")));
    ASSERT_TRUE(zqt::test::writeFile(dest("/scripts/app_up.sh"), "their script"));
    ASSERT_TRUE(zqt::test::writeFile(dest("/bin/zqt-demo-engine"), "their program"));
    EXPECT_TRUE(install().contains("left untouched"));
    EXPECT_EQ(zqt::test::readFile(dest("/scripts/app_up.sh")), "their script");
    EXPECT_EQ(zqt::test::readFile(dest("/bin/zqt-demo-engine")), "their program");
    EXPECT_FALSE(QFile::exists(dest("/.zqt-demo-home")));
}

} // namespace
