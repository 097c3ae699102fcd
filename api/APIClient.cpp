#include "api/APIClient.h"

#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include <vector>

namespace zqt {

namespace {

const QByteArray kFormContentType = QByteArrayLiteral("application/x-www-form-urlencoded");

// QNetworkReply turns HTTP error statuses into errors although a full reply arrived. This tells whether `error` is
// just Qt's name for `status` (the mapping of QNetworkReplyHttpImpl), so that such replies count by their body.
bool isStatusError(QNetworkReply::NetworkError error, int status) {
    using E = QNetworkReply::NetworkError;
    switch (status) {
    case 400:
    case 418:
        return error == E::ProtocolInvalidOperationError;
    case 401:
        return error == E::AuthenticationRequiredError;
    case 403:
        return error == E::ContentAccessDenied;
    case 404:
        return error == E::ContentNotFoundError;
    case 405:
        return error == E::ContentOperationNotPermittedError;
    case 407:
        return error == E::ProxyAuthenticationRequiredError;
    case 409:
        return error == E::ContentConflictError;
    case 410:
        return error == E::ContentGoneError;
    case 500:
        return error == E::InternalServerError;
    case 501:
        return error == E::OperationNotImplementedError;
    case 503:
        return error == E::ServiceUnavailableError;
    default:
        if (status > 500)
            return error == E::UnknownServerError;
        if (status >= 400)
            return error == E::UnknownContentError;
        // A status Qt does not expect (e.g. 3xx without a redirect target) is reported as a protocol failure.
        return status > 0 && error == E::ProtocolFailure;
    }
}

// A header value must not hold a line break or NUL: Qt writes raw header values as they stand, so such a
// value would end the header early and start another one of the sender's choosing.
bool isSafeHeaderValue(const QString& value) {
    return !value.contains(QLatin1Char('\r')) && !value.contains(QLatin1Char('\n')) && !value.contains(QChar(u'\0'));
}

bool isHexDigit(QChar ch) {
    const char16_t c = ch.unicode();
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

APIClient::APIClient(const QUrl& baseUrl, TokenStore& tokens, QObject* parent)
    : QObject(parent), m_baseUrl(baseUrl), m_tokens(tokens), m_token(tokens.token()),
      m_nam(new QNetworkAccessManager(this)), m_portCheck(&PortListeners::holder) {}

APIClient::~APIClient() {
    // Requests still in flight complete with a cancellation (a transport error) rather than never.
    const auto replies = m_nam->findChildren<QNetworkReply*>();
    for (QNetworkReply* reply : replies)
        reply->abort();
}

void APIClient::setToken(const QString& token) {
    m_tokens.setToken(token);
    if (token == m_token)
        return;
    m_token = token;
    emit tokenChanged(m_token);
}

void APIClient::setPortCheck(PortCheck check) {
    m_portCheck = check ? std::move(check) : PortCheck(&PortListeners::holder);
    m_checkedPort = -1;
}

bool APIClient::maySendSecretsTo(const QUrl& url) {
    const int port = url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
    if (port < 1 || port > 65535)
        return false;
    if (port != m_checkedPort || !m_checkedAt.isValid() || m_checkedAt.elapsed() >= kPortCheckReuseMs) {
        m_checkedHolder = m_portCheck(static_cast<quint16>(port));
        m_checkedPort = port;
        m_checkedAt.start();
    }
    // An empty port is asked about again on the next request: a program may start listening there any moment.
    if (m_checkedHolder == PortHolder::Nobody)
        m_checkedPort = -1;
    const bool allowed = PortListeners::maySendSecrets(m_checkedHolder);
    const QString notice = allowed ? QString() : PortListeners::withheldNotice(port, m_checkedHolder);
    if (notice != m_withheldNotice) {
        m_withheldNotice = notice;
        emit withheldNoticeChanged();
    }
    return allowed;
}

void APIClient::abortReads() {
    const auto replies = m_nam->findChildren<QNetworkReply*>();
    for (QNetworkReply* reply : replies)
        if (reply->operation() == QNetworkAccessManager::GetOperation && reply->isRunning())
            reply->abort();
}

bool APIClient::isUriReference(QStringView text) {
    // The authority (after "scheme://" up to the next "/", "?" or "#") may hold an IP literal in brackets.
    qsizetype authorityBegin = -1;
    qsizetype authorityEnd = -1;
    if (const qsizetype sep = text.indexOf(u"://"); sep > 0) {
        authorityBegin = sep + 3;
        authorityEnd = authorityBegin;
        while (authorityEnd < text.size() && text[authorityEnd] != u'/' && text[authorityEnd] != u'?' &&
               text[authorityEnd] != u'#')
            ++authorityEnd;
    }
    int fragments = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c <= 0x20 || c >= 0x7f)
            return false;
        switch (c) {
        case '"':
        case '<':
        case '>':
        case '\\':
        case '^':
        case '`':
        case '{':
        case '|':
        case '}':
            return false;
        case '%':
            if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2]))
                return false;
            break;
        case '#':
            if (++fragments > 1)
                return false;
            break;
        case '[':
        case ']':
            if (i < authorityBegin || i >= authorityEnd)
                return false;
            break;
        default:
            break;
        }
    }
    return true;
}

QUrl APIClient::resolveUrl(const QUrl& baseUrl, const QString& path) {
    QString text;
    if (path.startsWith(QLatin1String("http://")) || path.startsWith(QLatin1String("https://"))) {
        text = path;
    } else {
        text = baseUrl.toString(QUrl::FullyEncoded);
        if (text.endsWith(QLatin1Char('/')))
            text.chop(1);
        if (!path.startsWith(QLatin1Char('/')))
            text += QLatin1Char('/');
        text += path;
    }
    if (!isUriReference(text))
        return baseUrl;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return baseUrl;
    return url;
}

void APIClient::request(const QString& path, const QByteArray& method, const std::optional<QByteArray>& body,
                        const std::optional<QString>& contentType, std::function<void(RawReply)> completion) {
    const QUrl url = resolveUrl(m_baseUrl, path);
    QNetworkRequest req(url);
    req.setTransferTimeout(m_timeoutMs);
    // Never answer a 401 with credentials remembered from elsewhere; there is nobody to prompt either.
    req.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    // Never follow a redirect: a post would arrive elsewhere as a GET, and a sign-in page's 200 would pass for the
    // engine's answer. The 3xx itself comes back as a failure.
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (contentType)
        req.setRawHeader(QByteArrayLiteral("Content-Type"), contentType->toUtf8());
    if (!m_token.isEmpty() && isSafeHeaderValue(m_token) && maySendSecretsTo(url))
        req.setRawHeader(QByteArrayLiteral("Authorization"), QByteArrayLiteral("Bearer ") + m_token.toUtf8());

    QNetworkReply* reply = nullptr;
    if (method == "GET" && !body)
        reply = m_nam->get(req);
    else if (method == "POST")
        reply = m_nam->post(req, body.value_or(QByteArray()));
    else if (body)
        reply = m_nam->sendCustomRequest(req, method, *body);
    else
        reply = m_nam->sendCustomRequest(req, method);

    ++m_inFlight;
    // The body is taken off the reply as it arrives, at most kReadChunkBytes at a time (the reply's own buffer is
    // bounded too, so the network thread waits for each read), and counted: once it announces or reaches more than
    // kMaxReplyBytes the exchange ends and what was taken is freed. No single event handles more than one chunk,
    // however large the body. abort() emits finished at once, so the flag is set before it.
    reply->setReadBufferSize(kReadChunkBytes);
    // Kept as the chunks that arrived and joined once at the end, so a growing body is never copied into a larger
    // buffer on the way (each of those copies, and the freeing of its predecessor, would be megabytes).
    struct Received {
        std::vector<QByteArray> chunks;
        qint64 size = 0;
        bool tooLarge = false;
    };
    auto received = std::make_shared<Received>();
    const auto refuse = [reply, received]() {
        received->tooLarge = true;
        received->chunks = {};
        reply->abort();
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, received, refuse]() {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (!received->tooLarge && length.isValid() && length.toLongLong() > kMaxReplyBytes)
            refuse();
    });
    const auto take = [reply, received, refuse]() {
        while (!received->tooLarge && reply->bytesAvailable() > 0) {
            const QByteArray chunk = reply->read(kReadChunkBytes);
            if (chunk.isEmpty())
                break;
            if (received->size + chunk.size() > kMaxReplyBytes) {
                refuse();
                return;
            }
            received->size += chunk.size();
            received->chunks.push_back(chunk);
        }
    };
    connect(reply, &QNetworkReply::readyRead, this, take);
    connect(reply, &QNetworkReply::finished, this, [this, reply, received, take, completion = std::move(completion)]() {
        RawReply result;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const auto error = reply->error();
        take(); // what arrived with the end of the exchange
        if (received->tooLarge) {
            result.error = ApiError::replyTooLarge(QStringLiteral("%1 MiB").arg(kMaxReplyBytes / (1024 * 1024)));
        } else if (status.isValid() && status.toInt() >= 300 && status.toInt() < 400) {
            result.error = ApiError::redirect(status.toInt(), QString::fromUtf8(reply->rawHeader("Location")));
        } else if (error != QNetworkReply::NoError && !(status.isValid() && isStatusError(error, status.toInt()))) {
            result.error = ApiError::transport(static_cast<int>(error), reply->errorString());
        } else {
            QByteArray bytes;
            bytes.reserve(received->size);
            for (const QByteArray& chunk : received->chunks)
                bytes += chunk;
            result.bytes = std::move(bytes);
            if (status.isValid())
                result.httpStatus = status.toInt();
        }
        reply->deleteLater();
        --m_inFlight;
        completion(std::move(result));
        if (m_inFlight == 0)
            emit idle();
    });
}

void APIClient::postFormExchange(const endpoints::Post& post, std::function<void(RawReply)> completion) {
    request(post.path, QByteArrayLiteral("POST"), encodeForm(post.fields), QString::fromLatin1(kFormContentType),
            std::move(completion));
}

void APIClient::login(const QString& email, const QString& password,
                      std::function<void(bool ok, QString message)> completion) {
    const endpoints::Post form = endpoints::login(email, password);
    // The password is not sent at all to a port another user's program holds.
    if (!maySendSecretsTo(resolveUrl(m_baseUrl, form.path))) {
        runOnMainThread(
            [completion = std::move(completion), notice = m_withheldNotice]() { completion(false, notice); });
        return;
    }
    request(form.path, QByteArrayLiteral("POST"), encodeForm(form.fields), QString::fromLatin1(kFormContentType),
            [self = QPointer<APIClient>(this), completion = std::move(completion)](RawReply reply) {
                if (reply.error) {
                    completion(false, reply.error->description);
                    return;
                }
                if (!reply.bytes) {
                    completion(false, QStringLiteral("No response"));
                    return;
                }
                const auto decoded = decodeJsonBytes<LoginResponse>(*reply.bytes);
                if (!decoded.ok()) {
                    completion(false, QStringLiteral("Invalid credentials"));
                    return;
                }
                if (self)
                    self->setToken(decoded->token);
                completion(true, QString());
            });
}

void APIClient::runInBackground(std::function<void()> work) {
    QThreadPool::globalInstance()->start(std::move(work));
}

void APIClient::runOnMainThread(std::function<void()> work) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

} // namespace zqt
