#pragma once

#include "Database.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace zqt::demo {

class LogFile;
class Market;

// RM1 signals from a simple rule: a crossing of the 5- and 20-bar EMAs of 10-second closes gives a BUY (fast
// crosses above) or SELL signal at that bar's close. Signals are stored, so they survive a restart. Thread-safe.
class SignalEngine final {
public:
    static constexpr std::int64_t kBarSeconds = 10;

    SignalEngine(const std::string& dbPath, const Market& market, LogFile& log);

    // Looks for a new crossing on every instrument; records and logs it.
    void scan();
    // The newest `count` signals, newest first: {"signals": [...]}.
    nlohmann::ordered_json latest(std::size_t count);

private:
    std::mutex m_mutex;
    Database m_db;
    const Market& m_market;
    LogFile& m_log;
    std::map<std::string, std::int64_t> m_lastBar; // per symbol: start (s) of the bar of its newest signal
};

} // namespace zqt::demo
