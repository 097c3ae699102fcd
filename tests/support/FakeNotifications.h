#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>

namespace zqt::test {

// A session bus of the test's own: a dbus-daemon started with a configuration that activates no services, its
// address put in DBUS_SESSION_BUS_ADDRESS (so the program's first use of the session bus reaches it), stopped when
// the object goes. Start it before anything touches QDBusConnection::sessionBus().
class PrivateSessionBus final {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool isValid() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    QString error() const { return m_error; }

private:
    QString m_folder;
    QString m_address;
    QString m_error;
    qint64 m_pid = 0;
};

// One call of Notify as the service received it.
struct ReceivedNotification {
    QString appName;
    uint replacesId = 0;
    QString appIcon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int expireTimeout = 0;
};

// A stand-in for the desktop's notification service: implements org.freedesktop.Notifications on a connection of
// its own to `address` and records every Notify. Popup ids count from 1.
class FakeNotifications final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    // `capabilities` is what GetCapabilities answers.
    explicit FakeNotifications(const QString& address, QStringList capabilities = {"body"});
    ~FakeNotifications() override;

    // The service name is taken and the object is reachable.
    bool isRegistered() const { return m_registered; }
    const QList<ReceivedNotification>& received() const { return m_received; }
    QStringList summaries() const;

public slots:
    uint Notify(const QString& app_name, uint replaces_id, const QString& app_icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expire_timeout);
    QStringList GetCapabilities();
    void CloseNotification(uint id);
    QString GetServerInformation(QString& vendor, QString& version, QString& spec_version);

signals:
    void notified();

private:
    QString m_connectionName;
    QStringList m_capabilities;
    QList<ReceivedNotification> m_received;
    uint m_nextId = 1;
    bool m_registered = false;
};

} // namespace zqt::test
