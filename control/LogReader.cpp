#include "control/LogReader.h"

#include "control/LogFollower.h"
#include "control/LogLines.h"
#include "control/Observable.h"
#include "control/ServiceManager.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace zqt {

namespace {

// A refresh's result, split into display lines on the pool thread.
struct Tail {
    QString path;
    ServiceManager::LogTail tail;
    QStringList lines;
    int openPieces = 0;
};

Tail readTail(const QString& path) {
    Tail t{path, ServiceManager::readLogTail(path), {}, 0};
    t.lines = LogLines::displayLines(t.tail.text);
    if (t.tail.found && t.tail.end.offset < t.tail.end.size) {
        const qsizetype lastFeed = t.tail.text.lastIndexOf(u'\n');
        t.openPieces = static_cast<int>(LogLines::displayLines(QStringView(t.tail.text).sliced(lastFeed + 1)).size());
    }
    return t;
}

} // namespace

LogReader::LogReader(QObject* parent)
    : QObject(parent), m_selectedLog(QStringLiteral("web")), m_lines(new LogLines(this)),
      m_follower(new LogFollower(this)) {
    connect(m_follower, &LogFollower::chunkRead, this, &LogReader::onChunk);
}

// The watchers are children: they go first and take their connections with them, so a read still running
// delivers to nobody.
LogReader::~LogReader() = default;

void LogReader::setSelectedLog(const QString& value) {
    assignAndNotify(this, m_selectedLog, value, &LogReader::selectedLogChanged);
}

void LogReader::setLogOutput(const QString& value) {
    assignAndNotify(this, m_logOutput, value, &LogReader::logOutputChanged);
}

void LogReader::refresh(const QString& home) {
    const quint64 ticket = ++m_ticket;
    m_reading = true;
    // Following goes on from the new tail once it has landed.
    m_follower->stop();
    auto* watcher = new QFutureWatcher<Tail>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, ticket] {
        watcher->deleteLater();
        if (ticket != m_ticket)
            return; // superseded by a newer refresh
        m_reading = false;
        const Tail t = watcher->result();
        m_hasShown = true;
        m_shownPath = t.path;
        m_shownPosition = t.tail.end;
        setLogOutput(t.tail.text);
        m_lines->reset(t.lines, t.openPieces);
        if (m_following)
            m_follower->follow(m_shownPath, m_shownPosition);
        emit readFinished();
    });
    watcher->setFuture(QtConcurrent::run(&readTail, ServiceManager::logPath(home, m_selectedLog)));
}

void LogReader::setFollowing(bool on) {
    if (on == m_following)
        return;
    m_following = on;
    if (!on) {
        if (m_follower->isFollowing())
            m_shownPosition = m_follower->position();
        m_follower->stop();
    } else if (m_hasShown && !m_reading) {
        m_follower->follow(m_shownPath, m_shownPosition);
    }
    emit followingChanged();
}

void LogReader::onChunk(const LogChunk& chunk) {
    QStringList lines;
    switch (chunk.start) {
    case LogChunk::Start::Continued:
        break;
    case LogChunk::Start::Truncated:
        lines << QString::fromLatin1(kTruncatedLine);
        break;
    case LogChunk::Start::Replaced:
        // m_shownPosition is still where the previous read ended.
        lines << QString::fromLatin1(m_shownPosition.hasFile() ? kReplacedLine : kAppearedLine);
        break;
    case LogChunk::Start::Skipped:
        lines << QString::fromLatin1(kSkippedLine)
                     .arg(static_cast<double>(chunk.skippedBytes) / (1024.0 * 1024.0), 0, 'f', 1);
        break;
    }
    m_shownPosition = chunk.position;
    lines += chunk.lines;
    m_lines->append(lines, chunk.openPieces, chunk.start == LogChunk::Start::Continued);
}

} // namespace zqt
