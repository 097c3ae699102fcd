#pragma once

#include "Database.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace zqt::demo {

// Users, passwords (PBKDF2-HMAC-SHA256 with a random salt) and bearer tokens. Only the SHA-256 of a token is
// stored, so the database does not hold usable tokens; sessions survive a restart, expire `sessionMs` after the
// sign-in and are pruned (from memory and the database) at sign-in, never more than kMaxSessions at once.
// Thread-safe: one mutex guards the connection and the sessions; the password hashing of a sign-in runs outside
// it, so a flood of sign-ins does not hold up the token check of every other request.
class Auth final {
public:
    static constexpr const char* kDemoEmail = "demo@zqt.local";
    static constexpr const char* kDemoPassword = "demo-pass-1";
    static constexpr std::int64_t kDemoAccountId = 1;
    static constexpr double kDemoBalance = 100000.0;
    static constexpr std::int64_t kDefaultSessionMs = 24LL * 3600 * 1000; // a day
    static constexpr std::size_t kMaxSessions = 10000;

    Auth(const std::string& dbPath, std::int64_t sessionMs = kDefaultSessionMs);

    // Creates the demo user and its account unless they exist.
    void seedDemo();
    // A new token for valid credentials (e-mail compared case-insensitively). An unknown e-mail costs the same
    // hashing as a wrong password, so the time taken does not tell which e-mails have accounts.
    std::optional<std::string> login(const std::string& email, const std::string& password);
    // The account of a valid, unexpired token.
    std::optional<std::int64_t> authenticate(const std::string& token);

private:
    struct Session {
        std::int64_t accountId = 0;
        std::int64_t expiresMs = 0;
    };

    // Drops expired sessions, and the ones expiring soonest while there are kMaxSessions or more. Holds m_mutex.
    void pruneSessions(std::int64_t nowMs);

    const std::int64_t m_sessionMs;
    // Hashed against when the e-mail is unknown: a random salt, and a "hash" nothing matches.
    const std::string m_dummySalt;
    const std::string m_dummyHash;
    std::mutex m_mutex;
    Database m_db;
    std::map<std::string, Session> m_sessions; // by token hash
};

} // namespace zqt::demo
