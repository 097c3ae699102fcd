#include "control/StatusProbe.h"

#include "control/EngineAddresses.h"
#include "control/Observable.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace zqt {

namespace {

// Stall timeout of the status requests, in ms (no bytes for this long ends the request).
constexpr int kStatusTimeoutMs = 60000;

// Failures below the HTTP layer: no reply arrived, or it broke off. HTTP error statuses (4xx, 5xx) map to other
// codes and still carry their body.
bool isTransportFailure(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= 1 && code <= 199) || error == QNetworkReply::ProtocolFailure;
}

} // namespace

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
    request.setTransferTimeout(kStatusTimeoutMs);
    QNetworkReply* reply = m_network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply, store] {
        reply->deleteLater();
        const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        if (answered && !isTransportFailure(reply->error())) {
            // Stored as received whatever the HTTP status. Bytes that are not UTF-8 become replacement
            // characters, so the rest of a partly garbled reply stays readable.
            (this->*store)(QString::fromUtf8(reply->readAll()));
        }
        emit finished();
    });
}

} // namespace zqt
