#pragma once

#include "Database.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace zqt::demo {

// Users, passwords (PBKDF2-HMAC-SHA256 with a random salt) and bearer tokens. Only the SHA-256 of a token is
// stored, so the database does not hold usable tokens; sessions survive a restart. Thread-safe.
class Auth final {
public:
    static constexpr const char* kDemoEmail = "demo@zqt.local";
    static constexpr const char* kDemoPassword = "demo-pass-1";
    static constexpr std::int64_t kDemoAccountId = 1;
    static constexpr double kDemoBalance = 100000.0;

    explicit Auth(const std::string& dbPath);

    // Creates the demo user and its account unless they exist.
    void seedDemo();
    // A new token for valid credentials (e-mail compared case-insensitively).
    std::optional<std::string> login(const std::string& email, const std::string& password);
    // The account of a valid, unexpired token.
    std::optional<std::int64_t> authenticate(const std::string& token);

private:
    struct Session {
        std::int64_t accountId = 0;
        std::int64_t expiresMs = 0;
    };

    std::mutex m_mutex;
    Database m_db;
    std::map<std::string, Session> m_sessions; // by token hash
};

} // namespace zqt::demo
