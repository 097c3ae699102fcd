#pragma once

#include "Database.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace zqt::demo {

class LogFile;
class Market;

using Json = nlohmann::ordered_json;
// Form fields of a request, each name once.
using FormFields = std::map<std::string, std::string>;

// The answer to an order-changing request: HTTP status and JSON body.
struct OmsReply {
    int status = 200;
    Json body;
};

// The order management system: accounts, orders, open positions (one per fill, closed whole) and fills, kept in
// SQLite and mirrored in memory for the open state. Every change is committed before it is answered, so an
// acknowledged order survives a kill of the process. Market orders fill at the simulated price; limit and stop
// orders rest until the price crosses them (checked by onPrices); stop-loss and take-profit close positions.
// Thread-safe: one mutex serialises all work on the account state and the connection.
class Oms final {
public:
    static constexpr double kMaxQty = 1'000'000;
    static constexpr double kMaxPrice = 1e9;

    Oms(const std::string& dbPath, Market& market, LogFile& workerLog);

    OmsReply place(std::int64_t accountId, const FormFields& form, std::chrono::steady_clock::time_point received);
    OmsReply cancelAll(std::int64_t accountId);
    OmsReply closeAll(std::int64_t accountId);
    // Fills working orders whose price was crossed and closes positions whose stop-loss or take-profit was hit.
    void onPrices();

    Json metrics(std::int64_t accountId, const std::string& executionMode, const std::string& broker);
    Json portfolioSummary(std::int64_t accountId);
    Json openTrades(std::int64_t accountId);
    Json orders(std::int64_t accountId);
    Json recentFills(std::int64_t accountId);
    Json pnlAttribution(std::int64_t accountId, int days);
    Json executionQuality(std::int64_t accountId, int days);
    // Last prices of the simulated market, kept so a restarted engine continues from them.
    void saveLastPrices(const std::map<std::string, double>& prices);
    std::map<std::string, double> lastPrices();
    // Totals over all accounts for the status page.
    Json stats();

private:
    struct Position {
        std::int64_t id = 0;
        std::int64_t orderId = 0;
        std::string symbol;
        std::string side;
        double units = 0;
        double entry = 0;
        std::optional<double> sl;
        std::optional<double> tp;
        std::int64_t openedMs = 0;
    };
    struct WorkingOrder {
        std::int64_t id = 0;
        std::string symbol;
        std::string side;
        std::string type;
        double qty = 0;
        double trigger = 0; // limit or stop price
        std::optional<double> sl;
        std::optional<double> tp;
    };
    struct Account {
        double initial = 0;
        double balance = 0;
        double highestEquity = 0;
        std::int64_t stage = 1;
        std::map<std::int64_t, Position> positions;
        std::map<std::int64_t, WorkingOrder> working;
        double realizedToday = 0;
        std::int64_t day = 0; // UTC day number realizedToday belongs to
    };
    struct Closed {
        double exit = 0;
        double pnl = 0;
    };

    Account& account(std::int64_t id);
    double upl(const Position& p, double mark) const;
    double mark(const std::string& symbol) const;
    double equity(const Account& a) const;
    void rollDay(std::int64_t accountId, Account& a, std::int64_t now);
    std::int64_t openPosition(std::int64_t accountId, std::int64_t orderId, const std::string& symbol,
                              const std::string& side, double units, double price, std::optional<double> sl,
                              std::optional<double> tp, std::int64_t now);
    Closed closePosition(std::int64_t accountId, Account& a, const Position& p, double price, const char* reason,
                         std::int64_t now);
    void persistAccount(std::int64_t accountId, const Account& a);

    std::mutex m_mutex;
    Database m_db;
    Market& m_market;
    LogFile& m_workerLog;
    std::map<std::int64_t, Account> m_accounts;
};

} // namespace zqt::demo
