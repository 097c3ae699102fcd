#pragma once

#include "api/APIClient.h"
#include "api/Endpoints.h"
#include "api/Result.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include <functional>
#include <memory>

namespace zqt {

class TokenStore;

// The terminal's one line to the engine, shared by all its areas: owns the API client (replaced by one for a new
// address, holding the same token), sends the areas' reads and posts, and drops what no longer belongs. A read is
// handled only while the client that sent it is the current one, and a read whose path and query still await
// their reply is not sent again (it is skipped; the next tick sends it). Posts and sign-ins report their outcome
// whichever client sent them, while the link lives. Main thread only.
class TerminalLink final : public QObject {
    Q_OBJECT

public:
    // Talks to the engine at `baseUrl`, keeping the sign-in token in `tokens` (which must outlive it).
    TerminalLink(const QUrl& baseUrl, TokenStore& tokens, QObject* parent = nullptr);
    ~TerminalLink() override;

    // Points the link at another engine address: reads still due from the old address are ended and their
    // replies dropped; posts and sign-ins already sent there run on and report their outcome.
    void setBaseUrl(const QUrl& baseUrl);
    QUrl baseUrl() const { return m_api->baseUrl(); }
    // Who holds the engine's port before the token or a password goes there (see APIClient::setPortCheck), for
    // this client and every later one; the kernel's tables unless set.
    void setPortCheck(PortCheck check);
    QString token() const { return m_api->token(); }
    // Signs out: the token is dropped here and in the store, and the reads still awaiting their reply (sent with
    // it) are ended and their replies dropped, so nothing read with the token lands after it is gone.
    void forgetToken();
    APIClient& api() { return *m_api; }
    const APIClient& api() const { return *m_api; }

    // Sends `read` unless the same path and query is still out; `handler` gets its result while the client that
    // sent it is current, then replyHandled is emitted.
    template <class T> void get(const endpoints::Read<T>& read, std::function<void(Result<T>)> handler);
    // One declared read: a successful reply's record lands in `area.*field` and `area.*changed` is emitted once; a
    // failure changes nothing. `area` must live as long as the link.
    template <class Area, class T, class Field>
    void feed(Area& area, const endpoints::Read<T>& read, Field Area::*field, void (Area::*changed)());
    // Posts `form`; `handler` gets the whole exchange, then replyHandled is emitted.
    void post(const endpoints::Post& form, std::function<void(const APIClient::RawReply&)> handler);
    // Signs in (see APIClient::login); `handler` gets the outcome, then replyHandled is emitted for the login path.
    void login(const QString& email, const QString& password, std::function<void(bool ok, QString message)> handler);

    // Whether the engine answered the reads: Unknown until a read of the current address has ended, then
    // Unreachable while the last one ended without any HTTP reply (refused, timed out, cut off), else Reachable (a
    // reply that was an error or not the record asked for still came from the engine).
    enum class Reach { Unknown, Reachable, Unreachable };
    Reach reach() const { return m_reach; }

signals:
    // The token changed (a sign-in, or anything else that replaced it).
    void tokenChanged();
    // Why the current client withholds the token and sign-in from the engine's port; empty when it does not (and
    // whenever a new address has no verdict yet).
    void withheldNoticeChanged(const QString& notice);
    // A reply to the request for `path` (path and query) was handled: applied, found failed, or dropped as stale.
    // Emitted after the state changes it caused. For diagnostics and tests; views need not listen.
    void replyHandled(const QString& path);
    void reachChanged();

private:
    void createClient(const QUrl& baseUrl);
    void setReach(Reach reach);
    static bool answered(const ApiError& error);

    TokenStore& m_tokens;
    PortCheck m_portCheck;
    std::unique_ptr<APIClient> m_api;
    quint64 m_generation = 0;      // bumped when the client is replaced or the link goes away
    QSet<QString> m_readsInFlight; // path and query of every read of the current client awaiting its reply
    bool m_closing = false;        // set when the link starts going away
    Reach m_reach = Reach::Unknown;
};

template <class T> void TerminalLink::get(const endpoints::Read<T>& read, std::function<void(Result<T>)> handler) {
    // One read per path and query at a time: against a slow engine the ticks would otherwise stack up requests
    // behind the ones still waiting. The next tick after the reply (or its failure) sends it again.
    if (m_readsInFlight.contains(read.path))
        return;
    m_readsInFlight.insert(read.path);
    m_api->fetch<T>(read.path, [self = QPointer<TerminalLink>(this), generation = m_generation, path = read.path,
                                handler = std::move(handler)](Result<T> r) {
        if (!self || self->m_generation != generation)
            return;
        self->m_readsInFlight.remove(path);
        self->setReach(r || answered(r.error()) ? Reach::Reachable : Reach::Unreachable);
        handler(std::move(r));
        emit self->replyHandled(path);
    });
}

template <class Area, class T, class Field>
void TerminalLink::feed(Area& area, const endpoints::Read<T>& read, Field Area::*field, void (Area::*changed)()) {
    get<T>(read, [&area, field, changed](Result<T> r) {
        if (!r)
            return;
        area.*field = std::move(r).value();
        emit(area.*changed)();
    });
}

} // namespace zqt
