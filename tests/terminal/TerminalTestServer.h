#pragma once

#include "api/TokenStore.h"
#include "terminal/NativeTerminalModel.h"

#include "ClientInFlight.h"
#include "RecordingServer.h"
#include "TestEnv.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zqt::test {

// Holds a server thread inside a handler until the test opens it.
class Gate {
public:
    void wait() {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_cv.notify_all();
        m_cv.wait(lock, [&] { return m_open; });
    }
    void open() {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }
    int waiting() {
        std::lock_guard lock(m_mutex);
        return m_waiting;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
    int m_waiting = 0;
};

inline const std::string kPricesTarget = "/api/prices?symbols=EURUSD,AAPL,BTCUSD,ES,XAUUSD";

inline std::vector<std::string> refreshAllTargets(const std::string& symbol) {
    return {"/api/account/metrics",
            "/api/portfolio/summary",
            "/api/trades/open",
            "/api/oms/orders",
            "/api/trades/recent",
            "/api/rm1/latest",
            kPricesTarget,
            "/api/market/depth?symbol=" + symbol,
            "/api/analytics/pnl_attribution?days=30",
            "/api/analytics/execution_quality?days=7"};
}

inline std::string candlesTarget(const std::string& symbol, int interval) {
    return "/api/market/candles?symbol=" + symbol + "&interval=" + std::to_string(interval) + "&count=80";
}

// Canned engine replies for every read, a model with a fixed clock and size draw and its timers held, and a
// record of which replies the model has handled.
class TerminalFixture : public ::testing::Test {
protected:
    static constexpr qint64 kStartMs = 1709649000'000; // 2024-03-05T14:30:00Z

    TempEnv env;
    MemoryTokenStore tokens;
    RecordingServer server;
    QDateTime now = QDateTime::fromMSecsSinceEpoch(kStartMs, QTimeZone::utc());
    std::uint64_t draw = std::uint64_t{1} << 52; // a size of 1.5
    std::unique_ptr<NativeTerminalModel> model;
    std::map<QString, int> handled;
    // Gates for candle replies by symbol, and for depth replies (all symbols) when set.
    std::map<std::string, Gate*> candleGates;
    Gate* depthGate = nullptr;
    std::optional<CannedReply> candleOverride; // replaces the generated bars when set
    std::mutex gateMutex;

    void SetUp() override {
        reply("/api/account/metrics",
              R"({"account_id":7,"balance":10000,"equity":10050.5,"highest_equity":10100,"stage":2,"rm1_access":true,
                  "status":"ACTIVE","execution_mode":"paper","broker":"sim","profit_pct":0.5,"profit_target":10,
                  "max_loss_floor":9000,"daily_loss_limit":500,"daily_loss_used":20,"daily_loss_buffer":480})");
        reply("/api/portfolio/summary",
              R"({"total_upl":12.5,"exposure":[{"symbol":"EURUSD","net_units":1000,"upl":12.5,"mark":1.085}]})");
        reply("/api/trades/open",
              R"({"positions":[{"id":17,"symbol":"EURUSD","side":"BUY","units":1000,"entry":1.08}]})");
        reply("/api/oms/orders",
              R"({"orders":[{"id":1,"symbol":"EURUSD","side":"BUY","type":"LIMIT","qty":1,"status":"NEW"}]})");
        reply("/api/trades/recent",
              R"({"trades":[{"id":2,"symbol":"EURUSD","side":"SELL","pnl":-3.5,"status":"CLOSED"}]})");
        reply("/api/rm1/latest", R"({"signals":[{"signal_id":"s1","symbol":"AAPL","side":"BUY","entry":190.5}]})");
        reply("/api/prices", R"({"prices":{"EURUSD":1.085,"AAPL":190.25}})");
        server.setHandler("GET", "/api/market/depth", [this](const httplib::Request& req, httplib::Response& res) {
            if (Gate* g = gateFor(depthGate))
                g->wait();
            const std::string symbol = req.get_param_value("symbol");
            const std::string price = symbol == "EURUSD" ? "1.085" : "190.25";
            res.set_content(R"({"symbol":")" + symbol + R"(","price":)" + price + R"(,"levels":[{"price":)" + price +
                                R"(,"bid_size":)" + (symbol == "EURUSD" ? "7" : "3") + R"(,"mid":true}]})",
                            "application/json");
        });
        reply("/api/analytics/pnl_attribution",
              R"({"symbols":[{"symbol":"EURUSD","realized":1,"unrealized":2,"total":3,"trades":4,"win_rate":0.5}],
                  "exposure":[{"symbol":"EURUSD","net_units":1000,"notional":1085,"upl":2}]})");
        reply("/api/analytics/execution_quality",
              R"({"order_count":3,"fill_rate":0.9,"cancel_rate":0.1,"avg_latency_ms":12,"p50_latency_ms":10,
                  "p95_latency_ms":30,"avg_slippage":0.0001,"recent":[]})");
        // Two bars per reply; the close tells the symbol (EURUSD 1.x, others 190.x) and the volume the interval.
        server.setHandler("GET", "/api/market/candles", [this](const httplib::Request& req, httplib::Response& res) {
            const std::string symbol = req.get_param_value("symbol");
            const std::string interval = req.get_param_value("interval");
            {
                std::unique_lock lock(gateMutex);
                auto it = candleGates.find(symbol + "/" + interval);
                if (it == candleGates.end())
                    it = candleGates.find(symbol);
                Gate* g = it == candleGates.end() ? nullptr : it->second;
                lock.unlock();
                if (g)
                    g->wait();
            }
            {
                std::lock_guard lock(gateMutex);
                if (candleOverride) {
                    res.status = candleOverride->status;
                    res.set_content(candleOverride->body, candleOverride->contentType);
                    return;
                }
            }
            const std::string close = symbol == "EURUSD" ? "1.08" : "190.0";
            res.set_content(R"({"symbol":")" + symbol + R"(","interval":)" + interval +
                                R"(,"candles":[{"ts":"2024-03-05T14:15:00Z","open":1,"high":2,"low":0.5,"close":)" +
                                close + R"(,"volume":)" + interval +
                                R"(},{"ts":"2024-03-05T14:30:00Z","open":1,"high":2,"low":0.5,"close":)" + close +
                                R"(}]})",
                            "application/json");
        });
        waitForListener(server);
        model = makeModel(QUrl(server.baseUrl()));
    }

    // RecordingServer::stop() cannot stop a listener thread that has not started listening yet (cpp-httplib only
    // shuts down a running server), so a test that sends nothing could hang in TearDown: make sure it listens.
    static void waitForListener(RecordingServer& s) {
        httplib::Client probe("127.0.0.1", s.port());
        probe.set_tcp_nodelay(true);
        ASSERT_TRUE(probe.Get("/probe"));
        s.clearRequests();
    }

    void TearDown() override {
        model.reset();
        server.stop();
    }

    Gate* gateFor(Gate* g) {
        std::lock_guard lock(gateMutex);
        return g;
    }
    void setDepthGate(Gate* g) {
        std::lock_guard lock(gateMutex);
        depthGate = g;
    }
    void setCandleGate(const std::string& key, Gate* g) {
        std::lock_guard lock(gateMutex);
        candleGates[key] = g;
    }

    void overrideCandles(CannedReply r) {
        std::lock_guard lock(gateMutex);
        candleOverride = std::move(r);
    }

    void reply(const std::string& path, const std::string& body, int status = 200) {
        server.setReply("GET", path, CannedReply{status, body});
    }

    std::unique_ptr<NativeTerminalModel> makeModel(const QUrl& base) {
        TerminalSources sources{[this] { return now; },
                                [this] {
                                    return draw;
                                }};
        auto m = std::make_unique<NativeTerminalModel>(base, tokens, sources, NativeTerminalModel::TimerStart::Later);
        QObject::connect(&m->link(), &TerminalLink::replyHandled, m.get(),
                         [this](const QString& path) { ++handled[path]; });
        return m;
    }

    int handledCount() const {
        int n = 0;
        for (const auto& [path, count] : handled)
            n += count;
        return n;
    }
    int handledFor(const std::string& target) const {
        const auto it = handled.find(QString::fromStdString(target));
        return it == handled.end() ? 0 : it->second;
    }
    // Runs the event loop until `count` replies in all have been handled since the last clearRecords().
    bool waitHandled(int count) {
        return waitUntil([&] { return handledCount() >= count; }, 10000);
    }
    // Runs the event loop until `count` replies have been handled and nothing more is under way: no request of the
    // model's client on the wire, no reply being decoded. Only then does the server's record hold every request
    // the model sent, extra ones included.
    bool waitSettled(int count) {
        return waitUntil(
            [&] { return decodesDone() && inFlight(model->link().api()).empty() && handledCount() >= count; }, 10000);
    }
    bool waitHandledFor(const std::string& target, int count = 1) {
        return waitUntil([&] { return handledFor(target) >= count; }, 10000);
    }

    void clearRecords() {
        server.clearRequests();
        handled.clear();
    }

    std::multiset<std::string> targets() const {
        std::multiset<std::string> out;
        for (const auto& r : server.requests())
            out.insert(r.target);
        return out;
    }
};

inline std::multiset<std::string> asSet(std::vector<std::string> a, const std::vector<std::string>& b = {}) {
    a.insert(a.end(), b.begin(), b.end());
    return {a.begin(), a.end()};
}

} // namespace zqt::test
