#include "control/StatusProbe.h"

#include "control/EngineAddresses.h"
#include "control/Observable.h"

#include "api/ApiError.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QUrl>

#include <memory>

namespace zqt {

namespace {

// Failures below the HTTP layer: no reply arrived, or it broke off. HTTP error statuses (4xx, 5xx) map to other
// codes and still carry their body.
bool isTransportFailure(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= 1 && code <= 199) || error == QNetworkReply::ProtocolFailure;
}

// The text of a reply's bytes. Bytes that are not UTF-8 become replacement characters, so the rest of a partly
// garbled reply stays readable; a reply cut at the size limit drops a character split by the cut and gets the note.
QString replyText(const QByteArray& bytes, bool cut) {
    if (!cut)
        return QString::fromUtf8(bytes);
    // A stateful decoder keeps an incomplete sequence at the end back instead of replacing it.
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    return text + QLatin1Char('\n') + StatusProbe::kTruncatedNote;
}

} // namespace

const QString StatusProbe::kTruncatedNote =
    QStringLiteral("[Reply larger than %1 KiB: only its beginning is shown]").arg(StatusProbe::kMaxReplyBytes / 1024);

StatusProbe::StatusProbe(QObject* parent) : QObject(parent), m_network(new QNetworkAccessManager(this)) {}

void StatusProbe::setSystemStatus(const QString& value) {
    assignAndNotify(this, m_systemStatus, value, &StatusProbe::systemStatusChanged);
}

void StatusProbe::setHealthStatus(const QString& value) {
    assignAndNotify(this, m_healthStatus, value, &StatusProbe::healthStatusChanged);
}

void StatusProbe::refresh(const EngineAddresses& addresses) {
    if (!addresses.status.isValid())
        return;
    probe(addresses.status, &StatusProbe::setSystemStatus);
    if (addresses.health.isValid())
        probe(addresses.health, &StatusProbe::setHealthStatus);
}

void StatusProbe::probe(const QUrl& url, void (StatusProbe::*store)(const QString&)) {
    QNetworkRequest request(url);
    request.setTransferTimeout(m_timeoutMs);
    // A redirect is not followed: whatever answers at its target is not the engine's status.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = m_network->get(request);
    ++m_inFlight;
    // The body is taken as it arrives, up to one byte past the limit; a reply that gets that far is ended there
    // (abort() emits finished at once, so `cut` is set before it).
    struct Body {
        QByteArray bytes;
        bool cut = false;
    };
    auto body = std::make_shared<Body>();
    connect(reply, &QNetworkReply::readyRead, this, [reply, body] {
        if (body->cut)
            return;
        body->bytes += reply->read(kMaxReplyBytes + 1 - body->bytes.size());
        if (body->bytes.size() > kMaxReplyBytes) {
            body->bytes.truncate(kMaxReplyBytes);
            body->cut = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, store, body] {
        --m_inFlight;
        reply->deleteLater();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const bool answered = status.isValid();
        if (answered && status.toInt() >= 300 && status.toInt() < 400) {
            (this->*store)(
                ApiError::redirect(status.toInt(), QString::fromUtf8(reply->rawHeader("Location"))).description);
        } else if (body->cut || (answered && !isTransportFailure(reply->error()))) {
            // Stored as received whatever the HTTP status.
            if (!body->cut)
                body->bytes += reply->readAll();
            (this->*store)(replyText(body->bytes, body->cut));
        }
        emit finished();
    });
}

} // namespace zqt
