#include "Schema.h"

#include "Database.h"

namespace zqt::demo {

void createSchema(Database& db) {
    db.exec(R"sql(
CREATE TABLE IF NOT EXISTS accounts (
    id INTEGER PRIMARY KEY,
    initial_balance REAL NOT NULL,
    balance REAL NOT NULL,
    highest_equity REAL NOT NULL,
    stage INTEGER NOT NULL DEFAULT 1,
    created_ms INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS users (
    id INTEGER PRIMARY KEY,
    email TEXT NOT NULL UNIQUE,
    salt TEXT NOT NULL,
    pw_hash TEXT NOT NULL,
    iterations INTEGER NOT NULL,
    account_id INTEGER NOT NULL REFERENCES accounts(id)
);
CREATE TABLE IF NOT EXISTS sessions (
    token_hash TEXT PRIMARY KEY,
    user_id INTEGER NOT NULL REFERENCES users(id),
    account_id INTEGER NOT NULL,
    created_ms INTEGER NOT NULL,
    expires_ms INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS orders (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    account_id INTEGER NOT NULL,
    symbol TEXT NOT NULL,
    side TEXT NOT NULL,
    type TEXT NOT NULL,
    qty REAL NOT NULL,
    limit_price REAL,
    stop_price REAL,
    sl REAL,
    tp REAL,
    status TEXT NOT NULL,
    reason TEXT NOT NULL DEFAULT '',
    created_ms INTEGER NOT NULL,
    updated_ms INTEGER NOT NULL,
    ref_price REAL,
    fill_price REAL,
    slippage_ticks REAL,
    latency_ms REAL
);
CREATE INDEX IF NOT EXISTS orders_by_status ON orders(account_id, status);
CREATE INDEX IF NOT EXISTS orders_by_time ON orders(account_id, created_ms);
CREATE TABLE IF NOT EXISTS positions (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    account_id INTEGER NOT NULL,
    order_id INTEGER NOT NULL,
    symbol TEXT NOT NULL,
    side TEXT NOT NULL,
    units REAL NOT NULL,
    entry REAL NOT NULL,
    sl REAL,
    tp REAL,
    status TEXT NOT NULL,
    opened_ms INTEGER NOT NULL,
    closed_ms INTEGER,
    exit_price REAL,
    pnl REAL,
    close_reason TEXT
);
CREATE INDEX IF NOT EXISTS positions_by_status ON positions(account_id, status);
CREATE TABLE IF NOT EXISTS fills (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    account_id INTEGER NOT NULL,
    order_id INTEGER,
    position_id INTEGER NOT NULL,
    symbol TEXT NOT NULL,
    side TEXT NOT NULL,
    units REAL NOT NULL,
    price REAL NOT NULL,
    pnl REAL NOT NULL,
    status TEXT NOT NULL,
    reason TEXT NOT NULL,
    ts_ms INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS market_state (
    symbol TEXT PRIMARY KEY,
    price REAL NOT NULL,
    ts_ms INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS signals (
    signal_id TEXT PRIMARY KEY,
    symbol TEXT NOT NULL,
    side TEXT NOT NULL,
    entry REAL NOT NULL,
    ts_ms INTEGER NOT NULL
);
)sql");
}

} // namespace zqt::demo
