#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>

#include <functional>

namespace zqt {

// The desktop's light or dark preference, as the freedesktop settings portal publishes it
// (org.freedesktop.appearance "color-scheme": 0 no preference, 1 dark, 2 light). start() asks once, without
// waiting (ReadOne, then the older Read when the portal lacks it); the answer and every later SettingChanged
// signal land in prefersDark. No portal, an error, an answer that is not a number, or no answer within the
// timeout all mean light.
class DesktopColorScheme final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kService = "org.freedesktop.portal.Desktop";
    static constexpr const char* kPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* kInterface = "org.freedesktop.portal.Settings";
    static constexpr const char* kNamespace = "org.freedesktop.appearance";
    static constexpr const char* kKey = "color-scheme";
    // Longest wait for the portal's answer, in ms.
    static constexpr int kTimeoutMs = 2000;

    // `bus` gives the connection to ask on (the session bus in the program); its first call may wait for the bus
    // daemon, so it is made off the UI thread once, and again on it once it has connected.
    explicit DesktopColorScheme(std::function<QDBusConnection()> bus = &QDBusConnection::sessionBus,
                                int timeoutMs = kTimeoutMs, QObject* parent = nullptr);

    // Reaches the bus, subscribes to changes and asks for the current value. Returns at once.
    void start();

    bool prefersDark() const { return m_dark; }
    // The first answer (or its failure) has arrived.
    bool answered() const { return m_answered; }

signals:
    void prefersDarkChanged(bool dark);
    void answeredChanged();

private slots:
    void onSettingChanged(const QString& space, const QString& key, const QDBusVariant& value);

private:
    void subscribeAndRead();
    void read(const char* method);
    void setDark(bool dark);
    void finishRead();

    std::function<QDBusConnection()> m_connect;
    QDBusConnection m_bus{QString()};
    int m_timeoutMs;
    bool m_dark = false;
    bool m_answered = false;
    // A change signal arrived before the first answer: the answer is older and is dropped.
    bool m_changeSeen = false;
};

} // namespace zqt
