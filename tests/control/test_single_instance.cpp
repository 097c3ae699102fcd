#include "control/SingleInstance.h"
#include "TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

using zqt::SingleInstance;

namespace {

// The pid of a process that has ended, for a lock file left behind by a crash.
qint64 pidOfEndedProcess() {
    QProcess p;
    p.start(QStringLiteral("/bin/true"), {});
    p.waitForFinished();
    return p.processId() ? p.processId() : 999999;
}

} // namespace

TEST(SingleInstance, secondClaimRaisesTheFirstAndIsSentAway) {
    zqt::test::TempEnv env;
    const QString folder = env.path(QStringLiteral("run"));

    SingleInstance first(folder);
    ASSERT_EQ(first.claim(), SingleInstance::Role::Primary);
    QSignalSpy raised(&first, &SingleInstance::activationRequested);

    SingleInstance second(folder);
    EXPECT_EQ(second.claim(), SingleInstance::Role::Secondary);
    ASSERT_TRUE(raised.wait(5000));
    EXPECT_EQ(raised.count(), 1);

    // The socket is the user's alone.
    const QFileInfo socket(first.socketPath());
    ASSERT_TRUE(socket.exists());
    EXPECT_EQ(socket.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                      QFile::WriteOther | QFile::ExeOther),
              QFile::Permissions());
}

TEST(SingleInstance, lockAndSocketLeftByACrashAreTakenOver) {
    zqt::test::TempEnv env;
    const QString folder = env.path(QStringLiteral("run"));
    SingleInstance probe(folder);
    // What a killed instance leaves: its lock naming a process that is gone, and its socket file.
    ASSERT_TRUE(zqt::test::writeFile(probe.lockPath(), QByteArray::number(pidOfEndedProcess()) + "\nzqt-desktop\n" +
                                                           QSysInfo::machineHostName().toUtf8() + "\n"));
    ASSERT_TRUE(zqt::test::writeFile(probe.socketPath(), "stale"));

    SingleInstance next(folder);
    ASSERT_EQ(next.claim(), SingleInstance::Role::Primary);
    QSignalSpy raised(&next, &SingleInstance::activationRequested);
    SingleInstance later(folder);
    EXPECT_EQ(later.claim(), SingleInstance::Role::Secondary);
    EXPECT_TRUE(raised.wait(5000));
}

TEST(SingleInstance, otherBytesOnTheSocketRaiseNothing) {
    zqt::test::TempEnv env;
    const QString folder = env.path(QStringLiteral("run"));
    SingleInstance first(folder);
    ASSERT_EQ(first.claim(), SingleInstance::Role::Primary);
    QSignalSpy raised(&first, &SingleInstance::activationRequested);

    QLocalSocket socket;
    socket.connectToServer(first.socketPath());
    ASSERT_TRUE(socket.waitForConnected(5000));
    socket.write("quit\n");
    socket.flush();
    // The instance drops the connection after reading one message.
    ASSERT_TRUE(zqt::test::waitUntil([&] { return socket.state() == QLocalSocket::UnconnectedState; }, 5000));
    EXPECT_EQ(raised.count(), 0);
}
