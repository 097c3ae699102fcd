#pragma once

#include <httplib.h>

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace zqt::test {

// How the engine misbehaves. Every request, whatever its route, meets the fault that is set when it arrives.
enum class Fault {
    None,          // the good reply of the route
    Refused,       // nothing listens on the port: connections are refused
    Slow,          // the good reply, after slowDelay()
    Hang,          // no reply at all until the fault is lifted (or the server stops)
    Html,          // 200 with an HTML error page
    TruncatedJson, // 200 with the first half of the good JSON body
    HugeBody,      // 200 with a JSON body of hugeBodyBytes(), sent as hugeBodyMode() says
    ServerError,   // 500 with a JSON error body
    CutMidBody,    // announces the good body's length, sends half of it and closes the connection
    Flapping,      // each route alternates: good, then bad (HTML, 500, truncated, cut), then good again, ...
};

const char* faultName(Fault fault);

// How the HugeBody reply is sent.
enum class HugeBodyMode {
    WithLength, // with its length (Content-Length)
    // In chunks without a length. Sent as application/octet-stream, which the server does not compress: a
    // compressed stream would meet the client's decompression limits first, and the server's brotli at its
    // highest quality takes seconds per megabyte.
    Streamed,
};

// A small engine for tests: a real HTTP server on 127.0.0.1 at a free port that answers the terminal's reads,
// sign-in, orders and the status and health probes with fixed good data, or meets them with the fault set by
// setFault(). Handlers run on the server's threads; waiting ones end at once when the fault is lifted or the server
// stops, so stop() and the destructor never wait for a slow or hung reply.
class FaultServer final {
public:
    // The bodies of the Html and ServerError faults.
    static constexpr const char* kHtmlPage =
        "<!DOCTYPE html>\n<html><head><title>502 Bad Gateway</title></head>\n"
        "<body><h1>Bad Gateway</h1><p>The upstream server is not answering.</p></body></html>\n";
    static constexpr const char* kServerErrorBody =
        R"({"error":"internal server error","detail":"database is locked"})";

    FaultServer();
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    // -1 when no port could be bound.
    int port() const { return m_port; }
    // "http://127.0.0.1:<port>"
    QString baseUrl() const;

    // Switches to `fault`. Refused stops listening (open connections are closed); leaving it listens on the same
    // port again. Lifting Slow or Hang lets the waiting requests answer with their good replies. Returns once the
    // server is in the new mode.
    void setFault(Fault fault);
    Fault fault() const;

    void setSlowDelay(std::chrono::milliseconds delay);
    std::chrono::milliseconds slowDelay() const;
    // Body size of HugeBody (default 50 MB) and how it is sent (default Streamed).
    void setHugeBody(std::int64_t bytes, HugeBodyMode mode);
    std::int64_t hugeBodyBytes() const;

    // The good body of a GET route ("/api/prices", ...), as served while no fault is set.
    static std::string goodBody(const std::string& path, const httplib::Request& req = {});

    // Bytes [offset, offset + length) of the HugeBody reply `total` bytes long: a JSON prices reply whose padding
    // string fills the middle.
    static std::string hugeBodySlice(std::int64_t offset, std::int64_t length, std::int64_t total);

    // Requests that met a fault other than None (including the good halves of Flapping), and requests now held by
    // Slow or Hang.
    int faultedRequests() const;
    int waitingRequests() const;

    void stop();

private:
    void listen();
    void shutDown();
    void handle(const httplib::Request& req, httplib::Response& res);
    // Waits until `until` passes or the fault is no longer `fault`; false when the server is stopping.
    bool waitWhile(Fault fault, std::chrono::steady_clock::time_point until);
    void serve(Fault fault, const httplib::Request& req, httplib::Response& res);

    std::unique_ptr<httplib::Server> m_server;
    std::future<void> m_listening;
    int m_port = -1;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    Fault m_fault = Fault::None;
    bool m_stopping = false;
    std::chrono::milliseconds m_slowDelay{10'000};
    std::int64_t m_hugeBytes = 50'000'000;
    HugeBodyMode m_hugeMode = HugeBodyMode::Streamed;
    int m_faulted = 0;
    int m_waiting = 0;
    std::map<std::string, int> m_flips; // per route: requests met while Flapping
};

} // namespace zqt::test
