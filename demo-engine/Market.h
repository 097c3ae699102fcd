#pragma once

#include "Instrument.h"

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace zqt::demo {

// One bar of price history; `t` is the bar's start in seconds since the Unix epoch (UTC).
struct Bar {
    std::int64_t t = 0;
    double open = 0;
    double high = 0;
    double low = 0;
    double close = 0;
    double volume = 0;
};

struct BookLevel {
    double price = 0;
    std::optional<double> bidSize;
    std::optional<double> askSize;
    bool mid = false;
};

struct BookSnapshot {
    std::string symbol;
    double price = 0;
    std::vector<BookLevel> levels; // highest price first
};

// The simulated market: a mean-reverting random walk of the log price per instrument, advanced in real time by
// step(). History is kept as one-second bars for the last two hours and one-minute bars for the last week,
// backfilled at construction so charts have data at once. The same seed gives the same history and the same
// sequence of steps. Thread-safe.
class Market final {
public:
    static constexpr std::int64_t kSecondHistory = 2 * 3600;    // seconds of one-second bars kept
    static constexpr std::int64_t kMinuteHistory = 7 * 24 * 60; // minutes of one-minute bars kept
    static constexpr int kBookDepth = 10;                       // levels per side

    Market(std::uint64_t seed, std::int64_t nowMs);

    // Moves each listed instrument's whole history so its last price is the given one (the price an earlier run
    // ended at), so open positions do not jump on a restart. Unknown symbols and non-positive prices are ignored.
    void continueFrom(const std::map<std::string, double>& lastPrices);

    // Advances every instrument to `nowMs` (milliseconds since the epoch); earlier times are ignored.
    void step(std::int64_t nowMs);

    std::optional<double> price(const std::string& symbol) const;
    std::map<std::string, double> prices() const;
    // The last `count` bars of `intervalSeconds`, oldest first, built from the history; the last one may still be
    // forming. Intervals that are whole minutes come from the minute history, others from the second history.
    std::vector<Bar> bars(const std::string& symbol, std::int64_t intervalSeconds, std::size_t count) const;
    // About kBookDepth levels a side around the level holding the last price (marked mid). Sizes change once a
    // second.
    BookSnapshot book(const std::string& symbol, std::int64_t nowMs) const;

private:
    struct Series {
        const Instrument* instrument = nullptr;
        double logPrice = 0;    // continuous state of the walk
        std::int64_t ticks = 0; // last price in ticks
        std::deque<Bar> seconds;
        std::deque<Bar> minutes;
    };

    void advance(Series& s, double dtSeconds);
    void record(Series& s, std::int64_t nowMs, double volume);
    void backfill(Series& s, std::int64_t nowMs);
    const Series* find(const std::string& symbol) const;

    const std::uint64_t m_seed;
    mutable std::mutex m_mutex;
    std::mt19937_64 m_rng;
    std::normal_distribution<double> m_normal{0.0, 1.0};
    std::vector<Series> m_series;
    std::int64_t m_lastMs = 0;
};

} // namespace zqt::demo
