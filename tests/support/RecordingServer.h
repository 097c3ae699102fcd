#pragma once

#include <httplib.h>

#include <QString>

#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace zqt::test {

// One request as the server saw it.
struct RecordedRequest {
    std::string method;
    std::string path;   // without the query
    std::string query;  // raw query text after '?', empty when none
    std::string target; // path and query exactly as sent
    std::multimap<std::string, std::string> headers;
    std::string body;

    bool hasHeader(const std::string& name) const;
    std::string header(const std::string& name) const; // case-insensitive; empty when absent
};

// A canned reply.
struct CannedReply {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
};

// A real HTTP server on 127.0.0.1 at a free port that records every request and answers what the test sets.
// Replies are chosen by "METHOD /path" (query ignored); unknown routes get 404 {"error":"not found"}.
class RecordingServer final {
public:
    RecordingServer();
    // Listens on `port` of 127.0.0.1 (one that was free a moment ago, for a server that comes up later than
    // its clients first asked); port() is -1 when it could not be bound.
    explicit RecordingServer(int port);
    ~RecordingServer();
    RecordingServer(const RecordingServer&) = delete;
    RecordingServer& operator=(const RecordingServer&) = delete;

    int port() const { return m_port; }
    // "http://127.0.0.1:<port>"
    QString baseUrl() const;

    void setReply(const std::string& method, const std::string& path, CannedReply reply);
    // Full control: the handler fills the response itself (runs on a server thread).
    void setHandler(const std::string& method, const std::string& path,
                    std::function<void(const httplib::Request&, httplib::Response&)> handler);

    std::vector<RecordedRequest> requests() const;
    size_t requestCount() const;
    void clearRequests();

    void stop();

private:
    void handle(const httplib::Request& req, httplib::Response& res);

    httplib::Server m_server;
    std::future<void> m_listening;
    int m_port = -1;
    mutable std::mutex m_mutex;
    std::vector<RecordedRequest> m_requests;
    std::map<std::string, CannedReply> m_replies;
    std::map<std::string, std::function<void(const httplib::Request&, httplib::Response&)>> m_handlers;
};

} // namespace zqt::test
