#include "control/LogReader.h"
#include "control/ServiceManager.h"

#include "EngineHome.h"
#include "QtPrinters.h"
#include "TestEnv.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>

using zqt::LogReader;
using zqt::ServiceManager;
using zqt::test::EngineHome;
using zqt::test::TempEnv;
using zqt::test::waitUntil;
using zqt::test::writeFile;

namespace {

const QString kNote = QString::fromLatin1(ServiceManager::kLogTruncatedNote);

class LogReaderTest : public ::testing::Test {
protected:
    // Lets reads that were dropped finish, then delivers whatever they posted.
    static void drainPool() {
        ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(10000));
        QCoreApplication::processEvents();
    }

    TempEnv env;
    EngineHome engine{env.path("engine")};
};

} // namespace

TEST_F(LogReaderTest, refresh_returnsBeforeTheTextWhichLandsOnTheOwnersThread) {
    writeFile(engine.file("storage/logs/web.log"), "one\n\ntwo\n");
    LogReader reader;
    QThread* deliveredOn = nullptr;
    QObject::connect(&reader, &LogReader::logOutputChanged, [&] { deliveredOn = QThread::currentThread(); });
    QSignalSpy finished(&reader, &LogReader::readFinished);

    reader.refresh(engine.path());
    EXPECT_TRUE(reader.isReading());
    EXPECT_EQ(reader.logOutput(), "");
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_FALSE(reader.isReading());
    EXPECT_EQ(reader.logOutput(), "one\ntwo");
    EXPECT_EQ(deliveredOn, QThread::currentThread());

    // An unchanged text still reports the read as done.
    reader.refresh(engine.path());
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(finished.count(), 2);
}

TEST_F(LogReaderTest, refresh_newerOneSupersedesOneStillReading) {
    EngineHome other(env.path("other"));
    writeFile(engine.file("storage/logs/web.log"), "old home\n");
    writeFile(other.file("storage/logs/rm1.log"), "new home\n");
    LogReader reader;
    QStringList seen;
    QObject::connect(&reader, &LogReader::logOutputChanged, [&] { seen << reader.logOutput(); });
    QSignalSpy finished(&reader, &LogReader::readFinished);

    for (int round = 0; round < 20; ++round) {
        reader.setLogOutput({});
        seen.clear();
        finished.clear();
        reader.setSelectedLog("web");
        reader.refresh(engine.path());
        reader.setSelectedLog("rm1");
        reader.refresh(other.path());
        ASSERT_TRUE(waitUntil([&] { return !reader.isReading(); }, 10000));
        drainPool();
        EXPECT_EQ(seen, QStringList{"new home"}) << "round " << round;
        EXPECT_EQ(finished.count(), 1);
    }
}

TEST_F(LogReaderTest, ownerGoneWhileReading_theReadReportsToNobody) {
    writeFile(engine.file("storage/logs/web.log"), "text\n");
    int delivered = 0;
    for (int round = 0; round < 20; ++round) {
        auto reader = std::make_unique<LogReader>();
        QObject::connect(reader.get(), &LogReader::logOutputChanged, [&] { ++delivered; });
        reader->refresh(engine.path());
        reader.reset();
        drainPool();
    }
    EXPECT_EQ(delivered, 0);
}

TEST_F(LogReaderTest, sparseMultiGigabyteLogWithoutLineFeeds_isReadWhileEventsKeepFlowing) {
    const QString path = engine.file("storage/logs/web.log");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(4LL * 1024 * 1024 * 1024));
    }
    LogReader reader;
    QSignalSpy finished(&reader, &LogReader::readFinished);

    // A watchdog on this thread: the longest time between two of its ticks while the read runs and lands.
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 maxGap = 0;
    int ticks = 0;
    QTimer watchdog;
    watchdog.setInterval(5);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        maxGap = std::max(maxGap, now - last);
        last = now;
        ++ticks;
    });
    clock.start();
    watchdog.start();
    reader.refresh(engine.path());
    EXPECT_TRUE(reader.isReading());
    ASSERT_TRUE(finished.wait(30000));
    // A few more ticks, so the delivery of the text is measured too.
    const int after = ticks;
    ASSERT_TRUE(waitUntil([&] { return ticks >= after + 3; }));
    maxGap = std::max(maxGap, clock.elapsed() - last);
    std::cout << "[ figures  ] read of a 4 GiB log without line feeds: " << clock.elapsed()
              << " ms in all, longest gap between 5 ms watchdog ticks " << maxGap << " ms\n";

    const QString text = reader.logOutput();
    ASSERT_TRUE(text.startsWith(kNote + "\n"));
    EXPECT_EQ(text.size(), kNote.size() + 1 + ServiceManager::kLogMaxBytes) << "a MiB of NUL characters";
    // Not a timing target: a read on this thread of the whole file would stall it for many seconds.
    EXPECT_LT(maxGap, 2000);
}
