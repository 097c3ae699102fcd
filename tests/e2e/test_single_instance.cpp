// Two launches of the real program on a virtual display: the second raises the first window and leaves.
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

struct Launch {
    QProcess process;
    QByteArray errors;

    void start(const QProcessEnvironment& environment) {
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        QObject::connect(&process, &QProcess::readyReadStandardError,
                         [this] { errors += process.readAllStandardError(); });
        process.start(QStringLiteral(ZQT_DESKTOP_BINARY), {});
    }
    ~Launch() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
};

} // namespace

TEST(SingleInstanceE2E, secondLaunchRaisesTheFirstWindowAndExits) {
    zqt::test::TempEnv env;
    const QString runtime = env.path(QStringLiteral("run"));
    ASSERT_TRUE(QDir().mkpath(runtime));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // No engine: the first window must not start anything.
    ASSERT_TRUE(zqt::test::writeFile(env.configHome() + QStringLiteral("/zqt/desktop-control.json"),
                                     "{\"zqtAutoStart\": false, \"zqtHome\": \"" +
                                         env.path(QStringLiteral("no-engine")).toUtf8() + "\"}"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("ZQT_TRACE_FIRST_PAINT"), QStringLiteral("1"));
    environment.insert(QStringLiteral("ZQT_TRACE_ACTIVATION"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.webenginecontext.info=false"));

    Launch first;
    first.start(environment);
    ASSERT_TRUE(zqt::test::waitUntil([&] { return first.errors.contains("zqt-first-paint-ms"); }, 120000))
        << first.errors.toStdString();

    Launch second;
    second.start(environment);
    ASSERT_TRUE(zqt::test::waitUntil([&] { return second.process.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(second.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process.exitCode(), 0);
    // It left before building a window of its own.
    EXPECT_FALSE(second.errors.contains("zqt-first-paint-ms")) << second.errors.toStdString();

    EXPECT_TRUE(zqt::test::waitUntil([&] { return first.errors.contains("zqt-desktop: window raised"); }, 30000))
        << first.errors.toStdString();
    EXPECT_EQ(first.process.state(), QProcess::Running);
}
