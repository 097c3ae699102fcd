#include "control/ServiceManager.h"

#include "control/SmallFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QProcess>
#include <QProcessEnvironment>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zqt {

namespace {

// Size of the blocks readLog reads backwards, in bytes.
constexpr qint64 kLogBlock = 64 * 1024;

constexpr QFileDevice::Permissions kOwnerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOwnerOnlyFolder = kOwnerOnlyFile | QFileDevice::ExeOwner;

// Drops the continuation bytes of a UTF-8 character that began before `text` (at most three).
void dropLeadingContinuationBytes(QByteArray& text) {
    qsizetype skip = 0;
    while (skip < 3 && skip < text.size() && (static_cast<unsigned char>(text[skip]) & 0xC0) == 0x80)
        ++skip;
    text.remove(0, skip);
}

// The last ServiceManager::kOutputTailBytes of a script's output file, under the note when cut. Blocking file I/O
// of at most that many bytes: runs on a pool thread.
QString readOutputTail(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return QStringLiteral("[The script's output could not be read: %1]").arg(file.errorString());
    const qint64 size = file.size();
    const qint64 from = std::max<qint64>(0, size - ServiceManager::kOutputTailBytes);
    if (!file.seek(from))
        return QStringLiteral("[The script's output could not be read: %1]").arg(file.errorString());
    QByteArray tail = file.read(ServiceManager::kOutputTailBytes);
    if (from == 0)
        return QString::fromUtf8(tail);
    dropLeadingContinuationBytes(tail);
    return QString::fromLatin1(ServiceManager::kOutputCutNote).arg(path) + u'\n' + QString::fromUtf8(tail);
}

// CLOCK_REALTIME and CLOCK_BOOTTIME now, in nanoseconds.
qint64 clockNs(clockid_t clock) {
    timespec ts{};
    ::clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

class ScriptProcess final : public QProcess {
public:
    explicit ScriptProcess(QObject* parent) : QProcess(parent) {
        setChildProcessModifier([] { ::setsid(); });
    }

    // Forgets the child without signalling it, so that destroying this object leaves the script running (QProcess
    // would otherwise kill it and wait for it).
    void release() {
        disconnect(this, nullptr, nullptr, nullptr);
        setProcessState(QProcess::NotRunning);
    }
};

} // namespace

ServiceManager::ServiceManager(QObject* parent) : QObject(parent) {}

ServiceManager::~ServiceManager() {
    // The engine outlives the program, and so does a start or stop that is still under way: the script finishes by
    // itself in its own session (ending it could leave the engine half-started), and nobody is left to hear its
    // result. Every QProcess child is one that runShell made.
    for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly))
        static_cast<ScriptProcess*>(process)->release();
}

QString ServiceManager::outputFolder() const {
    if (!m_outputFolder.isEmpty())
        return m_outputFolder;
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/zqt-desktop/script-output");
}

QString ServiceManager::createOutputFile(const QString& label, QString& error) const {
    const QString folder = outputFolder();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("cannot create the folder %1").arg(folder);
        return {};
    }
    QFile::setPermissions(folder, kOwnerOnlyFolder);
    // Names sort by time: the program's own time stamp and label only, never text from outside.
    const QString stem =
        folder + u'/' + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss.zzz")) + u'-' + label;
    QString path;
    for (int n = 1; n < 100 && path.isEmpty(); ++n) {
        const QString candidate = stem + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".log");
        QFile file(candidate);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnlyFile))
            path = candidate;
        else if (!file.exists())
            error = file.errorString();
    }
    if (path.isEmpty()) {
        if (error.isEmpty())
            error = QStringLiteral("no free file name in %1").arg(folder);
        return {};
    }

    QStringList outputs = QDir(folder).entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
    outputs.removeOne(QFileInfo(path).fileName());
    for (qsizetype i = 0; i + (kKeptOutputs - 1) < outputs.size(); ++i)
        QFile::remove(folder + u'/' + outputs.at(i));
    return path;
}

void ServiceManager::runShell(const QString& command, const Environment& env, Completion done, const QString& label) {
    auto* process = new ScriptProcess(this);
    process->setProgram(m_shell);
    process->setArguments({QStringLiteral("-lc"), command});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (auto it = env.begin(); it != env.end(); ++it)
        environment.insert(it.key(), it.value());
    // The operator passcode opens the window's lock; neither the scripts nor the engine they start need it.
    environment.remove(QStringLiteral("ZQT_OPERATOR_PASS"));
    process->setProcessEnvironment(environment);

    // Both streams share one open file, so the text interleaves as written. A file never closes on the writer the
    // way a pipe does when its reader goes, so a script outlives the window without dying of SIGPIPE at its next
    // line.
    QString error;
    const QString outputPath = createOutputFile(label, error);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardOutputFile(outputPath.isEmpty() ? QProcess::nullDevice() : outputPath, QIODevice::Append);
    process->setStandardInputFile(QProcess::nullDevice());

    // Exactly one of `finished` and `errorOccurred(FailedToStart)` arrives; whichever does takes the completion.
    auto finish = std::make_shared<Completion>(std::move(done));
    connect(process, &QProcess::finished, this, [this, process, finish, outputPath, error] {
        process->deleteLater();
        if (outputPath.isEmpty()) {
            if (const Completion f = std::exchange(*finish, nullptr))
                f(QStringLiteral("[The script's output could not be kept: %1]").arg(error));
            return;
        }
        // The watcher is a child: a manager destroyed before the read ends takes the delivery with it.
        auto* watcher = new QFutureWatcher<QString>(this);
        connect(watcher, &QFutureWatcherBase::finished, this, [watcher, finish] {
            watcher->deleteLater();
            if (const Completion f = std::exchange(*finish, nullptr))
                f(watcher->result());
        });
        watcher->setFuture(QtConcurrent::run(readOutputTail, outputPath));
    });
    connect(process, &QProcess::errorOccurred, this, [this, process, finish](QProcess::ProcessError processError) {
        if (processError != QProcess::FailedToStart)
            return;
        process->deleteLater();
        if (const Completion f = std::exchange(*finish, nullptr))
            complete(f, QStringLiteral("Failed to run: ") + process->errorString());
    });
    process->start();
}

void ServiceManager::stop(const QString& home, Completion done) {
    if (!QFileInfo::exists(home)) {
        complete(done, QStringLiteral("ZQT_HOME not found: ") + home);
        return;
    }
    runShell(stopCommand(), {{QStringLiteral("ZQT_HOME"), home}}, std::move(done), QStringLiteral("stop"));
}

void ServiceManager::complete(const Completion& done, const QString& output) {
    QMetaObject::invokeMethod(
        this, [done, output] { done(output); }, Qt::QueuedConnection);
}

// "--" keeps a home that begins with "-" from being read as an option of cd.
QString ServiceManager::startCommand() {
    return QStringLiteral("cd -- \"$ZQT_HOME\" && ./scripts/app_up.sh");
}

QString ServiceManager::stopCommand() {
    return QStringLiteral("cd -- \"$ZQT_HOME\" && ./scripts/app_down.sh");
}

std::optional<qint32> ServiceManager::parsePid(QByteArrayView text) {
    const QByteArrayView t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        ++i;
    }
    if (i == t.size())
        return std::nullopt;
    // Accumulate as a negative number so that INT32_MIN fits.
    qint64 value = 0;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 - (c - '0');
        if (value < std::numeric_limits<qint32>::min())
            return std::nullopt;
    }
    if (!negative) {
        value = -value;
        if (value > std::numeric_limits<qint32>::max())
            return std::nullopt;
    }
    return static_cast<qint32>(value);
}

bool ServiceManager::isRunning(const QString& home) {
    const SmallFile file = SmallFile::read(home + QStringLiteral("/storage/web.pid"), kPidFileMaxBytes);
    if (!file.ok())
        return false;
    const std::optional<qint32> pid = parsePid(file.bytes);
    if (!pid || *pid <= 0)
        return false;
    // Signal 0 probes existence and permission without delivering anything; EPERM counts as not running.
    if (::kill(static_cast<pid_t>(*pid), 0) != 0)
        return false;
    return isProcessOfPidFile(*pid, file.modifiedNs);
}

bool ServiceManager::isProcessOfPidFile(qint32 pid, qint64 pidFileModifiedNs) {
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    // Owner: the real uid, the first number of the "Uid:" line.
    const SmallFile status = SmallFile::read(proc + QStringLiteral("status"), 64 * 1024);
    if (!status.ok())
        return false;
    const qsizetype uidLine = status.bytes.indexOf("\nUid:");
    if (uidLine < 0)
        return false;
    const QList<QByteArray> uids = status.bytes.mid(uidLine + 5, 64).simplified().split(' ');
    bool ok = false;
    const uint uid = uids.front().toUInt(&ok);
    if (!ok || uid != ::getuid())
        return false;

    // Start time: field 22 of stat, in clock ticks after boot; the fields after the command name, which ends at
    // the last ')', start with the state (field 3).
    const SmallFile stat = SmallFile::read(proc + QStringLiteral("stat"), 64 * 1024);
    if (!stat.ok())
        return false;
    const qsizetype paren = stat.bytes.lastIndexOf(')');
    if (paren < 0)
        return false;
    const QList<QByteArray> fields = stat.bytes.mid(paren + 1).simplified().split(' ');
    constexpr qsizetype kStartTimeField = 22 - 3;
    if (fields.size() <= kStartTimeField)
        return false;
    const qulonglong ticks = fields.at(kStartTimeField).toULongLong(&ok);
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (!ok || ticksPerSecond <= 0)
        return false;
    // Both clocks read now carry the start from boot time over to the wall clock the file's time stamp uses.
    const qint64 sinceBootNs =
        qint64(ticks / ticksPerSecond) * 1000000000 + qint64(ticks % ticksPerSecond) * 1000000000 / ticksPerSecond;
    const qint64 startedNs = clockNs(CLOCK_REALTIME) - (clockNs(CLOCK_BOOTTIME) - sinceBootNs);
    return startedNs <= pidFileModifiedNs + kPidReuseSlackMs * 1000000;
}

QString ServiceManager::logPath(const QString& home, const QString& name) {
    return home + QStringLiteral("/storage/logs/") + name + QStringLiteral(".log");
}

QString ServiceManager::readLog(const QString& home, const QString& name) {
    return readLogTail(logPath(home, name)).text;
}

ServiceManager::LogTail ServiceManager::readLogTail(const QString& path) {
    LogTail notFound{QStringLiteral("No log found: ") + path, false, {}};
    // Only a regular file: a FIFO or a device may never end. Opened without waiting (a FIFO would wait for a
    // writer) and checked on the handle itself, so nothing put in its place meanwhile is read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return notFound;
    struct stat st {};
    QFile file;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return notFound;
    }

    // Walk back from the end in blocks, counting non-empty lines, until kLogLines of them are complete (the
    // line feed before the oldest is seen), the start of the file is reached, or kLogMaxBytes have been read.
    const qint64 size = st.st_size;
    const qint64 floor = std::max<qint64>(0, size - kLogMaxBytes);
    qint64 pos = size;
    QList<QByteArray> blocks; // newest first
    qint64 start = -1;        // file offset where the kept text begins
    int complete = 0;
    qint64 pieceLength = 0; // bytes of the line currently being walked over
    while (pos > floor && start < 0) {
        const qint64 n = std::min(kLogBlock, pos - floor);
        pos -= n;
        if (!file.seek(pos))
            return notFound;
        QByteArray block = file.read(n);
        if (block.size() != n)
            return notFound;
        for (qint64 i = n - 1; i >= 0; --i) {
            if (block[i] != '\n') {
                ++pieceLength;
                continue;
            }
            if (pieceLength > 0 && ++complete == kLogLines) {
                start = pos + i + 1;
                break;
            }
            pieceLength = 0;
        }
        blocks.append(std::move(block));
    }

    bool truncated = false;
    if (start < 0) {
        start = pos;
        if (pos > 0) {
            // The byte budget ran out. The first line read is whole when a line feed comes just before it; if it
            // is the last line needed, nothing is missing.
            char before = 0;
            const bool lineStartsHere = file.seek(pos - 1) && file.getChar(&before) && before == '\n';
            truncated = !(lineStartsHere && pieceLength > 0 && complete + 1 == kLogLines);
        }
    }

    QByteArray text;
    text.reserve(size - start);
    for (auto it = blocks.crbegin(); it != blocks.crend(); ++it)
        text.append(*it);
    text.remove(0, start - pos);
    // A follower goes on after the last line feed read; an unfinished last line is read again when it grows.
    const qsizetype lastFeed = text.lastIndexOf('\n');
    const LogPosition end{static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino),
                          lastFeed < 0 ? start : start + lastFeed + 1, size};
    if (truncated) // cut at a character boundary
        dropLeadingContinuationBytes(text);

    // Blank lines are dropped. Fewer than kLogLines lines remain only when the walk stopped early; never more,
    // as `start` was placed just after the line feed before the kLogLines-th non-empty line from the end.
    QByteArray joined;
    joined.reserve(text.size() + 64);
    if (truncated)
        joined.append(kLogTruncatedNote);
    qsizetype from = 0;
    while (from <= text.size()) {
        qsizetype to = text.indexOf('\n', from);
        if (to < 0)
            to = text.size();
        if (to > from) {
            if (!joined.isEmpty())
                joined.append('\n');
            joined.append(text.constData() + from, to - from);
        }
        from = to + 1;
    }
    return {QString::fromUtf8(joined), true, end};
}

} // namespace zqt
