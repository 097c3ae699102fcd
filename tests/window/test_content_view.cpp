#include "window/ContentView.h"

#include "app/ZQTDesktopApp.h"
#include "control/AppState.h"
#include "control/Preferences.h"
#include "control/Settings.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/NativeTerminalView.h"
#include "window/EnginePage.h"
#include "window/OperatorSheet.h"
#include "window/WebView.h"

#include "ClientInFlight.h"
#include "EngineHome.h"
#include "QtPrinters.h"
#include "RecordingServer.h"
#include "TestEnv.h"

#include <QAbstractButton>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

using zqt::AppState;
using zqt::ContentView;
using zqt::NativeTerminalView;
using zqt::WebView;
using zqt::test::EngineHome;
using zqt::test::TempEnv;
using zqt::test::waitUntil;
using zqt::test::writeFile;

namespace {

constexpr char kPass[] = "zqt-operator";

QStringList tabTitles(const QTabWidget* tabs) {
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i)
        titles << tabs->tabText(i);
    return titles;
}

// A window over a temp engine home whose start script waits at a gate, with known settings.
class ContentViewTest : public ::testing::Test {
protected:
    ContentViewTest() {
        env.setVar("ZQT_OPERATOR_PASS", std::nullopt);
        engine.makeGate();
        engine.writeScript("app_up.sh", "read -r _ < gate\necho engine up\n");
        zqt::Preferences prefs;
        prefs.setString(zqt::Settings::key(zqt::Setting::Home), engine.path());
        prefs.setBool(zqt::Settings::key(zqt::Setting::AutoStart), false);
        prefs.setString(zqt::Settings::key(zqt::Setting::Host), "0.0.0.0");
        prefs.setString(zqt::Settings::key(zqt::Setting::Port), "8000");
        prefs.setString(zqt::Settings::key(zqt::Setting::MarketingPort), "3000");
        prefs.setString(zqt::Settings::key(zqt::Setting::PortalPort), "3001");
        prefs.remove(zqt::Settings::kTokenKey);
        prefs.sync();
    }
    ~ContentViewTest() override { app.reset(); }

    // The program's object graph, built by its entry over the preferences above, with the window shown.
    void open() {
        app = std::make_unique<zqt::ZQTDesktopApp>();
        state = &app->state();
        view = &app->window();
        view->show();
    }

    // Runs a start whose script is `script` (a running engine in the pid file) and waits until it has finished,
    // so the settings form shows what it printed.
    void runStartScript(const QByteArray& script) {
        engine.writeScript("app_up.sh", script);
        writeFile(engine.file("storage/web.pid"), QByteArray::number(QCoreApplication::applicationPid()));
        state->start();
        ASSERT_TRUE(waitUntil([&] { return !state->busy(); }));
        ASSERT_FALSE(state->lastOutput().isEmpty());
    }

    template <typename T> T* child(const char* name) const {
        T* w = view->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QTabWidget* tabs() const { return view->tabs(); }
    void selectTab(const QString& title) const {
        const int index = tabTitles(tabs()).indexOf(title);
        ASSERT_GE(index, 0) << title.toStdString();
        tabs()->setCurrentIndex(index);
    }
    void unlockThroughSheet(const QString& pass) const {
        QTest::mouseClick(child<QPushButton>("operatorButton"), Qt::LeftButton);
        auto* field = child<QLineEdit>("operatorPassField");
        field->clear();
        QTest::keyClicks(field, pass);
        QTest::mouseClick(child<QPushButton>("operatorUnlockButton"), Qt::LeftButton);
    }

    TempEnv env;
    EngineHome engine{env.path("engine")};
    std::unique_ptr<zqt::ZQTDesktopApp> app;
    AppState* state = nullptr;
    ContentView* view = nullptr;
};

// Requests for the page itself (the browser also asks for /favicon.ico on its own).
size_t pageRequests(const zqt::test::RecordingServer& server) {
    size_t n = 0;
    for (const auto& r : server.requests())
        n += r.path == "/" ? 1 : 0;
    return n;
}

const QStringList kPublicTabs{"Site", "External", "Trader Portal", "Native Terminal", "Web Terminal"};
const QStringList kOperatorTabs{"Admin", "Status", "Logs", "Settings"};

} // namespace

TEST_F(ContentViewTest, header_showsTitleButtonsAndOfflineState) {
    open();
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
    EXPECT_EQ(tabTitles(tabs()), kPublicTabs);
    for (int i = 0; i < tabs()->count(); ++i)
        EXPECT_FALSE(tabs()->tabIcon(i).isNull()) << tabs()->tabText(i).toStdString();
}

TEST_F(ContentViewTest, refresh_withLiveProcessInPidFile_showsOnlineInGreen) {
    open();
    writeFile(engine.file("storage/web.pid"), QByteArray::number(QCoreApplication::applicationPid()));
    QTest::mouseClick(child<QPushButton>("refreshButton"), Qt::LeftButton);
    auto* runState = child<QLabel>("runStateLabel");
    EXPECT_EQ(runState->text(), "Services online");
    EXPECT_EQ(runState->palette().color(QPalette::WindowText), ContentView::onlineColor());
}

TEST_F(ContentViewTest, start_showsBusyIndicatorWhileScriptRunsAndOutputInSettings) {
    open();
    ASSERT_TRUE(state->unlockOperator(kPass));
    selectTab("Settings");
    auto* outputBlock = child<QWidget>("lastOutputBlock");
    EXPECT_FALSE(outputBlock->isVisible()); // nothing printed yet: no heading either

    QTest::mouseClick(child<QPushButton>("startButton"), Qt::LeftButton);
    auto* busy = child<QProgressBar>("busyIndicator");
    EXPECT_TRUE(busy->isVisible());
    EXPECT_EQ(child<QLabel>("busyLabel")->text(), "Starting…");
    // The buttons stay enabled and the event loop keeps running while the script waits.
    EXPECT_TRUE(child<QPushButton>("stopButton")->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return engine.tryOpenGate(); }));
    ASSERT_TRUE(waitUntil([&] { return !state->busy(); }));
    EXPECT_FALSE(busy->isVisible());
    EXPECT_TRUE(outputBlock->isVisible());
    EXPECT_EQ(child<QPlainTextEdit>("lastOutputView")->toPlainText(), "engine up\n");

    // A stop that prints nothing leaves nothing to show: the block goes again.
    engine.writeScript("app_down.sh", "true\n");
    state->stop();
    ASSERT_TRUE(waitUntil([&] { return !state->busy(); }));
    EXPECT_TRUE(state->lastOutput().isEmpty());
    EXPECT_FALSE(outputBlock->isVisible());
}

TEST_F(ContentViewTest, operatorLock_opensExactlyFourTabsAfterWebTerminalAndClosesThemAcrossRestart) {
    open();
    unlockThroughSheet(kPass);
    EXPECT_EQ(tabTitles(tabs()), kPublicTabs + kOperatorTabs);
    EXPECT_EQ(child<QPushButton>("operatorButton")->text(), "Operator: ON");

    QTest::mouseClick(child<QPushButton>("operatorButton"), Qt::LeftButton);
    EXPECT_EQ(tabTitles(tabs()), kPublicTabs);
    EXPECT_EQ(view->findChild<QWidget*>("settingsView"), nullptr);
    EXPECT_EQ(child<QPushButton>("operatorButton")->text(), "Operator Unlock");

    // A new run reads the closed lock back.
    app.reset();
    open();
    EXPECT_FALSE(state->settings().flag(zqt::Setting::OperatorUnlocked));
    EXPECT_EQ(tabTitles(tabs()), kPublicTabs);
}

TEST_F(ContentViewTest, operatorLock_openAtStart_showsTheFourTabs) {
    zqt::Preferences().setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    open();
    EXPECT_EQ(tabTitles(tabs()), kPublicTabs + kOperatorTabs);
}

TEST_F(ContentViewTest, terminalPage_isBuiltRightAfterTheFirstPaint_inItsTabWithItsTitle) {
    open();
    // Nobody asks for it: the first paint alone brings it.
    ASSERT_TRUE(waitUntil([&] { return view->findChild<zqt::NativeTerminalView*>() != nullptr; }, 30000));
    auto* page = view->findChild<zqt::NativeTerminalView*>();
    EXPECT_EQ(tabTitles(tabs()), kPublicTabs);
    EXPECT_EQ(tabs()->indexOf(page), kPublicTabs.indexOf("Native Terminal"));
    EXPECT_FALSE(tabs()->tabIcon(tabs()->indexOf(page)).isNull());
    EXPECT_EQ(view->terminal(), page);
    EXPECT_EQ(view->findChildren<zqt::NativeTerminalView*>().size(), 1);
}

TEST_F(ContentViewTest, lock_whileOperatorTabSelected_selectsNativeTerminal) {
    open();
    ASSERT_TRUE(state->unlockOperator(kPass));
    selectTab("Logs");
    state->lockOperator();
    EXPECT_EQ(tabs()->tabText(tabs()->currentIndex()), "Native Terminal");
}

TEST_F(ContentViewTest, sheet_wrongPasscodeShowsErrorAndKeepsText_thenCancelClearsBoth) {
    open();
    QTest::mouseClick(child<QPushButton>("operatorButton"), Qt::LeftButton);
    auto* sheet = view->operatorSheet();
    ASSERT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    auto* field = child<QLineEdit>("operatorPassField");
    EXPECT_EQ(field->echoMode(), QLineEdit::Password);
    EXPECT_EQ(field->placeholderText(), "Passcode");
    auto* error = child<QLabel>("operatorErrorLabel");
    EXPECT_FALSE(error->isVisible());

    QTest::keyClicks(field, "wrong");
    QTest::mouseClick(child<QPushButton>("operatorUnlockButton"), Qt::LeftButton);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(view->operatorSheet()->isVisible());
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(error->text(), "Invalid passcode.");
    EXPECT_EQ(field->text(), "wrong");
    EXPECT_FALSE(state->settings().flag(zqt::Setting::OperatorUnlocked));

    QTest::mouseClick(child<QPushButton>("operatorCancelButton"), Qt::LeftButton);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_FALSE(view->operatorSheet()->isVisible());
    EXPECT_EQ(tabTitles(tabs()), kPublicTabs);

    // Opens clean.
    QTest::mouseClick(child<QPushButton>("operatorButton"), Qt::LeftButton);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(field->text(), "");
    EXPECT_FALSE(error->isVisible());
    EXPECT_EQ(sheet->operatorError(), "");
}

TEST_F(ContentViewTest, sheet_rightPasscodeWithReturn_unlocksAndCloses) {
    env.setVar("ZQT_OPERATOR_PASS", "s3cret");
    open();
    QTest::mouseClick(child<QPushButton>("operatorButton"), Qt::LeftButton);
    auto* field = child<QLineEdit>("operatorPassField");
    QTest::keyClicks(field, "s3cret");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(view->operatorSheet()->isVisible());
    EXPECT_FALSE(view->operatorSheet()->isVisible());
    EXPECT_TRUE(state->settings().flag(zqt::Setting::OperatorUnlocked));
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(zqt::Preferences().boolean(zqt::Settings::key(zqt::Setting::OperatorUnlocked)),
              std::optional<bool>(true));
}

TEST_F(ContentViewTest, sheet_escape_actsAsCancel) {
    open();
    QTest::mouseClick(child<QPushButton>("operatorButton"), Qt::LeftButton);
    auto* field = child<QLineEdit>("operatorPassField");
    QTest::keyClicks(field, "typed");
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(view->operatorSheet()->isVisible());
    EXPECT_FALSE(view->operatorSheet()->isVisible());
    EXPECT_EQ(field->text(), "");
}

TEST_F(ContentViewTest, tabs_anyInterfaceHost_pointEveryPageAtLoopback) {
    zqt::Preferences().setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    open();
    EXPECT_EQ(view->webView("Site")->url(), QUrl("http://127.0.0.1:3000"));
    EXPECT_EQ(view->webView("External")->url(), QUrl("http://127.0.0.1:3000/external"));
    EXPECT_EQ(view->webView("Trader Portal")->url(), QUrl("http://127.0.0.1:3001"));
    EXPECT_EQ(view->webView("Web Terminal")->url(), QUrl("http://127.0.0.1:8000/terminal"));
    EXPECT_EQ(view->webView("Admin")->url(), QUrl("http://127.0.0.1:8000/admin"));
    EXPECT_EQ(state->addresses().engine, QUrl("http://127.0.0.1:8000"));
}

TEST_F(ContentViewTest, webTerminal_storedToken_isReadAgainWhenATabIsChosen) {
    zqt::Preferences().setString(zqt::Settings::kTokenKey, "tok+1");
    open();
    EXPECT_EQ(view->webView("Web Terminal")->url().toString(QUrl::FullyEncoded),
              "http://127.0.0.1:8000/terminal?token=tok%2B1");

    // A sign-in elsewhere replaces the stored token; the next redraw uses it.
    zqt::Preferences().setString(zqt::Settings::kTokenKey, "tok2");
    selectTab("Web Terminal");
    EXPECT_EQ(view->webView("Web Terminal")->url().toString(QUrl::FullyEncoded),
              "http://127.0.0.1:8000/terminal?token=tok2");
}

TEST_F(ContentViewTest, settings_portEdit_takesEffectOnReturnOrSave_andMovesTheSiteTab) {
    zqt::Preferences().setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    open();
    selectTab("Settings");
    auto* port = child<QLineEdit>("marketingPortField");
    EXPECT_EQ(port->text(), "3000");
    port->selectAll();
    QTest::keyClicks(port, "4000");
    EXPECT_EQ(state->settings().text(zqt::Setting::MarketingPort), "3000") << "not committed yet";
    EXPECT_EQ(view->webView("Site")->url(), QUrl("http://127.0.0.1:3000"));
    QTest::keyClick(port, Qt::Key_Return);
    EXPECT_EQ(state->settings().text(zqt::Setting::MarketingPort), "4000");
    EXPECT_EQ(view->webView("Site")->url(), QUrl("http://127.0.0.1:4000"));

    // Any text is accepted; Save Settings commits and stores it, and the tab then explains instead of showing a
    // page.
    port->selectAll();
    QTest::keyClicks(port, "4o00");
    QTest::mouseClick(child<QPushButton>("saveSettingsButton"), Qt::LeftButton);
    EXPECT_EQ(state->settings().text(zqt::Setting::MarketingPort), "4o00");
    EXPECT_EQ(zqt::Preferences().string(zqt::Settings::key(zqt::Setting::MarketingPort)),
              std::optional<QString>("4o00"));
    selectTab("Site");
    auto* message = view->webView("Site")->findChild<QLabel*>("webViewMessage");
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(message->isVisible());
    EXPECT_FALSE(message->text().isEmpty());
}

TEST_F(ContentViewTest, settings_typingAPortKeyByKey_pointsNothingAtTheHalfTypedAddresses_untilFieldIsLeft) {
    zqt::test::RecordingServer oldEngine;
    zqt::test::RecordingServer newEngine;
    zqt::Preferences prefs;
    prefs.setString(zqt::Settings::key(zqt::Setting::Host), "127.0.0.1");
    prefs.setString(zqt::Settings::key(zqt::Setting::Port), QString::number(oldEngine.port()));
    prefs.setString(zqt::Settings::kTokenKey, "tok");
    prefs.setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    prefs.sync();
    open();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));
    selectTab("Settings");
    zqt::NativeTerminalModel& terminal = view->terminal()->model();
    const QUrl oldBase(oldEngine.baseUrl());
    const QUrl oldWebTerminal(oldEngine.baseUrl() + "/terminal?token=tok");
    ASSERT_EQ(terminal.link().baseUrl(), oldBase);

    auto* port = child<QLineEdit>("portField");
    port->setFocus();
    port->selectAll();
    const QString typed = QString::number(newEngine.port());
    for (const QChar key : typed) {
        QTest::keyClicks(port, QString(key));
        EXPECT_EQ(terminal.link().baseUrl(), oldBase) << port->text().toStdString();
        EXPECT_EQ(view->webView("Web Terminal")->url(), oldWebTerminal) << port->text().toStdString();
        terminal.refreshMarket(); // a poll now goes where the terminal points
    }
    EXPECT_EQ(port->text(), typed);
    ASSERT_TRUE(waitUntil([&] { return oldEngine.requestCount() >= static_cast<size_t>(typed.size()); }));
    EXPECT_EQ(newEngine.requestCount(), 0u);

    // Leaving the field commits the whole port at once.
    child<QLineEdit>("hostField")->setFocus();
    EXPECT_EQ(state->settings().text(zqt::Setting::Port), typed);
    EXPECT_EQ(terminal.link().baseUrl(), QUrl(newEngine.baseUrl()));
    EXPECT_EQ(view->webView("Web Terminal")->url(), QUrl(newEngine.baseUrl() + "/terminal?token=tok"));
    terminal.refreshMarket();
    ASSERT_TRUE(waitUntil([&] { return newEngine.requestCount() >= 1; }));
    EXPECT_EQ(newEngine.requests()[0].header("Authorization"), "Bearer tok");
}

TEST_F(ContentViewTest, settings_switchesAndPickers_editTheirFields) {
    zqt::Preferences().setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    open();
    selectTab("Settings");
    auto* demo = child<QCheckBox>("demoModeSwitch");
    const bool before = state->settings().flag(zqt::Setting::DemoMode);
    demo->click();
    EXPECT_EQ(state->settings().flag(zqt::Setting::DemoMode), !before);

    auto* broker = child<QComboBox>("brokerModePicker");
    EXPECT_EQ(broker->count(), 5);
    broker->setFocus();
    QTest::keyClick(broker, Qt::Key_End); // keyboard choice of the last broker
    EXPECT_EQ(state->settings().text(zqt::Setting::BrokerMode), "COINBASE");

    // A value set elsewhere shows in the control.
    state->set(zqt::Setting::ExecutionMode, "LIVE");
    EXPECT_EQ(child<QComboBox>("executionModePicker")->currentText(), "LIVE");
    state->set(zqt::Setting::Host, "10.0.0.5");
    EXPECT_EQ(child<QLineEdit>("hostField")->text(), "10.0.0.5");
}

TEST_F(ContentViewTest, settings_executionModeToLive_asksFirst_cancelKeepsDryRun_confirmSwitches) {
    zqt::Preferences().setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    open();
    selectTab("Settings");
    state->set(zqt::Setting::BrokerMode, "ALPACA");
    auto* mode = child<QComboBox>("executionModePicker");
    ASSERT_EQ(state->settings().text(zqt::Setting::ExecutionMode), "DRY_RUN");
    const auto askByKeyboard = [&]() -> QMessageBox* {
        mode->setFocus();
        QTest::keyClick(mode, Qt::Key_Down); // the operator's choice of LIVE
        QMessageBox* question = nullptr;
        waitUntil(
            [&] { return (question = view->findChild<QMessageBox*>("liveConfirmation")) && question->isVisible(); },
            10000);
        return question;
    };

    for (const char* refusal : {"Cancel button", "Escape"}) {
        QMessageBox* question = askByKeyboard();
        ASSERT_NE(question, nullptr) << refusal;
        EXPECT_TRUE(question->text().startsWith("Orders will go to the live broker.")) << refusal;
        EXPECT_TRUE(question->text().contains("ALPACA")) << refusal << ": the broker mode is named";
        EXPECT_EQ(question->defaultButton(), question->button(QMessageBox::Cancel)) << refusal;
        // Until the operator answers, nothing has changed.
        EXPECT_EQ(state->settings().text(zqt::Setting::ExecutionMode), "DRY_RUN") << refusal;
        EXPECT_EQ(mode->currentText(), "DRY_RUN") << refusal;
        if (std::string(refusal) == "Escape")
            QTest::keyClick(question, Qt::Key_Escape);
        else
            QTest::mouseClick(question->button(QMessageBox::Cancel), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return !view->findChild<QMessageBox*>("liveConfirmation"); }, 10000));
        EXPECT_EQ(state->settings().text(zqt::Setting::ExecutionMode), "DRY_RUN") << refusal;
        EXPECT_EQ(mode->currentText(), "DRY_RUN") << refusal;
        EXPECT_EQ(zqt::Preferences().string(zqt::Settings::key(zqt::Setting::ExecutionMode)), "DRY_RUN") << refusal;
    }

    QMessageBox* question = askByKeyboard();
    ASSERT_NE(question, nullptr);
    QTest::mouseClick(question->findChild<QPushButton*>("confirmLiveButton"), Qt::LeftButton);
    EXPECT_EQ(state->settings().text(zqt::Setting::ExecutionMode), "LIVE");
    EXPECT_EQ(mode->currentText(), "LIVE");

    // Back to DRY_RUN is the safe way: nothing asked.
    QTest::keyClick(mode, Qt::Key_Up);
    EXPECT_EQ(state->settings().text(zqt::Setting::ExecutionMode), "DRY_RUN");
    QCoreApplication::processEvents();
    EXPECT_EQ(view->findChild<QMessageBox*>("liveConfirmation"), nullptr);
}

TEST_F(ContentViewTest, header_failedStart_showsItsLastOutputLine_andTheWholeOutputOneClickAway) {
    engine.writeScript("app_up.sh", "echo 'reading settings'\n"
                                    "echo 'Refusing to start: ZQT_EXECUTION_MODE=LIVE needs a broker key' >&2\n"
                                    "exit 1\n");
    open();
    auto* outcome = child<QLabel>("runOutcomeLabel");
    auto* output = child<QPushButton>("showOutputButton");
    EXPECT_FALSE(outcome->isVisibleTo(view));
    EXPECT_FALSE(output->isVisibleTo(view));

    QTest::mouseClick(child<QPushButton>("startButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !state->busy(); }, 10000));
    EXPECT_EQ(outcome->text(), "Start failed: Refusing to start: ZQT_EXECUTION_MODE=LIVE needs a broker key");
    EXPECT_EQ(outcome->textFormat(), Qt::PlainText);
    EXPECT_TRUE(outcome->isVisibleTo(view));
    EXPECT_EQ(child<QLabel>("runStateLabel")->text(), "Services offline");

    // The whole output, behind no lock.
    ASSERT_TRUE(output->isVisibleTo(view));
    QTest::mouseClick(output, Qt::LeftButton);
    auto* text = view->findChild<QPlainTextEdit*>("lastOutputText");
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isVisible());
    EXPECT_TRUE(text->toPlainText().contains("reading settings\nRefusing to start"))
        << text->toPlainText().toStdString();
    QTest::mouseClick(output, Qt::LeftButton);
    EXPECT_EQ(view->findChildren<QPlainTextEdit*>("lastOutputText").size(), 1) << "one output window at a time";

    // A start that works replaces the failure.
    engine.writeDefaultUpScript();
    QTest::mouseClick(child<QPushButton>("startButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !state->busy(); }, 10000));
    EXPECT_EQ(outcome->text(), "Started.");
    EXPECT_TRUE(text->toPlainText().startsWith("up: to stdout")) << "the open window follows the output";
}

TEST_F(ContentViewTest, stop_withOpenPositions_asksFirst_cancelRunsNoScript_confirmStops) {
    zqt::test::RecordingServer trades;
    trades.setReply("GET", "/api/trades/open",
                    {200, R"({"positions":[{"id":1,"symbol":"EURUSD","side":"BUY","units":2,"entry":1.08},)"
                          R"({"id":2,"symbol":"AAPL","side":"SELL","units":1,"entry":190},)"
                          R"({"id":3,"symbol":"ES","side":"BUY","units":0,"entry":5000}]})"});
    {
        zqt::Preferences prefs;
        prefs.setString(zqt::Settings::key(zqt::Setting::Host), "127.0.0.1");
        prefs.setString(zqt::Settings::key(zqt::Setting::Port), QString::number(trades.port()));
        prefs.setString(zqt::Settings::kTokenKey, "tok-stop"); // signed in: the account's reads go out
        prefs.sync();
    }
    engine.writeScript("app_down.sh", "touch stopped.marker\n");
    open();
    ASSERT_TRUE(waitUntil([&] { return app->terminal().account().positions().size() == 3; }, 20000));

    const auto ask = [&]() -> QMessageBox* {
        QTest::mouseClick(child<QPushButton>("stopButton"), Qt::LeftButton);
        QMessageBox* question = nullptr;
        waitUntil([&] { return (question = view->findChild<QMessageBox*>("stopConfirmation")) != nullptr; }, 10000);
        return question;
    };
    QMessageBox* question = ask();
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text(), "Stop the engine with 2 open positions?");
    EXPECT_EQ(question->defaultButton(), question->button(QMessageBox::Cancel));
    QTest::keyClick(question, Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([&] { return !view->findChild<QMessageBox*>("stopConfirmation"); }, 10000));
    EXPECT_FALSE(state->busy());
    QCoreApplication::processEvents();
    EXPECT_FALSE(QFileInfo::exists(engine.file("stopped.marker")));

    question = ask();
    ASSERT_NE(question, nullptr);
    QTest::mouseClick(question->findChild<QPushButton*>("confirmStopButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(engine.file("stopped.marker")) && !state->busy(); }, 10000));
}

TEST_F(ContentViewTest, settings_saveSettings_saysSaved_andALaterEditClearsIt) {
    zqt::Preferences().setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    open();
    selectTab("Settings");
    auto* result = child<QLabel>("saveResultLabel");
    EXPECT_EQ(result->text(), "");
    QTest::mouseClick(child<QPushButton>("saveSettingsButton"), Qt::LeftButton);
    EXPECT_EQ(result->text(), "Saved.");
    child<QCheckBox>("demoModeSwitch")->click();
    EXPECT_EQ(result->text(), "");
}

TEST_F(ContentViewTest, settings_notionalLimit_typedInTheForm_isTheTicketsLimit_andStaysForTheNextRun) {
    zqt::Preferences prefs;
    prefs.setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    prefs.setString(zqt::Settings::key(zqt::Setting::NotionalLimit), "250000");
    prefs.sync();
    open();
    const zqt::TicketModel& ticket = view->terminal()->model().ticket();
    EXPECT_EQ(ticket.notionalLimit(), std::optional<double>(250000.0));
    selectTab("Settings");
    auto* field = child<QLineEdit>("notionalLimitField");
    field->selectAll();
    QTest::keyClicks(field, "1500");
    EXPECT_EQ(ticket.notionalLimit(), std::optional<double>(1500.0));
    QTest::mouseClick(child<QPushButton>("saveSettingsButton"), Qt::LeftButton);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    EXPECT_EQ(ticket.notionalLimit(), std::nullopt) << "empty is off";

    app.reset();
    open();
    EXPECT_EQ(view->terminal()->model().ticket().notionalLimit(), std::optional<double>(1500.0));
}

TEST_F(ContentViewTest, logs_shownLoadsSelectedLog_pickingAnotherShowsIt_refreshReloads) {
    writeFile(engine.file("storage/logs/web.log"), "web line\n");
    writeFile(engine.file("storage/logs/rm1.log"), "rm1 line\n");
    zqt::Preferences().setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    open();
    selectTab("Logs");
    auto* output = child<QPlainTextEdit>("logOutputView");
    EXPECT_TRUE(waitUntil([&] { return output->toPlainText().contains("web line"); }));
    EXPECT_TRUE(output->textInteractionFlags() & Qt::TextSelectableByMouse);

    // The lines under a log's name are that log's: picking rm1 shows rm1, not web's lines until a Refresh.
    QTest::mouseClick(child<QToolButton>("logSegment_rm1"), Qt::LeftButton);
    EXPECT_EQ(state->selectedLog(), "rm1");
    EXPECT_TRUE(waitUntil([&] { return output->toPlainText().contains("rm1 line"); }));
    EXPECT_FALSE(output->toPlainText().contains("web line"));

    writeFile(engine.file("storage/logs/rm1.log"), "rm1 line\nrm1 later\n");
    QTest::mouseClick(child<QPushButton>("logsRefreshButton"), Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return output->toPlainText().contains("rm1 later"); }));
}

TEST_F(ContentViewTest, failedSave_isShownInTheHeaderUntilASaveSucceeds) {
    zqt::Preferences().setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    open();
    auto* error = child<QLabel>("saveErrorLabel");
    EXPECT_FALSE(error->isVisible());
    EXPECT_EQ(error->textFormat(), Qt::PlainText);

    // The preferences folder becomes a file: nothing can be written there.
    const QString folder = QFileInfo(zqt::Preferences::filePath()).absolutePath();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(writeFile(folder, "in the way"));
    selectTab("Settings");
    QTest::mouseClick(child<QPushButton>("saveSettingsButton"), Qt::LeftButton);
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(error->text(), "Settings could not be saved: Not a directory");

    ASSERT_TRUE(QFile::remove(folder));
    QTest::mouseClick(child<QPushButton>("saveSettingsButton"), Qt::LeftButton);
    EXPECT_FALSE(error->isVisible());
    EXPECT_TRUE(QFileInfo::exists(zqt::Preferences::filePath()));
}

TEST_F(ContentViewTest, status_engineStopped_showsNoDataInBothBoxes) {
    zqt::Preferences().setString(zqt::Settings::key(zqt::Setting::Port), QString::number(zqt::test::freePort()));
    zqt::Preferences().setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    open();
    QSignalSpy probes(&state->status(), &zqt::StatusProbe::finished);
    selectTab("Status");
    ASSERT_TRUE(waitUntil([&] { return probes.count() >= 2; }, 30000));
    for (const char* name : {"healthView", "systemStatusView"}) {
        auto* box = child<QPlainTextEdit>(name);
        EXPECT_EQ(box->toPlainText(), "");
        EXPECT_EQ(box->placeholderText(), "No data");
    }
}

TEST_F(ContentViewTest, status_shownFetchesRepliesAsReceived) {
    zqt::test::RecordingServer server;
    server.setReply("GET", "/health", {200, "{\"ok\": true}"});
    server.setReply("GET", "/api/system/status", {503, "{\"db\":\"down\"}"});
    zqt::Preferences prefs;
    prefs.setString(zqt::Settings::key(zqt::Setting::Host), "127.0.0.1");
    prefs.setString(zqt::Settings::key(zqt::Setting::Port), QString::number(server.port()));
    prefs.setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    prefs.sync();
    open();
    selectTab("Status");
    auto* health = child<QPlainTextEdit>("healthView");
    auto* system = child<QPlainTextEdit>("systemStatusView");
    ASSERT_TRUE(waitUntil([&] { return !health->toPlainText().isEmpty() && !system->toPlainText().isEmpty(); }));
    EXPECT_EQ(health->toPlainText(), "{\"ok\": true}");
    EXPECT_EQ(system->toPlainText(), "{\"db\":\"down\"}");

    // A long reply on one line, with a word wider than the box: wrapped on screen, unchanged as text.
    const std::string longReply = "{\"components\":\"" + std::string(400, 'w') + "\",\"note\":\"" + [] {
        std::string words;
        for (int i = 0; i < 80; ++i)
            words += "word ";
        return words;
    }() + "\"}";
    server.setReply("GET", "/api/system/status", {200, longReply});
    QTest::mouseClick(child<QPushButton>("statusRefreshButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return system->toPlainText() == QString::fromStdString(longReply); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(system->horizontalScrollBar()->maximum(), 0) << "nothing runs off to the right";
    EXPECT_GT(system->document()->documentLayout()->documentSize().height(), 3) << "shown on several lines";
}

TEST_F(ContentViewTest, webView_sameAddressDoesNotReload_newPortDoes) {
    zqt::test::RecordingServer site;
    site.setReply("GET", "/", {200, "<html><body>site</body></html>", "text/html"});
    zqt::test::RecordingServer moved;
    moved.setReply("GET", "/", {200, "<html><body>moved</body></html>", "text/html"});
    zqt::Preferences prefs;
    prefs.setString(zqt::Settings::key(zqt::Setting::Host), "127.0.0.1");
    prefs.setString(zqt::Settings::key(zqt::Setting::MarketingPort), QString::number(site.port()));
    prefs.sync();
    open();
    WebView* web = view->webView("Site");
    ASSERT_TRUE(waitUntil([&] { return web->browser() != nullptr; }));
    QSignalSpy started(web->browser(), &QWebEngineView::loadStarted);
    QSignalSpy finished(web->browser(), &QWebEngineView::loadFinished);
    ASSERT_TRUE(waitUntil([&] { return finished.count() >= 1; }, 60000));
    const int loads = started.count();
    const size_t requests = pageRequests(site);

    // Handing the same address again, by a field change that leaves it as it was and by a tab change.
    state->set(zqt::Setting::Host, "0.0.0.0");
    state->set(zqt::Setting::Host, "127.0.0.1");
    selectTab("External");
    selectTab("Site");
    web->setUrl(QUrl(site.baseUrl()));
    EXPECT_FALSE(started.wait(500)); // a reload would start within this
    EXPECT_EQ(started.count(), loads);
    EXPECT_EQ(pageRequests(site), requests);

    state->set(zqt::Setting::MarketingPort, QString::number(moved.port()));
    ASSERT_TRUE(waitUntil([&] { return moved.requestCount() >= 1; }, 60000));
    EXPECT_TRUE(waitUntil([&] { return web->browser()->url().port() == moved.port(); }, 60000));
}

TEST_F(ContentViewTest, webView_failedLoad_isRetriedWhenAStartSeesTheEngineRunning_andOnRefresh) {
    // The start script reports this process as the engine's web service.
    engine.writeScript("app_up.sh", "echo " + QByteArray::number(QCoreApplication::applicationPid()) +
                                        " > storage/web.pid\necho engine up\n");
    QDir().mkpath(engine.file("storage"));
    const int sitePort = zqt::test::freePort();
    zqt::Preferences prefs;
    prefs.setString(zqt::Settings::key(zqt::Setting::Host), "127.0.0.1");
    prefs.setString(zqt::Settings::key(zqt::Setting::MarketingPort), QString::number(sitePort));
    prefs.sync();
    open();
    ASSERT_FALSE(state->isRunning());
    WebView* web = view->webView("Site");
    ASSERT_TRUE(waitUntil([&] { return web->browser() != nullptr; }));
    QSignalSpy finished(web->browser(), &QWebEngineView::loadFinished);
    ASSERT_TRUE(waitUntil([&] { return finished.count() >= 1; }, 60000));
    EXPECT_FALSE(finished.last().at(0).toBool()) << "nothing listens yet";
    EXPECT_TRUE(web->lastLoadFailed());

    // The site comes up on that port; the finished start sees the engine running and the page loads again.
    zqt::test::RecordingServer site(sitePort);
    ASSERT_EQ(site.port(), sitePort);
    site.setReply("GET", "/", {200, "<html><body>site</body></html>", "text/html"});
    state->start();
    ASSERT_TRUE(waitUntil([&] { return state->isRunning() && !state->busy(); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return pageRequests(site) >= 1 && !web->lastLoadFailed(); }, 60000));
    EXPECT_EQ(web->url(), QUrl(site.baseUrl())) << "the same address, loaded again";

    // Moved to a port nobody listens on yet: that load fails, and Refresh (the engine already seen running)
    // loads it again once something answers there.
    const int movedPort = zqt::test::freePort();
    finished.clear();
    state->set(zqt::Setting::MarketingPort, QString::number(movedPort));
    ASSERT_TRUE(waitUntil([&] { return finished.count() >= 1 && web->lastLoadFailed(); }, 60000));
    zqt::test::RecordingServer moved(movedPort);
    ASSERT_EQ(moved.port(), movedPort);
    moved.setReply("GET", "/", {200, "<html><body>moved</body></html>", "text/html"});
    QTest::mouseClick(child<QPushButton>("refreshButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return pageRequests(moved) >= 1 && !web->lastLoadFailed(); }, 60000));

    // A page that loaded is not loaded again by a later Refresh.
    const size_t loaded = pageRequests(moved);
    QSignalSpy started(web->browser(), &QWebEngineView::loadStarted);
    QTest::mouseClick(child<QPushButton>("refreshButton"), Qt::LeftButton);
    EXPECT_FALSE(started.wait(500));
    EXPECT_EQ(pageRequests(moved), loaded);
}

TEST_F(ContentViewTest, webProfile_isNamedAndOnDisk) {
    open();
    QWebEngineProfile* profile = view->webProfile();
    EXPECT_FALSE(profile->isOffTheRecord());
    EXPECT_EQ(profile->storageName(), "zqt-desktop");
    EXPECT_TRUE(profile->persistentStoragePath().startsWith(qEnvironmentVariable("XDG_DATA_HOME")))
        << profile->persistentStoragePath().toStdString();
}

// Grabs every tab at the window's minimum size into the build tree (for a person to look at) and checks that no
// visible label or button is narrower than its text needs.
TEST_F(ContentViewTest, tour_everyTabAtMinimumSize_showsTextsUntruncated) {
    zqt::Preferences().setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    open();
    runStartScript("echo engine up\necho web listening on 127.0.0.1:8000\n");
    view->resize(view->minimumSize());
    const QString artifacts = QStringLiteral(ZQT_TEST_ARTIFACTS_DIR);
    QDir().mkpath(artifacts);
    for (int i = 0; i < tabs()->count(); ++i) {
        tabs()->setCurrentIndex(i);
        QCoreApplication::processEvents();
        const QString title = tabs()->tabText(i);
        EXPECT_TRUE(view->grab().save(artifacts + "/tab-" + QString(title).replace(' ', '-') + ".png"));
        for (QWidget* w : tabs()->currentWidget()->findChildren<QWidget*>()) {
            if (!w->isVisible() || !(qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w)))
                continue;
            if (auto* label = qobject_cast<QLabel*>(w); label && label->wordWrap())
                continue;
            EXPECT_GE(w->width(), w->minimumSizeHint().width())
                << title.toStdString() << ": " << w->objectName().toStdString() << " "
                << w->property("text").toString().toStdString();
        }
    }
}

TEST_F(ContentViewTest, runtimePortsMoveTheEngine_terminalSendsToTheNewAddressWithItsToken) {
    zqt::Preferences().setString(zqt::Settings::kTokenKey, "tok-7");
    open();
    NativeTerminalView* terminal = view->terminal();
    ASSERT_NE(terminal, nullptr);
    EXPECT_EQ(terminal->model().link().baseUrl(), QUrl("http://127.0.0.1:8000"));
    terminal->model().session().setEmail("kept@x.y");

    zqt::test::RecordingServer moved;
    writeFile(engine.file("storage/runtime_ports.json"),
              QByteArray(R"({"host":"127.0.0.1","port":)") + QByteArray::number(moved.port()) + "}");
    QTest::mouseClick(child<QPushButton>("refreshButton"), Qt::LeftButton);
    EXPECT_EQ(terminal->model().link().baseUrl(), QUrl(moved.baseUrl()));
    EXPECT_EQ(terminal->model().session().email(), "kept@x.y");

    terminal->model().refreshAll();
    ASSERT_TRUE(waitUntil([&] { return moved.requestCount() >= 10; }, 30000));
    for (const auto& request : moved.requests())
        EXPECT_EQ(request.header("Authorization"), "Bearer tok-7") << request.target;
}

TEST_F(ContentViewTest, controls_everyTabAndSheet_haveAccessibleNamesAndTakeKeyboardFocus) {
    zqt::Preferences().setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    open();
    runStartScript("echo engine up\n");
    auto check = [](QWidget* root, const QString& where) {
        for (QWidget* w : root->findChildren<QWidget*>()) {
            // The tab bar's own scroll arrows are reached through the tab bar.
            if (qobject_cast<QTabBar*>(w->parentWidget()))
                continue;
            if (!(qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                  qobject_cast<QPlainTextEdit*>(w)))
                continue;
            const QString name = w->accessibleName().isEmpty() ? w->property("text").toString() : w->accessibleName();
            EXPECT_FALSE(name.isEmpty()) << where.toStdString() << ": " << w->metaObject()->className() << " "
                                         << w->objectName().toStdString();
            EXPECT_TRUE(w->focusPolicy() & Qt::TabFocus)
                << where.toStdString() << ": " << w->metaObject()->className() << " " << w->objectName().toStdString();
        }
    };
    check(child<QWidget>("header"), "header");
    for (int i = 0; i < tabs()->count(); ++i) {
        if (tabs()->tabText(i) == "Native Terminal")
            continue; // the terminal page has its own check
        tabs()->setCurrentIndex(i);
        QCoreApplication::processEvents();
        check(tabs()->currentWidget(), tabs()->tabText(i));
    }
    state->set(zqt::Setting::OperatorUnlocked, false);
    QTest::mouseClick(child<QPushButton>("operatorButton"), Qt::LeftButton);
    check(view->findChild<zqt::OperatorSheet*>(), "sheet");
}

TEST_F(ContentViewTest, terminalShortcuts_actOnlyOnTheTerminalTab_neverInTheLogsOrTheSettings) {
    open();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));
    unlockThroughSheet(kPass);
    NativeTerminalView* terminal = view->terminal();
    ASSERT_NE(terminal, nullptr);
    // Signed in: the keys would send if they reached the page.
    terminal->model().link().api().setToken(QStringLiteral("test-token"));
    // An order, cancel-all or close-all is on the wire as soon as the key press returns.
    const auto postsInFlight = [&] {
        std::vector<std::string> out;
        for (const std::string& t : zqt::test::inFlight(terminal->model().link().api()))
            if (t == "/api/oms/order" || t == "/api/oms/cancel_all" || t == "/api/positions/close_all")
                out.push_back(t);
        return out;
    };
    const Qt::Key keys[] = {Qt::Key_B, Qt::Key_S, Qt::Key_L, Qt::Key_C, Qt::Key_X};
    struct Place {
        const char* tab;
        const char* focus;
    };
    const Place places[] = {{"Logs", "logOutputView"},
                            {"Settings", "saveSettingsButton"},
                            {"Settings", "lastOutputView"},
                            {"Status", nullptr}};
    for (const auto& place : places) {
        selectTab(place.tab);
        QWidget* focus = place.focus ? child<QWidget>(place.focus) : tabs()->currentWidget();
        ASSERT_NE(focus, nullptr) << place.tab;
        focus->setFocus();
        for (Qt::Key key : keys) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : focus, key,
                            Qt::ControlModifier);
            EXPECT_EQ(postsInFlight(), std::vector<std::string>{}) << place.tab << " " << key;
        }
    }
    // On the terminal tab, with the focus on the page, the same key does send.
    selectTab("Native Terminal");
    auto* buy = terminal->findChild<QPushButton*>("quickBuyButton");
    ASSERT_NE(buy, nullptr);
    buy->setFocus();
    QTest::keyClick(buy, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(postsInFlight(), std::vector<std::string>{"/api/oms/order"});
}

namespace {

// An engine whose every web service answers on one recording server, with the desktop's browser replaced by a
// recorder.
class WebTabTest : public ContentViewTest {
protected:
    void openOnSite() {
        zqt::Preferences prefs;
        prefs.setString(zqt::Settings::key(zqt::Setting::Host), "127.0.0.1");
        for (const zqt::Setting s : {zqt::Setting::Port, zqt::Setting::MarketingPort, zqt::Setting::PortalPort})
            prefs.setString(zqt::Settings::key(s), QString::number(site.port()));
        prefs.sync();
        open();
        view->setExternalOpener([this](const QUrl& url) { opened << url; });
        web = view->webView("Site");
        ASSERT_TRUE(waitUntil([&] { return web->browser() != nullptr; }, 60000));
    }
    // Loads `path` of the site in the Site tab and waits until its page set its title to `title`.
    void loadAndWaitForTitle(const QString& path, const QString& title) {
        web->browser()->load(QUrl(site.baseUrl() + path));
        ASSERT_TRUE(waitUntil([&] { return web->browser()->title() == title; }, 60000))
            << path.toStdString() << " title " << web->browser()->title().toStdString();
    }
    // Clicks the middle of the page until its click handler set the title to `title` (the first clicks after a load
    // may come before the page has painted and can be hit).
    void clickPageUntilTitle(const QString& title) {
        QWidget* surface = web->browser()->focusProxy();
        ASSERT_NE(surface, nullptr);
        for (int i = 0; i < 20 && web->browser()->title() != title; ++i) {
            QTest::mouseMove(surface, surface->rect().center());
            QTest::mousePress(surface, Qt::LeftButton, {}, surface->rect().center());
            QTest::mouseRelease(surface, Qt::LeftButton, {}, surface->rect().center(), 20);
            waitUntil([&] { return web->browser()->title() == title; }, 2000);
        }
        ASSERT_EQ(web->browser()->title(), title);
    }
    QString siteOrigin() const { return site.baseUrl(); }
    // Serves `html` at `path`.
    void page(const std::string& path, const std::string& html) {
        site.setReply("GET", path, {200, html, "text/html"});
    }

    zqt::test::RecordingServer site;
    zqt::test::RecordingServer other; // another program on another loopback port
    WebView* web = nullptr;
    QList<QUrl> opened;
};

} // namespace

// Whatever way a page tries to leave the engine's origins, the tab stays on its page, the address goes to the
// desktop's browser instead, and nothing of it reaches the other address from inside the program.
TEST_F(WebTabTest, navigation_toAnyOtherOrigin_staysInTheTab_andOpensInTheBrowser) {
    site.setHandler("GET", "/redirect", [](const httplib::Request& req, httplib::Response& res) {
        res.set_redirect(req.get_param_value("to"));
    });
    openOnSite();
    const QString otherPort = QString::number(other.port());
    const QStringList targets{"http://127.0.0.1:" + otherPort + "/elsewhere?x=1", "http://example.invalid/path"};
    struct Case {
        const char* how;
        QString script; // %1: the target address
    };
    const std::vector<Case> cases{
        {"link click", "var a = document.createElement('a'); a.href = '%1'; document.body.appendChild(a); a.click();"},
        {"location assignment", "location.href = '%1';"},
        {"redirect", "location.href = '/redirect?to=' + encodeURIComponent('%1');"},
        {"window.open", "window.open('%1');"},
        {"target=_blank link", "var a = document.createElement('a'); a.href = '%1'; a.target = '_blank';"
                               "document.body.appendChild(a); a.click();"},
    };
    int n = 0;
    for (const Case& c : cases) {
        for (const QString& target : targets) {
            SCOPED_TRACE(std::string(c.how) + " to " + target.toStdString());
            const std::string path = "/case" + std::to_string(++n);
            page(path, "<html><head><title>case</title></head><body><script>setTimeout(function() {" +
                           c.script.arg(target).toStdString() + "}, 0);</script></body></html>");
            opened.clear();
            loadAndWaitForTitle(QString::fromStdString(path), "case");
            ASSERT_TRUE(waitUntil([&] { return !opened.isEmpty(); }, 30000));
            EXPECT_EQ(opened, QList<QUrl>{QUrl(target)});
            EXPECT_EQ(web->browser()->url(), QUrl(siteOrigin() + QString::fromStdString(path)));
            EXPECT_EQ(web->notices().constLast(), "Opened in the web browser: " + zqt::EnginePage::originOf(target));
        }
    }
    EXPECT_EQ(other.requestCount(), 0u) << "the other program was never asked from inside the tab";
}

// A script that keeps sending the tab away opens the browser a few times, then is only reported.
TEST_F(WebTabTest, navigation_scriptFloodingOtherAddresses_opensTheBrowserAtMostThreeTimes) {
    page("/flood", "<html><head><title>flood</title></head><body><script>var i = 0; setInterval(function() {"
                   "location.href = 'http://example.invalid/' + (i++); }, 1);</script></body></html>");
    openOnSite();
    loadAndWaitForTitle("/flood", "flood");
    ASSERT_TRUE(waitUntil(
        [&] { return !web->notices().isEmpty() && web->notices().constLast().startsWith("Blocked: more addresses"); },
        30000));
    EXPECT_EQ(opened.size(), zqt::EnginePage::kMaxExternalOpens);
    EXPECT_EQ(web->notices().constLast(),
              "Blocked: more addresses from " + siteOrigin() + " (http://example.invalid:80)");
    EXPECT_LE(web->notices().size(), WebView::kMaxNotices);
    EXPECT_EQ(web->browser()->url(), QUrl(siteOrigin() + "/flood"));
}

// Records what the desktop would be asked to open for a scheme.
class DesktopOpenRecorder final : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};

// Addresses of other schemes, even clicked by the user, go neither to the desktop nor to the browser.
TEST_F(WebTabTest, navigation_clickOnOtherSchemes_opensNothingOnTheDesktop) {
    DesktopOpenRecorder desktop;
    const QStringList targets{"mailto:someone@example.invalid", "zqtx-launch://run?x=1"};
    for (const QString& target : targets)
        QDesktopServices::setUrlHandler(QUrl(target).scheme(), &desktop, "open");
    openOnSite();
    selectTab("Site");
    int n = 0;
    for (const QString& target : targets) {
        SCOPED_TRACE(target.toStdString());
        const std::string path = "/scheme" + std::to_string(++n);
        page(path, "<html><head><title>scheme</title></head><body style='margin:0'><a href='" + target.toStdString() +
                       "' onclick=\"document.title = 'clicked'\" style='display:block;width:100vw;height:100vh'>"
                       "x</a></body></html>");
        loadAndWaitForTitle(QString::fromStdString(path), "scheme");
        clickPageUntilTitle("clicked");
        QSignalSpy changed(web->browser(), &QWebEngineView::urlChanged);
        EXPECT_FALSE(changed.wait(500));
        EXPECT_TRUE(desktop.urls.isEmpty());
        EXPECT_TRUE(opened.isEmpty());
        EXPECT_EQ(web->browser()->url(), QUrl(siteOrigin() + QString::fromStdString(path)));
    }
    for (const QString& target : targets)
        QDesktopServices::unsetUrlHandler(QUrl(target).scheme());
}

// A page's alert, confirm and prompt never open a window: each is one line in its tab naming the page's origin
// only (not its path or query), confirm and prompt are answered Cancel at once.
TEST_F(WebTabTest, dialogs_areNoticesInTheTab_namingTheOriginOnly_andQuestionsAreAnsweredCancel) {
    openOnSite();
    struct Case {
        std::string expression;
        QString answer;
        QString notice; // %1: the page's origin
    };
    const std::vector<Case> cases{
        {"alert('hello\\nthere')", "undefined", "Message from %1: hello there"},
        {"confirm('Place the order?')", "false", "Question from %1, answered Cancel: Place the order?"},
        {"prompt('Your name?', 'x')", "null", "Question from %1, answered Cancel: Your name?"},
        {"alert('<b>bold</b>' + 'y'.repeat(1000))", "undefined",
         "Message from %1: <b>bold</b>" + QString(zqt::EnginePage::kMaxMessageChars - 12, 'y') + QChar(0x2026)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        site.setHandler("GET", "/dialog", [c](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><head><title>dialog</title></head><body><script>setTimeout(function() {"
                            "document.title = 'answer:' + String(" +
                                c.expression + "); }, 0);</script></body></html>",
                            "text/html");
        });
        web->browser()->load(QUrl(siteOrigin() + "/dialog?token=tok-secret-1"));
        ASSERT_TRUE(waitUntil([&] { return web->browser()->title() == "answer:" + c.answer; }, 60000))
            << web->browser()->title().toStdString();
        EXPECT_EQ(web->notices().constLast(), c.notice.arg(siteOrigin()));
        for (const QString& notice : web->notices())
            EXPECT_FALSE(notice.contains("tok-secret") || notice.contains("/dialog")) << notice.toStdString();
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(w->isVisible() && w != view) << w->metaObject()->className();
    }
}

// `for(;;) alert(...)` in a hidden tab: the window goes on handling events, the tab keeps at most a few lines,
// the third dialog in a row offers to block the page's dialogs, and once blocked they stop reaching the tab.
TEST_F(WebTabTest, dialogs_inAnEndlessLoop_keepTheWindowResponsive_andCanBeBlocked) {
    page("/external", "<html><head><title>loop</title></head><body><script>setTimeout(function() {"
                      "for (var i = 0;; ++i) alert('again ' + i); }, 0);</script></body></html>");
    openOnSite();
    WebView* hidden = view->webView("External");
    ASSERT_NE(tabs()->currentWidget(), hidden);
    hidden->ensureBrowser();
    QSignalSpy raised(hidden->page(), &zqt::EnginePage::notice);
    QTimer ticker;
    QSignalSpy ticks(&ticker, &QTimer::timeout);
    ticker.start(20);

    ASSERT_TRUE(waitUntil([&] { return raised.count() >= 50 && ticks.count() >= 5; }, 60000))
        << raised.count() << " dialogs, " << ticks.count() << " ticks";
    EXPECT_FALSE(raised.at(0).at(1).toBool());
    EXPECT_FALSE(raised.at(1).at(1).toBool());
    EXPECT_TRUE(raised.at(2).at(1).toBool()) << "the third in a row offers the block";
    EXPECT_EQ(raised.at(0).at(0).toString(), "Message from " + siteOrigin() + ": again 0");
    EXPECT_LE(hidden->notices().size(), WebView::kMaxNotices);
    EXPECT_LE(hidden->findChildren<QFrame*>("webNotice").size(), WebView::kMaxNotices);

    // The other tabs and the header still answer the operator.
    selectTab("Trader Portal");
    EXPECT_EQ(tabs()->currentWidget(), view->webView("Trader Portal"));

    auto* block = hidden->findChildren<QToolButton*>("blockDialogsButton").constLast();
    ASSERT_FALSE(block->isHidden());
    QTest::mouseClick(block, Qt::LeftButton);
    EXPECT_TRUE(hidden->page()->dialogsBlocked());
    raised.clear();
    const int ticked = ticks.count();
    EXPECT_FALSE(raised.wait(500)) << "no dialog reaches the tab once blocked";
    EXPECT_GT(ticks.count(), ticked);
}

// A "leave this page?" question never holds the tab on its page.
TEST_F(WebTabTest, dialogs_leaveThisPageQuestion_neverHoldsTheTab) {
    page("/stay",
         "<html><head><title>stay</title></head><body style='margin:0'>"
         "<div onclick=\"document.title = 'touched'\" style='width:100vw;height:100vh'>x</div><script>"
         "window.addEventListener('beforeunload', function(e) { e.preventDefault(); e.returnValue = 'stay'; });"
         "</script></body></html>");
    page("/next", "<html><head><title>next</title></head><body>next</body></html>");
    openOnSite();
    selectTab("Site");
    loadAndWaitForTitle("/stay", "stay");
    // A click in the page, without which the browser engine asks nothing.
    clickPageUntilTitle("touched");
    loadAndWaitForTitle("/next", "next");
    EXPECT_TRUE(web->notices().isEmpty()) << web->notices().join(" | ").toStdString();
    view->close();
    app.reset(); // returns: closing does not wait for the page
}

// Location and notifications: denied, each with its line in the tab. (Camera and microphone requests go the same
// way, but a machine without such devices refuses them before asking.)
TEST_F(WebTabTest, permissions_areDenied_withANoticeNamingWhatAndTheOrigin) {
    openOnSite();
    struct Case {
        std::string script; // sets the title to 'denied' when refused
        QString what;
    };
    const std::vector<Case> cases{
        {"navigator.geolocation.getCurrentPosition(function() { document.title = 'granted'; },"
         "function() { document.title = 'denied'; });",
         "location access"},
        {"Notification.requestPermission().then(function(p) { document.title = p; });", "notifications"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what.toStdString());
        const std::string path = "/permission" + std::to_string(++n);
        page(path, "<html><head><title>asking</title></head><body><script>" + c.script + "</script></body></html>");
        web->browser()->load(QUrl(siteOrigin() + QString::fromStdString(path)));
        ASSERT_TRUE(
            waitUntil([&] { return web->notices().contains("Blocked: " + c.what + " from " + siteOrigin()); }, 60000))
            << web->notices().join(" | ").toStdString();
        EXPECT_TRUE(waitUntil([&] { return web->browser()->title() == "denied"; }, 30000))
            << web->browser()->title().toStdString();
    }
}

// File names a page suggests for a download, made safe to offer.
TEST(EnginePageTest, safeFileName_keepsNoFolderNoLeadingDotsNoControlCharacters) {
    const QList<std::pair<QString, QString>> cases{
        {"report.csv", "report.csv"},
        {"../../etc/passwd", "passwd"},
        {"..\\..\\boot.ini", "boot.ini"},
        {".bashrc", "bashrc"},
        {" ..  .hidden", "hidden"},
        {"a\nb\x01.txt", "ab.txt"},
        {"folder/", "download"},
        {"...", "download"},
        {"", "download"},
        {QString(300, 'x'), QString(120, 'x')},
    };
    for (const auto& [suggested, safe] : cases)
        EXPECT_EQ(zqt::EnginePage::safeFileName(suggested), safe) << suggested.toStdString();
}

// A download from the engine's page asks where to keep it without holding the window, under a safe name, and
// lands there; a download from another origin is cancelled with a notice.
TEST_F(WebTabTest, downloads_fromTheEngine_askWhereWithoutBlocking_fromElsewhere_areCancelled) {
    site.setHandler("GET", "/report", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Disposition", "attachment; filename=\"..%2F.profile\"");
        res.set_content("id,price\n1,2\n", "application/octet-stream");
    });
    other.setHandler("GET", "/payload.sh", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Disposition", "attachment; filename=\"payload.sh\"");
        res.set_content("echo owned\n", "application/octet-stream");
    });
    page("/get", "<html><head><title>get</title></head><body><script>setTimeout(function() {"
                 "location.href = '/report'; }, 0);</script></body></html>");
    page("/foreign", "<html><head><title>foreign</title></head><body><iframe src='" + other.baseUrl().toStdString() +
                         "/payload.sh'></iframe></body></html>");
    openOnSite();

    loadAndWaitForTitle("/get", "get");
    QFileDialog* dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = web->findChild<QFileDialog*>("downloadDialog")) != nullptr; }, 30000));
    ASSERT_TRUE(waitUntil([&] { return dialog->isVisible(); }));
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->windowModality(), Qt::NonModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    const QString offered = QFileInfo(dialog->selectedFiles().value(0)).fileName();
    EXPECT_FALSE(offered.isEmpty());
    EXPECT_FALSE(offered.startsWith('.')) << offered.toStdString();
    EXPECT_FALSE(offered.contains('/') || offered.contains('\\')) << offered.toStdString();
    const QString saved = env.path("saved");
    QDir().mkpath(saved);
    dialog->setDirectory(saved);
    dialog->selectFile(offered);
    const QString target = saved + "/" + offered;
    QSignalSpy chosen(dialog, &QFileDialog::fileSelected);
    QMetaObject::invokeMethod(dialog, "accept");
    ASSERT_EQ(chosen.count(), 1) << dialog->selectedFiles().join(",").toStdString();
    ASSERT_TRUE(waitUntil([&] { return zqt::test::readFile(target) == "id,price\n1,2\n"; }, 30000))
        << web->notices().join(" | ").toStdString();
    EXPECT_TRUE(web->notices().constLast().startsWith("Downloaded: ")) << web->notices().constLast().toStdString();

    loadAndWaitForTitle("/foreign", "foreign");
    const QString notice = "Blocked: download of \"payload.sh\" from " + other.baseUrl();
    ASSERT_TRUE(waitUntil([&] { return web->notices().contains(notice); }, 30000))
        << web->notices().join(" | ").toStdString();
    EXPECT_EQ(web->findChildren<QFileDialog*>("downloadDialog").size(), 0);
}

#include "test_content_view.moc"

// Another user's program holds the engine's port: the Web Terminal tab loads its page without the token and says
// why above it, as the sign-in panel does; once the terminal's next request finds the port in order again, the tab
// gets its token back.
TEST_F(ContentViewTest, webTerminal_portHeldByAnotherUser_loadsWithoutTheTokenAndSaysSo) {
    zqt::Preferences().setString(zqt::Settings::kTokenKey, "tok-w");
    open();
    zqt::NativeTerminalModel& terminal = view->terminal()->model();
    auto holder = std::make_shared<zqt::PortHolder>(zqt::PortHolder::OtherUser);
    terminal.link().setPortCheck([holder](quint16) { return *holder; });
    selectTab("Web Terminal");
    WebView* web = view->webView("Web Terminal");
    const QString notice = "Port 8000 is held by another user's program: sign-in and token withheld.";
    EXPECT_EQ(web->url().toString(QUrl::FullyEncoded), "http://127.0.0.1:8000/terminal");
    EXPECT_EQ(web->standingNotice(), notice);
    auto* line = web->findChild<QLabel*>("webViewNotice");
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(terminal.session().portWarning(), notice);
    auto* panelLine = view->terminal()->findChild<QLabel*>("portWarningLabel");
    ASSERT_NE(panelLine, nullptr);
    EXPECT_EQ(panelLine->text(), notice);
    EXPECT_FALSE(view->windowTitle().contains("tok-w"));

    *holder = zqt::PortHolder::ThisUser;
    terminal.link().setPortCheck([holder](quint16) { return *holder; }); // forgets the answer it had
    // A read still in flight is not sent again: the next refresh goes out once the former ones are done.
    ASSERT_TRUE(waitUntil([&] { return terminal.link().api().requestsInFlight() == 0; }, 30000));
    terminal.refreshMarket();
    EXPECT_EQ(web->url().toString(QUrl::FullyEncoded), "http://127.0.0.1:8000/terminal?token=tok-w");
    EXPECT_TRUE(web->standingNotice().isEmpty());
    EXPECT_FALSE(line->isVisible());
    EXPECT_TRUE(terminal.session().portWarning().isEmpty());
}

// The hosts a runtime ports file may name: one off this machine moves no tab, the terminal or the stored host,
// and the header says so; loopback ones (IPv6 in brackets) move every address.
TEST_F(ContentViewTest, runtimePortsHost_offThisMachineMovesNothing_loopbackMovesEveryTab) {
    open();
    struct Case {
        const char* host;
        const char* engine; // the terminal's address after the file was read
        const char* stored; // the host in the preferences afterwards
        bool noted;
    };
    const Case cases[] = {
        {"10.0.0.5", "http://127.0.0.1:8123", "0.0.0.0", true},
        {"engine.invalid", "http://127.0.0.1:8123", "0.0.0.0", true},
        {"0.0.0.0", "http://127.0.0.1:8123", "0.0.0.0", false},
        {"::1", "http://[::1]:8123", "::1", false},
        {"[::1]", "http://[::1]:8123", "::1", false},
        {"::", "http://[::1]:8123", "::", false},
        {"127.0.0.2", "http://127.0.0.2:8123", "127.0.0.2", false},
        {"", "http://127.0.0.1:8123", "0.0.0.0", false},
    };
    auto* note = child<QLabel>("runtimePortsNoteLabel");
    for (const Case& c : cases) {
        state->set(zqt::Setting::Host, "0.0.0.0");
        state->set(zqt::Setting::Port, "8000");
        state->savePreferences();
        writeFile(engine.file("storage/runtime_ports.json"),
                  QJsonDocument(QJsonObject{{"host", c.host}, {"port", 8123}}).toJson());
        QTest::mouseClick(child<QPushButton>("refreshButton"), Qt::LeftButton);
        const QUrl expected(c.engine);
        EXPECT_EQ(view->terminal()->model().link().baseUrl(), expected) << c.host;
        EXPECT_EQ(view->webView("Web Terminal")->url(), QUrl(expected.toString() + "/terminal")) << c.host;
        EXPECT_EQ(view->webView("Site")->url().host(), expected.host()) << c.host;
        EXPECT_EQ(view->webView("Trader Portal")->url().host(), expected.host()) << c.host;
        EXPECT_EQ(note->isVisibleTo(view), c.noted) << c.host;
        if (c.noted)
            EXPECT_TRUE(note->text().contains(QString::fromUtf8(c.host))) << c.host;
        state->savePreferences();
        EXPECT_EQ(zqt::Preferences().string(zqt::Settings::key(zqt::Setting::Host)), std::optional<QString>(c.stored))
            << c.host;
    }
}

namespace {

// Requests for `path` (any query) a server saw, as sent.
std::vector<std::string> targetsOf(const zqt::test::RecordingServer& server, const std::string& path) {
    std::vector<std::string> targets;
    for (const auto& r : server.requests())
        if (r.path == path)
            targets.push_back(r.target);
    return targets;
}

// Clicks the link with `id` in `web`'s page with the pointer. Does nothing when the page does not tell where the
// link is within a few seconds (a script sent as a navigation commits is never answered): the callers click again
// until the link acts.
void clickLink(WebView* web, const char* id) {
    std::optional<QPoint> centre;
    web->page()->runJavaScript(QStringLiteral("(function(){var r=document.getElementById('%1').getBoundingClientRect();"
                                              "return [r.left+r.width/2, r.top+r.height/2];})()")
                                   .arg(QLatin1String(id)),
                               [&centre](const QVariant& v) {
                                   const QVariantList xy = v.toList();
                                   if (xy.size() == 2)
                                       centre = QPoint(qRound(xy[0].toDouble()), qRound(xy[1].toDouble()));
                               });
    if (!waitUntil([&] { return centre.has_value(); }, 5000))
        return;
    QWidget* target = web->browser()->focusProxy() ? web->browser()->focusProxy() : web->browser();
    QTest::mouseClick(target, Qt::LeftButton, {}, *centre);
}

} // namespace

TEST_F(ContentViewTest, webTab_backForwardAndReload_byTheBarAndByAltArrowsAndF5) {
    zqt::test::RecordingServer site;
    site.setReply("GET", "/",
                  {200, "<html><body><a id='next' href='/external'>Learn more</a></body></html>", "text/html"});
    site.setReply("GET", "/external", {200, "<html><body>external</body></html>", "text/html"});
    zqt::Preferences prefs;
    prefs.setString(zqt::Settings::key(zqt::Setting::Host), "127.0.0.1");
    prefs.setString(zqt::Settings::key(zqt::Setting::MarketingPort), QString::number(site.port()));
    prefs.sync();
    open();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));
    WebView* web = view->webView("Site");
    auto* back = web->findChild<QToolButton*>("webBackButton");
    auto* forward = web->findChild<QToolButton*>("webForwardButton");
    auto* reload = web->findChild<QToolButton*>("webReloadButton");
    ASSERT_TRUE(back && forward && reload);
    ASSERT_TRUE(waitUntil([&] { return web->browser() != nullptr; }));
    QSignalSpy finished(web->browser(), &QWebEngineView::loadFinished);
    ASSERT_TRUE(waitUntil([&] { return finished.count() >= 1; }, 60000));
    EXPECT_FALSE(back->isEnabled());
    EXPECT_FALSE(forward->isEnabled());
    EXPECT_TRUE(reload->isEnabled());

    const QUrl home(site.baseUrl() + "/");
    const QUrl external(site.baseUrl() + "/external");
    bool moved = false;
    for (int attempt = 0; attempt < 12 && !moved; ++attempt) { // see the terminal link test below
        clickLink(web, "next");
        moved = waitUntil([&] { return web->browser()->url() == external; }, 5000);
    }
    ASSERT_TRUE(moved);
    ASSERT_TRUE(waitUntil([&] { return back->isEnabled(); }));
    QTest::mouseClick(back, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return web->browser()->url() == home && forward->isEnabled(); }, 60000));
    QTest::mouseClick(forward, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return web->browser()->url() == external; }, 60000));

    // The keys, with the focus in the page.
    web->browser()->setFocus();
    ASSERT_TRUE(waitUntil([&] { return web->browser()->focusProxy()->hasFocus() || web->browser()->hasFocus(); }));
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus, Qt::Key_Left, Qt::AltModifier);
    ASSERT_TRUE(waitUntil([&] { return web->browser()->url() == home; }, 60000));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right, Qt::AltModifier);
    ASSERT_TRUE(waitUntil([&] { return web->browser()->url() == external; }, 60000));
    const size_t externalLoads = targetsOf(site, "/external").size();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
    ASSERT_TRUE(waitUntil([&] { return targetsOf(site, "/external").size() == externalLoads + 1; }, 60000));
    QTest::mouseClick(reload, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return targetsOf(site, "/external").size() == externalLoads + 2; }, 60000));
    EXPECT_EQ(web->browser()->url(), external) << "Reload stays on the page shown";
}

TEST_F(ContentViewTest, webTab_heldAltLeftUnderX11_stepsBackOnce) {
    zqt::test::RecordingServer site;
    site.setReply("GET", "/", {200, "<html><body><a id='next' href='/second'>Second</a></body></html>", "text/html"});
    site.setReply("GET", "/second",
                  {200, "<html><body><a id='next' href='/third'>Third</a></body></html>", "text/html"});
    site.setReply("GET", "/third", {200, "<html><body>third</body></html>", "text/html"});
    zqt::Preferences prefs;
    prefs.setString(zqt::Settings::key(zqt::Setting::Host), "127.0.0.1");
    prefs.setString(zqt::Settings::key(zqt::Setting::MarketingPort), QString::number(site.port()));
    prefs.sync();
    open();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));
    WebView* web = view->webView("Site");
    ASSERT_TRUE(waitUntil([&] { return web->browser() != nullptr; }));
    QSignalSpy finished(web->browser(), &QWebEngineView::loadFinished);
    ASSERT_TRUE(waitUntil([&] { return finished.count() >= 1; }, 60000));
    for (const char* path : {"/second", "/third"}) {
        const QUrl next(site.baseUrl() + path);
        const qsizetype loads = finished.count();
        bool moved = false;
        for (int attempt = 0; attempt < 12 && !moved; ++attempt) { // see the terminal link test below
            clickLink(web, "next");
            moved = waitUntil([&] { return web->browser()->url() == next; }, 5000);
        }
        ASSERT_TRUE(moved) << path;
        ASSERT_TRUE(waitUntil([&] { return finished.count() > loads; }, 60000)) << path;
    }
    auto* back = web->findChild<QToolButton*>("webBackButton");
    ASSERT_TRUE(waitUntil([&] { return back->isEnabled(); }));

    web->browser()->setFocus();
    ASSERT_TRUE(waitUntil([&] { return web->browser()->focusProxy()->hasFocus() || web->browser()->hasFocus(); }));
    QWindow* window = view->windowHandle();
    ASSERT_NE(window, nullptr);
    // Held for a second and a half: the X server repeats the key as a release and a press of the same time
    // stamp, which Qt passes on unmarked when the press was not queued yet.
    const auto press = [&](ulong t) {
        qt_sendShortcutOverrideEvent(window, t, Qt::Key_Left, Qt::AltModifier);
    };
    const auto release = [&](ulong t) {
        QKeyEvent event(QEvent::KeyRelease, Qt::Key_Left, Qt::AltModifier);
        event.setTimestamp(t);
        QSpontaneKeyEvent::setSpontaneous(&event);
        qApp->notify(window, &event);
    };
    const ulong start = 7'000'000;
    press(start);
    for (ulong t = start + 660; t < start + 1500; t += 40) {
        release(t);
        press(t);
    }
    release(start + 1500);
    const QUrl third(site.baseUrl() + "/third");
    ASSERT_TRUE(waitUntil([&] { return web->browser()->url() != third; }, 60000));
    // Still there once every navigation the keys could have started has had its time: one step back, not two.
    const size_t homeLoads = targetsOf(site, "/").size();
    QSignalSpy settled(web->browser(), &QWebEngineView::loadFinished);
    QTest::mouseClick(web->findChild<QToolButton*>("webReloadButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !settled.isEmpty(); }, 60000));
    EXPECT_EQ(web->browser()->url(), QUrl(site.baseUrl() + "/second"));
    EXPECT_EQ(targetsOf(site, "/").size(), homeLoads);
    EXPECT_TRUE(web->findChild<QToolButton*>("webForwardButton")->isEnabled());
}

TEST_F(ContentViewTest, webTab_linkToTheEnginesTerminal_opensTheSignedInWebTerminalTab_andLeavesThePageWhereItWas) {
    zqt::test::RecordingServer engineServer;
    engineServer.setReply("GET", "/terminal", {200, "<html><body>terminal</body></html>", "text/html"});
    zqt::test::RecordingServer site;
    site.setReply("GET", "/",
                  {200,
                   "<html><body><a id='term' href='" + engineServer.baseUrl().toStdString() +
                       "/terminal'>Open the terminal</a><a id='popup' target='_blank' href='" +
                       engineServer.baseUrl().toStdString() + "/terminal/'>New window</a></body></html>",
                   "text/html"});
    zqt::Preferences prefs;
    prefs.setString(zqt::Settings::key(zqt::Setting::Host), "127.0.0.1");
    prefs.setString(zqt::Settings::key(zqt::Setting::Port), QString::number(engineServer.port()));
    prefs.setString(zqt::Settings::key(zqt::Setting::MarketingPort), QString::number(site.port()));
    prefs.setString(zqt::Settings::kTokenKey, "tok");
    prefs.sync();
    open();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));
    WebView* web = view->webView("Site");
    ASSERT_TRUE(waitUntil([&] { return web->browser() != nullptr; }));
    QSignalSpy finished(web->browser(), &QWebEngineView::loadFinished);
    ASSERT_TRUE(waitUntil([&] { return finished.count() >= 1; }, 60000));
    ASSERT_TRUE(targetsOf(engineServer, "/terminal").empty()) << "the Web Terminal tab was not opened yet";

    for (const char* link : {"term", "popup"}) {
        SCOPED_TRACE(link);
        selectTab("Site");
        // The page takes pointer input once its renderer has shown a frame, which may lag its load on a busy
        // machine: a click that came too early is simply lost, so the link is clicked again until it acts.
        bool opened = false;
        for (int attempt = 0; attempt < 12 && !opened; ++attempt) {
            clickLink(web, link);
            opened = waitUntil([&] { return tabs()->currentWidget() == view->webView("Web Terminal"); }, 5000);
        }
        ASSERT_TRUE(opened);
        ASSERT_TRUE(waitUntil([&] { return !targetsOf(engineServer, "/terminal").empty(); }, 60000));
        for (const std::string& target : targetsOf(engineServer, "/terminal"))
            EXPECT_EQ(target, "/terminal?token=tok") << "never an unsigned copy";
        EXPECT_EQ(web->browser()->url(), QUrl(site.baseUrl() + "/")) << "the Site tab stays on its page";
    }
    // The Web Terminal tab already shows its page: the second link loads nothing again.
    EXPECT_EQ(targetsOf(engineServer, "/terminal").size(), 1u);
}
