#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zqt::demo {

// One tradable symbol of the simulated market. Prices are whole numbers of ticks; a tick is
// tickNum / tickDen in price units, so prices convert back to doubles without binary noise.
struct Instrument {
    std::string symbol;
    double startPrice = 0;        // where the simulation is anchored (mean-reversion target)
    std::int64_t tickNum = 1;     // tick = tickNum / tickDen
    std::int64_t tickDen = 100;   //
    std::int64_t ladderTicks = 1; // spacing of the order book levels, in ticks
    double contractSize = 1;      // price units per unit of quantity (lot, contract, share)
    double dailyVol = 0.01;       // relative volatility per day (fraction, e.g. 0.01 = 1 %)
    double volumePerSecond = 1;   // mean traded volume per second
    double bookSize = 1;          // mean resting size per order book level

    double tick() const { return static_cast<double>(tickNum) / static_cast<double>(tickDen); }
    double fromTicks(std::int64_t ticks) const {
        return static_cast<double>(ticks * tickNum) / static_cast<double>(tickDen);
    }
    std::int64_t toTicks(double price) const;
};

// The fixed watchlist of the demo engine, in display order.
const std::vector<Instrument>& instruments();
// nullptr for an unknown symbol (compared exactly, case-sensitive).
const Instrument* findInstrument(const std::string& symbol);

} // namespace zqt::demo
