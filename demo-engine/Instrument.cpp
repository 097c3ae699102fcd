#include "Instrument.h"

#include <cmath>

namespace zqt::demo {

std::int64_t Instrument::toTicks(double price) const {
    return static_cast<std::int64_t>(std::llround(price * static_cast<double>(tickDen) / static_cast<double>(tickNum)));
}

const std::vector<Instrument>& instruments() {
    // Daily volatilities are about twice the real ones so that short charts move visibly.
    static const std::vector<Instrument> all = {
        {"EURUSD", 1.0850, 1, 100000, 10, 100000, 0.012, 4.0, 6.0}, {"AAPL", 189.50, 1, 100, 1, 1, 0.035, 900.0, 400.0},
        {"BTCUSD", 67250.00, 1, 100, 50, 1, 0.07, 0.6, 1.5},        {"ES", 5210.00, 25, 100, 1, 50, 0.022, 30.0, 40.0},
        {"XAUUSD", 2335.00, 1, 100, 10, 100, 0.02, 3.0, 5.0},
    };
    return all;
}

const Instrument* findInstrument(const std::string& symbol) {
    for (const Instrument& i : instruments()) {
        if (i.symbol == symbol)
            return &i;
    }
    return nullptr;
}

} // namespace zqt::demo
