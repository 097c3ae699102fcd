#include "Market.h"

#include <algorithm>
#include <cmath>

namespace zqt::demo {

namespace {

// Mean reversion of the log price towards the instrument's anchor: half-life of six hours, so a week of
// history stays within a few percent of a realistic level.
constexpr double kReversionPerSecond = 0.6931471805599453 / (6.0 * 3600.0);

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

void mergeInto(std::deque<Bar>& bars, std::int64_t t, double open, double high, double low, double close,
               double volume) {
    if (!bars.empty() && bars.back().t == t) {
        Bar& b = bars.back();
        b.high = std::max(b.high, high);
        b.low = std::min(b.low, low);
        b.close = close;
        b.volume += volume;
        return;
    }
    bars.push_back(Bar{t, open, high, low, close, volume});
}

std::uint64_t splitmix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// Rounds to a decimal unit (0.01, ...) by dividing, so the result is the double nearest to the decimal value.
double roundTo(double v, double unit) {
    const double scale = std::round(1.0 / unit);
    return std::round(v * scale) / scale;
}

} // namespace

Market::Market(std::uint64_t seed, std::int64_t nowMs) : m_seed(seed), m_rng(seed), m_lastMs(nowMs) {
    for (const Instrument& inst : instruments()) {
        Series s;
        s.instrument = &inst;
        s.logPrice = std::log(inst.startPrice);
        s.ticks = inst.toTicks(inst.startPrice);
        backfill(s, nowMs);
        m_series.push_back(std::move(s));
    }
}

void Market::advance(Series& s, double dtSeconds) {
    const Instrument& inst = *s.instrument;
    const double sigma = inst.dailyVol / std::sqrt(86400.0);
    const double anchor = std::log(inst.startPrice);
    s.logPrice +=
        kReversionPerSecond * (anchor - s.logPrice) * dtSeconds + sigma * std::sqrt(dtSeconds) * m_normal(m_rng);
    s.ticks = std::max<std::int64_t>(1, inst.toTicks(std::exp(s.logPrice)));
}

void Market::record(Series& s, std::int64_t nowMs, double volume) {
    const double p = s.instrument->fromTicks(s.ticks);
    const std::int64_t sec = floorDiv(nowMs, 1000);
    const double open = s.seconds.empty() ? p : s.seconds.back().close;
    mergeInto(s.seconds, sec, open, std::max(open, p), std::min(open, p), p, volume);
    mergeInto(s.minutes, floorDiv(sec, 60) * 60, open, std::max(open, p), std::min(open, p), p, volume);
    while (static_cast<std::int64_t>(s.seconds.size()) > kSecondHistory)
        s.seconds.pop_front();
    while (static_cast<std::int64_t>(s.minutes.size()) > kMinuteHistory)
        s.minutes.pop_front();
}

void Market::backfill(Series& s, std::int64_t nowMs) {
    const Instrument& inst = *s.instrument;
    const std::int64_t nowSec = floorDiv(nowMs, 1000);
    const std::int64_t secondsStart = nowSec - kSecondHistory;
    const std::int64_t minutesStart = floorDiv(nowSec, 60) * 60 - kMinuteHistory * 60;
    std::lognormal_distribution<double> volumeNoise(0.0, 0.5);

    // Whole minutes in four steps of 15 s each, up to where the one-second history begins.
    for (std::int64_t t = minutesStart; t < floorDiv(secondsStart, 60) * 60; t += 60) {
        const double open = inst.fromTicks(s.ticks);
        double high = open;
        double low = open;
        for (int i = 0; i < 4; ++i) {
            advance(s, 15.0);
            const double p = inst.fromTicks(s.ticks);
            high = std::max(high, p);
            low = std::min(low, p);
        }
        const double volume = roundTo(inst.volumePerSecond * 60.0 * volumeNoise(m_rng), 0.01);
        s.minutes.push_back(Bar{t, open, high, low, inst.fromTicks(s.ticks), volume});
    }
    // One-second bars for the last two hours, folded into the minute bars as well.
    for (std::int64_t t = floorDiv(secondsStart, 60) * 60; t < nowSec; ++t) {
        const double open = inst.fromTicks(s.ticks);
        advance(s, 1.0);
        const double close = inst.fromTicks(s.ticks);
        const double volume = roundTo(inst.volumePerSecond * volumeNoise(m_rng), 0.01);
        if (t >= secondsStart)
            mergeInto(s.seconds, t, open, std::max(open, close), std::min(open, close), close, volume);
        mergeInto(s.minutes, floorDiv(t, 60) * 60, open, std::max(open, close), std::min(open, close), close, volume);
    }
}

void Market::continueFrom(const std::map<std::string, double>& lastPrices) {
    std::lock_guard lock(m_mutex);
    for (Series& s : m_series) {
        const auto it = lastPrices.find(s.instrument->symbol);
        if (it == lastPrices.end() || !(it->second > 0) || !std::isfinite(it->second))
            continue;
        const Instrument& inst = *s.instrument;
        const double ratio = it->second / inst.fromTicks(s.ticks);
        auto scale = [&](double p) {
            return inst.fromTicks(std::max<std::int64_t>(1, inst.toTicks(p * ratio)));
        };
        for (std::deque<Bar>* bars : {&s.seconds, &s.minutes}) {
            for (Bar& b : *bars) {
                b.open = scale(b.open);
                b.high = scale(b.high);
                b.low = scale(b.low);
                b.close = scale(b.close);
            }
        }
        s.logPrice += std::log(ratio);
        s.ticks = std::max<std::int64_t>(1, inst.toTicks(it->second));
    }
}

void Market::step(std::int64_t nowMs) {
    std::lock_guard lock(m_mutex);
    if (nowMs <= m_lastMs)
        return;
    // A long pause (a suspended process) is walked as one step: the history gets no invented bars.
    const double dt = static_cast<double>(nowMs - m_lastMs) / 1000.0;
    m_lastMs = nowMs;
    std::lognormal_distribution<double> volumeNoise(0.0, 0.5);
    for (Series& s : m_series) {
        advance(s, dt);
        record(s, nowMs, roundTo(s.instrument->volumePerSecond * std::min(dt, 5.0) * volumeNoise(m_rng), 0.01));
    }
}

const Market::Series* Market::find(const std::string& symbol) const {
    for (const Series& s : m_series) {
        if (s.instrument->symbol == symbol)
            return &s;
    }
    return nullptr;
}

std::optional<double> Market::price(const std::string& symbol) const {
    std::lock_guard lock(m_mutex);
    const Series* s = find(symbol);
    if (!s)
        return std::nullopt;
    return s->instrument->fromTicks(s->ticks);
}

std::map<std::string, double> Market::prices() const {
    std::lock_guard lock(m_mutex);
    std::map<std::string, double> out;
    for (const Series& s : m_series)
        out[s.instrument->symbol] = s.instrument->fromTicks(s.ticks);
    return out;
}

std::vector<Bar> Market::bars(const std::string& symbol, std::int64_t intervalSeconds, std::size_t count) const {
    std::vector<Bar> out;
    if (intervalSeconds <= 0 || count == 0)
        return out;
    std::lock_guard lock(m_mutex);
    const Series* s = find(symbol);
    if (!s)
        return out;
    const std::deque<Bar>& source = (intervalSeconds % 60 == 0) ? s->minutes : s->seconds;
    // Walk backwards, merging source bars into buckets, until `count` buckets are complete.
    for (auto it = source.rbegin(); it != source.rend(); ++it) {
        const std::int64_t bucket = floorDiv(it->t, intervalSeconds) * intervalSeconds;
        if (out.empty() || out.back().t != bucket) {
            if (out.size() == count)
                break;
            out.push_back(*it);
            out.back().t = bucket;
            continue;
        }
        Bar& b = out.back(); // going backwards: this source bar is earlier than what the bucket holds
        b.open = it->open;
        b.high = std::max(b.high, it->high);
        b.low = std::min(b.low, it->low);
        b.volume += it->volume;
    }
    std::reverse(out.begin(), out.end());
    for (Bar& b : out)
        b.volume = roundTo(b.volume, 0.01);
    return out;
}

BookSnapshot Market::book(const std::string& symbol, std::int64_t nowMs) const {
    std::lock_guard lock(m_mutex);
    BookSnapshot snap;
    const Series* s = find(symbol);
    if (!s)
        return snap;
    const Instrument& inst = *s->instrument;
    snap.symbol = symbol;
    snap.price = inst.fromTicks(s->ticks);
    const std::int64_t step = inst.ladderTicks;
    const std::int64_t midTicks =
        static_cast<std::int64_t>(std::llround(static_cast<double>(s->ticks) / static_cast<double>(step))) * step;
    const std::uint64_t base =
        splitmix(m_seed ^ std::hash<std::string>{}(symbol)) ^ static_cast<std::uint64_t>(floorDiv(nowMs, 1000));
    auto size = [&](int level, int side) {
        const std::uint64_t h = splitmix(base + static_cast<std::uint64_t>(level * 2 + side));
        const double u = static_cast<double>(h >> 11) / 9007199254740992.0; // [0, 1)
        // Deeper levels hold more size, as resting liquidity does.
        return roundTo(inst.bookSize * (0.5 + 0.12 * level) * (0.5 + u), 0.01);
    };
    for (int k = kBookDepth; k >= 1; --k)
        snap.levels.push_back(BookLevel{inst.fromTicks(midTicks + k * step), std::nullopt, size(k, 1), false});
    snap.levels.push_back(BookLevel{inst.fromTicks(midTicks), std::nullopt, std::nullopt, true});
    for (int k = 1; k <= kBookDepth; ++k)
        snap.levels.push_back(BookLevel{inst.fromTicks(midTicks - k * step), size(k, 0), std::nullopt, false});
    return snap;
}

} // namespace zqt::demo
