#include "control/LogFollower.h"

#include "control/LogLines.h"
#include "control/ServiceManager.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zqt {

namespace {

class FileHandle final {
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// Reads `length` bytes at `offset`; fewer when the file ends sooner (it was cut meanwhile).
QByteArray readAt(int fd, qint64 offset, qint64 length) {
    QByteArray bytes(length, Qt::Uninitialized);
    qint64 got = 0;
    while (got < length) {
        const ssize_t n = ::pread(fd, bytes.data() + got, static_cast<size_t>(length - got), offset + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    return bytes;
}

// The length of `bytes` without a UTF-8 character cut off at its end.
qsizetype wholeCharacters(QByteArrayView bytes) {
    const qsizetype n = bytes.size();
    for (qsizetype back = 1; back <= 4 && back <= n; ++back) {
        const auto c = static_cast<unsigned char>(bytes[n - back]);
        if ((c & 0xC0) == 0x80)
            continue; // a continuation byte: look further back for the lead byte
        const int needed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return needed > back ? n - back : n;
    }
    return n;
}

} // namespace

LogFollower::LogFollower(QObject* parent) : QObject(parent), m_watcher(new QFileSystemWatcher(this)) {
    qRegisterMetaType<zqt::LogChunk>();
    m_poll.setInterval(kPollMs);
    m_gap.setSingleShot(true);
    connect(&m_poll, &QTimer::timeout, this, &LogFollower::onChanged);
    connect(&m_gap, &QTimer::timeout, this, &LogFollower::onChanged);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &LogFollower::onChanged);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &LogFollower::onChanged);
}

// The watchers of reads still running are children: they go first and take their connections with them.
LogFollower::~LogFollower() = default;

void LogFollower::follow(const QString& path, const LogPosition& from) {
    stop();
    m_path = path;
    m_position = from;
    m_following = true;
    watch();
    m_poll.start();
    // The file may have grown since `from` was read.
    onChanged();
}

void LogFollower::stop() {
    ++m_ticket;
    m_following = false;
    m_reading = false;
    m_changedWhileReading = false;
    m_poll.stop();
    m_gap.stop();
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
}

void LogFollower::watch() {
    // A file renamed away or deleted drops out of the watcher; its successor is added once it exists. The folder
    // reports files created and renamed in it.
    if (!m_watcher->files().contains(m_path) && QFileInfo::exists(m_path))
        m_watcher->addPath(m_path);
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!m_watcher->directories().contains(folder) && QFileInfo::exists(folder))
        m_watcher->addPath(folder);
}

void LogFollower::onChanged() {
    if (!m_following)
        return;
    if (m_reading) {
        m_changedWhileReading = true;
        return;
    }
    if (m_gap.isActive())
        return;
    const qint64 since = m_sinceRead.isValid() ? m_sinceRead.elapsed() : kMinReadGapMs;
    if (since < kMinReadGapMs)
        m_gap.start(static_cast<int>(kMinReadGapMs - since));
    else
        startRead();
}

void LogFollower::startRead() {
    m_reading = true;
    m_changedWhileReading = false;
    m_sinceRead.start();
    const quint64 ticket = m_ticket;
    auto* watcher = new QFutureWatcher<LogChunk>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, ticket] {
        watcher->deleteLater();
        if (ticket != m_ticket)
            return; // stopped or started again meanwhile
        m_reading = false;
        const LogChunk chunk = watcher->result();
        m_position = chunk.position;
        watch();
        if (!chunk.isEmpty())
            emit chunkRead(chunk);
        if (m_changedWhileReading && m_ticket == ticket)
            onChanged();
    });
    watcher->setFuture(QtConcurrent::run(&LogFollower::readFrom, m_path, m_position));
}

LogChunk LogFollower::readFrom(const QString& path, const LogPosition& from) {
    LogChunk chunk;
    chunk.position = from;
    // Missing (renamed away and not created again yet) or not a regular file: nothing for now.
    const FileHandle file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.fd() < 0)
        return chunk;
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode))
        return chunk;
    const auto device = static_cast<quint64>(st.st_dev);
    const auto inode = static_cast<quint64>(st.st_ino);
    const qint64 size = st.st_size;

    const bool sameFile = from.hasFile() && from.device == device && from.inode == inode;
    if (!sameFile || size < from.size) {
        // Another file, or this one cut: read again from its tail, as a refresh would.
        const ServiceManager::LogTail tail = ServiceManager::readLogTail(path);
        if (!tail.found)
            return chunk;
        chunk.start = sameFile ? LogChunk::Start::Truncated : LogChunk::Start::Replaced;
        chunk.position = tail.end;
        chunk.lines = LogLines::displayLines(tail.text);
        if (tail.end.offset < tail.end.size) {
            // The text's last line is the unfinished one.
            const qsizetype lastFeed = tail.text.lastIndexOf(u'\n');
            chunk.openPieces = static_cast<int>(LogLines::displayLines(tail.text.mid(lastFeed + 1)).size());
        }
        return chunk;
    }
    if (size == from.size)
        return chunk;

    qint64 begin = from.offset;
    if (size - begin > kMaxReadBytes) {
        chunk.start = LogChunk::Start::Skipped;
        begin = size - kMaxReadBytes;
    }
    const QByteArray bytes = readAt(file.fd(), begin, size - begin);
    const qint64 end = begin + bytes.size();
    qsizetype first = 0;
    if (chunk.start == LogChunk::Start::Skipped) {
        // The bytes before the first line feed finish a line whose start was passed over.
        const qsizetype feed = bytes.indexOf('\n');
        first = feed < 0 ? 0 : feed + 1;
        chunk.skippedBytes = begin + first - from.offset;
    }

    const qsizetype lastFeed = bytes.lastIndexOf('\n');
    qint64 offset = begin + first;
    if (lastFeed >= first) {
        chunk.lines = LogLines::displayLines(QString::fromUtf8(bytes.constData() + first, lastFeed - first));
        offset = begin + lastFeed + 1;
    }
    const QByteArrayView rest = QByteArrayView(bytes).sliced(lastFeed >= first ? lastFeed + 1 : first);
    if (!rest.isEmpty()) {
        if (rest.size() >= kMaxReadBytes) {
            // A whole read without a line feed: taken as a line of its own, or the follower would never move on.
            const qsizetype whole = wholeCharacters(rest);
            chunk.lines += LogLines::displayLines(QString::fromUtf8(rest.first(whole)));
            offset += whole;
        } else {
            const QStringList open = LogLines::displayLines(QString::fromUtf8(rest));
            chunk.lines += open;
            chunk.openPieces = static_cast<int>(open.size());
        }
    }
    chunk.position = {device, inode, offset, end};
    return chunk;
}

} // namespace zqt
