#include "SignalEngine.h"

#include "Instrument.h"
#include "LogFile.h"
#include "Market.h"
#include "Schema.h"

#include <cstdio>
#include <vector>

namespace zqt::demo {

namespace {

constexpr int kFast = 5;
constexpr int kSlow = 20;
constexpr std::size_t kBars = 90;

std::string compactTime(std::int64_t epochSeconds) {
    std::string s = isoUtc(epochSeconds); // 2024-03-05T14:30:00Z -> 20240305T143000Z
    std::string out;
    for (char c : s) {
        if (c != '-' && c != ':')
            out.push_back(c);
    }
    return out;
}

} // namespace

SignalEngine::SignalEngine(const std::string& dbPath, const Market& market, LogFile& log)
    : m_db(dbPath), m_market(market), m_log(log) {
    createSchema(m_db);
    auto st = m_db.prepare("SELECT symbol, MAX(ts_ms) FROM signals GROUP BY symbol");
    while (st.step())
        m_lastBar[st.text(0)] = st.integer(1) / 1000;
}

void SignalEngine::scan() {
    std::lock_guard lock(m_mutex);
    for (const Instrument& inst : instruments()) {
        const std::vector<Bar> bars = m_market.bars(inst.symbol, kBarSeconds, kBars);
        if (bars.size() < static_cast<std::size_t>(kSlow) + 1)
            continue;
        // EMAs seeded with the first close; crossings are only looked for after the slow warm-up.
        const double af = 2.0 / (kFast + 1);
        const double as = 2.0 / (kSlow + 1);
        double fast = bars[0].close;
        double slow = bars[0].close;
        int lastSign = 0;
        const Bar* crossing = nullptr;
        int crossingSign = 0;
        for (std::size_t i = 1; i < bars.size(); ++i) {
            fast += af * (bars[i].close - fast);
            slow += as * (bars[i].close - slow);
            const int sign = fast > slow ? 1 : (fast < slow ? -1 : 0);
            if (i >= static_cast<std::size_t>(kSlow) && sign != 0 && lastSign != 0 && sign != lastSign) {
                crossing = &bars[i];
                crossingSign = sign;
            }
            if (sign != 0)
                lastSign = sign;
        }
        if (!crossing)
            continue;
        const auto known = m_lastBar.find(inst.symbol);
        if (known != m_lastBar.end() && crossing->t <= known->second)
            continue;
        const std::string side = crossingSign > 0 ? "BUY" : "SELL";
        const std::string id = "RM1-" + inst.symbol + "-" + compactTime(crossing->t);
        m_db.prepare("INSERT OR IGNORE INTO signals (signal_id, symbol, side, entry, ts_ms) VALUES (?, ?, ?, ?, ?)")
            .bind(1, id)
            .bind(2, inst.symbol)
            .bind(3, side)
            .bind(4, crossing->close)
            .bind(5, crossing->t * 1000)
            .run();
        m_lastBar[inst.symbol] = crossing->t;
        char price[64];
        std::snprintf(price, sizeof price, "%.5f", crossing->close);
        m_log.write("signal " + id + ": " + side + " " + inst.symbol + " at " + price + " (EMA " +
                    std::to_string(kFast) + "/" + std::to_string(kSlow) + " crossing on 10 s bars)");
    }
}

nlohmann::ordered_json SignalEngine::latest(std::size_t count) {
    std::lock_guard lock(m_mutex);
    auto st = m_db.prepare("SELECT signal_id, symbol, side, entry, ts_ms FROM signals ORDER BY ts_ms DESC, "
                           "signal_id LIMIT ?");
    st.bind(1, static_cast<std::int64_t>(count));
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    while (st.step()) {
        rows.push_back({{"signal_id", st.text(0)},
                        {"symbol", st.text(1)},
                        {"side", st.text(2)},
                        {"entry", st.real(3)},
                        {"ts", isoUtc(st.integer(4) / 1000)}});
    }
    return {{"signals", rows}};
}

} // namespace zqt::demo
