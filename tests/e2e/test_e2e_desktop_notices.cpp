// The whole program against the real demo engine, with a notification service of the test's own on a private
// session bus: an operator's run (a rejected order, a close-all, the engine killed, then started again) shows
// exactly the notices it should, and none while the "Desktop Notifications" switch is off.

#include "app/ZQTDesktopApp.h"
#include "control/AppState.h"
#include "control/DesktopNotifier.h"
#include "control/Preferences.h"
#include "control/Settings.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/NativeTerminalView.h"
#include "window/ContentView.h"

#include "FakeNotifications.h"
#include "TestEnv.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <signal.h>

using zqt::test::FakeNotifications;
using zqt::test::PrivateSessionBus;
using zqt::test::TempEnv;
using zqt::test::waitUntil;

namespace {

// Generous: the test build runs under AddressSanitizer on a small, shared machine.
constexpr int kEngineDeadlineMs = 120000;
constexpr int kReplyDeadlineMs = 60000;

bool copyTree(const QString& from, const QString& to) {
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    QDir().mkpath(to);
    while (it.hasNext()) {
        const QString src = it.next();
        const QString dst = to + src.mid(from.size());
        if (it.fileInfo().isDir()) {
            QDir().mkpath(dst);
        } else if (!QFile::copy(src, dst) || !QFile::setPermissions(dst, QFile::permissions(src))) {
            return false;
        }
    }
    return true;
}

class DesktopNoticesEndToEndTest : public ::testing::Test {
protected:
    // The program reaches the session bus once per process: one private bus serves every test here.
    static void SetUpTestSuite() { s_bus = new PrivateSessionBus; }
    static void TearDownTestSuite() { delete std::exchange(s_bus, nullptr); }

    void SetUp() override {
        ASSERT_TRUE(env.isValid());
        ASSERT_TRUE(s_bus->isValid()) << s_bus->error().toStdString();
        ASSERT_TRUE(service.isRegistered());
        env.setVar("ZQT_OPERATOR_PASS", std::nullopt);
        engineHome = zqt::Settings::primaryDefaultHome();
        ASSERT_TRUE(copyTree(QStringLiteral(ZQT_DEMO_HOME_DIR), engineHome));
        zqt::Preferences prefs;
        prefs.setString(zqt::Settings::key(zqt::Setting::Host), "127.0.0.1");
        prefs.setString(zqt::Settings::key(zqt::Setting::Port), QString::number(zqt::test::freePort()));
        prefs.setString(zqt::Settings::key(zqt::Setting::MarketingPort), QString::number(zqt::test::freePort()));
        prefs.setString(zqt::Settings::key(zqt::Setting::PortalPort), QString::number(zqt::test::freePort()));
        prefs.setBool(zqt::Settings::key(zqt::Setting::AutoStart), true);
        prefs.setBool(zqt::Settings::key(zqt::Setting::StartMarketing), false);
        prefs.setBool(zqt::Settings::key(zqt::Setting::StartPortal), false);
        prefs.setBool(zqt::Settings::key(zqt::Setting::DemoMode), true);
        prefs.setString(zqt::Settings::key(zqt::Setting::ExecutionMode), "DRY_RUN");
        prefs.setString(zqt::Settings::key(zqt::Setting::BrokerMode), "SIM_BROKER");
        prefs.remove(zqt::Settings::kTokenKey);
        ASSERT_TRUE(prefs.sync());
    }

    void TearDown() override {
        app.reset();
        QProcess down;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("ZQT_HOME", engineHome);
        down.setProcessEnvironment(e);
        down.setWorkingDirectory(engineHome);
        QSignalSpy finished(&down, &QProcess::finished);
        down.start("/bin/bash", {engineHome + "/scripts/app_down.sh"});
        if (down.waitForStarted(10000))
            finished.wait(kEngineDeadlineMs);
    }

    // Builds the program, waits for its auto-start and signs in with the demo account.
    void openAndSignIn(bool notificationsOn) {
        if (!notificationsOn) {
            zqt::Preferences prefs;
            prefs.setBool(zqt::Settings::key(zqt::Setting::DesktopNotifications), false);
            ASSERT_TRUE(prefs.sync());
        }
        app = std::make_unique<zqt::ZQTDesktopApp>();
        state = &app->state();
        terminal = &app->terminal();
        zqt::ContentView& view = app->window();
        view.resize(1280, 860);
        view.show();
        ASSERT_TRUE(waitUntil([&] { return state->isRunning() && !state->busy(); }, kEngineDeadlineMs))
            << state->lastOutput().toStdString();
        view.tabs()->setCurrentWidget(view.terminal());
        QPushButton* demo = nullptr;
        ASSERT_TRUE(waitUntil([&] { return (demo = view.findChild<QPushButton*>("demoLoginButton")) != nullptr; },
                              kReplyDeadlineMs));
        QTest::mouseClick(demo, Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return !terminal->session().token().isEmpty(); }, kReplyDeadlineMs))
            << terminal->session().loginError().toStdString();
        // The account's first lists are what was there before the run.
        QSignalSpy orders(&terminal->account(), &zqt::AccountModel::ordersChanged);
        QSignalSpy fills(&terminal->account(), &zqt::AccountModel::fillsChanged);
        terminal->refreshAll();
        ASSERT_TRUE(waitUntil([&] { return !orders.isEmpty() && !fills.isEmpty(); }, kReplyDeadlineMs));
    }

    // A rejected order (quantity 0), then a market order and a close-all that closes its position.
    void rejectedOrderAndCloseAll() {
        terminal->ticket().setQty("0");
        terminal->ticket().placeOrder();
        ASSERT_TRUE(waitUntil([&] { return hasOrderWithStatus("REJECTED"); }, kReplyDeadlineMs))
            << terminal->ticket().orderMessage().toStdString();
        terminal->ticket().setQty("1");
        terminal->ticket().placeOrder();
        ASSERT_TRUE(waitUntil([&] { return !terminal->account().positions().isEmpty(); }, kReplyDeadlineMs))
            << terminal->ticket().orderMessage().toStdString();
        terminal->ticket().closeAll();
        ASSERT_TRUE(waitUntil(
            [&] {
                for (const zqt::FillRow& f : terminal->account().fills())
                    if (f.status == "CLOSED")
                        return true;
                return false;
            },
            kReplyDeadlineMs));
    }

    // kill -9 of the engine, seen by the pid check; then a start from the program.
    void killAndRestart() {
        QFile pidFile(engineHome + "/storage/web.pid");
        ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
        const qint64 pid = pidFile.readAll().trimmed().toLongLong();
        ASSERT_GT(pid, 0);
        ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
        ASSERT_TRUE(waitUntil([&] { return !state->isRunning(); }, kEngineDeadlineMs));
        state->start();
        ASSERT_TRUE(waitUntil([&] { return state->isRunning() && !state->busy(); }, kEngineDeadlineMs))
            << state->lastOutput().toStdString();
    }

    bool hasOrderWithStatus(const QString& status) const {
        for (const zqt::OrderRow& o : terminal->account().orders())
            if (o.status == status)
                return true;
        return false;
    }

    static inline PrivateSessionBus* s_bus = nullptr;
    TempEnv env;
    FakeNotifications service{s_bus->address()};
    QString engineHome;
    std::unique_ptr<zqt::ZQTDesktopApp> app;
    zqt::AppState* state = nullptr;
    zqt::NativeTerminalModel* terminal = nullptr;
};

} // namespace

TEST_F(DesktopNoticesEndToEndTest, operatorsRun_showsExactlyTheNoticesThatNeedAttention) {
    ASSERT_NO_FATAL_FAILURE(openAndSignIn(true));
    ASSERT_NO_FATAL_FAILURE(rejectedOrderAndCloseAll());
    ASSERT_TRUE(waitUntil([&] { return service.received().size() >= 2; }, kReplyDeadlineMs))
        << service.summaries().join(" | ").toStdString();
    ASSERT_NO_FATAL_FAILURE(killAndRestart());
    ASSERT_TRUE(waitUntil([&] { return service.received().size() >= 4; }, kReplyDeadlineMs))
        << service.summaries().join(" | ").toStdString();
    // A stop asked for shows nothing: a marker sent after it over the same connection arrives next.
    state->stop();
    ASSERT_TRUE(waitUntil([&] { return !state->isRunning() && !state->busy(); }, kEngineDeadlineMs));
    app->notifier().show({zqt::DesktopNotice::Kind::ScriptError, 1000, 1, "marker", ""});
    ASSERT_TRUE(waitUntil([&] { return service.summaries().endsWith("marker"); }, kReplyDeadlineMs));

    EXPECT_EQ(service.summaries(), (QStringList{"Order rejected", "Position closed: EURUSD", "ZQT engine offline",
                                                "ZQT engine back online", "marker"}));
    const auto& got = service.received();
    ASSERT_EQ(got.size(), 5);
    EXPECT_EQ(got[0].body, "BUY 0.00 EURUSD MARKET");
    EXPECT_TRUE(got[1].body.startsWith("PnL ")) << got[1].body.toStdString();
    for (const auto& n : got) {
        EXPECT_EQ(n.appIcon, "org.zqt.DesktopControl");
        EXPECT_EQ(n.hints.value("desktop-entry").toString(), "org.zqt.DesktopControl");
    }
}

TEST_F(DesktopNoticesEndToEndTest, switchOff_theSameRunShowsNothing_switchedOnTheNextRejectionShows) {
    ASSERT_NO_FATAL_FAILURE(openAndSignIn(false));
    ASSERT_NO_FATAL_FAILURE(rejectedOrderAndCloseAll());
    ASSERT_NO_FATAL_FAILURE(killAndRestart());

    // The service is reachable all along: with the switch on again, the next rejection arrives, and nothing before
    // it (the calls of one connection arrive in order).
    app->settings().set(zqt::Setting::DesktopNotifications, true);
    terminal->ticket().setQty("0");
    terminal->ticket().placeOrder();
    ASSERT_TRUE(waitUntil([&] { return !service.received().isEmpty(); }, kReplyDeadlineMs));
    EXPECT_EQ(service.summaries(), QStringList{"Order rejected"});
}
