#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>

namespace zqt::demo {

// One SQLite connection in WAL mode. Not thread-safe by itself: each owner guards its connection with its own
// mutex; several connections to one file wait for each other through the busy timeout. Errors throw
// std::runtime_error with SQLite's message.
class Database final {
public:
    explicit Database(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const char* sql);
    std::int64_t lastInsertId() const;

    // A prepared statement; bind indexes start at 1, column indexes at 0.
    class Statement final {
    public:
        Statement(sqlite3* db, const char* sql);
        ~Statement();
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;

        Statement& bind(int index, std::int64_t value);
        Statement& bind(int index, double value);
        Statement& bind(int index, const std::string& value);
        Statement& bind(int index, std::optional<double> value);
        // True while a row is available; false when done.
        bool step();
        void run(); // steps to the end

        std::int64_t integer(int column) const;
        double real(int column) const;
        std::optional<double> optionalReal(int column) const;
        std::string text(int column) const;

    private:
        sqlite3* m_db;
        sqlite3_stmt* m_stmt = nullptr;
    };

    Statement prepare(const char* sql) { return Statement(m_db, sql); }

    // BEGIN IMMEDIATE on construction; ROLLBACK on destruction unless commit() ran.
    class Transaction final {
    public:
        explicit Transaction(Database& db);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void commit();

    private:
        Database& m_db;
        bool m_done = false;
    };

private:
    sqlite3* m_db = nullptr;
};

} // namespace zqt::demo
