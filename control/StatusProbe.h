#pragma once

#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QUrl;

namespace zqt {

struct EngineAddresses;

// The engine's status and health replies, fetched on request and kept as received for the status view.
class StatusProbe final : public QObject {
    Q_OBJECT

public:
    explicit StatusProbe(QObject* parent = nullptr);

    QString systemStatus() const { return m_systemStatus; }
    QString healthStatus() const { return m_healthStatus; }
    void setSystemStatus(const QString& value);
    void setHealthStatus(const QString& value);

    // GETs the status and health addresses (nothing is sent when the status address is invalid; the health
    // request only when its own is valid). A reply with a body, whatever its HTTP status, lands in systemStatus /
    // healthStatus; a failed request changes nothing. Returns at once.
    void refresh(const EngineAddresses& addresses);

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
};

} // namespace zqt
