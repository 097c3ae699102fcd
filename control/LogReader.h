#pragma once

#include "control/LogPosition.h"

#include <QObject>
#include <QString>

namespace zqt {

class LogFollower;
class LogLines;
struct LogChunk;

// The logs view's state: which of the engine's logs is chosen, the text last read from it, and the lines the view
// shows: that text and, while following, what the file has had added since. The tail is read on a pool thread (up
// to 1 MiB, see ServiceManager::readLog) and lands on this object's thread; so do the follower's reads.
class LogReader final : public QObject {
    Q_OBJECT

public:
    explicit LogReader(QObject* parent = nullptr);
    ~LogReader() override;

    // "web", "worker", "rm1", "marketing" or "portal"; "web" at first.
    QString selectedLog() const { return m_selectedLog; }
    QString logOutput() const { return m_logOutput; }
    void setSelectedLog(const QString& value);
    void setLogOutput(const QString& value);

    // Starts reading the tail of the selected log under `home` and returns at once; logOutput takes the text and
    // lines() start again from it when the read is done. A newer refresh supersedes one still reading, whose text
    // is then dropped; a read outliving this object reports to nobody.
    void refresh(const QString& home);
    // A refresh is still reading.
    bool isReading() const { return m_reading; }

    // The lines shown: the last refresh's text, then what following has added.
    LogLines& lines() { return *m_lines; }
    const LogLines& lines() const { return *m_lines; }

    // While following, lines written to the shown log are added to lines() as they come, from where the last
    // refresh (or the last follow) stopped; a file cut short or put in place of it is read again from its end,
    // under a line saying so. Off at first.
    bool following() const { return m_following; }
    void setFollowing(bool on);
    const LogFollower& follower() const { return *m_follower; }

    // Lines put among the log's own where following starts again.
    static constexpr char kTruncatedLine[] = "[The log was truncated; reading it again from its end.]";
    static constexpr char kReplacedLine[] = "[The log was replaced by a new file; reading that from its end.]";
    static constexpr char kAppearedLine[] = "[The log now exists; reading it from its end.]";
    // %1: how many MiB were passed over.
    static constexpr char kSkippedLine[] = "[%1 MiB arrived at once and were passed over; the last MiB follows.]";

signals:
    void selectedLogChanged();
    void logOutputChanged();
    // The latest refresh has delivered its text (after logOutput was set, changed or not, and lines() reset).
    void readFinished();
    void followingChanged();

private:
    void onChunk(const LogChunk& chunk);

    QString m_selectedLog;
    QString m_logOutput;
    quint64 m_ticket = 0; // numbers the refreshes; only the newest may deliver
    bool m_reading = false;
    bool m_following = false;
    bool m_hasShown = false;           // a refresh has landed
    QString m_shownPath;               // the log the last refresh read; empty before the first
    LogPosition m_shownPosition;       // where following goes on from when it is switched on
    LogLines* m_lines = nullptr;       // child
    LogFollower* m_follower = nullptr; // child
};

} // namespace zqt
