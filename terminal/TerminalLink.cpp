#include "terminal/TerminalLink.h"

#include "api/TokenStore.h"

#include <utility>

namespace zqt {

TerminalLink::TerminalLink(const QUrl& baseUrl, TokenStore& tokens, QObject* parent)
    : QObject(parent), m_tokens(tokens) {
    createClient(baseUrl);
}

TerminalLink::~TerminalLink() {
    // The clients cancel what is still in flight and report it at once: nobody is left to take it.
    ++m_generation;
    m_closing = true;
    m_api.reset();
    qDeleteAll(findChildren<APIClient*>(Qt::FindDirectChildrenOnly));
}

void TerminalLink::createClient(const QUrl& baseUrl) {
    ++m_generation;
    m_readsInFlight.clear(); // the former client's reads are ended, and their replies dropped
    setReach(Reach::Unknown);
    // The new client reads the token from the store, where every client writes it.
    m_api = std::make_unique<APIClient>(baseUrl, m_tokens);
    APIClient* client = m_api.get();
    client->setPortCheck(m_portCheck);
    // A new address has no verdict yet: the next request that carries the token or a password makes one.
    emit withheldNoticeChanged(QString());
    connect(client, &APIClient::withheldNoticeChanged, this, [this, client] {
        if (m_api.get() == client)
            emit withheldNoticeChanged(client->withheldNotice());
    });
    connect(client, &APIClient::tokenChanged, this, [this, client](const QString& token) {
        // A sign-in sent from a former address lands after the move: the current client takes its token.
        if (m_api && m_api.get() != client)
            m_api->setToken(token);
        emit tokenChanged();
    });
}

void TerminalLink::setBaseUrl(const QUrl& baseUrl) {
    if (baseUrl == m_api->baseUrl())
        return;
    APIClient* previous = m_api.release();
    createClient(baseUrl); // bumps the generation before the old client reports its cancelled reads
    if (m_api->token() != previous->token())
        m_api->setToken(previous->token());
    previous->abortReads();
    if (previous->requestsInFlight() == 0) {
        delete previous;
        return;
    }
    // Kept until its posts and sign-ins have reported; the link deletes what is left when it goes.
    previous->setParent(this);
    connect(previous, &APIClient::idle, previous, &QObject::deleteLater);
}

void TerminalLink::setReach(Reach reach) {
    if (m_reach == reach || m_closing)
        return;
    m_reach = reach;
    emit reachChanged();
}

// Network errors mean no HTTP reply came; an over-long body, an undecodable one or a redirect did come from the
// engine.
bool TerminalLink::answered(const ApiError& error) {
    return error.kind != ApiError::Kind::Transport || error.domain != QLatin1String("network");
}

void TerminalLink::forgetToken() {
    ++m_generation;
    m_readsInFlight.clear();
    m_api->abortReads();
    m_api->setToken(QString());
}

void TerminalLink::setPortCheck(PortCheck check) {
    m_portCheck = std::move(check);
    m_api->setPortCheck(m_portCheck);
}

void TerminalLink::post(const endpoints::Post& form, std::function<void(const APIClient::RawReply&)> handler) {
    m_api->postFormExchange(form, [self = QPointer<TerminalLink>(this), path = form.path,
                                   handler = std::move(handler)](APIClient::RawReply r) {
        if (!self || self->m_closing)
            return;
        handler(r);
        emit self->replyHandled(path);
    });
}

void TerminalLink::login(const QString& email, const QString& password,
                         std::function<void(bool ok, QString message)> handler) {
    m_api->login(email, password,
                 [self = QPointer<TerminalLink>(this), handler = std::move(handler)](bool ok, QString message) {
                     if (!self || self->m_closing)
                         return;
                     handler(ok, std::move(message));
                     emit self->replyHandled(QString::fromLatin1(endpoints::kLoginPath));
                 });
}

} // namespace zqt
