#pragma once

#include "control/LogPosition.h"

#include <QByteArrayView>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QProcess;

namespace zqt {

// Runs the engine's scripts and reads its pid file and logs. Scripts run asynchronously on QProcess, with their
// output going to a file of their own (see runShell); the pid check is a bounded synchronous read (at most
// kPidFileMaxBytes of a regular file) and the log tail is read off the UI thread by LogReader.
class ServiceManager final : public QObject {
    Q_OBJECT
public:
    using Environment = QMap<QString, QString>;
    using Completion = std::function<void(const QString& output)>;

    explicit ServiceManager(QObject* parent = nullptr);
    // Returns at once: a script still running goes on by itself, and its completion is never called.
    ~ServiceManager() override;

    // Runs `command` through `/bin/bash -lc` with the program's environment plus `env` (an entry of `env`
    // replaces an inherited variable) and without ZQT_OPERATOR_PASS, the window's own secret. Both output streams
    // go, in the order written, to a new file in outputFolder() named after the UTC time and `label` (the last
    // kKeptOutputs files are kept), never to a pipe: a script, or an engine it starts, can go on printing after
    // the window has gone. Once bash has exited, `done` gets the last kOutputTailBytes of that file (read off
    // this thread), decoded as UTF-8 with invalid bytes replaced, under kOutputCutNote when cut; or
    // "Failed to run: <reason>" when bash could not be started. The exit status is not looked at. `done` runs on
    // this object's thread, never inside this call.
    // bash runs in a session and process group of its own, apart from the program's.
    void runShell(const QString& command, const Environment& env, Completion done,
                  const QString& label = QStringLiteral("script"));

    // Runs <home>/scripts/app_down.sh with ZQT_HOME = `home` only; "ZQT_HOME not found: <home>" when no entry
    // exists at `home`.
    void stop(const QString& home, Completion done);

    // The shell that runs the commands: /bin/bash unless replaced (tests use it to make the launch fail).
    QString shell() const { return m_shell; }
    void setShell(const QString& program) { m_shell = program; }

    // Where the scripts' output files go: $XDG_STATE_HOME/zqt-desktop/script-output ($HOME/.local/state/... when
    // XDG_STATE_HOME is unset or empty), created owner-only, unless replaced.
    QString outputFolder() const;
    void setOutputFolder(const QString& folder) { m_outputFolder = folder; }
    static constexpr int kKeptOutputs = 10;
    static constexpr qint64 kOutputTailBytes = 64 * 1024;
    // First line of a tail that does not start at the beginning of the output; %1 is the output file.
    static constexpr char kOutputCutNote[] = "[Only the last 64 KiB of the output is shown; all of it is in %1]";

    // The pid check: <home>/storage/web.pid is a regular file of at most kPidFileMaxBytes holding a positive signed
    // 32-bit decimal number (blanks and line breaks around it allowed), kill(pid, 0) succeeds, and that process
    // is the one the file names (see isProcessOfPidFile).
    static bool isRunning(const QString& home);
    static constexpr qint64 kPidFileMaxBytes = 64 * 1024;
    // Whether process `pid` can be the one a pid file last modified at `pidFileModifiedNs` (ns since the epoch,
    // UTC) was written for: it belongs to this user (its real uid is ours), and it started no later than
    // kPidReuseSlackMs after the file was written; a process that started after that has taken over a number
    // the engine left behind. False when /proc has no such process.
    static bool isProcessOfPidFile(qint32 pid, qint64 pidFileModifiedNs);
    // Allowance for the coarse clocks behind a file's time stamp and a process's start time.
    static constexpr qint64 kPidReuseSlackMs = 1000;
    // The pid in a pid file's text, or nothing when it is not exactly an optionally signed decimal 32-bit
    // integer after trimming blanks and line breaks. Zero and negatives are returned as parsed.
    static std::optional<qint32> parsePid(QByteArrayView text);

    // The last 200 non-empty lines of <home>/storage/logs/<name>.log joined by "\n" (no final line feed), or
    // "No log found: <path>" when it is not a regular file that can be opened. Reads the file backwards from its
    // end only as far as those lines reach, and never more than the last kLogMaxBytes: when those bytes hold
    // fewer than 200 whole lines, the text starts at the first whole UTF-8 character in them, under a first line
    // kLogTruncatedNote. Blocking file I/O of up to 1 MiB: call it off the UI thread (LogReader does).
    static QString readLog(const QString& home, const QString& name);
    // <home>/storage/logs/<name>.log
    static QString logPath(const QString& home, const QString& name);
    // What readLog reads from the log at `path`: the text, whether a regular file was read, and where a follower
    // of the file goes on from (the unfinished last line, when the file does not end in a line feed, is read
    // again from its start once it grows).
    struct LogTail {
        QString text;
        bool found = false;
        LogPosition end;
    };
    static LogTail readLogTail(const QString& path);
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

    // A new owner-only file for one run's output; empty, with `error` set, when none could be made.
    QString createOutputFile(const QString& label, QString& error) const;

    QString m_shell = QStringLiteral("/bin/bash");
    QString m_outputFolder;
};

} // namespace zqt
