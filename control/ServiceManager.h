#pragma once

#include <QByteArrayView>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QProcess;

namespace zqt {

// Runs the engine's scripts and reads its pid file and logs. Scripts run asynchronously on QProcess; the pid
// check and the log tail are synchronous (a small read, and at most 1 MiB, which LogReader does on a pool thread).
class ServiceManager final : public QObject {
    Q_OBJECT
public:
    using Environment = QMap<QString, QString>;
    using Completion = std::function<void(const QString& output)>;

    explicit ServiceManager(QObject* parent = nullptr);
    // Returns at once: a script still running goes on by itself, and its completion is never called.
    ~ServiceManager() override;

    // Runs `command` through `/bin/bash -lc` with the program's environment plus `env` (an entry of `env`
    // replaces an inherited variable) and both output streams joined. `done` gets everything printed, decoded
    // as UTF-8 with invalid bytes replaced, once bash has exited; or "Failed to run: <reason>" when bash could
    // not be started. The exit status is not looked at. `done` runs on this object's thread, never inside
    // this call.
    // bash runs in a session and process group of its own, apart from the program's.
    void runShell(const QString& command, const Environment& env, Completion done);

    // Runs <home>/scripts/app_down.sh with ZQT_HOME = `home` only; "ZQT_HOME not found: <home>" when no entry
    // exists at `home`.
    void stop(const QString& home, Completion done);

    // The shell that runs the commands: /bin/bash unless replaced (tests use it to make the launch fail).
    QString shell() const { return m_shell; }
    void setShell(const QString& program) { m_shell = program; }

    // Whether a script started by this object still runs.
    bool isBusy() const { return m_running > 0; }

    // The pid check: <home>/storage/web.pid holds a positive signed 32-bit decimal number (blanks and line
    // breaks around it allowed) and kill(pid, 0) succeeds.
    static bool isRunning(const QString& home);
    // The pid in a pid file's text, or nothing when it is not exactly an optionally signed decimal 32-bit
    // integer after trimming blanks and line breaks. Zero and negatives are returned as parsed.
    static std::optional<qint32> parsePid(QByteArrayView text);

    // The last 200 non-empty lines of <home>/storage/logs/<name>.log joined by "\n" (no final line feed), or
    // "No log found: <path>" when it is not a regular file that can be opened. Reads the file backwards from its
    // end only as far as those lines reach, and never more than the last kLogMaxBytes: when those bytes hold
    // fewer than 200 whole lines, the text starts at the first whole UTF-8 character in them, under a first line
    // kLogTruncatedNote. Blocking file I/O of up to 1 MiB: call it off the UI thread (LogReader does).
    static QString readLog(const QString& home, const QString& name);
    static constexpr int kLogLines = 200;
    static constexpr qint64 kLogMaxBytes = 1024 * 1024;
    static constexpr char kLogTruncatedNote[] = "[Only the last 1 MiB of this log is shown.]";

    // The commands run through the shell. The home is never part of them: they change to $ZQT_HOME, which the
    // start and stop environments carry, so any folder name stays data.
    static QString startCommand();
    static QString stopCommand();

private:
    // Hands `output` to `done` from the event loop, so no completion ever runs inside the call that asked.
    void complete(const Completion& done, const QString& output);

    QString m_shell = QStringLiteral("/bin/bash");
    int m_running = 0;
};

} // namespace zqt
