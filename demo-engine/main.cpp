// zqt-demo-engine: a small stand-in for the ZQT engine with a simulated market and broker.
//
//   zqt-demo-engine              run the engine with the ZQT_* environment (started by scripts/app_up.sh)
//   zqt-demo-engine --probe DIR  exit 0 and print a summary when the engine whose storage folder is DIR answers
//                                /health; exit 1 otherwise (used by the start script while it waits)

#include "ApiService.h"
#include "Auth.h"
#include "EngineConfig.h"
#include "LogFile.h"
#include "Market.h"
#include "Oms.h"
#include "Pages.h"
#include "SignalEngine.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using zqt::demo::Json;

namespace {

constexpr int kPortScan = 50; // a taken port is replaced by the next free one within this many

// Writes through a temporary file and a rename, so readers never see a half-written file.
bool writeAtomically(const fs::path& path, const std::string& content) {
    const fs::path tmp = path.string() + ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << content;
        if (!out.flush())
            return false;
    }
    std::error_code ec;
    fs::rename(tmp, path, ec);
    return !ec;
}

int bindNextFree(zqt::demo::EngineServer& server, const std::string& host, int requested) {
    for (int port = requested; port < requested + kPortScan && port <= 65535; ++port) {
        if (server.bindWithDeepQueue(host, port))
            return port;
    }
    return -1;
}

std::string url(const std::string& host, int port) {
    const bool v6 = host.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

int probe(const std::string& storage) {
    std::ifstream in(fs::path(storage) / "runtime_ports.json");
    if (!in)
        return 1;
    Json ports = Json::parse(in, nullptr, false);
    if (ports.is_discarded() || !ports.is_object() || !ports.contains("port") || !ports["port"].is_number_integer())
        return 1;
    const std::string host = ports.value("access_host", std::string("127.0.0.1"));
    const int port = ports["port"].get<int>();
    httplib::Client client(host, port);
    client.set_tcp_nodelay(true);
    client.set_connection_timeout(1, 0);
    client.set_read_timeout(2, 0);
    // Named as the engine expects it (an IPv6 literal in brackets), whatever the library would write.
    const bool v6 = host.find(':') != std::string::npos;
    const auto res = client.Get("/health", {{"Host", (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port)}});
    if (!res || res->status != 200)
        return 1;
    std::cout << "ZQT demo engine running (pid " << ports.value("pid", 0LL) << ", simulated market and broker).\n";
    std::cout << "  API, web terminal, admin: " << url(host, port) << "\n";
    auto line = [&](const char* name, const char* key, const char* requestedKey) {
        if (!ports.contains(key) || !ports[key].is_number_integer())
            return;
        std::cout << "  " << name << url(host, ports[key].get<int>());
        if (ports.contains(requestedKey) && ports[requestedKey] != ports[key])
            std::cout << " (port " << ports[requestedKey].dump() << " was taken)";
        std::cout << "\n";
    };
    if (ports.contains("requested_port") && ports["requested_port"] != ports["port"])
        std::cout << "  (API port " << ports["requested_port"].dump() << " was taken)\n";
    line("Marketing site: ", "marketing_port", "requested_marketing_port");
    line("Trader portal: ", "portal_port", "requested_portal_port");
    std::cout << "  Logs: " << (fs::path(storage) / "logs").string() << "\n";
    return 0;
}

struct Worker {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;

    // Waits for `ms` or until stop; true when it is time to stop.
    bool sleepFor(int ms) {
        std::unique_lock lock(mutex);
        return wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop; });
    }
    void requestStop() {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        wake.notify_all();
    }
};

int run() {
    const auto parsed = zqt::demo::EngineConfig::fromEnvironment();
    if (const auto* err = std::get_if<std::string>(&parsed)) {
        std::cerr << *err << std::endl;
        return 2;
    }
    const auto& config = std::get<zqt::demo::EngineConfig>(parsed);
    // Everything the engine creates (database and its journals, logs, pid and ports files) is the owner's alone.
    ::umask(077);

    std::error_code ec;
    const fs::path storage(config.storage);
    fs::create_directories(storage / "logs", ec);
    if (!fs::path(config.db).parent_path().empty())
        fs::create_directories(fs::path(config.db).parent_path(), ec);
    zqt::demo::LogFile webLog((storage / "logs" / "web.log").string());
    zqt::demo::LogFile workerLog((storage / "logs" / "worker.log").string());
    zqt::demo::LogFile rm1Log((storage / "logs" / "rm1.log").string());
    zqt::demo::LogFile marketingLog((storage / "logs" / "marketing.log").string());
    zqt::demo::LogFile portalLog((storage / "logs" / "portal.log").string());
    if (!webLog.isOpen()) {
        std::cerr << "Cannot write the logs under " << (storage / "logs").string() << std::endl;
        return 2;
    }

    // Signals are taken by sigwait in this thread only; every thread created below inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<zqt::demo::Market> market;
    std::unique_ptr<zqt::demo::Auth> auth;
    std::unique_ptr<zqt::demo::Oms> oms;
    std::unique_ptr<zqt::demo::SignalEngine> signals;
    try {
        market = std::make_unique<zqt::demo::Market>(config.seed, zqt::demo::nowMs());
        auth = std::make_unique<zqt::demo::Auth>(config.db, config.sessionMs);
        if (config.seedDemo)
            auth->seedDemo();
        oms = std::make_unique<zqt::demo::Oms>(config.db, *market, workerLog);
        market->continueFrom(oms->lastPrices());
        signals = std::make_unique<zqt::demo::SignalEngine>(config.db, *market, rm1Log);
    } catch (const std::exception& e) {
        webLog.write(std::string("start failed: ") + e.what());
        std::cerr << "Start failed: " << e.what() << std::endl;
        return 3;
    }

    zqt::demo::ApiService api(config, *market, *auth, *oms, *signals, webLog);
    zqt::demo::EngineServer apiServer;
    zqt::demo::EngineServer marketingServer;
    zqt::demo::EngineServer portalServer;
    zqt::demo::HostCheck apiHosts;
    zqt::demo::HostCheck marketingHosts;
    zqt::demo::HostCheck portalHosts;
    zqt::demo::configureServer(apiServer, webLog, 32, apiHosts);
    zqt::demo::configureServer(marketingServer, marketingLog, 4, marketingHosts);
    zqt::demo::configureServer(portalServer, portalLog, 4, portalHosts);

    const int port = bindNextFree(apiServer, config.host, config.port);
    if (port < 0) {
        const std::string msg = "no free port for the API on " + config.host + " from " + std::to_string(config.port);
        webLog.write("start failed: " + msg);
        std::cerr << "Start failed: " << msg << std::endl;
        return 3;
    }
    int marketingPort = -1;
    int portalPort = -1;
    if (config.startMarketing && (marketingPort = bindNextFree(marketingServer, config.host, config.marketingPort)) < 0)
        marketingLog.write("no free port for the marketing site from " + std::to_string(config.marketingPort));
    if (config.startPortal && (portalPort = bindNextFree(portalServer, config.host, config.portalPort)) < 0)
        portalLog.write("no free port for the trader portal from " + std::to_string(config.portalPort));

    apiHosts.listenOn(config.host, port);
    marketingHosts.listenOn(config.host, marketingPort);
    portalHosts.listenOn(config.host, portalPort);

    const std::string apiBase = url(config.accessHost(), port);
    api.install(apiServer);
    marketingServer.Get("/", [apiBase](const httplib::Request&, httplib::Response& res) {
        res.set_content(zqt::demo::marketingPage(apiBase), "text/html; charset=utf-8");
    });
    marketingServer.Get("/external", [apiBase](const httplib::Request&, httplib::Response& res) {
        res.set_content(zqt::demo::externalPage(apiBase), "text/html; charset=utf-8");
    });
    portalServer.Get("/", [apiBase](const httplib::Request&, httplib::Response& res) {
        res.set_content(zqt::demo::portalPage(apiBase), "text/html; charset=utf-8");
    });

    Json ports{{"host", config.host},
               {"access_host", config.accessHost()},
               {"port", port},
               {"marketing_port", marketingPort > 0 ? Json(marketingPort) : Json(nullptr)},
               {"portal_port", portalPort > 0 ? Json(portalPort) : Json(nullptr)},
               {"pid", static_cast<long long>(::getpid())},
               {"requested_port", config.port}};
    if (config.startMarketing)
        ports["requested_marketing_port"] = config.marketingPort;
    if (config.startPortal)
        ports["requested_portal_port"] = config.portalPort;
    api.setStatusExtra(Json{{"ports", ports}});

    std::vector<std::thread> threads;
    threads.emplace_back([&] { apiServer.listen_after_bind(); });
    if (marketingPort > 0)
        threads.emplace_back([&] { marketingServer.listen_after_bind(); });
    if (portalPort > 0)
        threads.emplace_back([&] { portalServer.listen_after_bind(); });

    Worker worker;
    threads.emplace_back([&] {
        workerLog.write("market simulator started: " + std::to_string(zqt::demo::instruments().size()) +
                        " symbols, step " + std::to_string(config.tickMs) + " ms, " +
                        // A random seed stays unknown: it would tell the market's next moves.
                        (config.seedGiven ? "seed " + std::to_string(config.seed) + " (fixed)" : "random seed"));
        long long lastReport = 0;
        long long lastSave = 0;
        while (!worker.sleepFor(config.tickMs)) {
            const long long now = zqt::demo::nowMs();
            market->step(now);
            try {
                oms->onPrices();
            } catch (const std::exception& e) {
                workerLog.write(std::string("order matching failed: ") + e.what());
            }
            if (now - lastSave >= 2000) {
                lastSave = now;
                try {
                    oms->saveLastPrices(market->prices());
                } catch (const std::exception& e) {
                    workerLog.write(std::string("saving prices failed: ") + e.what());
                }
            }
            if (now - lastReport >= 60000) {
                lastReport = now;
                std::ostringstream line;
                line << "prices";
                for (const auto& [sym, px] : market->prices())
                    line << " " << sym << "=" << px;
                workerLog.write(line.str());
            }
        }
        try {
            oms->saveLastPrices(market->prices());
        } catch (const std::exception& e) {
            workerLog.write(std::string("saving prices failed: ") + e.what());
        }
        workerLog.write("market simulator stopped");
    });
    threads.emplace_back([&] {
        rm1Log.write("RM1 signal scanner started");
        do {
            try {
                signals->scan();
            } catch (const std::exception& e) {
                rm1Log.write(std::string("scan failed: ") + e.what());
            }
        } while (!worker.sleepFor(5000));
        rm1Log.write("RM1 signal scanner stopped");
    });

    const fs::path pidFile = storage / "web.pid";
    writeAtomically(pidFile, std::to_string(::getpid()) + "\n");
    writeAtomically(storage / "runtime_ports.json", ports.dump(2) + "\n");
    webLog.write("engine started (pid " + std::to_string(::getpid()) + "): API on " + url(config.host, port) +
                 ", execution " + config.executionMode + ", broker " + config.broker +
                 (config.publicPrices ? ", public prices" : ", prices need a token"));
    if (marketingPort > 0)
        marketingLog.write("marketing site on " + url(config.host, marketingPort));
    if (portalPort > 0)
        portalLog.write("trader portal on " + url(config.host, portalPort));

    int sig = 0;
    sigwait(&stopSignals, &sig);
    webLog.write(std::string("stopping on signal ") + strsignal(sig));
    worker.requestStop();
    apiServer.stop();
    marketingServer.stop();
    portalServer.stop();
    for (std::thread& t : threads)
        t.join();
    // Remove the pid file only when it is still ours (a newer engine may have replaced it).
    {
        std::ifstream in(pidFile);
        long long pid = 0;
        if (in >> pid && pid == ::getpid())
            fs::remove(pidFile, ec);
    }
    webLog.write("engine stopped");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--probe")
        return probe(argv[2]);
    if (argc != 1) {
        std::cerr << "usage: zqt-demo-engine [--probe STORAGE_DIR]" << std::endl;
        return 64;
    }
    return run();
}
