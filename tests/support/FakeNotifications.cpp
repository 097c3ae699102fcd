#include "FakeNotifications.h"

#include "TestEnv.h"

#include <QCoreApplication>
#include <QDir>

#include <signal.h>

namespace zqt::test {

namespace {

// A session bus that listens in `folder`, lets everyone talk to everyone, and knows no services to start.
QByteArray busConfig(const QString& folder) {
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:dir=" +
           folder.toUtf8() +
           "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

} // namespace

PrivateSessionBus::PrivateSessionBus() {
    const QString folder = QDir::tempPath() + "/zqt-bus-" + QString::number(QCoreApplication::applicationPid()) + "-" +
                           QString::number(reinterpret_cast<quintptr>(this), 16);
    QDir().mkpath(folder);
    m_folder = folder;
    const QString config = folder + "/bus.conf";
    if (!writeFile(config, busConfig(folder))) {
        m_error = "cannot write " + config;
        return;
    }
    QProcess daemon;
    daemon.start("dbus-daemon", {"--config-file=" + config, "--fork", "--print-address=1", "--print-pid=1"});
    if (!daemon.waitForFinished(30000) || daemon.exitCode() != 0) {
        m_error = "dbus-daemon did not start: " + daemon.errorString() + " " + QString::fromUtf8(daemon.readAll());
        return;
    }
    const QList<QByteArray> lines = daemon.readAllStandardOutput().trimmed().split('\n');
    if (lines.size() < 2) {
        m_error = "dbus-daemon printed no address and pid";
        return;
    }
    m_address = QString::fromUtf8(lines[0].trimmed());
    m_pid = lines[1].trimmed().toLongLong();
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
}

PrivateSessionBus::~PrivateSessionBus() {
    if (m_pid > 0)
        ::kill(static_cast<pid_t>(m_pid), SIGTERM);
    if (!m_folder.isEmpty())
        QDir(m_folder).removeRecursively();
}

FakeNotifications::FakeNotifications(const QString& address, QStringList capabilities)
    : m_connectionName("zqt-fake-notifications-" + QString::number(reinterpret_cast<quintptr>(this), 16)),
      m_capabilities(std::move(capabilities)) {
    QDBusConnection bus = QDBusConnection::connectToBus(address, m_connectionName);
    m_registered = bus.isConnected() &&
                   bus.registerObject("/org/freedesktop/Notifications", this, QDBusConnection::ExportAllSlots) &&
                   bus.registerService("org.freedesktop.Notifications");
}

FakeNotifications::~FakeNotifications() {
    {
        QDBusConnection bus(m_connectionName);
        bus.unregisterService("org.freedesktop.Notifications");
        bus.unregisterObject("/org/freedesktop/Notifications");
    }
    QDBusConnection::disconnectFromBus(m_connectionName);
}

QStringList FakeNotifications::summaries() const {
    QStringList out;
    for (const ReceivedNotification& n : m_received)
        out << n.summary;
    return out;
}

uint FakeNotifications::Notify(const QString& app_name, uint replaces_id, const QString& app_icon,
                               const QString& summary, const QString& body, const QStringList& actions,
                               const QVariantMap& hints, int expire_timeout) {
    m_received.append({app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout});
    emit notified();
    return replaces_id != 0 ? replaces_id : m_nextId++;
}

QStringList FakeNotifications::GetCapabilities() {
    return m_capabilities;
}

void FakeNotifications::CloseNotification(uint) {}

QString FakeNotifications::GetServerInformation(QString& vendor, QString& version, QString& spec_version) {
    vendor = "zqt tests";
    version = "1";
    spec_version = "1.2";
    return "fake notifications";
}

} // namespace zqt::test
