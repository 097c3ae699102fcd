#include "control/ServiceManager.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <signal.h>
#include <unistd.h>
#include <utility>

namespace zqt {

namespace {

// Size of the blocks readLog reads backwards, in bytes.
constexpr qint64 kLogBlock = 64 * 1024;

// The process runShell starts: bash in a session and process group of its own, so that it neither depends on the
// program nor gets the signals meant for the program's group (Ctrl+C in the terminal the program was started
// from, that terminal closing).
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

void ServiceManager::runShell(const QString& command, const Environment& env, Completion done) {
    auto* process = new ScriptProcess(this);
    process->setProgram(m_shell);
    process->setArguments({QStringLiteral("-lc"), command});
    process->setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (auto it = env.begin(); it != env.end(); ++it)
        environment.insert(it.key(), it.value());
    process->setProcessEnvironment(environment);

    // Exactly one of `finished` and `errorOccurred(FailedToStart)` arrives; whichever does takes the completion.
    auto finish = std::make_shared<Completion>(std::move(done));
    ++m_running;
    // QProcess reports the exit as soon as bash is gone and drains what the pipe holds then; it does not wait for
    // an end of file that a daemon inheriting the pipe could hold back forever.
    connect(process, &QProcess::finished, this, [this, process, finish] {
        const QByteArray output = process->readAll();
        process->deleteLater();
        --m_running;
        if (const Completion f = std::exchange(*finish, nullptr))
            f(QString::fromUtf8(output));
    });
    connect(process, &QProcess::errorOccurred, this, [this, process, finish](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        process->deleteLater();
        --m_running;
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
    runShell(stopCommand(), {{QStringLiteral("ZQT_HOME"), home}}, std::move(done));
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
    QFile file(home + QStringLiteral("/storage/web.pid"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const std::optional<qint32> pid = parsePid(file.readAll());
    if (!pid || *pid <= 0)
        return false;
    // Signal 0 probes existence and permission without delivering anything; EPERM counts as not running.
    return ::kill(static_cast<pid_t>(*pid), 0) == 0;
}

QString ServiceManager::readLog(const QString& home, const QString& name) {
    const QString path = home + QStringLiteral("/storage/logs/") + name + QStringLiteral(".log");
    const QString notFound = QStringLiteral("No log found: ") + path;
    // Only a regular file: opening a FIFO would wait for a writer, and a device may never end.
    if (!QFileInfo(path).isFile())
        return notFound;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return notFound;

    // Walk back from the end in blocks, counting non-empty lines, until kLogLines of them are complete (the
    // line feed before the oldest is seen), the start of the file is reached, or kLogMaxBytes have been read.
    const qint64 size = file.size();
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
    if (truncated) {
        // Cut at a character boundary: drop the continuation bytes of a character that began before the window.
        qsizetype skip = 0;
        while (skip < 3 && skip < text.size() && (static_cast<unsigned char>(text[skip]) & 0xC0) == 0x80)
            ++skip;
        text.remove(0, skip);
    }

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
    return QString::fromUtf8(joined);
}

} // namespace zqt
