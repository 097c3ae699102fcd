#pragma once

#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QUrl;

namespace zqt {

struct EngineAddresses;

// The engine's status and health replies, fetched on request and kept as received for the status view. A reply
// longer than kMaxReplyBytes is not read further: its first kMaxReplyBytes are kept, followed by kTruncatedNote.
class StatusProbe final : public QObject {
    Q_OBJECT

public:
    // Stall timeout of the status requests (ms): no bytes for this long ends the request.
    static constexpr int kTimeoutMs = 60'000;
    // Most bytes of one reply kept as status text.
    static constexpr qint64 kMaxReplyBytes = 64 * 1024;
    // The line added below the kept text of a reply that was cut at kMaxReplyBytes.
    static const QString kTruncatedNote;

    explicit StatusProbe(QObject* parent = nullptr);

    // Stall timeout of the requests sent from now on (ms). The program keeps kTimeoutMs; tests shorten it.
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

    QString systemStatus() const { return m_systemStatus; }
    QString healthStatus() const { return m_healthStatus; }
    void setSystemStatus(const QString& value);
    void setHealthStatus(const QString& value);

    // GETs the status and health addresses (nothing is sent when the status address is invalid; the health
    // request only when its own is valid). A reply with a body, whatever its HTTP status, lands in systemStatus /
    // healthStatus, except a redirect (3xx), which is not followed: the field then says "Redirected (HTTP <status>)
    // to <Location>, not followed". A failed request changes nothing. Returns at once.
    void refresh(const EngineAddresses& addresses);

    // Status and health requests sent and not finished yet.
    int requestsInFlight() const { return m_inFlight; }

signals:
    void systemStatusChanged();
    void healthStatusChanged();
    // One status or health request has finished, whatever its outcome (after its field was updated).
    void finished();

private:
    void probe(const QUrl& url, void (StatusProbe::*store)(const QString&));

    QString m_systemStatus;
    QString m_healthStatus;
    QNetworkAccessManager* m_network = nullptr; // child
    int m_timeoutMs = kTimeoutMs;
    int m_inFlight = 0;
};

} // namespace zqt
