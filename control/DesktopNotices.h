#pragma once

#include "api/Records.h"

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <functional>

namespace zqt {

class Settings;

// One thing the operator should hear about while looking elsewhere.
struct DesktopNotice {
    enum class Kind { EngineOffline, EngineOnline, ScriptError, OrderRejected, PositionClosed };
    Kind kind = Kind::EngineOffline;
    // The same for a notice and every repeat merged into it.
    quint64 id = 0;
    // How many times it has happened since it was first shown (1, or more for a merged repeat).
    int count = 1;
    QString summary;
    QString body;
    friend bool operator==(const DesktopNotice&, const DesktopNotice&) = default;
};

// Decides which desktop notices to raise from what the control side and the terminal see: the engine went offline
// while nobody stopped it (the pid check turned false outside a stop), it is back online after that, a start or
// stop script printed an error line, the engine rejected an order, a fill closed a position. A notice that repeats
// within kMergeWindowMs of its first showing is merged into it (same id, a higher count, a body that says so).
// While the "Desktop Notifications" setting is off nothing is raised, but what is known (the newest order and
// fill, an offline nobody asked for) still follows the engine. Shows nothing itself (see DesktopNotifier); holds
// no secret; the texts are the engine's plain words, bounded. Main thread only.
class DesktopNotices final : public QObject {
    Q_OBJECT

public:
    // Milliseconds from a steady clock.
    using Clock = std::function<qint64()>;

    // `settings` must outlive the object; `clock` defaults to a monotonic one.
    explicit DesktopNotices(const Settings& settings, Clock clock = {}, QObject* parent = nullptr);

    // The pid check's new value; `byStop` when a stop script's run set it.
    void runStateChanged(bool running, bool byStop);
    // A start (or stop) script finished with `output`.
    void scriptFinished(bool start, const QString& output);
    // The terminal's orders and recent fills as read now. The first list after construction or resetAccount()
    // is what was there before: only rows with a higher id than any seen are new.
    void ordersRead(const QList<OrderRow>& orders);
    void fillsRead(const QList<FillRow>& fills);
    // Another sign-in: the next lists start again from what they hold.
    void resetAccount();

    // The first line of a script's output that reports an error: one holding ERROR, FATAL or CRITICAL as a word
    // (see LogFilter::severity), or the program's own "Failed to run: " and "ZQT_HOME not found: " lines. Empty
    // when there is none.
    static QString errorLine(const QString& output);

    static constexpr qint64 kMergeWindowMs = 30000;
    // Longest text taken from outside into a notice, in characters.
    static constexpr qsizetype kMaxQuotedLength = 200;

signals:
    void raised(const zqt::DesktopNotice& notice);

private:
    // Raises a notice, or merges it into the one shown under `key` less than kMergeWindowMs ago. `pnl` is added
    // up over merged position closes.
    void raise(DesktopNotice::Kind kind, const QString& key, const QString& summary, const QString& body,
               double pnl = 0);
    bool enabled() const;

    struct Shown {
        quint64 id = 0;
        qint64 at = 0;
        int count = 0;
        double pnl = 0;
    };

    const Settings& m_settings;
    Clock m_clock;
    QHash<QString, Shown> m_shown;
    quint64 m_nextId = 1;
    bool m_unexpectedlyOffline = false;
    bool m_ordersKnown = false;
    std::int64_t m_lastOrderId = 0;
    bool m_fillsKnown = false;
    std::int64_t m_lastFillId = 0;
};

} // namespace zqt

Q_DECLARE_METATYPE(zqt::DesktopNotice)
