#include "Oms.h"

#include "Instrument.h"
#include "LogFile.h"
#include "Market.h"
#include "Schema.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace zqt::demo {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kOrdersShown = 100;
constexpr std::size_t kFillsShown = 50;
constexpr std::size_t kRecentShown = 20;
constexpr double kProfitTargetPct = 10.0;
constexpr double kMaxLossPct = 10.0;
constexpr double kDailyLossPct = 5.0;

double round2(double v) {
    return std::round(v * 100.0) / 100.0;
}
double round3(double v) {
    return std::round(v * 1000.0) / 1000.0;
}

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

std::int64_t utcDay(std::int64_t ms) {
    return ms >= 0 ? ms / 86400000 : (ms - 86399999) / 86400000;
}

// A number as the whole of `text` (blanks around it allowed); nullopt for anything else, including inf and nan.
std::optional<double> parseNumber(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    const auto last = text.find_last_not_of(" \t");
    const char* b = text.data() + first;
    const char* e = text.data() + last + 1;
    double v = 0;
    const auto [ptr, ec] = std::from_chars(b, e, v);
    if (ec != std::errc() || ptr != e || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::string field(const FormFields& f, const char* name) {
    const auto it = f.find(name);
    return it == f.end() ? std::string() : it->second;
}

struct OrderForm {
    std::string symbol;
    std::string side;
    std::string type;
    double qty = 0;
    std::optional<double> limit;
    std::optional<double> stop;
    std::optional<double> sl;
    std::optional<double> tp;
};

// Checks one price field: absent or blank gives nullopt; otherwise it must be a positive number in range.
std::string priceField(const FormFields& f, const char* name, std::optional<double>& out) {
    const std::string raw = field(f, name);
    if (raw.find_first_not_of(" \t") == std::string::npos)
        return {};
    const auto v = parseNumber(raw);
    if (!v)
        return std::string(name) + " must be a number, got '" + printableText(raw) + "'";
    if (*v <= 0 || *v > Oms::kMaxPrice)
        return std::string(name) + " must be a positive price";
    out = *v;
    return {};
}

// Empty when the form is a valid order; otherwise the reason it is rejected. Fills `o` as far as it got.
std::string validate(const FormFields& f, OrderForm& o) {
    o.symbol = field(f, "symbol");
    o.side = field(f, "side");
    o.type = field(f, "order_type");
    if (o.type.empty())
        o.type = "MARKET";
    const std::string qtyText = field(f, "qty");
    if (const auto q = parseNumber(qtyText))
        o.qty = *q;

    if (o.symbol.empty())
        return "symbol is required";
    if (!findInstrument(o.symbol))
        return "unknown symbol '" + printableText(o.symbol) + "'";
    if (o.side != "BUY" && o.side != "SELL")
        return "side must be BUY or SELL, got '" + printableText(o.side) + "'";
    if (o.type != "MARKET" && o.type != "LIMIT" && o.type != "STOP")
        return "unknown order_type '" + printableText(o.type) + "' (MARKET, LIMIT or STOP)";
    if (!parseNumber(qtyText))
        return "qty must be a number, got '" + printableText(qtyText) + "'";
    if (o.qty <= 0)
        return "qty must be positive";
    if (o.qty > Oms::kMaxQty)
        return "qty exceeds the maximum of 1000000";
    std::string err;
    // The limit price of a market or stop order is ignored: quick actions send the ladder price with every order.
    if (o.type == "LIMIT") {
        if (!(err = priceField(f, "limit_price", o.limit)).empty())
            return err;
        if (!o.limit)
            return "limit_price is required for a LIMIT order";
    }
    if (o.type == "STOP") {
        if (!(err = priceField(f, "stop_price", o.stop)).empty())
            return err;
        if (!o.stop)
            return "stop_price is required for a STOP order";
    }
    if (!(err = priceField(f, "sl", o.sl)).empty())
        return err;
    if (!(err = priceField(f, "tp", o.tp)).empty())
        return err;
    return {};
}

// Stop-loss and take-profit must lie on their own side of the price the position opens at.
std::string checkExits(const OrderForm& o, double reference) {
    const bool buy = o.side == "BUY";
    if (o.sl && (buy ? *o.sl >= reference : *o.sl <= reference))
        return std::string("sl must be ") + (buy ? "below" : "above") + " the entry price for a " + o.side;
    if (o.tp && (buy ? *o.tp <= reference : *o.tp >= reference))
        return std::string("tp must be ") + (buy ? "above" : "below") + " the entry price for a " + o.side;
    return {};
}

bool crossed(const std::string& type, const std::string& side, double trigger, double price) {
    const bool buy = side == "BUY";
    if (type == "LIMIT")
        return buy ? price <= trigger : price >= trigger;
    return buy ? price >= trigger : price <= trigger; // STOP
}

Json optionalNumber(const std::optional<double>& v) {
    return v ? Json(*v) : Json(nullptr);
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    // Nearest rank.
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(v.size())));
    return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
}

} // namespace

Oms::Oms(const std::string& dbPath, Market& market, LogFile& workerLog)
    : m_db(dbPath), m_market(market), m_workerLog(workerLog) {
    createSchema(m_db);
}

Oms::Account& Oms::account(std::int64_t id) {
    if (auto it = m_accounts.find(id); it != m_accounts.end())
        return it->second;
    Account a;
    auto st = m_db.prepare("SELECT initial_balance, balance, highest_equity, stage FROM accounts WHERE id = ?");
    st.bind(1, id);
    if (!st.step())
        throw std::runtime_error("account " + std::to_string(id) + " does not exist");
    a.initial = st.real(0);
    a.balance = st.real(1);
    a.highestEquity = st.real(2);
    a.stage = st.integer(3);
    auto ps = m_db.prepare("SELECT id, order_id, symbol, side, units, entry, sl, tp, opened_ms FROM positions "
                           "WHERE account_id = ? AND status = 'OPEN'");
    ps.bind(1, id);
    while (ps.step()) {
        Position p{ps.integer(0), ps.integer(1),      ps.text(2),         ps.text(3),   ps.real(4),
                   ps.real(5),    ps.optionalReal(6), ps.optionalReal(7), ps.integer(8)};
        a.positions[p.id] = p;
    }
    auto os = m_db.prepare("SELECT id, symbol, side, type, qty, limit_price, stop_price, sl, tp FROM orders "
                           "WHERE account_id = ? AND status = 'WORKING'");
    os.bind(1, id);
    while (os.step()) {
        WorkingOrder w{os.integer(0), os.text(1), os.text(2),         os.text(3),
                       os.real(4),    0,          os.optionalReal(7), os.optionalReal(8)};
        w.trigger = w.type == "LIMIT" ? os.optionalReal(5).value_or(0) : os.optionalReal(6).value_or(0);
        a.working[w.id] = w;
    }
    rollDay(id, a, nowMs());
    return m_accounts.emplace(id, std::move(a)).first->second;
}

void Oms::rollDay(std::int64_t accountId, Account& a, std::int64_t now) {
    const std::int64_t day = utcDay(now);
    if (a.day == day)
        return;
    auto st = m_db.prepare("SELECT COALESCE(SUM(pnl), 0) FROM positions WHERE account_id = ? AND status = 'CLOSED' "
                           "AND closed_ms >= ?");
    st.bind(1, accountId).bind(2, day * 86400000);
    a.realizedToday = st.step() ? st.real(0) : 0.0;
    a.day = day;
}

double Oms::mark(const std::string& symbol) const {
    return m_market.price(symbol).value_or(0);
}

double Oms::upl(const Position& p, double markPrice) const {
    const Instrument* inst = findInstrument(p.symbol);
    const double size = inst ? inst->contractSize : 1.0;
    return (markPrice - p.entry) * p.units * size * (p.side == "BUY" ? 1.0 : -1.0);
}

double Oms::equity(const Account& a) const {
    const auto prices = m_market.prices();
    double total = 0;
    for (const auto& [id, p] : a.positions)
        total += upl(p, prices.at(p.symbol));
    return a.balance + total;
}

void Oms::persistAccount(std::int64_t accountId, const Account& a) {
    m_db.prepare("UPDATE accounts SET balance = ?, highest_equity = ? WHERE id = ?")
        .bind(1, a.balance)
        .bind(2, a.highestEquity)
        .bind(3, accountId)
        .run();
}

std::int64_t Oms::openPosition(std::int64_t accountId, std::int64_t orderId, const std::string& symbol,
                               const std::string& side, double units, double price, std::optional<double> sl,
                               std::optional<double> tp, std::int64_t now) {
    m_db.prepare("INSERT INTO positions (account_id, order_id, symbol, side, units, entry, sl, tp, status, opened_ms) "
                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, 'OPEN', ?)")
        .bind(1, accountId)
        .bind(2, orderId)
        .bind(3, symbol)
        .bind(4, side)
        .bind(5, units)
        .bind(6, price)
        .bind(7, sl)
        .bind(8, tp)
        .bind(9, now)
        .run();
    const std::int64_t positionId = m_db.lastInsertId();
    m_db.prepare("INSERT INTO fills (account_id, order_id, position_id, symbol, side, units, price, pnl, status, "
                 "reason, ts_ms) VALUES (?, ?, ?, ?, ?, ?, ?, 0, 'OPEN', 'ENTRY', ?)")
        .bind(1, accountId)
        .bind(2, orderId)
        .bind(3, positionId)
        .bind(4, symbol)
        .bind(5, side)
        .bind(6, units)
        .bind(7, price)
        .bind(8, now)
        .run();
    return positionId;
}

Oms::Closed Oms::closePosition(std::int64_t accountId, Account& a, const Position& p, double price, const char* reason,
                               std::int64_t now) {
    const double pnl = round2(upl(p, price));
    m_db.prepare("UPDATE positions SET status = 'CLOSED', closed_ms = ?, exit_price = ?, pnl = ?, close_reason = ? "
                 "WHERE id = ?")
        .bind(1, now)
        .bind(2, price)
        .bind(3, pnl)
        .bind(4, std::string(reason))
        .bind(5, p.id)
        .run();
    m_db.prepare("INSERT INTO fills (account_id, order_id, position_id, symbol, side, units, price, pnl, status, "
                 "reason, ts_ms) VALUES (?, NULL, ?, ?, ?, ?, ?, ?, 'CLOSED', ?, ?)")
        .bind(1, accountId)
        .bind(2, p.id)
        .bind(3, p.symbol)
        .bind(4, std::string(p.side == "BUY" ? "SELL" : "BUY"))
        .bind(5, p.units)
        .bind(6, price)
        .bind(7, pnl)
        .bind(8, std::string(reason))
        .bind(9, now)
        .run();
    a.balance = round2(a.balance + pnl);
    a.realizedToday += pnl;
    return Closed{price, pnl};
}

OmsReply Oms::place(std::int64_t accountId, const FormFields& form, Clock::time_point received) {
    std::lock_guard lock(m_mutex);
    Account& a = account(accountId);
    const std::int64_t now = nowMs();
    rollDay(accountId, a, now);

    OrderForm o;
    std::string reason = validate(form, o);
    const std::optional<double> price = reason.empty() ? m_market.price(o.symbol) : std::nullopt;
    bool fillNow = false;
    double reference = 0;
    if (reason.empty()) {
        fillNow = o.type == "MARKET" || crossed(o.type, o.side, o.type == "LIMIT" ? *o.limit : *o.stop, *price);
        reference = fillNow ? *price : (o.type == "LIMIT" ? *o.limit : *o.stop);
        reason = checkExits(o, reference);
    }

    try {
        Database::Transaction tx(m_db);
        if (!reason.empty()) {
            m_db.prepare("INSERT INTO orders (account_id, symbol, side, type, qty, status, reason, created_ms, "
                         "updated_ms, latency_ms) VALUES (?, ?, ?, ?, ?, 'REJECTED', ?, ?, ?, ?)")
                .bind(1, accountId)
                .bind(2, printableText(o.symbol))
                .bind(3, printableText(o.side))
                .bind(4, printableText(o.type))
                .bind(5, std::isfinite(o.qty) ? o.qty : 0.0)
                .bind(6, reason)
                .bind(7, now)
                .bind(8, now)
                .bind(9, round3(msSince(received)))
                .run();
            const std::int64_t id = m_db.lastInsertId();
            tx.commit();
            return OmsReply{400, Json{{"error", reason}, {"order_id", id}, {"status", "REJECTED"}}};
        }

        const Instrument& inst = *findInstrument(o.symbol);
        const std::optional<double> trigger = o.type == "LIMIT" ? o.limit : o.stop;
        std::optional<double> slippage;
        if (fillNow)
            slippage = trigger ? (*price - *trigger) * (o.side == "BUY" ? 1 : -1) / inst.tick() : 0.0;
        m_db.prepare(
                "INSERT INTO orders (account_id, symbol, side, type, qty, limit_price, stop_price, sl, tp, status, "
                "created_ms, updated_ms, ref_price, fill_price, slippage_ticks) "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
            .bind(1, accountId)
            .bind(2, o.symbol)
            .bind(3, o.side)
            .bind(4, o.type)
            .bind(5, o.qty)
            .bind(6, o.limit)
            .bind(7, o.stop)
            .bind(8, o.sl)
            .bind(9, o.tp)
            .bind(10, std::string(fillNow ? "FILLED" : "WORKING"))
            .bind(11, now)
            .bind(12, now)
            .bind(13, *price)
            .bind(14, fillNow ? price : std::nullopt)
            .bind(15, slippage)
            .run();
        const std::int64_t orderId = m_db.lastInsertId();
        std::int64_t positionId = 0;
        if (fillNow)
            positionId = openPosition(accountId, orderId, o.symbol, o.side, o.qty, *price, o.sl, o.tp, now);
        const double latency = round3(msSince(received));
        m_db.prepare("UPDATE orders SET latency_ms = ? WHERE id = ?").bind(1, latency).bind(2, orderId).run();
        tx.commit();

        Json body{{"order_id", orderId},  {"status", fillNow ? "FILLED" : "WORKING"},
                  {"symbol", o.symbol},   {"side", o.side},
                  {"type", o.type},       {"qty", o.qty},
                  {"latency_ms", latency}};
        if (fillNow) {
            a.positions[positionId] = Position{positionId, orderId, o.symbol, o.side, o.qty, *price, o.sl, o.tp, now};
            body["fill_price"] = *price;
            body["position_id"] = positionId;
        } else {
            a.working[orderId] = WorkingOrder{orderId, o.symbol, o.side, o.type, o.qty, *trigger, o.sl, o.tp};
        }
        return OmsReply{200, body};
    } catch (...) {
        m_accounts.erase(accountId); // reload the committed state on next use
        throw;
    }
}

OmsReply Oms::cancelAll(std::int64_t accountId) {
    std::lock_guard lock(m_mutex);
    Account& a = account(accountId);
    const std::int64_t now = nowMs();
    Database::Transaction tx(m_db);
    m_db.prepare("UPDATE orders SET status = 'CANCELLED', updated_ms = ? WHERE account_id = ? AND status = 'WORKING'")
        .bind(1, now)
        .bind(2, accountId)
        .run();
    tx.commit();
    const auto cancelled = static_cast<std::int64_t>(a.working.size());
    a.working.clear();
    return OmsReply{200, Json{{"cancelled", cancelled}}};
}

OmsReply Oms::closeAll(std::int64_t accountId) {
    std::lock_guard lock(m_mutex);
    Account& a = account(accountId);
    const std::int64_t now = nowMs();
    rollDay(accountId, a, now);
    const auto prices = m_market.prices();
    double realized = 0;
    try {
        Database::Transaction tx(m_db);
        for (const auto& [id, p] : a.positions)
            realized += closePosition(accountId, a, p, prices.at(p.symbol), "MANUAL", now).pnl;
        a.highestEquity = std::max(a.highestEquity, a.balance);
        persistAccount(accountId, a);
        tx.commit();
    } catch (...) {
        m_accounts.erase(accountId);
        throw;
    }
    const auto closed = static_cast<std::int64_t>(a.positions.size());
    a.positions.clear();
    return OmsReply{200, Json{{"closed", closed}, {"realized", round2(realized)}}};
}

void Oms::onPrices() {
    std::lock_guard lock(m_mutex);
    const auto started = Clock::now();
    const std::int64_t now = nowMs();
    const auto prices = m_market.prices();
    for (auto& [accountId, a] : m_accounts) {
        rollDay(accountId, a, now);
        std::vector<std::int64_t> filled;
        std::vector<std::int64_t> closed;
        for (const auto& [id, w] : a.working) {
            if (crossed(w.type, w.side, w.trigger, prices.at(w.symbol)))
                filled.push_back(id);
        }
        for (const auto& [id, p] : a.positions) {
            const double px = prices.at(p.symbol);
            const bool buy = p.side == "BUY";
            const bool slHit = p.sl && (buy ? px <= *p.sl : px >= *p.sl);
            const bool tpHit = p.tp && (buy ? px >= *p.tp : px <= *p.tp);
            if (slHit || tpHit)
                closed.push_back(id);
        }
        double eq = a.balance;
        for (const auto& [id, p] : a.positions)
            eq += upl(p, prices.at(p.symbol));
        const bool newHigh = eq > a.highestEquity + 0.005;
        if (newHigh)
            a.highestEquity = round2(eq);
        if (filled.empty() && closed.empty())
            continue; // the new high is saved with the next change
        std::vector<std::string> lines;
        std::map<std::int64_t, Position> opened;
        try {
            Database::Transaction tx(m_db);
            for (std::int64_t id : filled) {
                const WorkingOrder& w = a.working.at(id);
                const double px = prices.at(w.symbol);
                const Instrument& inst = *findInstrument(w.symbol);
                const double slippage = (px - w.trigger) * (w.side == "BUY" ? 1 : -1) / inst.tick();
                const std::int64_t pid = openPosition(accountId, id, w.symbol, w.side, w.qty, px, w.sl, w.tp, now);
                m_db.prepare("UPDATE orders SET status = 'FILLED', updated_ms = ?, fill_price = ?, slippage_ticks = ?, "
                             "latency_ms = ? WHERE id = ?")
                    .bind(1, now)
                    .bind(2, px)
                    .bind(3, slippage)
                    .bind(4, round3(msSince(started)))
                    .bind(5, id)
                    .run();
                opened[pid] = Position{pid, id, w.symbol, w.side, w.qty, px, w.sl, w.tp, now};
                lines.push_back("filled " + w.type + " order " + std::to_string(id) + ": " + w.side + " " +
                                std::to_string(w.qty) + " " + w.symbol + " at " + std::to_string(px));
            }
            for (std::int64_t id : closed) {
                const Position& p = a.positions.at(id);
                const double px = prices.at(p.symbol);
                const bool buy = p.side == "BUY";
                const bool slHit = p.sl && (buy ? px <= *p.sl : px >= *p.sl);
                const Closed c = closePosition(accountId, a, p, px, slHit ? "SL" : "TP", now);
                lines.push_back(std::string(slHit ? "stop-loss" : "take-profit") + " closed position " +
                                std::to_string(id) + " " + p.symbol + " at " + std::to_string(c.exit) + ", pnl " +
                                std::to_string(c.pnl));
            }
            persistAccount(accountId, a);
            tx.commit();
        } catch (const std::exception& e) {
            m_workerLog.write(std::string("order matching failed, state reloaded: ") + e.what());
            m_accounts.erase(accountId);
            return; // the map changed under the loop; the next tick retries
        }
        for (std::int64_t id : filled)
            a.working.erase(id);
        for (std::int64_t id : closed)
            a.positions.erase(id);
        a.positions.merge(opened);
        for (const std::string& l : lines)
            m_workerLog.write(l);
    }
}

Json Oms::metrics(std::int64_t accountId, const std::string& executionMode, const std::string& broker) {
    std::lock_guard lock(m_mutex);
    Account& a = account(accountId);
    rollDay(accountId, a, nowMs());
    const double eq = round2(equity(a));
    a.highestEquity = std::max(a.highestEquity, eq);
    const double dailyLimit = round2(a.initial * kDailyLossPct / 100.0);
    const double upnl = eq - a.balance;
    const double dailyUsed = round2(std::max(0.0, -(a.realizedToday + upnl)));
    const double floor = round2(a.initial * (1.0 - kMaxLossPct / 100.0));
    std::string status = "ACTIVE";
    if (eq <= floor)
        status = "BREACHED";
    else if (dailyUsed >= dailyLimit)
        status = "DAILY_LIMIT";
    return Json{{"account_id", accountId},
                {"balance", a.balance},
                {"equity", eq},
                {"highest_equity", round2(a.highestEquity)},
                {"stage", a.stage},
                {"rm1_access", true},
                {"status", status},
                {"execution_mode", executionMode},
                {"broker", broker},
                {"profit_pct", round3((eq - a.initial) / a.initial * 100.0)},
                {"profit_target", kProfitTargetPct},
                {"max_loss_floor", floor},
                {"daily_loss_limit", dailyLimit},
                {"daily_loss_used", dailyUsed},
                {"daily_loss_buffer", round2(dailyLimit - dailyUsed)}};
}

Json Oms::portfolioSummary(std::int64_t accountId) {
    std::lock_guard lock(m_mutex);
    Account& a = account(accountId);
    const auto prices = m_market.prices();
    struct Net {
        double units = 0;
        double upl = 0;
    };
    std::map<std::string, Net> bySymbol;
    double total = 0;
    for (const auto& [id, p] : a.positions) {
        const double u = upl(p, prices.at(p.symbol));
        Net& n = bySymbol[p.symbol];
        n.units += p.side == "BUY" ? p.units : -p.units;
        n.upl += u;
        total += u;
    }
    Json exposure = Json::array();
    for (const Instrument& inst : instruments()) {
        if (const auto it = bySymbol.find(inst.symbol); it != bySymbol.end()) {
            exposure.push_back(Json{{"symbol", inst.symbol},
                                    {"net_units", it->second.units},
                                    {"upl", round2(it->second.upl)},
                                    {"mark", prices.at(inst.symbol)}});
        }
    }
    return Json{{"total_upl", round2(total)}, {"exposure", exposure}};
}

Json Oms::openTrades(std::int64_t accountId) {
    std::lock_guard lock(m_mutex);
    Account& a = account(accountId);
    const auto prices = m_market.prices();
    Json rows = Json::array();
    for (const auto& [id, p] : a.positions) {
        const double m = prices.at(p.symbol);
        rows.push_back(Json{{"id", p.id},
                            {"symbol", p.symbol},
                            {"side", p.side},
                            {"units", p.units},
                            {"entry", p.entry},
                            {"mark", m},
                            {"upl", round2(upl(p, m))},
                            {"sl", optionalNumber(p.sl)},
                            {"tp", optionalNumber(p.tp)},
                            {"opened_at", isoUtc(p.openedMs / 1000)}});
    }
    return Json{{"positions", rows}};
}

Json Oms::orders(std::int64_t accountId) {
    std::lock_guard lock(m_mutex);
    auto st = m_db.prepare("SELECT id, symbol, side, type, qty, status, limit_price, stop_price, reason, created_ms "
                           "FROM orders WHERE account_id = ? ORDER BY id DESC LIMIT ?");
    st.bind(1, accountId).bind(2, static_cast<std::int64_t>(kOrdersShown));
    Json rows = Json::array();
    while (st.step()) {
        rows.push_back(Json{{"id", st.integer(0)},
                            {"symbol", st.text(1)},
                            {"side", st.text(2)},
                            {"type", st.text(3)},
                            {"qty", st.real(4)},
                            {"status", st.text(5)},
                            {"limit_price", optionalNumber(st.optionalReal(6))},
                            {"stop_price", optionalNumber(st.optionalReal(7))},
                            {"reason", st.text(8)},
                            {"created_at", isoUtc(st.integer(9) / 1000)}});
    }
    return Json{{"orders", rows}};
}

Json Oms::recentFills(std::int64_t accountId) {
    std::lock_guard lock(m_mutex);
    auto st = m_db.prepare("SELECT id, symbol, side, pnl, status, units, price, reason, position_id, ts_ms FROM fills "
                           "WHERE account_id = ? ORDER BY id DESC LIMIT ?");
    st.bind(1, accountId).bind(2, static_cast<std::int64_t>(kFillsShown));
    Json rows = Json::array();
    while (st.step()) {
        rows.push_back(Json{{"id", st.integer(0)},
                            {"symbol", st.text(1)},
                            {"side", st.text(2)},
                            {"pnl", st.real(3)},
                            {"status", st.text(4)},
                            {"units", st.real(5)},
                            {"price", st.real(6)},
                            {"reason", st.text(7)},
                            {"position_id", st.integer(8)},
                            {"ts", isoUtc(st.integer(9) / 1000)}});
    }
    return Json{{"trades", rows}};
}

Json Oms::pnlAttribution(std::int64_t accountId, int days) {
    std::lock_guard lock(m_mutex);
    Account& a = account(accountId);
    const auto prices = m_market.prices();
    struct Row {
        double realized = 0;
        double unrealized = 0;
        std::int64_t trades = 0;
        std::int64_t wins = 0;
        double netUnits = 0;
        bool open = false;
    };
    std::map<std::string, Row> rows;
    auto st = m_db.prepare("SELECT symbol, pnl FROM positions WHERE account_id = ? AND status = 'CLOSED' AND "
                           "closed_ms >= ?");
    st.bind(1, accountId).bind(2, static_cast<std::int64_t>(nowMs() - static_cast<std::int64_t>(days) * 86400000));
    while (st.step()) {
        Row& r = rows[st.text(0)];
        r.realized += st.real(1);
        r.trades += 1;
        r.wins += st.real(1) > 0 ? 1 : 0;
    }
    for (const auto& [id, p] : a.positions) {
        Row& r = rows[p.symbol];
        r.unrealized += upl(p, prices.at(p.symbol));
        r.netUnits += p.side == "BUY" ? p.units : -p.units;
        r.open = true;
    }
    Json symbols = Json::array();
    Json exposure = Json::array();
    for (const Instrument& inst : instruments()) {
        const auto it = rows.find(inst.symbol);
        if (it == rows.end())
            continue;
        const Row& r = it->second;
        symbols.push_back(
            Json{{"symbol", inst.symbol},
                 {"realized", round2(r.realized)},
                 {"unrealized", round2(r.unrealized)},
                 {"total", round2(r.realized + r.unrealized)},
                 {"trades", r.trades},
                 {"win_rate",
                  r.trades ? round2(100.0 * static_cast<double>(r.wins) / static_cast<double>(r.trades)) : 0.0}});
        if (r.open) {
            exposure.push_back(Json{{"symbol", inst.symbol},
                                    {"net_units", r.netUnits},
                                    {"notional", round2(r.netUnits * prices.at(inst.symbol) * inst.contractSize)},
                                    {"upl", round2(r.unrealized)}});
        }
    }
    return Json{{"symbols", symbols}, {"exposure", exposure}};
}

Json Oms::executionQuality(std::int64_t accountId, int days) {
    std::lock_guard lock(m_mutex);
    auto st = m_db.prepare("SELECT status, latency_ms, slippage_ticks FROM orders WHERE account_id = ? AND "
                           "created_ms >= ?");
    st.bind(1, accountId).bind(2, static_cast<std::int64_t>(nowMs() - static_cast<std::int64_t>(days) * 86400000));
    std::int64_t count = 0;
    std::int64_t filled = 0;
    std::int64_t cancelled = 0;
    std::vector<double> latencies;
    double slippageSum = 0;
    while (st.step()) {
        ++count;
        const std::string status = st.text(0);
        filled += status == "FILLED";
        cancelled += status == "CANCELLED";
        if (const auto l = st.optionalReal(1))
            latencies.push_back(*l);
        if (status == "FILLED")
            slippageSum += st.optionalReal(2).value_or(0);
    }
    double avg = 0;
    for (double l : latencies)
        avg += l;
    avg = latencies.empty() ? 0 : avg / static_cast<double>(latencies.size());

    auto rs = m_db.prepare("SELECT id, symbol, side, type, status, latency_ms FROM orders WHERE account_id = ? "
                           "ORDER BY id DESC LIMIT ?");
    rs.bind(1, accountId).bind(2, static_cast<std::int64_t>(kRecentShown));
    Json recent = Json::array();
    while (rs.step()) {
        recent.push_back(Json{{"id", rs.integer(0)},
                              {"symbol", rs.text(1)},
                              {"side", rs.text(2)},
                              {"type", rs.text(3)},
                              {"status", rs.text(4)},
                              {"latency_ms", optionalNumber(rs.optionalReal(5))}});
    }
    const double n = count ? static_cast<double>(count) : 1.0;
    return Json{{"order_count", count},
                {"fill_rate", round2(100.0 * static_cast<double>(filled) / n)},
                {"cancel_rate", round2(100.0 * static_cast<double>(cancelled) / n)},
                {"avg_latency_ms", round3(avg)},
                {"p50_latency_ms", round3(percentile(latencies, 50))},
                {"p95_latency_ms", round3(percentile(latencies, 95))},
                {"avg_slippage", filled ? round3(slippageSum / static_cast<double>(filled)) : 0.0},
                {"recent", recent}};
}

void Oms::saveLastPrices(const std::map<std::string, double>& prices) {
    std::lock_guard lock(m_mutex);
    Database::Transaction tx(m_db);
    for (const auto& [symbol, price] : prices) {
        m_db.prepare("INSERT OR REPLACE INTO market_state (symbol, price, ts_ms) VALUES (?, ?, ?)")
            .bind(1, symbol)
            .bind(2, price)
            .bind(3, static_cast<std::int64_t>(nowMs()))
            .run();
    }
    tx.commit();
}

std::map<std::string, double> Oms::lastPrices() {
    std::lock_guard lock(m_mutex);
    std::map<std::string, double> out;
    auto st = m_db.prepare("SELECT symbol, price FROM market_state");
    while (st.step())
        out[st.text(0)] = st.real(1);
    return out;
}

Json Oms::stats() {
    std::lock_guard lock(m_mutex);
    auto st = m_db.prepare("SELECT COUNT(*), COALESCE(SUM(status = 'WORKING'), 0) FROM orders");
    st.step();
    auto ps = m_db.prepare("SELECT COUNT(*) FROM positions WHERE status = 'OPEN'");
    ps.step();
    return Json{{"orders", st.integer(0)}, {"working_orders", st.integer(1)}, {"open_positions", ps.integer(0)}};
}

} // namespace zqt::demo
