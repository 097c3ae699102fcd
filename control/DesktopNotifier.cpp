#include "control/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace zqt {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

// Popup ids remembered for merged repeats.
constexpr int kRememberedPopups = 64;

QDBusMessage call(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {
    qRegisterMetaType<zqt::DesktopNotice>();
}

// Pending calls and the bus check report to watchers that are children: they go first, so nothing arrives later.
DesktopNotifier::~DesktopNotifier() = default;

QString DesktopNotifier::bodyFor(const QString& text, bool serviceReadsMarkup) {
    return serviceReadsMarkup ? text.toHtmlEscaped() : text;
}

void DesktopNotifier::show(const DesktopNotice& notice) {
    if (m_bus == Bus::Missing) {
        emit failed(notice.id);
        return;
    }
    if (m_bus == Bus::Connected && m_capabilitiesKnown) {
        send(notice);
        return;
    }
    m_waiting.append(notice);
    while (m_waiting.size() > kMaxWaiting)
        emit failed(m_waiting.takeFirst().id);
    if (m_bus == Bus::Unknown)
        connectBus();
    else if (m_bus == Bus::Connected)
        askCapabilities();
}

void DesktopNotifier::connectBus() {
    m_bus = Bus::Connecting;
    // Reaching the bus the first time waits for the bus daemon's answer: not on this thread.
    auto* watcher = new QFutureWatcher<bool>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        watcher->deleteLater();
        if (watcher->result()) {
            m_bus = Bus::Connected;
            askCapabilities();
            return;
        }
        m_bus = Bus::Missing;
        reportOnce(QStringLiteral("no session bus (%1)").arg(QDBusConnection::sessionBus().lastError().message()));
        for (const DesktopNotice& n : std::exchange(m_waiting, {}))
            emit failed(n.id);
    });
    watcher->setFuture(QtConcurrent::run([] { return QDBusConnection::sessionBus().isConnected(); }));
}

void DesktopNotifier::askCapabilities() {
    if (m_askingCapabilities)
        return;
    m_askingCapabilities = true;
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call("GetCapabilities"), kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        m_askingCapabilities = false;
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isError()) {
            // No notification service now; the next notice asks again.
            reportOnce(QStringLiteral("no notification service (%1)").arg(reply.error().message()));
            for (const DesktopNotice& n : std::exchange(m_waiting, {}))
                emit failed(n.id);
            return;
        }
        m_markup = reply.value().contains(QStringLiteral("body-markup"));
        m_capabilitiesKnown = true;
        flush();
    });
}

void DesktopNotifier::flush() {
    for (const DesktopNotice& n : std::exchange(m_waiting, {}))
        send(n);
}

void DesktopNotifier::send(const DesktopNotice& notice) {
    QDBusMessage message = call(QStringLiteral("Notify"));
    const uint replaces = notice.count > 1 ? m_serverIds.value(notice.id, 0) : 0;
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopEntry));
    // An engine gone without a Stop is critical; everything else normal.
    const uchar urgency = notice.kind == DesktopNotice::Kind::EngineOffline ? 2 : 1;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(urgency));
    message << QString::fromLatin1(kAppName) << replaces << QString::fromLatin1(kDesktopEntry) << notice.summary
            << bodyFor(notice.body, m_markup) << QStringList() << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, kCallTimeoutMs), this);
    const quint64 id = notice.id;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, id](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            reportOnce(QStringLiteral("the notification service failed (%1)").arg(reply.error().message()));
            // It may be gone: ask again before the next notice.
            m_capabilitiesKnown = false;
            emit failed(id);
            return;
        }
        if (!m_serverIds.contains(id)) {
            m_serverIdOrder.append(id);
            if (m_serverIdOrder.size() > kRememberedPopups)
                m_serverIds.remove(m_serverIdOrder.takeFirst());
        }
        m_serverIds.insert(id, reply.value());
        emit delivered(id, reply.value());
    });
}

void DesktopNotifier::reportOnce(const QString& what) {
    if (std::exchange(m_reported, true))
        return;
    qWarning("Desktop notifications are unavailable: %s", qUtf8Printable(what));
}

} // namespace zqt
