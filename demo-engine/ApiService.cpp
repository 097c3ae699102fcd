#include "ApiService.h"

#include "Auth.h"
#include "EngineConfig.h"
#include "Instrument.h"
#include "LogFile.h"
#include "Market.h"
#include "Oms.h"
#include "Pages.h"
#include "SignalEngine.h"
#include "WorkerPool.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>

namespace zqt::demo {

namespace {

using Json = nlohmann::ordered_json;

bool parseInt(const std::string& text, long long& out) {
    const char* e = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), e, out);
    return !text.empty() && ec == std::errc() && ptr == e;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool percentDecode(const std::string& in, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%') {
            if (i + 2 >= in.size())
                return false;
            const int hi = hexValue(in[i + 1]);
            const int lo = hexValue(in[i + 2]);
            if (hi < 0 || lo < 0)
                return false;
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return true;
}

// application/x-www-form-urlencoded, strictly: bad escapes, empty names and repeated names are errors.
std::string parseForm(const std::string& body, std::map<std::string, std::string>& out) {
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        if (end == std::string::npos)
            end = body.size();
        const std::string pair = body.substr(start, end - start);
        start = end + 1;
        if (pair.empty())
            continue;
        const std::size_t eq = pair.find('=');
        std::string name;
        std::string value;
        if (!percentDecode(pair.substr(0, eq), name) ||
            !percentDecode(eq == std::string::npos ? std::string() : pair.substr(eq + 1), value))
            return "malformed form body: bad percent escape";
        if (name.empty())
            return "malformed form body: empty field name";
        if (!out.emplace(name, value).second)
            return "field '" + printableText(name) + "' given more than once";
    }
    return {};
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Control characters other than a tab are never valid in a header (a NUL after a bearer token, a bare CR).
bool hasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; });
}

const char* reasonPhrase(int status) {
    switch (status) {
    case 400:
        return "bad request";
    case 401:
        return "unauthorized";
    case 403:
        return "forbidden";
    case 404:
        return "not found";
    case 405:
        return "method not allowed";
    case 413:
        return "request body too large";
    case 414:
        return "request line too long";
    case 415:
        return "unsupported content type";
    case 421:
        return "misdirected request";
    default:
        return status >= 500 ? "internal error" : "request failed";
    }
}

} // namespace

void sendJson(httplib::Response& res, const Json& body, int status) {
    res.status = status;
    // Client text reaches replies only after sanitising; replace keeps a stray byte from becoming an exception.
    res.set_content(body.dump(-1, ' ', false, Json::error_handler_t::replace), "application/json");
}

void sendError(httplib::Response& res, int status, const std::string& message) {
    sendJson(res, Json{{"error", message}}, status);
}

bool EngineServer::bindWithDeepQueue(const std::string& host, int port) {
    if (!bind_to_port(host, port))
        return false;
    // listen() again on a listening socket only changes its queue length; the old one still works if it fails.
    ::listen(svr_sock_, SOMAXCONN);
    return true;
}

void HostCheck::listenOn(const std::string& boundHost, int port) {
    // An IPv6 literal is written in brackets in a Host header.
    const std::string bound = boundHost.find(':') != std::string::npos ? "[" + boundHost + "]" : boundHost;
    m_allowed.clear();
    for (const std::string& host :
         {lower(bound), std::string("127.0.0.1"), std::string("localhost"), std::string("[::1]")}) {
        m_allowed.push_back(host + ":" + std::to_string(port));
        if (port == 80)
            m_allowed.push_back(host);
    }
}

bool HostCheck::allows(const std::string& hostHeader) const {
    return std::find(m_allowed.begin(), m_allowed.end(), lower(hostHeader)) != m_allowed.end();
}

void configureServer(httplib::Server& server, LogFile& log, std::size_t threads, const HostCheck& hosts) {
    server.set_tcp_nodelay(true);
    // SO_REUSEADDR only: the library's default SO_REUSEPORT would let a second server (or a second engine) bind a
    // port that is already listening and share its connections, so a taken port would not be noticed.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // `threads` workers stay; more start while every one is busy (each silent connection holds one until the
    // keep-alive timeout below), so idle connections cannot keep a request waiting.
    server.new_task_queue = [threads] {
        return new WorkerPool(threads, kMaxWorkers, std::chrono::seconds(30));
    };
    server.set_keep_alive_max_count(100000);
    // An idle keep-alive connection holds a worker until this runs out, and a stop waits for every worker: short
    // enough that a TERM finishes well inside app_down.sh's grace period, long enough to span a burst of reads.
    server.set_keep_alive_timeout(2);
    server.set_read_timeout(10, 0);
    server.set_write_timeout(10, 0);
    server.set_payload_max_length(ApiService::kMaxBody);
    server.set_pre_routing_handler([&hosts](const httplib::Request& req, httplib::Response& res) {
        for (const auto& [name, value] : req.headers) {
            if (hasControlCharacter(name) || hasControlCharacter(value)) {
                sendError(res, 400, "header '" + printableText(name) + "' holds a control character");
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        if (req.get_header_value_count("Host") != 1 || !hosts.allows(req.get_header_value("Host"))) {
            sendError(res, 421,
                      "this server does not answer for host '" + printableText(req.get_header_value("Host"), 64) + "'");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // Every 4xx/5xx passes here before the library compresses the body for a client that accepts gzip or
    // brotli, so the log gets the message as sent, not the compressed stream (a logger sees the latter).
    server.set_error_handler([&log](const httplib::Request& req, httplib::Response& res) {
        if (res.body.empty())
            sendError(res, res.status, reasonPhrase(res.status));
        log.write(std::to_string(res.status) + " " + printableText(req.method, 16) + " " +
                  printableText(req.path, 200) + " from " + printableText(req.remote_addr, 64) + ": " +
                  printableText(res.body, 300));
    });
    server.set_exception_handler([&log](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "unknown exception";
        try {
            std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        log.write("error " + req.method + " " + printableText(req.path, 200) + ": " + what);
        sendError(res, 500, "internal error");
    });
}

ApiService::ApiService(const EngineConfig& config, Market& market, Auth& auth, Oms& oms, SignalEngine& signals,
                       LogFile& webLog)
    : m_config(config), m_market(market), m_auth(auth), m_oms(oms), m_signals(signals), m_webLog(webLog) {}

ApiService::Handler ApiService::guarded(AccountHandler h) {
    return [this, h = std::move(h)](const httplib::Request& req, httplib::Response& res) {
        const std::string header = req.get_header_value("Authorization");
        const auto space = header.find(' ');
        if (header.empty() || space == std::string::npos || lower(header.substr(0, space)) != "bearer") {
            res.set_header("WWW-Authenticate", "Bearer");
            sendError(res, 401, "missing bearer token");
            return;
        }
        const auto account = m_auth.authenticate(header.substr(header.find_first_not_of(' ', space)));
        if (!account) {
            res.set_header("WWW-Authenticate", "Bearer error=\"invalid_token\"");
            sendError(res, 401, "invalid or expired token");
            return;
        }
        h(req, res, *account);
    };
}

ApiService::Handler ApiService::market(Handler h) {
    if (m_config.publicPrices)
        return h;
    return guarded(
        [h = std::move(h)](const httplib::Request& req, httplib::Response& res, std::int64_t) { h(req, res); });
}

void ApiService::formPost(const httplib::Request& req, httplib::Response& res,
                          const std::function<void(const std::map<std::string, std::string>&)>& h) {
    std::map<std::string, std::string> fields;
    if (!req.body.empty()) {
        const std::string type = lower(req.get_header_value("Content-Type"));
        if (type.rfind("application/x-www-form-urlencoded", 0) != 0) {
            sendError(res, 415, "expected a form body (application/x-www-form-urlencoded)");
            return;
        }
        if (const std::string err = parseForm(req.body, fields); !err.empty()) {
            sendError(res, 400, err);
            return;
        }
    }
    h(fields);
}

Json ApiService::status() {
    Json s{{"service", "zqt-demo-engine"},
           {"status", "running"},
           {"pid", static_cast<long long>(::getpid())},
           {"uptime_s",
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - m_started).count()},
           {"execution_mode", m_config.executionMode},
           {"broker", m_config.broker},
           {"public_prices", m_config.publicPrices},
           {"time", isoUtc(nowMs() / 1000)}};
    for (auto& [k, v] : m_statusExtra.items())
        s[k] = v;
    s["oms"] = m_oms.stats();
    return s;
}

void ApiService::install(httplib::Server& server) {
    using Req = httplib::Request;
    using Res = httplib::Response;

    server.Get("/health", [](const Req&, Res& res) { sendJson(res, Json{{"status", "ok"}}); });
    server.Get("/api/system/status", [this](const Req&, Res& res) { sendJson(res, status()); });
    server.Get("/", [](const Req&, Res& res) { res.set_content(apiIndexPage(), "text/html; charset=utf-8"); });
    server.Get("/terminal", [this](const Req& req, Res& res) {
        std::string state = "none";
        if (req.has_param("token"))
            state = m_auth.authenticate(req.get_param_value("token")) ? "valid" : "invalid";
        res.set_content(terminalPage(state), "text/html; charset=utf-8");
    });
    server.Get("/admin", [this](const Req&, Res& res) {
        res.set_content(adminPage(status().dump(2)), "text/html; charset=utf-8");
    });

    server.Post("/api/login", [this](const Req& req, Res& res) {
        formPost(req, res, [&](const std::map<std::string, std::string>& f) {
            const auto email = f.find("email");
            const auto password = f.find("password");
            if (email == f.end() || password == f.end() || email->second.empty() || password->second.empty()) {
                sendError(res, 400, "email and password are required");
                return;
            }
            const auto token = m_auth.login(email->second, password->second);
            if (!token) {
                sendError(res, 401, "invalid credentials");
                return;
            }
            m_webLog.write("login " + printableText(email->second, 64) + " from " + req.remote_addr);
            sendJson(res, Json{{"token", *token}});
        });
    });

    // Market data.
    server.Get("/api/prices", market([this](const Req& req, Res& res) {
                   const auto all = m_market.prices();
                   Json prices = Json::object();
                   const std::string list = req.get_param_value("symbols");
                   if (list.empty()) {
                       for (const Instrument& i : instruments())
                           prices[i.symbol] = all.at(i.symbol);
                   } else {
                       std::size_t start = 0;
                       while (start <= list.size()) {
                           std::size_t end = list.find(',', start);
                           if (end == std::string::npos)
                               end = list.size();
                           const std::string sym = list.substr(start, end - start);
                           start = end + 1;
                           if (sym.empty())
                               continue;
                           const auto it = all.find(sym);
                           if (it == all.end()) {
                               sendError(res, 400, "unknown symbol '" + printableText(sym) + "'");
                               return;
                           }
                           prices[sym] = it->second;
                       }
                   }
                   sendJson(res, Json{{"prices", prices}});
               }));
    server.Get(
        "/api/market/depth", market([this](const Req& req, Res& res) {
            const std::string sym = req.get_param_value("symbol");
            if (!findInstrument(sym)) {
                sendError(res, 400, sym.empty() ? "symbol is required" : "unknown symbol '" + printableText(sym) + "'");
                return;
            }
            const BookSnapshot book = m_market.book(sym, nowMs());
            Json levels = Json::array();
            for (const BookLevel& l : book.levels) {
                Json row{{"price", l.price}};
                if (l.bidSize)
                    row["bid_size"] = *l.bidSize;
                if (l.askSize)
                    row["ask_size"] = *l.askSize;
                row["mid"] = l.mid;
                levels.push_back(row);
            }
            sendJson(res, Json{{"symbol", sym}, {"price", book.price}, {"levels", levels}, {"source", "simulated"}});
        }));
    server.Get("/api/market/candles", market([this](const Req& req, Res& res) {
                   const std::string sym = req.get_param_value("symbol");
                   if (!findInstrument(sym)) {
                       sendError(res, 400,
                                 sym.empty() ? "symbol is required" : "unknown symbol '" + printableText(sym) + "'");
                       return;
                   }
                   long long interval = 60;
                   long long count = 80;
                   if (req.has_param("interval") &&
                       (!parseInt(req.get_param_value("interval"), interval) || interval < 1 || interval > 86400)) {
                       sendError(res, 400, "interval must be whole seconds from 1 to 86400");
                       return;
                   }
                   if (req.has_param("count") &&
                       (!parseInt(req.get_param_value("count"), count) || count < 1 || count > 1000)) {
                       sendError(res, 400, "count must be an integer from 1 to 1000");
                       return;
                   }
                   Json rows = Json::array();
                   for (const Bar& b : m_market.bars(sym, interval, static_cast<std::size_t>(count))) {
                       rows.push_back(Json{{"ts", isoUtc(b.t)},
                                           {"open", b.open},
                                           {"high", b.high},
                                           {"low", b.low},
                                           {"close", b.close},
                                           {"volume", b.volume}});
                   }
                   sendJson(res, Json{{"symbol", sym}, {"interval", interval}, {"candles", rows}});
               }));

    // Account reads.
    server.Get("/api/account/metrics", guarded([this](const Req&, Res& res, std::int64_t a) {
                   sendJson(res, m_oms.metrics(a, m_config.executionMode, m_config.broker));
               }));
    server.Get("/api/portfolio/summary",
               guarded([this](const Req&, Res& res, std::int64_t a) { sendJson(res, m_oms.portfolioSummary(a)); }));
    server.Get("/api/trades/open",
               guarded([this](const Req&, Res& res, std::int64_t a) { sendJson(res, m_oms.openTrades(a)); }));
    server.Get("/api/oms/orders",
               guarded([this](const Req&, Res& res, std::int64_t a) { sendJson(res, m_oms.orders(a)); }));
    server.Get("/api/trades/recent",
               guarded([this](const Req&, Res& res, std::int64_t a) { sendJson(res, m_oms.recentFills(a)); }));
    server.Get("/api/rm1/latest",
               guarded([this](const Req&, Res& res, std::int64_t) { sendJson(res, m_signals.latest(20)); }));
    auto days = [](const Req& req, Res& res, long long fallback) -> int {
        long long d = fallback;
        if (req.has_param("days") && (!parseInt(req.get_param_value("days"), d) || d < 1 || d > 3650)) {
            sendError(res, 400, "days must be an integer from 1 to 3650");
            return 0;
        }
        return static_cast<int>(d);
    };
    server.Get("/api/analytics/pnl_attribution", guarded([this, days](const Req& req, Res& res, std::int64_t a) {
                   if (const int d = days(req, res, 30))
                       sendJson(res, m_oms.pnlAttribution(a, d));
               }));
    server.Get("/api/analytics/execution_quality", guarded([this, days](const Req& req, Res& res, std::int64_t a) {
                   if (const int d = days(req, res, 7))
                       sendJson(res, m_oms.executionQuality(a, d));
               }));

    // Order management.
    server.Post("/api/oms/order", guarded([this](const Req& req, Res& res, std::int64_t a) {
                    const auto received = std::chrono::steady_clock::now();
                    formPost(req, res, [&](const std::map<std::string, std::string>& f) {
                        const OmsReply r = m_oms.place(a, f, received);
                        if (r.status < 400) {
                            m_webLog.write(
                                "order " + r.body["order_id"].dump() + " " + r.body["status"].get<std::string>() +
                                ": " + r.body["side"].get<std::string>() + " " + r.body["qty"].dump() + " " +
                                r.body["symbol"].get<std::string>() + " " + r.body["type"].get<std::string>());
                        }
                        sendJson(res, r.body, r.status);
                    });
                }));
    server.Post("/api/oms/cancel_all", guarded([this](const Req&, Res& res, std::int64_t a) {
                    const OmsReply r = m_oms.cancelAll(a);
                    m_webLog.write("cancel all: " + r.body.dump());
                    sendJson(res, r.body, r.status);
                }));
    server.Post("/api/positions/close_all", guarded([this](const Req&, Res& res, std::int64_t a) {
                    const OmsReply r = m_oms.closeAll(a);
                    m_webLog.write("close all: " + r.body.dump());
                    sendJson(res, r.body, r.status);
                }));
}

} // namespace zqt::demo
