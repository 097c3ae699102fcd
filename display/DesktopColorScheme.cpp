#include "display/DesktopColorScheme.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace zqt {

namespace {

// The scheme inside a reply or signal value: ReadOne answers the value in a variant, Read wraps that variant in
// another one.
bool isDark(QVariant value) {
    for (int depth = 0;
         depth < 3 && value.canConvert<QDBusVariant>() && value.metaType() == QMetaType::fromType<QDBusVariant>();
         ++depth)
        value = qvariant_cast<QDBusVariant>(value).variant();
    if (value.metaType() != QMetaType::fromType<uint>() && value.metaType() != QMetaType::fromType<int>())
        return false;
    return value.toUInt() == 1;
}

} // namespace

DesktopColorScheme::DesktopColorScheme(std::function<QDBusConnection()> bus, int timeoutMs, QObject* parent)
    : QObject(parent), m_connect(std::move(bus)), m_timeoutMs(timeoutMs) {}

void DesktopColorScheme::start() {
    auto* watcher = new QFutureWatcher<bool>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        watcher->deleteLater();
        if (!watcher->result()) {
            finishRead();
            return;
        }
        m_bus = m_connect();
        subscribeAndRead();
    });
    watcher->setFuture(QtConcurrent::run([connectBus = m_connect] { return connectBus().isConnected(); }));
}

void DesktopColorScheme::subscribeAndRead() {
    if (!m_bus.isConnected()) {
        finishRead();
        return;
    }
    // QDBusConnection takes its slots by name only: SLOT()'s "1" and the signature without spaces. It finds the
    // parameter types by name, and Qt registers QDBusVariant's name only on the type's first use: without this the
    // subscription fails, and nothing follows the desktop, in a process that has not yet used the type.
    qRegisterMetaType<QDBusVariant>();
    m_bus.connect(QString::fromLatin1(kService), QString::fromLatin1(kPath), QString::fromLatin1(kInterface),
                  QStringLiteral("SettingChanged"), this, "1onSettingChanged(QString,QString,QDBusVariant)");
    read("ReadOne");
}

void DesktopColorScheme::read(const char* method) {
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                                       QString::fromLatin1(kInterface), QString::fromLatin1(method));
    call << QString::fromLatin1(kNamespace) << QString::fromLatin1(kKey);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, m_timeoutMs), this);
    const bool first = qstrcmp(method, "ReadOne") == 0;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, first] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        if (reply.type() == QDBusMessage::ErrorMessage) {
            // A portal older than ReadOne knows only Read.
            if (first && reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod")) {
                read("Read");
                return;
            }
            finishRead();
            return;
        }
        if (!m_changeSeen && !reply.arguments().isEmpty())
            setDark(isDark(reply.arguments().constFirst()));
        finishRead();
    });
}

void DesktopColorScheme::onSettingChanged(const QString& space, const QString& key, const QDBusVariant& value) {
    if (space != QLatin1String(kNamespace) || key != QLatin1String(kKey))
        return;
    m_changeSeen = true;
    setDark(isDark(value.variant()));
}

void DesktopColorScheme::setDark(bool dark) {
    if (dark == m_dark)
        return;
    m_dark = dark;
    emit prefersDarkChanged(dark);
}

void DesktopColorScheme::finishRead() {
    if (m_answered)
        return;
    m_answered = true;
    emit answeredChanged();
}

} // namespace zqt
