#pragma once

#include "api/ApiError.h"
#include "api/Endpoints.h"
#include "api/FormEncoding.h"
#include "api/JsonDecoder.h"
#include "api/PortListeners.h"
#include "api/Result.h"
#include "api/TokenStore.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace zqt {

// The one object through which the terminal talks to the engine's HTTP API: builds and sends every request with
// the sign-in token, decodes replies into records, posts forms and signs in. No cache, no queue, no retry: every
// call is one HTTP exchange whose outcome reaches the completion once, on the main thread, never before the call
// returns. A reply counts by its body, whatever its status, with one exception: a redirect (3xx) is never followed
// and is a failure of its own (ApiError::Kind::Redirect, naming the status and the Location), since a request
// that was sent elsewhere got no answer from the engine. The failure to get a reply at all (refused, unknown host,
// timeout, TLS failure, cancelled) is a transport error, and so is a body longer than kMaxReplyBytes, which is
// ended as soon as it gets that long (read and counted in bounded chunks, never buffered whole).
//
// The token is kept in the TokenStore handed to the constructor (the program's settings, where it lands under
// "zqtToken"): read once at construction, written on every setToken(). Create and use the client on the main
// thread.
//
// The token and the sign-in password go only to a port where nobody else's program listens (PortListeners): when
// another user holds the port, a read goes without the token, a sign-in is not sent at all, and withheldNotice
// says so in one line until a later request finds the port in order again.
class APIClient final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString token READ token WRITE setToken NOTIFY tokenChanged)

public:
    // Stall timeout of every request: no bytes for this long fails the exchange (ms).
    static constexpr int kTimeoutMs = 60'000;
    // Longest reply body taken (bytes); a longer one fails the exchange with ApiError::replyTooLarge.
    static constexpr qint64 kMaxReplyBytes = 16 * 1024 * 1024;
    // Most of a reply body held or handled at once before it is counted against kMaxReplyBytes (bytes).
    static constexpr qint64 kReadChunkBytes = 64 * 1024;

    // `tokens` must outlive the client.
    APIClient(const QUrl& baseUrl, TokenStore& tokens, QObject* parent = nullptr);
    ~APIClient() override;

    QUrl baseUrl() const { return m_baseUrl; }
    QString token() const { return m_token; }
    // Sets the token (tokenChanged when it differs) and stores it in the token store.
    void setToken(const QString& token);

    // Stall timeout of the requests sent from now on (ms). The program keeps kTimeoutMs; tests of slow and hung
    // engines shorten it.
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }

    // Who holds the port a request carrying the token or a password is about to go to; PortListeners::holder
    // unless set. An answer naming a holder serves the requests of the next kPortCheckReuseMs (one refresh sends
    // ten at once); "nobody listens" serves only the request that asked.
    void setPortCheck(PortCheck check);
    static constexpr int kPortCheckReuseMs = 200;
    // Whether the token or a password may go to `url`'s port now: only while nobody or only this user's programs
    // listen there. Updates withheldNotice. For addresses the client does not request itself (a web page's).
    bool maySendSecretsTo(const QUrl& url);
    // Why the token or a password was last withheld ("Port <n> is held by another user's program: sign-in and
    // token withheld."); empty when the last request that carried either found its port in order.
    QString withheldNotice() const { return m_withheldNotice; }

    // Exchanges sent and not yet completed (reads, posts and sign-ins alike).
    int requestsInFlight() const { return m_inFlight; }
    // Ends the reads still in flight at once: each completes with a cancellation (a transport error). Posts and
    // sign-ins run on to their own outcome.
    void abortReads();

    // What one exchange produced. Exactly one of `bytes` and `error` is set by this client.
    struct RawReply {
        std::optional<QByteArray> bytes; // the reply body, possibly empty, whatever the HTTP status
        std::optional<int> httpStatus;   // the HTTP status of a reply with a body
        std::optional<ApiError> error;   // a transport error or a redirect
    };

    // The request core: resolves `path` against the base address (see resolveUrl), sets "Content-Type" when given
    // and "Authorization: Bearer <token>" when a token is held (never one holding a line break or NUL, which
    // would split into further headers), sends, and completes on the main thread.
    void request(const QString& path, const QByteArray& method, const std::optional<QByteArray>& body,
                 const std::optional<QString>& contentType, std::function<void(RawReply)> completion);

    // GET `path` and decode the body as T (decoded on a worker thread; delivered on the main thread).
    template <class T> void fetch(const QString& path, std::function<void(Result<T>)> completion);
    template <class T> void fetch(const endpoints::Read<T>& read, std::function<void(Result<T>)> completion) {
        fetch<T>(read.path, std::move(completion));
    }

    // POST the fields form-encoded, completing with the whole exchange (the body with its HTTP status, or the
    // transport error), so that the caller tells an engine's refusal from an acceptance.
    void postFormExchange(const endpoints::Post& post, std::function<void(RawReply)> completion);

    // Signs in. ok: the reply decoded as a LoginResponse and its token (even empty) is now held and stored.
    // Otherwise message is the transport error's or the redirect's description, "No response" or "Invalid credentials".
    void login(const QString& email, const QString& password, std::function<void(bool ok, QString message)> completion);

    // The URL a path is sent to: a path starting with "http://" or "https://" (case-sensitive) as it stands;
    // otherwise the base text without one final "/", then the path with a leading "/" added when missing. Text
    // that is not a valid URI reference (a space, a quote, < > \ ^ ` { | }, a control or non-ASCII character, a
    // "%" without two hex digits, ...) does not form a URL: the base address itself is used instead.
    static QUrl resolveUrl(const QUrl& baseUrl, const QString& path);
    // True when `text` is a valid RFC 3986 URI reference.
    static bool isUriReference(QStringView text);

signals:
    void tokenChanged(const QString& token);
    void withheldNoticeChanged();
    // The last exchange in flight has completed (after its completion ran).
    void idle();

private:
    // Runs `work` on a worker thread.
    static void runInBackground(std::function<void()> work);
    // Queues `work` to run on the main thread (dropped when the application is already gone).
    static void runOnMainThread(std::function<void()> work);

    QUrl m_baseUrl;
    TokenStore& m_tokens;
    QString m_token;
    int m_inFlight = 0;
    int m_timeoutMs = kTimeoutMs;
    QNetworkAccessManager* m_nam = nullptr; // child
    PortCheck m_portCheck;
    int m_checkedPort = -1;
    PortHolder m_checkedHolder = PortHolder::Unknown;
    QElapsedTimer m_checkedAt;
    QString m_withheldNotice;
};

template <class T> void APIClient::fetch(const QString& path, std::function<void(Result<T>)> completion) {
    static_assert(isApiRecord<T>, "fetch decodes only the API records");
    request(path, QByteArrayLiteral("GET"), std::nullopt, std::nullopt,
            [completion = std::move(completion)](RawReply reply) mutable {
                if (reply.error) {
                    completion(Result<T>::failure(*reply.error));
                    return;
                }
                if (!reply.bytes) {
                    completion(Result<T>::failure(ApiError::noReply()));
                    return;
                }
                // Decoding a large reply must not stall the UI: decode on a worker, deliver on the main thread.
                runInBackground([bytes = std::move(*reply.bytes), completion = std::move(completion)]() mutable {
                    auto result = std::make_shared<Result<T>>(decodeJsonBytes<T>(bytes));
                    runOnMainThread([result, completion = std::move(completion)]() { completion(std::move(*result)); });
                });
            });
}

} // namespace zqt
