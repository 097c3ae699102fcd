#include "TestEnv.h"
#include "control/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <pwd.h>
#include <unistd.h>

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

namespace {

// Collects the warnings Qt's message handler gets while it lives.
class WarningCatcher final {
public:
    WarningCatcher() { s_previous = qInstallMessageHandler(&WarningCatcher::handle); }
    ~WarningCatcher() { qInstallMessageHandler(s_previous); }
    static QStringList& messages() {
        static QStringList list;
        return list;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtWarningMsg)
            messages() << message;
    }
    static inline QtMessageHandler s_previous = nullptr;
};

} // namespace

TEST(SingleInstance, lockThatCannotBeUsed_startsAnywayWithAPrivateFolderAndAWarning) {
    const struct {
        const char* name;
        std::function<QString(zqt::test::TempEnv&)> folder; // set up, and return the folder to ask for
    } cases[] = {
        {"folder is a file",
         [](zqt::test::TempEnv& env) {
             zqt::test::writeFile(env.path("run"), "a file");
             return env.path("run");
         }},
        {"folder under a file",
         [](zqt::test::TempEnv& env) {
             zqt::test::writeFile(env.path("run"), "a file");
             return env.path("run/zqt");
         }},
        {"lock file is a folder",
         [](zqt::test::TempEnv& env) {
             QDir().mkpath(env.path("run/zqt-desktop.lock"));
             return env.path("run");
         }},
        {"lock file holds no lock",
         [](zqt::test::TempEnv& env) {
             zqt::test::writeFile(env.path("run/zqt-desktop.lock"), QByteArray("\xff\xfe garbage\n", 11));
             return env.path("run");
         }},
        {"no runtime folder",
         [](zqt::test::TempEnv& env) {
             // XDG_RUNTIME_DIR names a folder that cannot exist, and so does Qt's fallback,
             // <temporary folder>/runtime-<user>: Qt then has no runtime folder to give.
             zqt::test::writeFile(env.path("blocker"), "a file");
             env.setVar("XDG_RUNTIME_DIR", QFile::encodeName(env.path("blocker/runtime")));
             QDir().mkpath(env.path("tmp"));
             env.setVar("TMPDIR", QFile::encodeName(env.path("tmp")));
             const passwd* user = ::getpwuid(::geteuid());
             for (const QString& name :
                  {qEnvironmentVariable("USER"), QString::fromLocal8Bit(user ? user->pw_name : "")})
                 zqt::test::writeFile(env.path("tmp/runtime-" + name), "a file");
             return QString();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zqt::test::TempEnv env;
        const QString asked = c.folder(env);
        WarningCatcher warnings;
        WarningCatcher::messages().clear();
        QString privateFolder;
        {
            SingleInstance instance(asked);
            EXPECT_EQ(instance.claim(), SingleInstance::Role::Primary);
            privateFolder = instance.folder();
            EXPECT_NE(privateFolder, asked);
            EXPECT_TRUE(privateFolder.startsWith(QDir::tempPath() + "/zqt-desktop-")) << privateFolder.toStdString();
            EXPECT_EQ(QFileInfo(privateFolder).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                                                QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
                      QFile::Permissions());
            // Qt may add a warning of its own about the runtime folder.
            const QStringList ours = WarningCatcher::messages().filter("zqt-desktop:");
            ASSERT_EQ(ours.size(), 1) << WarningCatcher::messages().join('\n').toStdString();
            EXPECT_TRUE(ours.front().contains("starting anyway"));
            EXPECT_TRUE(ours.front().contains(privateFolder));

            // It answers on its private socket like any primary instance.
            QSignalSpy raised(&instance, &SingleInstance::activationRequested);
            QLocalSocket socket;
            socket.connectToServer(instance.socketPath());
            ASSERT_TRUE(socket.waitForConnected(5000));
            socket.write("raise\n");
            socket.flush();
            EXPECT_TRUE(raised.wait(5000));
        }
        EXPECT_FALSE(QFileInfo::exists(privateFolder)) << "removed at exit";
    }
}

TEST(SingleInstance, lockHeldByALiveInstance_isTheOnlyReasonToLeave) {
    zqt::test::TempEnv env;
    const QString folder = env.path("run");
    WarningCatcher warnings;
    WarningCatcher::messages().clear();
    SingleInstance first(folder);
    ASSERT_EQ(first.claim(), SingleInstance::Role::Primary);
    EXPECT_EQ(first.folder(), folder);
    SingleInstance second(folder);
    EXPECT_EQ(second.claim(), SingleInstance::Role::Secondary);
    EXPECT_EQ(second.folder(), folder);
    EXPECT_TRUE(WarningCatcher::messages().isEmpty()) << WarningCatcher::messages().join('\n').toStdString();
}
