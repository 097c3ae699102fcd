#pragma once

#include <httplib.h>

#include <chrono>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace zqt::demo {

class Auth;
class LogFile;
class Market;
class Oms;
class SignalEngine;
struct EngineConfig;

// Routes of the engine's API port: JSON API, status and health, the web terminal and admin pages. Every error is
// a 4xx/5xx with {"error": "..."} and a line in the web log; successful reads are not logged (the terminal polls
// them every few seconds).
class ApiService final {
public:
    static constexpr std::size_t kMaxBody = 16 * 1024; // bytes; larger bodies get 413

    ApiService(const EngineConfig& config, Market& market, Auth& auth, Oms& oms, SignalEngine& signals,
               LogFile& webLog);

    void install(httplib::Server& server);
    // Extra members for the status reply (ports really bound, pid).
    void setStatusExtra(nlohmann::ordered_json extra) { m_statusExtra = std::move(extra); }
    nlohmann::ordered_json status();

private:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    using AccountHandler = std::function<void(const httplib::Request&, httplib::Response&, std::int64_t)>;

    Handler guarded(AccountHandler h); // needs a valid bearer token
    Handler market(Handler h);         // public when prices are public, else guarded
    void formPost(const httplib::Request& req, httplib::Response& res,
                  const std::function<void(const std::map<std::string, std::string>&)>& h);

    const EngineConfig& m_config;
    Market& m_market;
    Auth& m_auth;
    Oms& m_oms;
    SignalEngine& m_signals;
    LogFile& m_webLog;
    nlohmann::ordered_json m_statusExtra;
    const std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
};

// The engine's HTTP server: the library's own accept queue holds only 5 connections, so a burst of connections
// (many pollers, or a client opening hundreds) drops handshakes that the clients then repeat only after a second.
class EngineServer final : public httplib::Server {
public:
    // bind_to_port with the system's largest accept queue.
    bool bindWithDeepQueue(const std::string& host, int port);
};

// The Host header values a server answers: the host it is bound to, 127.0.0.1, localhost and [::1], each with the
// port it listens on (also without it on port 80), letters in any case. A page of another site whose name was made
// to point at this machine (DNS rebinding) sends that name, and is refused.
class HostCheck final {
public:
    // Sets the bound host and port; call after the bind, before the server answers.
    void listenOn(const std::string& boundHost, int port);
    bool allows(const std::string& hostHeader) const;

private:
    std::vector<std::string> m_allowed; // lower case
};

// Shared by every server of the engine: JSON error replies, a body cap, TCP_NODELAY, 400 for a header holding a
// control character, 421 for a request without exactly one Host header that `hosts` allows, `threads` workers that
// grow on demand up to kMaxWorkers, and error lines in `log`.
constexpr std::size_t kMaxWorkers = 512;
void configureServer(httplib::Server& server, LogFile& log, std::size_t threads, const HostCheck& hosts);
void sendJson(httplib::Response& res, const nlohmann::ordered_json& body, int status = 200);
void sendError(httplib::Response& res, int status, const std::string& message);

} // namespace zqt::demo
