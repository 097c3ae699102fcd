#pragma once

#include "control/LogPosition.h"

#include <QElapsedTimer>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class QFileSystemWatcher;

namespace zqt {

// What one read of a followed log brought: the lines written since the last read, or, when the file was
// truncated, replaced or had grown too far at once, a fresh start.
struct LogChunk {
    enum class Start {
        Continued, // the lines go on from the last read; they begin with the unfinished line, if there was one
        Truncated, // the file got smaller: its tail as readLog reads it
        Replaced,  // another file (or, after none, a file) is at the path: its tail as readLog reads it
        Skipped,   // more than kMaxReadBytes arrived at once: only lines in the last kMaxReadBytes
    };
    Start start = Start::Continued;
    // Where the next read begins.
    LogPosition position;
    // Non-empty lines, long ones in pieces of at most kDisplayLineLength characters; the last `openPieces` of
    // them are the unfinished last line, which the next read brings again.
    QStringList lines;
    int openPieces = 0;
    // Bytes passed over by a Skipped start.
    qint64 skippedBytes = 0;

    // Nothing new: the file is as it was, or there is none (yet) at the path.
    bool isEmpty() const { return start == Start::Continued && lines.isEmpty(); }
};

// Follows one log file as it grows: watches it (and its folder, for a file renamed away or created) and polls it
// once a second for file systems that report no changes, and reads what was appended from the last position on a
// pool thread, at most kMaxReadBytes at a time and at most every kMinReadGapMs while changes keep coming. Each
// read that brings something is handed over by chunkRead, in order, on this object's thread.
class LogFollower final : public QObject {
    Q_OBJECT

public:
    explicit LogFollower(QObject* parent = nullptr);
    ~LogFollower() override;

    // Starts following `path` from `from` (see ServiceManager::readLogTail), dropping whatever a read for an
    // earlier start still brings.
    void follow(const QString& path, const LogPosition& from);
    // Stops watching and reading; a read still running reports to nobody.
    void stop();
    bool isFollowing() const { return m_following; }
    QString path() const { return m_path; }
    LogPosition position() const { return m_position; }

    // One read of the log at `path` from `from`: blocking file I/O of at most kMaxReadBytes plus, on a fresh start,
    // the tail readLog reads. Regular files only, opened without waiting.
    static LogChunk readFrom(const QString& path, const LogPosition& from);

    static constexpr qint64 kMaxReadBytes = 1024 * 1024;
    static constexpr int kPollMs = 1000;
    static constexpr int kMinReadGapMs = 100;

signals:
    void chunkRead(const zqt::LogChunk& chunk);

private:
    void onChanged();
    void startRead();
    void watch();

    QFileSystemWatcher* m_watcher = nullptr; // child
    QTimer m_poll;
    QTimer m_gap; // holds a read back until kMinReadGapMs after the last one began
    QElapsedTimer m_sinceRead;
    QString m_path;
    LogPosition m_position;
    quint64 m_ticket = 0; // numbers the starts; only reads of the newest deliver
    bool m_following = false;
    bool m_reading = false;
    bool m_changedWhileReading = false;
};

} // namespace zqt

Q_DECLARE_METATYPE(zqt::LogChunk)
