// The whole program against the real demo engine, on a real (virtual) display: the window starts the engine
// through its scripts, signs in with the demo account, sends an order from the ticket and stops the engine; and the
// workspace of the terminal at the window's default size in the dark theme, live.

#include "app/ZQTDesktopApp.h"
#include "control/AppState.h"
#include "control/Preferences.h"
#include "control/Settings.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/MetricTile.h"
#include "terminal/views/NativeTerminalView.h"
#include "window/ContentView.h"

#include "TestEnv.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

using zqt::test::TempEnv;
using zqt::test::waitUntil;

namespace {

// Generous: the test build runs under AddressSanitizer on a small, shared machine.
constexpr int kEngineDeadlineMs = 120000;
constexpr int kReplyDeadlineMs = 60000;

// Copies a folder tree, keeping file permissions (the scripts and the engine program must stay executable).
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

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(env.isValid());
        env.setVar("ZQT_OPERATOR_PASS", std::nullopt);
        engineHome = zqt::Settings::primaryDefaultHome();
        ASSERT_TRUE(copyTree(QStringLiteral(ZQT_DEMO_HOME_DIR), engineHome));
        // Free ports of this run, so a running engine elsewhere is never touched.
        zqt::Preferences prefs;
        prefs.setString(zqt::Settings::key(zqt::Setting::Host), "127.0.0.1");
        prefs.setString(zqt::Settings::key(zqt::Setting::Port), QString::number(zqt::test::freePort()));
        prefs.setString(zqt::Settings::key(zqt::Setting::MarketingPort), QString::number(zqt::test::freePort()));
        prefs.setString(zqt::Settings::key(zqt::Setting::PortalPort), QString::number(zqt::test::freePort()));
        prefs.setBool(zqt::Settings::key(zqt::Setting::AutoStart), true);
        prefs.setBool(zqt::Settings::key(zqt::Setting::DemoMode), true);
        prefs.setString(zqt::Settings::key(zqt::Setting::ExecutionMode), "DRY_RUN");
        prefs.setString(zqt::Settings::key(zqt::Setting::BrokerMode), "SIM_BROKER");
        prefs.remove(zqt::Settings::kTokenKey);
        ASSERT_TRUE(prefs.sync());
    }

    void TearDown() override {
        app.reset();
        // Whatever happened above, no engine outlives the test.
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

    template <typename T> T* child(const char* name) const {
        T* w = view->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    TempEnv env;
    QString engineHome;
    std::unique_ptr<zqt::ZQTDesktopApp> app;
    zqt::AppState* state = nullptr;
    zqt::ContentView* view = nullptr;
};

} // namespace

TEST_F(EndToEndTest, autoStart_demoLogin_marketOrder_stop) {
    app = std::make_unique<zqt::ZQTDesktopApp>();
    state = &app->state();
    view = &app->window();
    EXPECT_EQ(state->settings().text(zqt::Setting::Home), engineHome);
    view->resize(1280, 860);
    view->show();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));

    auto* runState = child<QLabel>("runStateLabel");
    ASSERT_TRUE(waitUntil([&] { return runState->text() == "Services online"; }, kEngineDeadlineMs))
        << state->lastOutput().toStdString();

    QTabWidget* tabs = view->tabs();
    tabs->setCurrentWidget(view->terminal());
    zqt::NativeTerminalView* terminal = view->terminal();
    ASSERT_EQ(terminal->model().link().baseUrl(), state->addresses().engine);

    QTest::mouseClick(child<QPushButton>("demoLoginButton"), Qt::LeftButton);
    auto* stage = child<zqt::MetricTile>("metric_Stage");
    ASSERT_TRUE(waitUntil([&] { return stage->isVisible() && !stage->value().isEmpty(); }, kReplyDeadlineMs))
        << terminal->model().session().loginError().toStdString();
    EXPECT_FALSE(child<zqt::MetricTile>("metric_Balance")->value().isEmpty());
    EXPECT_FALSE(terminal->model().session().token().isEmpty());

    // A market order from the ticket as it stands (EURUSD, BUY, 1).
    QTest::mouseClick(child<QPushButton>("placeOrderButton"), Qt::LeftButton);
    auto* message = child<QLabel>("orderMessageLabel");
    ASSERT_TRUE(waitUntil([&] { return message->text() == "Order submitted."; }, kReplyDeadlineMs));
    EXPECT_TRUE(message->isVisible());
    // The prices arrive with the next refresh; wait for them so the picture shows a live page.
    waitUntil([&] { return !terminal->model().market().prices().isEmpty(); }, kReplyDeadlineMs);

    const QString artifacts = QStringLiteral(ZQT_TEST_ARTIFACTS_DIR);
    QDir().mkpath(artifacts);
    EXPECT_TRUE(view->grab().save(artifacts + "/e2e-window.png"));

    QTest::mouseClick(child<QPushButton>("stopButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return runState->text() == "Services offline"; }, kEngineDeadlineMs))
        << state->lastOutput().toStdString();
}

TEST_F(EndToEndTest, workspace_atTheDefaultWindowSize_showsTheLiveTradingPanels) {
    app = std::make_unique<zqt::ZQTDesktopApp>();
    state = &app->state();
    view = &app->window();
    app->showWindow();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    ASSERT_EQ(view->size(), QSize(zqt::ZQTDesktopApp::kDefaultWidth, zqt::ZQTDesktopApp::kDefaultHeight));
    auto* runState = child<QLabel>("runStateLabel");
    ASSERT_TRUE(waitUntil([&] { return runState->text() == "Services online"; }, kEngineDeadlineMs))
        << state->lastOutput().toStdString();

    // The workspace as the View menu picks it.
    QAction* workspace = view->viewMenu()->findChild<QAction*>("workspaceLayoutAction");
    ASSERT_NE(workspace, nullptr);
    workspace->trigger();
    zqt::NativeTerminalView* terminal = view->terminal();
    ASSERT_EQ(view->tabs()->currentWidget(), terminal);
    ASSERT_EQ(terminal->layoutMode(), zqt::TerminalLayout::Workspace);
    // In the dark theme, as the View menu's Theme > Dark picks it.
    auto* themes = view->viewMenu()->findChild<QMenu*>("themeMenu");
    ASSERT_NE(themes, nullptr);
    QAction* dark = nullptr;
    for (QAction* action : themes->actions())
        if (action->text() == "Dark")
            dark = action;
    ASSERT_NE(dark, nullptr);
    dark->trigger();
    EXPECT_TRUE(dark->isChecked());
    EXPECT_TRUE(waitUntil([&] { return terminal->palette().color(QPalette::Window).lightness() < 80; }, 10000))
        << "a dark palette";

    // Signed in from the login panel, one tab away behind the ticket.
    terminal->dock("loginPanel")->raise();
    QTest::mouseClick(child<QPushButton>("demoLoginButton"), Qt::LeftButton);
    zqt::NativeTerminalModel& model = terminal->model();
    ASSERT_TRUE(waitUntil([&] { return !model.session().token().isEmpty(); }, kReplyDeadlineMs))
        << model.session().loginError().toStdString();
    terminal->dock("orderPanel")->raise();
    QTest::mouseClick(child<QPushButton>("placeOrderButton"), Qt::LeftButton);
    ASSERT_TRUE(
        waitUntil([&] { return child<QLabel>("orderMessageLabel")->text() == "Order submitted."; }, kReplyDeadlineMs));
    // Bars, a book, a few prints and the open trade: a live workspace for the picture.
    ASSERT_TRUE(waitUntil(
        [&] {
            return model.market().candles().size() >= 50 && model.market().tapeRows().size() >= 6 &&
                   !model.market().depthLevels().isEmpty() && !model.account().positions().isEmpty();
        },
        kReplyDeadlineMs));
    for (const char* name :
         {"chartPanel", "ladderPanel", "orderPanel", "hotkeysPanel", "tapePanel", "positionsPanel"}) {
        QDockWidget* dock = terminal->dock(name);
        const QRect r(dock->mapTo(view, QPoint(0, 0)), dock->size());
        EXPECT_TRUE(dock->isVisible() && view->rect().contains(r)) << name;
    }

    // The price chart in view whole, as tall as its dock lets it be.
    auto* chartScroll = view->findChild<QScrollArea*>("chartPanelScroll");
    ASSERT_NE(chartScroll, nullptr);
    auto* mainChart = view->findChild<QWidget*>("mainChart");
    ASSERT_NE(mainChart, nullptr);
    const QRect chartInView(mainChart->mapTo(chartScroll->viewport(), QPoint(0, 0)), mainChart->size());
    EXPECT_TRUE(chartScroll->viewport()->rect().contains(chartInView));
    EXPECT_GE(mainChart->height(), chartScroll->viewport()->height() / 2);

    const QString artifacts = QStringLiteral(ZQT_TEST_ARTIFACTS_DIR);
    QDir().mkpath(artifacts);
    EXPECT_TRUE(view->grab().save(artifacts + "/workspace.png"));
}
