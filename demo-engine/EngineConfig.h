#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace zqt::demo {

// The engine's settings, read from the ZQT_* environment the start script passes on.
struct EngineConfig {
    std::string home;
    std::string storage;
    std::string db;
    std::string host = "127.0.0.1";
    int port = 8000;
    bool startMarketing = true;
    int marketingPort = 3000;
    bool startPortal = true;
    int portalPort = 3001;
    bool publicPrices = true;
    bool seedDemo = true;
    std::string executionMode = "DRY_RUN";
    std::string broker = "SIM_BROKER";
    std::uint64_t seed = 0;
    bool seedGiven = false;
    int tickMs = 250;                            // period of one market step, milliseconds
    std::int64_t sessionMs = 24LL * 3600 * 1000; // lifetime of a sign-in, milliseconds

    // The host clients use to reach a server bound to `host` (a wildcard bind is reached on loopback).
    std::string accessHost() const;

    // The configuration, or a one-line reason why the engine must not start.
    static std::variant<EngineConfig, std::string> fromEnvironment();
};

} // namespace zqt::demo
