#include "window/ContentView.h"

#include "control/AppState.h"
#include "control/Preferences.h"

#include "EngineHome.h"
#include "QtPrinters.h"
#include "TestEnv.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using zqt::AppState;
using zqt::ContentView;
using zqt::test::EngineHome;
using zqt::test::TempEnv;
using zqt::test::waitUntil;
using zqt::test::writeFile;

namespace {

class ContentViewTest : public ::testing::Test {
protected:
    ContentViewTest() {
        env.setVar("ZQT_OPERATOR_PASS", std::nullopt);
        engine.makeGate();
        engine.writeScript("app_up.sh", "read -r _ < gate\necho engine up\n");
        zqt::Preferences prefs;
        prefs.setString(zqt::PrefKey::Home, engine.path());
        prefs.setBool(zqt::PrefKey::AutoStart, false);
        prefs.sync();
        state = std::make_unique<AppState>();
        view = std::make_unique<ContentView>(*state);
        view->show();
    }

    template <typename T> T* child(const char* name) const {
        T* w = view->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    TempEnv env;
    EngineHome engine{env.path("engine")};
    std::unique_ptr<AppState> state;
    std::unique_ptr<ContentView> view;
};

} // namespace

TEST_F(ContentViewTest, header_showsTitleButtonsAndOfflineState) {
    EXPECT_GE(view->minimumWidth(), 1200);
    EXPECT_GE(view->minimumHeight(), 760);
    EXPECT_EQ(child<QLabel>("titleLabel")->text(), "ZQT Desktop Control");
    EXPECT_EQ(child<QPushButton>("refreshButton")->text(), "Refresh");
    EXPECT_EQ(child<QPushButton>("startButton")->text(), "Start");
    EXPECT_EQ(child<QPushButton>("stopButton")->text(), "Stop");
    EXPECT_EQ(child<QPushButton>("operatorButton")->text(), "Operator Unlock");
    auto* runState = child<QLabel>("runStateLabel");
    EXPECT_EQ(runState->text(), "Services offline");
    EXPECT_EQ(runState->palette().color(QPalette::WindowText), view->palette().color(QPalette::PlaceholderText));
    EXPECT_FALSE(child<QProgressBar>("busyIndicator")->isVisible());
}

TEST_F(ContentViewTest, refresh_withLiveProcessInPidFile_showsOnlineInGreen) {
    writeFile(engine.file("storage/web.pid"), QByteArray::number(QCoreApplication::applicationPid()));
    QTest::mouseClick(child<QPushButton>("refreshButton"), Qt::LeftButton);
    auto* runState = child<QLabel>("runStateLabel");
    EXPECT_EQ(runState->text(), "Services online");
    EXPECT_EQ(runState->palette().color(QPalette::WindowText), ContentView::onlineColor());
}

TEST_F(ContentViewTest, start_showsBusyIndicatorWhileScriptRunsAndWindowStaysResponsive) {
    QTest::mouseClick(child<QPushButton>("startButton"), Qt::LeftButton);
    auto* busy = child<QProgressBar>("busyIndicator");
    auto* busyLabel = child<QLabel>("busyLabel");
    EXPECT_TRUE(busy->isVisible());
    EXPECT_EQ(busyLabel->text(), "Starting…");
    // The buttons stay enabled and the event loop keeps running while the script waits.
    EXPECT_TRUE(child<QPushButton>("stopButton")->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return engine.tryOpenGate(); }));
    ASSERT_TRUE(waitUntil([&] { return !state->busy(); }));
    EXPECT_FALSE(busy->isVisible());
    EXPECT_EQ(child<QPlainTextEdit>("lastOutputView")->toPlainText(), "engine up\n");
}

TEST_F(ContentViewTest, operatorButton_asksForSheetWhenLockedAndLocksWhenOpen) {
    auto* button = child<QPushButton>("operatorButton");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(view->showOperatorSheet());
    EXPECT_FALSE(state->operatorUnlocked());

    ASSERT_TRUE(state->unlockOperator("zqt-operator"));
    EXPECT_EQ(button->text(), "Operator: ON");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(state->operatorUnlocked());
    EXPECT_EQ(button->text(), "Operator Unlock");
    EXPECT_EQ(zqt::Preferences().boolean(zqt::PrefKey::OperatorUnlocked), std::optional<bool>(false));
}
