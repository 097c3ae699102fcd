#include "FaultServer.h"

#include <algorithm>

#include <sys/socket.h>

namespace zqt::test {

namespace {

constexpr size_t kChunkBytes = 64 * 1024;

// The bad reply a flapping route gives on its n-th bad turn.
Fault flapFault(int badTurn) {
    static constexpr Fault kCycle[] = {Fault::Html, Fault::ServerError, Fault::TruncatedJson, Fault::CutMidBody};
    return kCycle[badTurn % 4];
}

} // namespace

const char* faultName(Fault fault) {
    switch (fault) {
    case Fault::None:
        return "None";
    case Fault::Refused:
        return "Refused";
    case Fault::Slow:
        return "Slow";
    case Fault::Hang:
        return "Hang";
    case Fault::Html:
        return "Html";
    case Fault::TruncatedJson:
        return "TruncatedJson";
    case Fault::HugeBody:
        return "HugeBody";
    case Fault::ServerError:
        return "ServerError";
    case Fault::CutMidBody:
        return "CutMidBody";
    case Fault::Flapping:
        return "Flapping";
    }
    return "?";
}

FaultServer::FaultServer() {
    listen();
}

FaultServer::~FaultServer() {
    stop();
}

void FaultServer::listen() {
    m_server = std::make_unique<httplib::Server>();
    httplib::Server& s = *m_server;
    s.set_tcp_nodelay(true);
    // Without SO_REUSEPORT (httplib's default), so that two servers never share a port silently.
    s.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    s.set_keep_alive_max_count(1000);
    // Slow and hung requests each hold a worker: room for every connection the clients open.
    s.new_task_queue = [] {
        return new httplib::ThreadPool(48);
    };
    auto h = [this](const httplib::Request& req, httplib::Response& res) {
        handle(req, res);
    };
    s.Get(".*", h);
    s.Post(".*", h);
    if (m_port <= 0)
        m_port = s.bind_to_any_port("127.0.0.1");
    else if (!s.bind_to_port("127.0.0.1", m_port))
        m_port = -1;
    if (m_port <= 0)
        return;
    m_listening = std::async(std::launch::async, [&s] { s.listen_after_bind(); });
}

void FaultServer::shutDown() {
    if (!m_listening.valid())
        return;
    // httplib's stop() only reaches a server whose accept loop has begun: ask until the loop has ended.
    do {
        m_server->stop();
    } while (m_listening.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready);
    m_listening.get();
    m_server.reset();
}

void FaultServer::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    shutDown();
}

QString FaultServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

void FaultServer::setFault(Fault fault) {
    Fault previous;
    {
        std::lock_guard lock(m_mutex);
        previous = m_fault;
        m_fault = fault;
        m_flips.clear();
    }
    m_changed.notify_all();
    if (fault == Fault::Refused && previous != Fault::Refused)
        shutDown();
    else if (fault != Fault::Refused && previous == Fault::Refused)
        listen();
}

Fault FaultServer::fault() const {
    std::lock_guard lock(m_mutex);
    return m_fault;
}

void FaultServer::setSlowDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_mutex);
    m_slowDelay = delay;
}

std::chrono::milliseconds FaultServer::slowDelay() const {
    std::lock_guard lock(m_mutex);
    return m_slowDelay;
}

void FaultServer::setHugeBody(std::int64_t bytes, HugeBodyMode mode) {
    std::lock_guard lock(m_mutex);
    m_hugeBytes = bytes;
    m_hugeMode = mode;
}

std::int64_t FaultServer::hugeBodyBytes() const {
    std::lock_guard lock(m_mutex);
    return m_hugeBytes;
}

int FaultServer::faultedRequests() const {
    std::lock_guard lock(m_mutex);
    return m_faulted;
}

int FaultServer::waitingRequests() const {
    std::lock_guard lock(m_mutex);
    return m_waiting;
}

std::string FaultServer::hugeBodySlice(std::int64_t offset, std::int64_t length, std::int64_t total) {
    static const std::string kPrefix = R"({"prices":{"EURUSD":1.085},"pad":")";
    static const std::string kSuffix = R"("})";
    // Pseudo-random padding: a body that compresses well would be taken for a decompression bomb by the client.
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out(static_cast<size_t>(length), ' ');
    for (std::int64_t i = 0; i < length; ++i) {
        const std::int64_t at = offset + i;
        char& c = out[static_cast<size_t>(i)];
        if (at < static_cast<std::int64_t>(kPrefix.size()))
            c = kPrefix[static_cast<size_t>(at)];
        else if (at >= total - static_cast<std::int64_t>(kSuffix.size()))
            c = kSuffix[static_cast<size_t>(at - (total - static_cast<std::int64_t>(kSuffix.size())))];
        else
            c = kAlphabet[(static_cast<std::uint64_t>(at) * 0x9E3779B97F4A7C15ull) >> 58];
    }
    return out;
}

std::string FaultServer::goodBody(const std::string& path, const httplib::Request& req) {
    if (path == "/api/account/metrics")
        return R"({"account_id":7,"balance":10000,"equity":10050.5,"highest_equity":10100,"stage":2,"rm1_access":true,
                  "status":"ACTIVE","execution_mode":"paper","broker":"sim","profit_pct":0.5,"profit_target":10,
                  "max_loss_floor":9000,"daily_loss_limit":500,"daily_loss_used":20,"daily_loss_buffer":480})";
    if (path == "/api/portfolio/summary")
        return R"({"total_upl":12.5,"exposure":[{"symbol":"EURUSD","net_units":1000,"upl":12.5,"mark":1.085}]})";
    if (path == "/api/trades/open")
        return R"({"positions":[{"id":17,"symbol":"EURUSD","side":"BUY","units":1000,"entry":1.08}]})";
    if (path == "/api/oms/orders")
        return R"({"orders":[{"id":1,"symbol":"EURUSD","side":"BUY","type":"LIMIT","qty":1,"status":"NEW"}]})";
    if (path == "/api/trades/recent")
        return R"({"trades":[{"id":2,"symbol":"EURUSD","side":"SELL","pnl":-3.5,"status":"CLOSED"}]})";
    if (path == "/api/rm1/latest")
        return R"({"signals":[{"signal_id":"s1","symbol":"AAPL","side":"BUY","entry":190.5}]})";
    if (path == "/api/prices")
        return R"({"prices":{"EURUSD":1.085,"AAPL":190.25,"BTCUSD":64000.5,"ES":5100.25,"XAUUSD":2150.1}})";
    if (path == "/api/market/depth") {
        const std::string symbol = req.get_param_value("symbol");
        return R"({"symbol":")" + symbol +
               R"(","price":1.085,"levels":[{"price":1.0851,"ask_size":4},{"price":1.085,"mid":true},)"
               R"({"price":1.0849,"bid_size":7}]})";
    }
    if (path == "/api/analytics/pnl_attribution")
        return R"({"symbols":[{"symbol":"EURUSD","realized":1,"unrealized":2,"total":3,"trades":4,"win_rate":0.5}],
                  "exposure":[{"symbol":"EURUSD","net_units":1000,"notional":1085,"upl":2}]})";
    if (path == "/api/analytics/execution_quality")
        return R"({"order_count":3,"fill_rate":0.9,"cancel_rate":0.1,"avg_latency_ms":12,"p50_latency_ms":10,
                  "p95_latency_ms":30,"avg_slippage":0.0001,"recent":[]})";
    if (path == "/api/market/candles") {
        const std::string symbol = req.get_param_value("symbol");
        const std::string interval = req.get_param_value("interval");
        return R"({"symbol":")" + symbol + R"(","interval":)" + interval +
               R"(,"candles":[{"ts":"2024-03-05T14:15:00Z","open":1.08,"high":1.09,"low":1.07,"close":1.085,)"
               R"("volume":120},{"ts":"2024-03-05T14:30:00Z","open":1.085,"high":1.088,"low":1.082,"close":1.084}]})";
    }
    if (path == "/api/system/status")
        return R"({"status":"ok","services":{"web":"up","worker":"up"}})";
    if (path == "/health")
        return R"({"ok":true})";
    if (path == "/api/login")
        return R"({"token":"fault-token"})";
    if (path == "/api/oms/order")
        return R"({"ok":true,"order_id":5})";
    if (path == "/api/oms/cancel_all" || path == "/api/positions/close_all")
        return R"({"ok":true})";
    return {};
}

bool FaultServer::waitWhile(Fault fault, std::chrono::steady_clock::time_point until) {
    std::unique_lock lock(m_mutex);
    ++m_waiting;
    m_changed.wait_until(lock, until, [&] { return m_stopping || m_fault != fault; });
    --m_waiting;
    return !m_stopping;
}

void FaultServer::handle(const httplib::Request& req, httplib::Response& res) {
    Fault fault;
    std::chrono::milliseconds delay;
    {
        std::lock_guard lock(m_mutex);
        fault = m_fault;
        delay = m_slowDelay;
        if (fault != Fault::None)
            ++m_faulted;
        if (fault == Fault::Flapping) {
            const int turn = m_flips[req.path]++;
            fault = turn % 2 == 0 ? flapFault(turn / 2) : Fault::None;
        }
    }
    if (fault == Fault::Slow && !waitWhile(Fault::Slow, std::chrono::steady_clock::now() + delay))
        return;
    if (fault == Fault::Hang && !waitWhile(Fault::Hang, std::chrono::steady_clock::time_point::max()))
        return;
    serve(fault, req, res);
}

void FaultServer::serve(Fault fault, const httplib::Request& req, httplib::Response& res) {
    const std::string good = goodBody(req.path, req);
    if (good.empty()) {
        res.status = 404;
        res.set_content(R"({"error":"not found"})", "application/json");
        return;
    }
    switch (fault) {
    case Fault::Html:
        res.set_content(kHtmlPage, "text/html");
        return;
    case Fault::TruncatedJson:
        res.set_content(good.substr(0, good.size() / 2), "application/json");
        return;
    case Fault::ServerError:
        res.status = 500;
        res.set_content(kServerErrorBody, "application/json");
        return;
    case Fault::CutMidBody: {
        // The length promises the whole body; after the first half the provider gives up, which closes the
        // connection.
        const size_t half = std::max<size_t>(1, good.size() / 2);
        res.set_content_provider(good.size(), "application/json",
                                 [good, half](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset != 0)
                                         return false;
                                     sink.write(good.data(), half);
                                     return true;
                                 });
        return;
    }
    case Fault::HugeBody: {
        std::int64_t total;
        HugeBodyMode mode;
        {
            std::lock_guard lock(m_mutex);
            total = m_hugeBytes;
            mode = m_hugeMode;
        }
        // Generated chunk by chunk, so the server never holds the body.
        if (mode == HugeBodyMode::WithLength) {
            res.set_content_provider(static_cast<size_t>(total), "application/json",
                                     [total](size_t offset, size_t length, httplib::DataSink& sink) {
                                         const auto n = static_cast<std::int64_t>(std::min(length, kChunkBytes));
                                         const std::string chunk =
                                             hugeBodySlice(static_cast<std::int64_t>(offset), n, total);
                                         return sink.write(chunk.data(), chunk.size());
                                     });
        } else {
            res.set_chunked_content_provider("application/octet-stream",
                                             [total](size_t offset, httplib::DataSink& sink) {
                                                 const auto at = static_cast<std::int64_t>(offset);
                                                 if (at >= total) {
                                                     sink.done();
                                                     return true;
                                                 }
                                                 const std::int64_t n = std::min<std::int64_t>(total - at, kChunkBytes);
                                                 const std::string chunk = hugeBodySlice(at, n, total);
                                                 return sink.write(chunk.data(), chunk.size());
                                             });
        }
        return;
    }
    default:
        res.set_content(good, "application/json");
        return;
    }
}

} // namespace zqt::test
