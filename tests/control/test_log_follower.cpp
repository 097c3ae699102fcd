#include "control/LogFollower.h"
#include "control/LogLines.h"
#include "control/LogReader.h"
#include "control/ServiceManager.h"

#include "EngineHome.h"
#include "TestEnv.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <sys/stat.h>

using zqt::LogChunk;
using zqt::LogFollower;
using zqt::LogLines;
using zqt::LogPosition;
using zqt::LogReader;
using zqt::ServiceManager;
using zqt::test::EngineHome;
using zqt::test::readFile;
using zqt::test::TempEnv;
using zqt::test::waitUntil;
using zqt::test::writeFile;

namespace {

bool appendFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::Append) && f.write(bytes) == bytes.size();
}

// Runs a shell command in another process, to completion.
bool runShell(const QString& command) {
    QProcess p;
    p.start("/bin/bash", {"-c", command});
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QStringList heldLines(const LogLines& lines) {
    QStringList out;
    for (qsizetype i = 0; i < lines.count(); ++i)
        out << lines.at(i).text;
    return out;
}

class LogFollowerTest : public ::testing::Test {
protected:
    TempEnv env;
    EngineHome engine{env.path("engine")};
    QString path = engine.file("storage/logs/web.log");
};

} // namespace

TEST_F(LogFollowerTest, readFrom_followsAppendsUnfinishedLinesTruncationReplacementAndAbsence) {
    ASSERT_TRUE(writeFile(path, "a\nb\npart"));
    const ServiceManager::LogTail tail = ServiceManager::readLogTail(path);
    ASSERT_TRUE(tail.found);
    EXPECT_EQ(tail.text, "a\nb\npart");
    EXPECT_EQ(tail.end.offset, 4) << "after the last line feed: the unfinished line is read again";
    EXPECT_EQ(tail.end.size, 8);
    LogPosition at = tail.end;

    // Each step changes the file, then one read follows; `offset` is where the next read begins.
    struct Step {
        const char* name;
        std::function<bool()> change;
        LogChunk::Start start;
        QStringList lines;
        int openPieces;
        qint64 offset;
    };
    using S = LogChunk::Start;
    const QString moved = path + ".1";
    // clang-format off
    const Step steps[] = {
        {"the unfinished line completed, one more", [&] { return appendFile(path, "ial\nc\n"); },
         S::Continued, {"partial", "c"}, 0, 14},
        {"nothing new", [] { return true; }, S::Continued, {}, 0, 14},
        {"blank lines only", [&] { return appendFile(path, "\n\n"); }, S::Continued, {}, 0, 16},
        {"a new unfinished line", [&] { return appendFile(path, "d"); }, S::Continued, {"d"}, 1, 16},
        {"it grows, still unfinished", [&] { return appendFile(path, "ee"); }, S::Continued, {"dee"}, 1, 16},
        {"truncated and written again", [&] { return writeFile(path, "x\n"); }, S::Truncated, {"x"}, 0, 2},
        {"renamed away, a new file in its place", [&] {
             return QFile::rename(path, moved) && writeFile(path, "new1\nnew2\n") && appendFile(moved, "late\n");
         }, S::Replaced, {"new1", "new2"}, 0, 10},
        {"renamed away, nothing in its place yet", [&] { return QFile::rename(path, moved + "2"); },
         S::Continued, {}, 0, 10},
        {"a file again, unfinished", [&] { return writeFile(path, "back\nagai"); },
         S::Replaced, {"back", "agai"}, 1, 5},
        {"a FIFO in its place is not opened", [&] {
             return QFile::remove(path) && ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
         }, S::Continued, {}, 0, 5},
    };
    // clang-format on
    for (const Step& step : steps) {
        ASSERT_TRUE(step.change()) << step.name;
        const LogChunk chunk = LogFollower::readFrom(path, at);
        EXPECT_EQ(chunk.start, step.start) << step.name;
        EXPECT_EQ(chunk.lines, step.lines) << step.name;
        EXPECT_EQ(chunk.openPieces, step.openPieces) << step.name;
        EXPECT_EQ(chunk.position.offset, step.offset) << step.name;
        at = chunk.position;
    }
}

TEST_F(LogFollowerTest, readFrom_neverReadsMoreThanItsBudget) {
    ASSERT_TRUE(writeFile(path, "start\n"));
    LogPosition at = ServiceManager::readLogTail(path).end;

    // Three MiB at once: only lines within the last MiB, the first of them whole.
    QByteArray burst;
    QString lastLine;
    for (int i = 0; burst.size() < 3 * LogFollower::kMaxReadBytes; ++i) {
        lastLine = QString("burst line %1").arg(i, 8, 10, QChar('0'));
        burst += lastLine.toLatin1() + '\n';
    }
    ASSERT_TRUE(appendFile(path, burst));
    LogChunk chunk = LogFollower::readFrom(path, at);
    EXPECT_EQ(chunk.start, LogChunk::Start::Skipped);
    ASSERT_FALSE(chunk.lines.isEmpty());
    EXPECT_EQ(chunk.lines.constLast(), lastLine);
    EXPECT_EQ(chunk.lines.constFirst().size(), lastLine.size()) << chunk.lines.constFirst().toStdString();
    qint64 bytes = 0;
    for (const QString& line : chunk.lines)
        bytes += line.size() + 1;
    EXPECT_LE(bytes, LogFollower::kMaxReadBytes);
    EXPECT_EQ(chunk.skippedBytes + bytes, burst.size());
    at = chunk.position;

    // A whole read without a line feed is taken as a line of its own, cut before a character it splits.
    const QByteArray accent("\xC3\xA9");
    const QByteArray wide = "x" + accent.repeated(LogFollower::kMaxReadBytes / 2 - 1) + accent.left(1);
    ASSERT_EQ(wide.size(), LogFollower::kMaxReadBytes);
    ASSERT_TRUE(appendFile(path, wide));
    chunk = LogFollower::readFrom(path, at);
    EXPECT_EQ(chunk.start, LogChunk::Start::Continued);
    EXPECT_EQ(chunk.openPieces, 0);
    EXPECT_EQ(chunk.lines.join(QString()), QString::fromUtf8(wide.chopped(1)));
    EXPECT_EQ(chunk.position.offset - at.offset, LogFollower::kMaxReadBytes - 1);
    ASSERT_TRUE(appendFile(path, accent.mid(1) + "z\n"));
    chunk = LogFollower::readFrom(path, chunk.position);
    EXPECT_EQ(chunk.lines, QStringList{QString::fromUtf8(accent + "z")});
}

TEST_F(LogFollowerTest, following_linesAppendedByAnotherProcessArriveWithoutRefresh) {
    ASSERT_TRUE(writeFile(path, "first line\n"));
    LogReader reader;
    reader.setFollowing(true);
    reader.refresh(engine.path());
    ASSERT_TRUE(waitUntil([&] { return reader.follower().isFollowing(); }));
    EXPECT_EQ(heldLines(reader.lines()), QStringList{"first line"});

    ASSERT_TRUE(runShell(QString("for i in $(seq 1 300); do echo \"appended $i\" >> '%1'; done").arg(path)));
    ASSERT_TRUE(waitUntil([&] { return reader.lines().count() == 301; }));
    QStringList expected{"first line"};
    for (int i = 1; i <= 300; ++i)
        expected << QString("appended %1").arg(i);
    EXPECT_EQ(heldLines(reader.lines()), expected);
    EXPECT_EQ(reader.logOutput(), "first line") << "the refreshed text stays what the refresh read";
}

TEST_F(LogFollowerTest, following_rotationAndTruncationByAnotherProcessAreReadAgainFromTheEnd) {
    ASSERT_TRUE(writeFile(path, "before rotation\n"));
    LogReader reader;
    reader.setFollowing(true);
    reader.refresh(engine.path());
    ASSERT_TRUE(waitUntil([&] { return reader.follower().isFollowing(); }));
    auto last = [&] {
        return reader.lines().count() ? reader.lines().at(reader.lines().count() - 1).text : QString();
    };

    // Rotation as logrotate does it: rename, then a new file.
    ASSERT_TRUE(runShell(QString("mv '%1' '%1.1' && echo 'old file, late line' >> '%1.1' && "
                                 "printf 'rotated 1\\nrotated 2\\n' > '%1'")
                             .arg(path)));
    ASSERT_TRUE(waitUntil([&] { return last() == "rotated 2"; }));
    EXPECT_EQ(heldLines(reader.lines()),
              QStringList({"before rotation", LogReader::kReplacedLine, "rotated 1", "rotated 2"}));

    // Truncation in place, then new lines.
    ASSERT_TRUE(runShell(QString(": > '%1' && echo 'after truncation' >> '%1'").arg(path)));
    ASSERT_TRUE(waitUntil([&] { return last() == "after truncation"; }));
    EXPECT_EQ(heldLines(reader.lines()).mid(4), QStringList({LogReader::kTruncatedLine, "after truncation"}));

    // Switched off, it stands still; switched on again, it goes on from where it stopped, nothing twice.
    reader.setFollowing(false);
    ASSERT_FALSE(reader.follower().isFollowing());
    ASSERT_TRUE(runShell(QString("echo 'while off' >> '%1'").arg(path)));
    EXPECT_EQ(last(), "after truncation");
    reader.setFollowing(true);
    ASSERT_TRUE(waitUntil([&] { return last() == "while off"; }));
    EXPECT_EQ(heldLines(reader.lines()).count("while off"), 1);
}

TEST_F(LogFollowerTest, following_aLogMissingAtFirstIsPickedUpWhenItAppears) {
    LogReader reader;
    reader.setFollowing(true);
    reader.refresh(engine.path());
    ASSERT_TRUE(waitUntil([&] { return reader.follower().isFollowing(); }));
    EXPECT_EQ(heldLines(reader.lines()), QStringList{"No log found: " + path});

    ASSERT_TRUE(runShell(QString("echo 'engine up' > '%1'").arg(path)));
    ASSERT_TRUE(waitUntil([&] { return reader.lines().count() == 3; }));
    EXPECT_EQ(heldLines(reader.lines()), QStringList({"No log found: " + path, LogReader::kAppearedLine, "engine up"}));
}
