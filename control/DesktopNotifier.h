#pragma once

#include "control/DesktopNotices.h"

#include <QHash>
#include <QList>
#include <QObject>

class QDBusPendingCallWatcher;

namespace zqt {

// Shows desktop notices through the freedesktop notification service (org.freedesktop.Notifications on the session
// bus), each with the program's icon and its desktop entry's name; a merged repeat replaces the popup of the notice
// it repeats. Nothing here waits: the session bus is first reached on a pool thread, at the first notice, and every
// call is asynchronous. Where there is no session bus or no notification service, notices are dropped, the first
// failure is written once to the program's standard error, and nothing else happens. Main thread only.
class DesktopNotifier final : public QObject {
    Q_OBJECT

public:
    explicit DesktopNotifier(QObject* parent = nullptr);
    ~DesktopNotifier() override;

    void show(const zqt::DesktopNotice& notice);

    // The popups' application name, icon and desktop entry (the launcher file's name without ".desktop").
    static constexpr char kAppName[] = "ZQT Desktop Control";
    static constexpr char kDesktopEntry[] = "org.zqt.DesktopControl";
    // Notices kept while the bus is being reached; older ones are dropped.
    static constexpr int kMaxWaiting = 20;
    // How long a call to the service may take, in ms.
    static constexpr int kCallTimeoutMs = 5000;

    // The body as the service is to show it: plain text, escaped for a service that reads markup in bodies.
    static QString bodyFor(const QString& text, bool serviceReadsMarkup);

signals:
    // The service took a notice (for tests and diagnostics).
    void delivered(quint64 noticeId, uint serverId);
    // A notice could not be shown.
    void failed(quint64 noticeId);

private:
    enum class Bus { Unknown, Connecting, Connected, Missing };

    void connectBus();
    void askCapabilities();
    void send(const DesktopNotice& notice);
    void flush();
    void reportOnce(const QString& what);

    Bus m_bus = Bus::Unknown;
    bool m_capabilitiesKnown = false;
    bool m_askingCapabilities = false;
    bool m_markup = false;
    bool m_reported = false;
    QList<DesktopNotice> m_waiting;
    // Popup ids the service gave the newest notices, for their merged repeats.
    QHash<quint64, uint> m_serverIds;
    QList<quint64> m_serverIdOrder;
};

} // namespace zqt
