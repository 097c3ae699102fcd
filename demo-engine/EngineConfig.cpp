#include "EngineConfig.h"

#include <charconv>
#include <cstdlib>
#include <random>

namespace zqt::demo {

namespace {

std::string env(const char* name, const std::string& fallback = {}) {
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

template <typename T> bool parseInt(const std::string& text, T& out) {
    const char* e = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), e, out);
    return ec == std::errc() && ptr == e;
}

// A switch is on exactly when it is "1"; unset takes the default.
bool flag(const char* name, bool fallback) {
    const char* v = std::getenv(name);
    if (!v || !*v)
        return fallback;
    return std::string(v) == "1";
}

std::string portSetting(const char* name, int& port) {
    const std::string text = env(name, std::to_string(port));
    if (!parseInt(text, port) || port < 1 || port > 65535)
        return std::string(name) + " must be a port number from 1 to 65535, got '" + text + "'";
    return {};
}

} // namespace

std::string EngineConfig::accessHost() const {
    if (host == "0.0.0.0")
        return "127.0.0.1";
    if (host == "::")
        return "::1";
    return host;
}

std::variant<EngineConfig, std::string> EngineConfig::fromEnvironment() {
    EngineConfig c;
    c.executionMode = env("ZQT_EXECUTION_MODE", c.executionMode);
    c.broker = env("ZQT_BROKER_MODE", c.broker);
    if (c.executionMode == "LIVE")
        return std::string("Refusing to start: the demo engine cannot trade for real (ZQT_EXECUTION_MODE=LIVE); "
                           "use DRY_RUN.");
    if (c.executionMode != "DRY_RUN")
        return "Refusing to start: unknown execution mode '" + c.executionMode +
               "'; the demo engine runs DRY_RUN only.";
    if (c.broker != "SIM_BROKER")
        return "Refusing to start: the demo engine has no connection to broker '" + c.broker +
               "' (ZQT_BROKER_MODE); use SIM_BROKER.";

    c.home = env("ZQT_HOME", ".");
    c.storage = env("ZQT_STORAGE", c.home + "/storage");
    c.db = env("ZQT_DB", c.storage + "/db.sqlite");
    c.host = env("ZQT_HOST", c.host);
    if (std::string err = portSetting("ZQT_PORT", c.port); !err.empty())
        return err;
    c.startMarketing = flag("ZQT_START_MARKETING", true);
    c.startPortal = flag("ZQT_START_PORTAL", true);
    if (c.startMarketing) {
        if (std::string err = portSetting("ZQT_MARKETING_PORT", c.marketingPort); !err.empty())
            return err;
    }
    if (c.startPortal) {
        if (std::string err = portSetting("ZQT_PORTAL_PORT", c.portalPort); !err.empty())
            return err;
    }
    c.publicPrices = flag("ZQT_PUBLIC_PRICES", true);
    c.seedDemo = flag("ZQT_SEED_DEMO", true);

    if (const std::string seed = env("ZQT_DEMO_SEED"); !seed.empty()) {
        if (!parseInt(seed, c.seed))
            return "ZQT_DEMO_SEED must be a non-negative integer, got '" + seed + "'";
        c.seedGiven = true;
    } else {
        c.seed = (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}();
    }
    if (const std::string tick = env("ZQT_DEMO_TICK_MS"); !tick.empty()) {
        if (!parseInt(tick, c.tickMs) || c.tickMs < 10 || c.tickMs > 60000)
            return "ZQT_DEMO_TICK_MS must be an integer from 10 to 60000, got '" + tick + "'";
    }
    if (const std::string session = env("ZQT_DEMO_SESSION_S"); !session.empty()) {
        long long seconds = 0;
        if (!parseInt(session, seconds) || seconds < 1 || seconds > 365LL * 24 * 3600)
            return "ZQT_DEMO_SESSION_S must be an integer from 1 to 31536000, got '" + session + "'";
        c.sessionMs = seconds * 1000;
    }
    return c;
}

} // namespace zqt::demo
