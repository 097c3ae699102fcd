#include "Database.h"

#include <stdexcept>
#include <sys/stat.h>

namespace zqt::demo {

namespace {
[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    throw std::runtime_error(what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}
} // namespace

Database::Database(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string msg = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw std::runtime_error("cannot open database " + path + ": " + msg);
    }
    // The database holds the accounts and their orders: the owner's alone, also when an older one was looser. The
    // engine's umask makes the journal files so when SQLite creates them.
    for (const char* suffix : {"", "-wal", "-shm"})
        ::chmod((path + suffix).c_str(), 0600);
    sqlite3_busy_timeout(m_db, 5000);
    // WAL with synchronous=NORMAL: a committed transaction survives a crash or kill of this process (it is in the
    // OS page cache); only a power loss may drop the last commits.
    exec("PRAGMA journal_mode=WAL");
    exec("PRAGMA synchronous=NORMAL");
    exec("PRAGMA foreign_keys=ON");
}

Database::~Database() {
    sqlite3_close(m_db);
}

void Database::exec(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        const std::string msg = err ? err : "unknown error";
        sqlite3_free(err);
        throw std::runtime_error(std::string("sql failed: ") + msg);
    }
}

std::int64_t Database::lastInsertId() const {
    return sqlite3_last_insert_rowid(m_db);
}

Database::Statement::Statement(sqlite3* db, const char* sql) : m_db(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
        fail(db, "prepare failed");
}

Database::Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

Database::Statement& Database::Statement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
}

Database::Statement& Database::Statement::bind(int index, double value) {
    sqlite3_bind_double(m_stmt, index, value);
    return *this;
}

Database::Statement& Database::Statement::bind(int index, const std::string& value) {
    sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return *this;
}

Database::Statement& Database::Statement::bind(int index, std::optional<double> value) {
    if (value)
        sqlite3_bind_double(m_stmt, index, *value);
    else
        sqlite3_bind_null(m_stmt, index);
    return *this;
}

bool Database::Statement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    fail(m_db, "step failed");
}

void Database::Statement::run() {
    while (step()) {
    }
}

std::int64_t Database::Statement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}
double Database::Statement::real(int column) const {
    return sqlite3_column_double(m_stmt, column);
}

std::optional<double> Database::Statement::optionalReal(int column) const {
    if (sqlite3_column_type(m_stmt, column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_double(m_stmt, column);
}

std::string Database::Statement::text(int column) const {
    const unsigned char* p = sqlite3_column_text(m_stmt, column);
    return p ? std::string(reinterpret_cast<const char*>(p),
                           static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
             : std::string();
}

Database::Transaction::Transaction(Database& db) : m_db(db) {
    m_db.exec("BEGIN IMMEDIATE");
}

Database::Transaction::~Transaction() {
    if (!m_done) {
        try {
            m_db.exec("ROLLBACK");
        } catch (...) {
            // Nothing more can be done; SQLite rolls back on close anyway.
        }
    }
}

void Database::Transaction::commit() {
    m_db.exec("COMMIT");
    m_done = true;
}

} // namespace zqt::demo
