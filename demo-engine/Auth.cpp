#include "Auth.h"

#include "LogFile.h"
#include "Schema.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <vector>

namespace zqt::demo {

namespace {

constexpr int kIterations = 20000;

std::string hex(const unsigned char* p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        s.push_back(digits[p[i] >> 4]);
        s.push_back(digits[p[i] & 0xF]);
    }
    return s;
}

std::string randomHex(std::size_t bytes) {
    std::vector<unsigned char> buf(bytes);
    if (RAND_bytes(buf.data(), static_cast<int>(buf.size())) != 1)
        throw std::runtime_error("no random bytes available");
    return hex(buf.data(), buf.size());
}

std::string sha256Hex(const std::string& text) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    return hex(digest, sizeof digest);
}

std::string passwordHash(const std::string& password, const std::string& salt, int iterations) {
    unsigned char out[32];
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                          iterations, EVP_sha256(), sizeof out, out) != 1)
        throw std::runtime_error("password hashing failed");
    return hex(out, sizeof out);
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

} // namespace

Auth::Auth(const std::string& dbPath, std::int64_t sessionMs)
    : m_sessionMs(sessionMs), m_dummySalt(randomHex(16)), m_dummyHash(randomHex(32)), m_db(dbPath) {
    createSchema(m_db);
    const std::int64_t now = nowMs();
    m_db.prepare("DELETE FROM sessions WHERE expires_ms <= ?").bind(1, now).run();
    auto st = m_db.prepare("SELECT token_hash, account_id, expires_ms FROM sessions WHERE expires_ms > ?");
    st.bind(1, now);
    while (st.step())
        m_sessions[st.text(0)] = Session{st.integer(1), st.integer(2)};
}

void Auth::seedDemo() {
    std::lock_guard lock(m_mutex);
    Database::Transaction tx(m_db);
    m_db.prepare("INSERT OR IGNORE INTO accounts (id, initial_balance, balance, highest_equity, stage, created_ms) "
                 "VALUES (?, ?, ?, ?, 1, ?)")
        .bind(1, kDemoAccountId)
        .bind(2, kDemoBalance)
        .bind(3, kDemoBalance)
        .bind(4, kDemoBalance)
        .bind(5, static_cast<std::int64_t>(nowMs()))
        .run();
    auto exists = m_db.prepare("SELECT 1 FROM users WHERE email = ?");
    exists.bind(1, std::string(kDemoEmail));
    if (!exists.step()) {
        const std::string salt = randomHex(16);
        m_db.prepare("INSERT INTO users (email, salt, pw_hash, iterations, account_id) VALUES (?, ?, ?, ?, ?)")
            .bind(1, std::string(kDemoEmail))
            .bind(2, salt)
            .bind(3, passwordHash(kDemoPassword, salt, kIterations))
            .bind(4, static_cast<std::int64_t>(kIterations))
            .bind(5, kDemoAccountId)
            .run();
    }
    tx.commit();
}

std::optional<std::string> Auth::login(const std::string& email, const std::string& password) {
    bool known = false;
    std::string salt = m_dummySalt;
    std::string expected = m_dummyHash;
    std::int64_t iterations = kIterations, userId = 0, accountId = 0;
    {
        std::lock_guard lock(m_mutex);
        // The read statement is finished before the session is written: a statement still stepping keeps a read
        // transaction open, and upgrading that to a write after another connection committed fails at once with
        // "database is locked" (the busy timeout does not apply to that case).
        auto st = m_db.prepare("SELECT id, salt, pw_hash, iterations, account_id FROM users WHERE email = ?");
        st.bind(1, lower(email));
        if (st.step()) {
            known = true;
            userId = st.integer(0);
            salt = st.text(1);
            expected = st.text(2);
            iterations = st.integer(3);
            accountId = st.integer(4);
        }
    }
    // The costly part, outside the lock; an unknown e-mail is hashed all the same.
    const std::string got = passwordHash(password, salt, static_cast<int>(iterations));
    const bool match = got.size() == expected.size() && CRYPTO_memcmp(got.data(), expected.data(), got.size()) == 0;
    if (!known || !match)
        return std::nullopt;

    const std::string token = randomHex(32);
    const std::string tokenHash = sha256Hex(token);
    std::lock_guard lock(m_mutex);
    const std::int64_t now = nowMs();
    pruneSessions(now);
    m_db.prepare(
            "INSERT INTO sessions (token_hash, user_id, account_id, created_ms, expires_ms) VALUES (?, ?, ?, ?, ?)")
        .bind(1, tokenHash)
        .bind(2, userId)
        .bind(3, accountId)
        .bind(4, now)
        .bind(5, now + m_sessionMs)
        .run();
    m_sessions[tokenHash] = Session{accountId, now + m_sessionMs};
    return token;
}

void Auth::pruneSessions(std::int64_t now) {
    std::erase_if(m_sessions, [now](const auto& entry) { return entry.second.expiresMs <= now; });
    m_db.prepare("DELETE FROM sessions WHERE expires_ms <= ?").bind(1, now).run();
    while (m_sessions.size() >= kMaxSessions) {
        const auto oldest = std::min_element(m_sessions.begin(), m_sessions.end(), [](const auto& a, const auto& b) {
            return a.second.expiresMs < b.second.expiresMs;
        });
        m_db.prepare("DELETE FROM sessions WHERE token_hash = ?").bind(1, oldest->first).run();
        m_sessions.erase(oldest);
    }
}

std::optional<std::int64_t> Auth::authenticate(const std::string& token) {
    if (token.empty())
        return std::nullopt;
    const std::string tokenHash = sha256Hex(token);
    std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(tokenHash);
    if (it == m_sessions.end())
        return std::nullopt;
    if (it->second.expiresMs <= nowMs()) {
        m_sessions.erase(it); // its row goes at the next sign-in's pruning
        return std::nullopt;
    }
    return it->second.accountId;
}

} // namespace zqt::demo
