#include "RecordingServer.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include <sys/socket.h>

namespace zqt::test {

namespace {
bool iequals(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}
} // namespace

bool RecordedRequest::hasHeader(const std::string& name) const {
    return std::any_of(headers.begin(), headers.end(), [&](const auto& h) { return iequals(h.first, name); });
}

std::string RecordedRequest::header(const std::string& name) const {
    for (const auto& [k, v] : headers)
        if (iequals(k, name))
            return v;
    return {};
}

RecordingServer::RecordingServer() : RecordingServer(0) {}

RecordingServer::RecordingServer(int port) {
    m_server.set_tcp_nodelay(true);
    // httplib's default also sets SO_REUSEPORT, which would let two servers share one port silently.
    m_server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    m_server.set_keep_alive_max_count(1000);
    auto h = [this](const httplib::Request& req, httplib::Response& res) {
        handle(req, res);
    };
    m_server.Get(".*", h);
    m_server.Post(".*", h);
    m_server.Put(".*", h);
    m_server.Delete(".*", h);
    m_server.Patch(".*", h);
    m_server.Options(".*", h);
    if (port == 0)
        m_port = m_server.bind_to_any_port("127.0.0.1");
    else
        m_port = m_server.bind_to_port("127.0.0.1", port) ? port : -1;
    if (m_port <= 0)
        return;
    m_listening = std::async(std::launch::async, [this] { m_server.listen_after_bind(); });
}

RecordingServer::~RecordingServer() {
    stop();
}

void RecordingServer::stop() {
    if (!m_listening.valid())
        return;
    // httplib's stop() only reaches a server whose accept loop has begun; asking again until the loop has ended
    // covers a stop that comes before the listener thread got that far.
    do {
        m_server.stop();
    } while (m_listening.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready);
    m_listening.get();
}

QString RecordingServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

void RecordingServer::setReply(const std::string& method, const std::string& path, CannedReply reply) {
    std::lock_guard lock(m_mutex);
    m_replies[method + " " + path] = std::move(reply);
}

void RecordingServer::setHandler(const std::string& method, const std::string& path,
                                 std::function<void(const httplib::Request&, httplib::Response&)> handler) {
    std::lock_guard lock(m_mutex);
    m_handlers[method + " " + path] = std::move(handler);
}

std::vector<RecordedRequest> RecordingServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

size_t RecordingServer::requestCount() const {
    std::lock_guard lock(m_mutex);
    return m_requests.size();
}

void RecordingServer::clearRequests() {
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

void RecordingServer::handle(const httplib::Request& req, httplib::Response& res) {
    RecordedRequest r;
    r.method = req.method;
    r.target = req.target;
    const auto q = req.target.find('?');
    r.path = req.target.substr(0, q);
    r.query = q == std::string::npos ? std::string() : req.target.substr(q + 1);
    for (const auto& [k, v] : req.headers)
        r.headers.emplace(k, v);
    r.body = req.body;

    std::function<void(const httplib::Request&, httplib::Response&)> handler;
    CannedReply reply{404, R"({"error":"not found"})", "application/json"};
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(std::move(r));
        const std::string key = req.method + " " + req.path;
        if (auto it = m_handlers.find(key); it != m_handlers.end())
            handler = it->second;
        else if (auto rit = m_replies.find(key); rit != m_replies.end())
            reply = rit->second;
    }
    if (handler) {
        handler(req, res);
        return;
    }
    res.status = reply.status;
    res.set_content(reply.body, reply.contentType);
}

} // namespace zqt::test
