#pragma once

#include <QString>

namespace zqt {

// Where the API client keeps the engine sign-in token between runs. The program hands the client the settings
// owner, which stores it beside the operator's settings; tests hand it a store in memory.
class TokenStore {
public:
    virtual ~TokenStore() = default;
    // The stored token; empty when none is stored.
    virtual QString token() const = 0;
    // Stores `token` (empty text included) so the next read returns it.
    virtual void setToken(const QString& token) = 0;
};

// A token store that keeps the token in memory only.
class MemoryTokenStore final : public TokenStore {
public:
    explicit MemoryTokenStore(QString token = {}) : m_token(std::move(token)) {}
    QString token() const override { return m_token; }
    void setToken(const QString& token) override { m_token = token; }

private:
    QString m_token;
};

} // namespace zqt
