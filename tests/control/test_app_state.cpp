#include "control/AppState.h"
#include "control/OperatorLock.h"
#include "control/Preferences.h"
#include "control/Settings.h"

#include "EngineHome.h"
#include "QtPrinters.h"
#include "RecordingServer.h"
#include "TestEnv.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <signal.h>

using zqt::AppState;
using zqt::Preferences;
using zqt::Setting;
using zqt::Settings;
using zqt::test::EngineHome;
using zqt::test::readFile;
using zqt::test::RecordingServer;
using zqt::test::TempEnv;
using zqt::test::waitUntil;
using zqt::test::writeFile;

namespace {

class AppStateTest : public ::testing::Test {
protected:
    AppStateTest() { env.setVar("ZQT_OPERATOR_PASS", std::nullopt); }

    // Stores preferences before the state is built, as a previous run would have.
    void storePrefs(const std::function<void(Preferences&)>& write) {
        Preferences prefs;
        write(prefs);
        prefs.sync();
    }
    // The control side as the program's entry builds it (store, settings, state) over the preferences file in
    // the temp HOME, as a new run of the program; the previous run's objects go first.
    AppState& open() {
        closeState();
        runPrefs = std::make_unique<Preferences>();
        runSettings = std::make_unique<Settings>(*runPrefs);
        runState = std::make_unique<AppState>(*runSettings);
        return *runState;
    }
    void closeState() {
        runState.reset();
        runSettings.reset();
        runPrefs.reset();
    }
    // A state on `engine` with auto-start off unless asked for.
    AppState* makeState(bool autoStart = false) {
        // A stored home counts only while it holds the start script.
        if (!QFile::exists(engine.file("scripts/app_up.sh")))
            engine.writeScript("app_up.sh", "echo placeholder\n");
        storePrefs([&](Preferences& p) {
            p.setString(zqt::Settings::key(zqt::Setting::Home), engine.path());
            p.setBool(zqt::Settings::key(zqt::Setting::AutoStart), autoStart);
        });
        return &open();
    }
    QJsonObject storedJson() const { return QJsonDocument::fromJson(readFile(Preferences::filePath())).object(); }
    // No script running or waiting, and the log reload that follows each one has landed.
    static bool idle(AppState& s) { return !s.busy() && !s.logs().isReading(); }

    TempEnv env;
    EngineHome engine{env.path("engine")};
    std::unique_ptr<Preferences> runPrefs;
    std::unique_ptr<Settings> runSettings;
    std::unique_ptr<AppState> runState;
};

} // namespace

TEST_F(AppStateTest, firstLaunch_emptyStore_usesDefaultsAndWritesEveryKeyBeforeReturning) {
    AppState& state = open();
    EXPECT_EQ(state.settings().text(Setting::Home), env.home() + "/.local/share/zqt/engine");
    for (const zqt::SettingSpec& row : Settings::table()) {
        const QVariant value = state.settings().value(row.setting);
        EXPECT_EQ(value.typeId(), row.type) << row.key;
        EXPECT_EQ(value, Settings::defaultValue(row.setting)) << row.key;
    }
    EXPECT_EQ(state.selectedLog(), "web");
    EXPECT_FALSE(state.isRunning());
    EXPECT_TRUE(state.lastOutput().isEmpty());
    EXPECT_FALSE(state.busy()) << "the auto-start runs after construction, not inside it";

    const QJsonObject o = storedJson();
    EXPECT_EQ(o.size(), static_cast<int>(Settings::table().size()));
    for (const zqt::SettingSpec& row : Settings::table()) {
        ASSERT_TRUE(o.contains(row.key)) << row.key;
        EXPECT_EQ(o.value(row.key).isBool(), row.type == QMetaType::Bool) << row.key;
        EXPECT_EQ(o.value(row.key).toVariant(), Settings::defaultValue(row.setting)) << row.key;
    }

    // The queued auto-start then reports the missing default home.
    ASSERT_TRUE(waitUntil([&] { return !state.lastOutput().isEmpty() && idle(state); }));
    EXPECT_EQ(state.lastOutput(), "ZQT_HOME not found: " + state.settings().text(Setting::Home));
}

TEST_F(AppStateTest, resolveHome_followsStoredPathAndMigratesFormerDefault) {
    const QString primary = env.path("primary");
    const QString former = env.path("former");
    const QString other = env.path("other");
    const QString bare = env.path("bare"); // exists, but without the start script
    QDir().mkpath(bare);
    auto withScript = [](const QString& home) {
        writeFile(home + "/scripts/app_up.sh", "#!/bin/bash\n");
    };

    struct Case {
        const char* name;
        std::optional<QString> stored;
        bool primaryHasScript;
        bool formerHasScript;
        QString expected;
    };
    const Case cases[] = {
        {"absent", std::nullopt, false, false, primary},
        {"absent, primary installed", std::nullopt, true, false, primary},
        {"stored with script", other, false, false, other},
        {"stored with script, primary installed too", other, true, false, other},
        {"stored without script", bare, true, false, primary},
        {"stored missing folder", env.path("gone"), false, false, primary},
        {"former with script, primary installed: migrates", former, true, true, primary},
        {"former with script, primary not installed: stays", former, false, true, former},
        {"former without script", former, false, false, primary},
        {"stored equals primary", primary, true, false, primary},
        {"trailing slash is another text", former + "/", true, true, former + "/"},
    };
    for (const Case& c : cases) {
        QDir(primary).removeRecursively();
        QDir(former).removeRecursively();
        withScript(other);
        if (c.primaryHasScript)
            withScript(primary);
        if (c.formerHasScript)
            withScript(former);
        EXPECT_EQ(Settings::resolveHome(c.stored, primary, former), c.expected) << c.name;
    }
}

TEST_F(AppStateTest, startup_storedFormerDefaultHome_isMigratedAndPersisted) {
    const QString primary = Settings::primaryDefaultHome();
    const QString former = Settings::formerDefaultHome();
    writeFile(primary + "/scripts/app_up.sh", "#!/bin/bash\n");
    writeFile(former + "/scripts/app_up.sh", "#!/bin/bash\n");
    storePrefs([&](Preferences& p) {
        p.setString(zqt::Settings::key(zqt::Setting::Home), former);
        p.setBool(zqt::Settings::key(zqt::Setting::AutoStart), false);
    });
    AppState& state = open();
    EXPECT_EQ(state.settings().text(Setting::Home), primary);
    EXPECT_EQ(storedJson().value("zqtHome").toString(), primary);
}

TEST_F(AppStateTest, startup_storedValuesAreReadWithTheirTypes) {
    storePrefs([&](Preferences& p) {
        p.setString(zqt::Settings::key(zqt::Setting::Home), engine.path());
        p.setString(zqt::Settings::key(zqt::Setting::Host), "0.0.0.0");
        p.setString(zqt::Settings::key(zqt::Setting::Port), "not a number");
        p.setBool(zqt::Settings::key(zqt::Setting::DemoMode), false);
        p.setString(zqt::Settings::key(zqt::Setting::ExecutionMode), "LIVE");
        p.setString(zqt::Settings::key(zqt::Setting::StartPortal),
                    "false"); // a string, read the way the platform reads switches
        p.setBool(zqt::Settings::key(zqt::Setting::AutoStart), false);
        p.setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    });
    AppState& state = open();
    EXPECT_EQ(state.settings().text(Setting::Host), "0.0.0.0");
    EXPECT_EQ(state.accessHost(), "127.0.0.1");
    EXPECT_EQ(state.settings().text(Setting::Port), "not a number");
    EXPECT_FALSE(state.settings().flag(Setting::DemoMode));
    EXPECT_EQ(state.settings().text(Setting::ExecutionMode), "LIVE");
    EXPECT_FALSE(state.settings().flag(Setting::StartPortal));
    EXPECT_TRUE(state.settings().flag(Setting::StartMarketing));
    EXPECT_TRUE(state.settings().flag(Setting::OperatorUnlocked));
    EXPECT_TRUE(storedJson().value("zqtStartPortal").isBool()) << "written back as a switch";
}

TEST_F(AppStateTest, startup_runtimePortsFileOverridesStoredPortsAndIsStored) {
    writeFile(engine.file("storage/runtime_ports.json"), R"({"host":"0.0.0.0","port":9000,"portal_port":3101})");
    auto state = makeState();
    EXPECT_EQ(state->settings().text(Setting::Host), "0.0.0.0");
    EXPECT_EQ(state->settings().text(Setting::Port), "9000");
    EXPECT_EQ(state->settings().text(Setting::MarketingPort), "3000");
    EXPECT_EQ(state->settings().text(Setting::PortalPort), "3101");
    const QJsonObject o = storedJson();
    EXPECT_EQ(o.value("zqtPort").toString(), "9000");
    EXPECT_EQ(o.value("zqtPortalPort").toString(), "3101");
}

TEST_F(AppStateTest, syncRuntimePorts_appliesOnlyUsableFiles) {
    auto state = makeState();
    struct Case {
        const char* name;
        QByteArray json; // empty: no file
        QString host, port, marketing, portal;
    };
    const Case cases[] = {
        {"no file", {}, "127.0.0.1", "8000", "3000", "3001"},
        {"empty host ignored", R"({"host":"","port":8010})", "127.0.0.1", "8010", "3000", "3001"},
        {"port as string: nothing applied", R"({"host":"10.1.1.1","port":"8010"})", "127.0.0.1", "8000", "3000",
         "3001"},
        {"null marketing port", R"({"marketing_port":null,"portal_port":4001})", "127.0.0.1", "8000", "3000", "4001"},
        {"not JSON", "garbage", "127.0.0.1", "8000", "3000", "3001"},
        {"not an object", "[8010]", "127.0.0.1", "8000", "3000", "3001"},
        {"all", R"({"host":"0.0.0.0","port":9000,"marketing_port":3100,"portal_port":3101})", "0.0.0.0", "9000", "3100",
         "3101"},
    };
    for (const Case& c : cases) {
        state->set(Setting::Host, "127.0.0.1");
        state->set(Setting::Port, "8000");
        state->set(Setting::MarketingPort, "3000");
        state->set(Setting::PortalPort, "3001");
        QFile::remove(engine.file("storage/runtime_ports.json"));
        if (!c.json.isEmpty())
            writeFile(engine.file("storage/runtime_ports.json"), c.json);
        state->syncRuntimePortsIfPresent();
        EXPECT_EQ(state->settings().text(Setting::Host), c.host) << c.name;
        EXPECT_EQ(state->settings().text(Setting::Port), c.port) << c.name;
        EXPECT_EQ(state->settings().text(Setting::MarketingPort), c.marketing) << c.name;
        EXPECT_EQ(state->settings().text(Setting::PortalPort), c.portal) << c.name;
    }
}

// A ports file written by whoever can write the engine's storage folder must not send the program's requests, and
// the sign-in token with them, off this machine: its host is followed only to a loopback address or to the host
// configured now; any other is ignored with a note, never stored, while its ports are still taken.
TEST_F(AppStateTest, syncRuntimePorts_hostileHosts_areIgnoredWithANoteAndNeverStored) {
    auto state = makeState();
    struct Case {
        const char* host;
        QString expectedHost; // after the file was applied over the configured "127.0.0.1"
        bool noted;
    };
    const Case cases[] = {
        {"10.0.0.5", "127.0.0.1", true},
        {"engine.invalid", "127.0.0.1", true},
        {"0.0.0.0", "0.0.0.0", false},
        {"::1", "::1", false},
        {"[::1]", "::1", false},
        {"127.0.0.2", "127.0.0.2", false},
        {"", "127.0.0.1", false},
        {"8.8.8.8\n\u202e", "127.0.0.1", true},
        {"127.0.0.1@evil.test", "127.0.0.1", true},
    };
    for (const Case& c : cases) {
        state->set(Setting::Host, "127.0.0.1");
        state->set(Setting::Port, "8000");
        state->savePreferences();
        QJsonObject file{{"host", QString::fromUtf8(c.host)}, {"port", 8123}};
        writeFile(engine.file("storage/runtime_ports.json"), QJsonDocument(file).toJson());
        QSignalSpy noteChanged(state, &AppState::runtimePortsNoteChanged);
        state->syncRuntimePortsIfPresent();
        EXPECT_EQ(state->settings().text(Setting::Host), c.expectedHost) << c.host;
        EXPECT_EQ(state->settings().text(Setting::Port), "8123") << "the ports are taken either way: " << c.host;
        EXPECT_EQ(!state->runtimePortsNote().isEmpty(), c.noted) << c.host;
        if (c.noted) {
            EXPECT_EQ(noteChanged.count(), 1) << c.host;
            EXPECT_FALSE(state->runtimePortsNote().contains('\n')) << "one line: " << c.host;
            EXPECT_FALSE(state->runtimePortsNote().contains(QChar(0x202e))) << c.host;
        }
        // A save, as start and stop make before their script, stores the configured host, not the file's.
        state->savePreferences();
        EXPECT_EQ(storedJson().value("zqtHost").toString(), c.expectedHost) << c.host;
        // The next file without a host clears the note: it tells of the last file only.
        writeFile(engine.file("storage/runtime_ports.json"), R"({"port":8000})");
        state->syncRuntimePortsIfPresent();
        EXPECT_TRUE(state->runtimePortsNote().isEmpty()) << c.host;
    }
}

// At start-up the settings are written back right after the ports file is applied: a hostile host must not land
// in the preferences there either, and the window's header shows the note from its first paint.
TEST_F(AppStateTest, startup_runtimePortsFileWithForeignHost_keepsStoredHost) {
    writeFile(engine.file("storage/runtime_ports.json"), R"({"host":"10.0.0.5","port":9000})");
    auto state = makeState();
    EXPECT_EQ(state->settings().text(Setting::Host), "127.0.0.1");
    EXPECT_EQ(state->settings().text(Setting::Port), "9000");
    EXPECT_EQ(storedJson().value("zqtHost").toString(), "127.0.0.1");
    EXPECT_TRUE(state->runtimePortsNote().contains("10.0.0.5"));
}

TEST_F(AppStateTest, autoStart_storedFalseDisablesIt_removingTheKeyEnablesItAgain) {
    engine.writeDefaultUpScript();
    {
        auto state = makeState(false);
        // Let any queued call run: one pass of the event loop reaches the posted start if there were one.
        QCoreApplication::processEvents();
        EXPECT_FALSE(state->busy());
        EXPECT_TRUE(state->lastOutput().isEmpty());
        closeState();
    }
    EXPECT_FALSE(QFile::exists(engine.file("up.env")));
    {
        Preferences p;
        p.remove(zqt::Settings::key(zqt::Setting::AutoStart));
    }
    AppState& state = open();
    EXPECT_TRUE(state.settings().flag(Setting::AutoStart));
    ASSERT_TRUE(waitUntil([&] { return state.isRunning() && idle(state); }));
    EXPECT_TRUE(QFile::exists(engine.file("up.env")));
}

TEST_F(AppStateTest, autoStart_engineAlreadyRunning_isSkipped) {
    engine.writeDefaultUpScript();
    QProcess running;
    running.start("sleep", {"300"});
    ASSERT_TRUE(running.waitForStarted());
    writeFile(engine.file("storage/web.pid"), QByteArray::number(running.processId()) + "\n");
    auto state = makeState(true);
    EXPECT_TRUE(state->isRunning());
    QCoreApplication::processEvents();
    EXPECT_FALSE(state->busy());
    EXPECT_FALSE(QFile::exists(engine.file("up.env")));
    running.kill();
    running.waitForFinished();
}

TEST_F(AppStateTest, start_runsScriptWithFourteenVariablesThenAppliesResultsInOrder) {
    env.setVar("ZQT_PORT", "1"); // inherited, must be replaced
    env.setVar("ZQT_HOST", "inherited-host");
    engine.writeDefaultUpScript();
    writeFile(engine.file("ports.next"), R"({"port":8123})");
    auto state = makeState();
    state->set(Setting::Host, "0.0.0.0");
    state->set(Setting::DemoMode, false);
    state->set(Setting::StartPortal, false);
    state->set(Setting::BrokerMode, "IBKR");

    QStringList order;
    for (auto [signal, name] :
         {std::pair{&AppState::lastOutputChanged, "lastOutput"}, std::pair{&AppState::isRunningChanged, "isRunning"},
          std::pair{&AppState::logOutputChanged, "logOutput"}})
        QObject::connect(state, signal, state, [&order, name = QString(name)] { order << name; });
    QObject::connect(state, &AppState::settingChanged, state, [&order](Setting changed) {
        if (changed == Setting::Port)
            order << "port";
    });

    state->start();
    EXPECT_TRUE(state->busy());
    EXPECT_EQ(state->busyText(), "Starting…");
    EXPECT_TRUE(state->lastOutput().isEmpty()) << "the script runs asynchronously";
    EXPECT_EQ(storedJson().value("zqtBrokerMode").toString(), "IBKR") << "settings saved before the script runs";
    ASSERT_TRUE(waitUntil([&] { return idle(*state); }, 10000));

    EXPECT_EQ(order, QStringList({"lastOutput", "port", "isRunning", "logOutput"}));
    EXPECT_EQ(state->lastOutput(), "up: to stdout\nup: to stderr\n");
    EXPECT_EQ(state->settings().text(Setting::Port), "8123");
    EXPECT_TRUE(state->isRunning());
    EXPECT_EQ(state->logOutput(), "web started on 8000");
    EXPECT_EQ(state->busyText(), "");

    const QString home = engine.path();
    const QMap<QString, QString> expected{
        {"ZQT_HOME", home},
        {"ZQT_STORAGE", home + "/storage"},
        {"ZQT_DB", home + "/storage/db.sqlite"},
        {"ZQT_HOST", "0.0.0.0"},
        {"ZQT_PORT", "8000"},
        {"ZQT_DEMO", "0"},
        {"ZQT_EXECUTION_MODE", "DRY_RUN"},
        {"ZQT_BROKER_MODE", "IBKR"},
        {"ZQT_PUBLIC_PRICES", "1"},
        {"ZQT_SEED_DEMO", "0"},
        {"ZQT_START_MARKETING", "1"},
        {"ZQT_MARKETING_PORT", "3000"},
        {"ZQT_START_PORTAL", "0"},
        {"ZQT_PORTAL_PORT", "3001"},
    };
    const QMap<QString, QString> recorded = engine.recordedEnv("up");
    for (auto it = expected.begin(); it != expected.end(); ++it)
        EXPECT_EQ(recorded.value(it.key()), it.value()) << it.key().toStdString();
    EXPECT_EQ(recorded.value("HOME"), env.home()) << "the program's own environment is inherited";
}

TEST_F(AppStateTest, start_missingHome_reportsItAndStillChecksPidAndLog) {
    const QString missing = env.path("missing engine");
    auto state = makeState();
    state->set(Setting::Home, missing);
    state->start();
    ASSERT_TRUE(waitUntil([&] { return idle(*state); }));
    EXPECT_EQ(state->lastOutput(), "ZQT_HOME not found: " + missing);
    EXPECT_FALSE(state->isRunning());
    EXPECT_EQ(state->logOutput(), "No log found: " + missing + "/storage/logs/web.log");
}

TEST_F(AppStateTest, start_shellCannotStart_reportsFailedToRun) {
    auto state = makeState();
    state->service().setShell(env.path("no-shell-here"));
    state->start();
    ASSERT_TRUE(waitUntil([&] { return idle(*state); }));
    EXPECT_TRUE(state->lastOutput().startsWith("Failed to run: ")) << state->lastOutput().toStdString();
}

TEST_F(AppStateTest, stop_runsDownScriptThenRefreshesRunStateAndLog) {
    engine.writeDefaultUpScript();
    engine.writeDefaultDownScript();
    auto state = makeState();
    state->start();
    ASSERT_TRUE(waitUntil([&] { return idle(*state); }, 10000));
    ASSERT_TRUE(state->isRunning());
    state->stop();
    EXPECT_EQ(state->busyText(), "Stopping…");
    ASSERT_TRUE(waitUntil([&] { return idle(*state); }, 10000));
    EXPECT_TRUE(state->lastOutput().startsWith("down: stopping ")) << state->lastOutput().toStdString();
    EXPECT_FALSE(state->isRunning());
    EXPECT_EQ(state->logOutput(), "web started on 8000\nweb stopped");
    const QMap<QString, QString> down = engine.recordedEnv("down");
    EXPECT_EQ(down.value("ZQT_HOME"), engine.path());
    EXPECT_FALSE(down.contains("ZQT_PORT"));
}

TEST_F(AppStateTest, startAndStop_outcomeLine_saysWhatThePidCheckFound_andTheLastOutputLineOfAFailure) {
    const QByteArray refusal = "echo 'checking settings'\n"
                               "echo 'Refusing to start: ZQT_EXECUTION_MODE=LIVE needs a broker key' >&2\n"
                               "echo '   '\n"
                               "exit 1\n";
    struct Case {
        const char* what;
        QByteArray upScript; // empty: the default one, which starts a daemon
        QByteArray downScript;
        bool stopToo;
        const char* outcome;
        bool failed;
    };
    const QByteArray longLine = "echo " + QByteArray(300, 'x') + "\nexit 3\n";
    const Case cases[] = {
        {"started", {}, {}, false, "Started.", false},
        {"refused",
         refusal,
         {},
         false,
         "Start failed: Refusing to start: ZQT_EXECUTION_MODE=LIVE needs a broker key",
         true},
        {"silent and not running", "exit 0\n", {}, false, "Start failed: the engine is not running", true},
        {"long last line", longLine, {}, false, nullptr, true},
        {"stopped", {}, "DEFAULT", true, "Stopped.", false},
        {"stop that leaves it running",
         {},
         "echo 'stop: permission denied'\n",
         true,
         "Stop failed: stop: permission denied",
         true},
    };
    for (const Case& c : cases) {
        if (c.upScript.isEmpty())
            engine.writeDefaultUpScript();
        else
            engine.writeScript("app_up.sh", c.upScript);
        if (c.downScript == "DEFAULT")
            engine.writeDefaultDownScript();
        else if (!c.downScript.isEmpty())
            engine.writeScript("app_down.sh", c.downScript);
        auto state = makeState();
        EXPECT_EQ(state->lastOutcome(), "") << c.what;
        QSignalSpy outcomes(state, &AppState::lastOutcomeChanged);
        state->start();
        if (c.stopToo)
            state->stop();
        ASSERT_TRUE(waitUntil([&] { return idle(*state); }, 10000)) << c.what;
        EXPECT_EQ(outcomes.count(), c.stopToo ? 2 : 1) << c.what;
        if (c.outcome)
            EXPECT_EQ(state->lastOutcome(), c.outcome) << c.what;
        else
            EXPECT_EQ(state->lastOutcome(),
                      "Start failed: " + QString(zqt::ScriptRunner::kOutcomeLineChars - 1, 'x') + QChar(0x2026))
                << c.what;
        EXPECT_EQ(state->lastRunFailed(), c.failed) << c.what;
        // A daemon left by this case must not make the next one look started.
        engine.writeDefaultDownScript();
        state->stop();
        ASSERT_TRUE(waitUntil([&] { return idle(*state); }, 10000)) << c.what;
    }
}

TEST_F(AppStateTest, engineGoneOrBackByItself_showsInIsRunningWithoutRefresh_aStopSaysItStopped) {
    engine.writeDefaultUpScript();
    engine.writeDefaultDownScript();
    auto state = makeState();
    // Each change of the run state, and whether a stop script's run made it.
    QList<std::pair<bool, bool>> changes;
    QObject::connect(state, &AppState::isRunningChanged, [&] {
        changes.append({state->isRunning(), state->stopping()});
    });
    QList<std::pair<bool, QString>> finished;
    QObject::connect(state, &AppState::scriptFinished, [&](bool start, const QString& output) {
        finished.append({start, output});
    });

    state->start();
    ASSERT_TRUE(waitUntil([&] { return idle(*state); }, 10000));
    ASSERT_TRUE(state->isRunning());
    const qint64 pid = readFile(engine.file("storage/web.pid")).trimmed().toLongLong();
    ASSERT_GT(pid, 0);
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    // A killed process lingers until its parent reaps it; here that is the system's first process.
    ASSERT_TRUE(waitUntil([&] { return !state->isRunning(); }, 30000));

    // The engine is started by someone else: it shows too.
    QProcess other;
    other.setWorkingDirectory(engine.path());
    other.start("/bin/bash", {"-c", "sleep 300 & echo $! >> daemon.pids; echo $! > storage/web.pid"});
    ASSERT_TRUE(other.waitForFinished(10000));
    ASSERT_TRUE(waitUntil([&] { return state->isRunning(); }, 10000));

    state->stop();
    ASSERT_TRUE(waitUntil([&] { return idle(*state); }, 10000));
    EXPECT_EQ(changes, (QList<std::pair<bool, bool>>{{true, false}, {false, false}, {true, false}, {false, true}}));
    ASSERT_EQ(finished.size(), 2);
    EXPECT_TRUE(finished[0].first);
    EXPECT_TRUE(finished[0].second.contains("up: to stdout"));
    EXPECT_FALSE(finished[1].first);
    EXPECT_TRUE(finished[1].second.startsWith("down: stopping "));
}

TEST_F(AppStateTest, startThenStopWhileStartRuns_runInOrderNeverAtOnce) {
    engine.makeGate();
    engine.writeScript("app_up.sh", "echo up-begin >> trace\nread -r _ < gate\necho up-end >> trace\necho started");
    engine.writeScript("app_down.sh", "echo down-begin >> trace\necho down-end >> trace\necho stopped");
    auto state = makeState();
    QStringList outputs;
    QObject::connect(state, &AppState::lastOutputChanged, [&] { outputs << state->lastOutput(); });

    state->start();
    ASSERT_TRUE(waitUntil([&] { return readFile(engine.file("trace")).contains("up-begin"); }));
    state->stop();
    state->start();
    EXPECT_EQ(state->busyText(), "Starting…");
    QCoreApplication::processEvents();
    EXPECT_EQ(readFile(engine.file("trace")), "up-begin\n") << "the stop waits for the running start";

    ASSERT_TRUE(waitUntil([&] { return engine.tryOpenGate(); }));
    // The second start blocks on the gate again, after the stop has run.
    ASSERT_TRUE(waitUntil([&] { return readFile(engine.file("trace")).count("up-begin") == 2; }));
    EXPECT_EQ(state->busyText(), "Starting…");
    ASSERT_TRUE(waitUntil([&] { return engine.tryOpenGate(); }));
    ASSERT_TRUE(waitUntil([&] { return idle(*state); }));

    EXPECT_EQ(readFile(engine.file("trace")), "up-begin\nup-end\ndown-begin\ndown-end\nup-begin\nup-end\n");
    EXPECT_EQ(outputs, QStringList({"started\n", "stopped\n", "started\n"}));
}

TEST_F(AppStateTest, refreshLogs_readsSelectedLog) {
    writeFile(engine.file("storage/logs/rm1.log"), "a\n\nb\n");
    auto state = makeState();
    state->setSelectedLog("rm1");
    state->refreshLogs();
    EXPECT_TRUE(state->logs().isReading()) << "the file is read off this thread";
    ASSERT_TRUE(waitUntil([&] { return !state->logs().isReading(); }));
    EXPECT_EQ(state->logOutput(), "a\nb");
    state->setSelectedLog("portal");
    state->refreshLogs();
    ASSERT_TRUE(waitUntil([&] { return !state->logs().isReading(); }));
    EXPECT_EQ(state->logOutput(), "No log found: " + engine.path() + "/storage/logs/portal.log");
}

TEST_F(AppStateTest, startAndStop_homeNamesWithShellSyntax_runTheScriptsThereAndNothingElse) {
    // Every name is a folder inside its own parent, with the default scripts. A name taken as shell code would
    // create x, y or z in the working folder or the parent, or change to another folder.
    const char* const names[] = {
        "engine with  blanks", "$(touch x)",        "`touch y`", "quote\"inside",   "it's",  "back\\slash",
        "new\nline",           "-leading",          "-",         "\"; touch z; \"", "$HOME", "${IFS}*?[a]",
        "semi;colon",          "tab\tand|pipe&amp", "  ",
    };
    QDir().mkpath(env.path("cwd"));
    const QString previousCwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(env.path("cwd")));
    int n = 0;
    for (const char* name : names) {
        SCOPED_TRACE(QString::fromUtf8(name).toStdString());
        const QString parent = env.path("homes-" + QString::number(++n));
        const QString home = parent + "/" + QString::fromUtf8(name);
        EngineHome named(home);
        named.writeDefaultUpScript();
        named.writeDefaultDownScript();
        storePrefs([&](Preferences& p) {
            p.setString(Settings::key(Setting::Home), home);
            p.setBool(Settings::key(Setting::AutoStart), false);
        });
        AppState& state = open();
        ASSERT_EQ(state.settings().text(Setting::Home), home);

        state.start();
        ASSERT_TRUE(waitUntil([&] { return idle(state); }, 10000));
        EXPECT_EQ(state.lastOutput(), "up: to stdout\nup: to stderr\n");
        EXPECT_TRUE(state.isRunning());
        EXPECT_EQ(readFile(named.file("up.cwd")), QFile::encodeName(home) + "\n") << "ran in the home";
        EXPECT_EQ(state.logOutput(), "web started on 8000");

        state.stop();
        ASSERT_TRUE(waitUntil([&] { return idle(state); }, 10000));
        EXPECT_TRUE(state.lastOutput().startsWith("down: stopping ")) << state.lastOutput().toStdString();
        EXPECT_FALSE(state.isRunning());

        const QDir::Filters all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
        EXPECT_EQ(QDir(parent).entryList(all), QStringList{QString::fromUtf8(name)});
        EXPECT_EQ(QDir(home).entryList(all, QDir::Name),
                  QStringList({"daemon.pids", "down.env", "scripts", "storage", "up.cwd", "up.env"}));
        EXPECT_EQ(QDir(env.path("cwd")).entryList(all), QStringList());
        closeState();
    }
    QDir::setCurrent(previousCwd);
}

TEST_F(AppStateTest, refreshRunState_appliesPortsThenChecksPid) {
    auto state = makeState();
    writeFile(engine.file("storage/runtime_ports.json"), R"({"port":8555})");
    writeFile(engine.file("storage/web.pid"), QByteArray::number(QCoreApplication::applicationPid()));
    state->refreshRunState();
    EXPECT_EQ(state->settings().text(Setting::Port), "8555");
    EXPECT_TRUE(state->isRunning());
}

TEST(AppStateAccessHost, mapsOnlyTheAnyInterfaceAddresses) {
    TempEnv env;
    Preferences prefs;
    Settings settings(prefs);
    AppState state(settings);
    const std::pair<QString, QString> cases[] = {
        {"0.0.0.0", "127.0.0.1"},
        {"127.0.0.1", "127.0.0.1"},
        {"", ""},
        {"localhost", "localhost"},
        {" 0.0.0.0", " 0.0.0.0"},
        {"::", "::1"},
        {"[::]", "::1"},
        {"::1", "::1"},
        {"[::1]", "::1"},
        {"10.0.0.5", "10.0.0.5"},
    };
    for (const auto& [host, expected] : cases) {
        state.set(Setting::Host, host);
        EXPECT_EQ(state.accessHost(), expected) << host.toStdString();
    }
}

TEST_F(AppStateTest, unlockOperator_builtInPasscodeUntilEnvironmentSetsOne) {
    auto state = makeState();
    EXPECT_EQ(zqt::OperatorLock::builtInPasscode().size(), 12);
    EXPECT_FALSE(state->unlockOperator("wrong"));
    EXPECT_FALSE(state->unlockOperator(" zqt-operator"));
    EXPECT_FALSE(state->unlockOperator("ZQT-OPERATOR"));
    EXPECT_FALSE(state->settings().flag(Setting::OperatorUnlocked));
    EXPECT_FALSE(storedJson().value("zqtOperatorUnlocked").toBool());

    EXPECT_TRUE(state->unlockOperator("zqt-operator"));
    EXPECT_TRUE(state->settings().flag(Setting::OperatorUnlocked));
    EXPECT_TRUE(storedJson().value("zqtOperatorUnlocked").toBool()) << "saved at once";

    state->lockOperator();
    EXPECT_FALSE(state->settings().flag(Setting::OperatorUnlocked));
    EXPECT_FALSE(storedJson().value("zqtOperatorUnlocked").toBool());
}

TEST_F(AppStateTest, unlockOperator_emptyEnvironmentPasscode_replacesTheBuiltInOne) {
    env.setVar("ZQT_OPERATOR_PASS", QByteArray());
    auto state = makeState();
    EXPECT_FALSE(state->unlockOperator("zqt-operator"));
    EXPECT_TRUE(state->unlockOperator(""));
}

TEST_F(AppStateTest, unlockOperator_environmentPasscode_isComparedExactly) {
    env.setVar("ZQT_OPERATOR_PASS", "my own secret ");
    auto state = makeState();
    EXPECT_FALSE(state->unlockOperator("my own secret"));
    EXPECT_FALSE(state->unlockOperator("zqt-operator"));
    EXPECT_TRUE(state->unlockOperator("my own secret "));
}

TEST_F(AppStateTest, unlockedOperator_survivesRestart) {
    {
        auto state = makeState();
        ASSERT_TRUE(state->unlockOperator("zqt-operator"));
        closeState();
    }
    AppState& again = open();
    EXPECT_TRUE(again.settings().flag(Setting::OperatorUnlocked));
}

class AppStateStatusTest : public AppStateTest {
protected:
    // Runs one refresh and waits until both requests are done.
    void refreshAndWait(AppState& state) {
        int finished = 0;
        auto c = QObject::connect(&state.status(), &zqt::StatusProbe::finished, [&] { ++finished; });
        state.refreshSystemStatus();
        EXPECT_TRUE(waitUntil([&] { return finished == 2; }, 10000));
        QObject::disconnect(c);
    }
    RecordingServer server;
};

TEST_F(AppStateStatusTest, refreshSystemStatus_storesBodiesWhateverTheHttpStatus) {
    server.setReply("GET", "/api/system/status", {500, "engine on fire", "text/plain"});
    server.setReply("GET", "/health", {200, R"({"ok": true})", "application/json"});
    auto state = makeState();
    state->set(Setting::Host, "0.0.0.0");
    state->set(Setting::Port, QString::number(server.port()));
    refreshAndWait(*state);
    EXPECT_EQ(state->systemStatus(), "engine on fire");
    EXPECT_EQ(state->healthStatus(), R"({"ok": true})");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& r : requests) {
        EXPECT_EQ(r.method, "GET");
        EXPECT_FALSE(r.hasHeader("Authorization"));
        EXPECT_EQ(r.header("Host"), "127.0.0.1:" + std::to_string(server.port()));
    }
    EXPECT_EQ(requests[0].target == "/api/system/status" ? requests[1].target : requests[0].target, "/health");
}

TEST_F(AppStateStatusTest, refreshSystemStatus_redirect_isNotFollowed_andShowsItsStatusAndTarget) {
    // The targets answer like the engine would: a followed redirect would pass their bodies for the engine's.
    server.setReply("GET", "/signin", {200, "all systems go", "text/plain"});
    for (const auto& [path, status] : {std::pair{"/api/system/status", 302}, std::pair{"/health", 307}})
        server.setHandler("GET", path, [status = status](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            res.set_header("Location", "/signin");
            res.set_content("<html>moved</html>", "text/html");
        });
    auto state = makeState();
    state->set(Setting::Port, QString::number(server.port()));
    refreshAndWait(*state);
    EXPECT_EQ(state->systemStatus(), "Redirected (HTTP 302) to /signin, not followed");
    EXPECT_EQ(state->healthStatus(), "Redirected (HTTP 307) to /signin, not followed");
    ASSERT_EQ(server.requestCount(), 2u);
    for (const auto& r : server.requests())
        EXPECT_NE(r.path, "/signin");
}

TEST_F(AppStateStatusTest, refreshSystemStatus_emptyBodyAndInvalidUtf8_storeEmptyAndLenientText) {
    server.setReply("GET", "/api/system/status", {200, "", "text/plain"});
    server.setReply("GET", "/health", {200, "ok \xff\xfe done", "text/plain"});
    auto state = makeState();
    state->status().setSystemStatus("old status");
    state->status().setHealthStatus("old health");
    state->set(Setting::Port, QString::number(server.port()));
    refreshAndWait(*state);
    EXPECT_EQ(state->systemStatus(), "");
    EXPECT_EQ(state->healthStatus(), QString("ok \uFFFD\uFFFD done"));
}

TEST_F(AppStateStatusTest, refreshSystemStatus_refusedConnection_keepsPreviousTexts) {
    auto state = makeState();
    state->status().setSystemStatus("last good status");
    state->status().setHealthStatus("last good health");
    state->set(Setting::Port, QString::number(zqt::test::freePort()));
    refreshAndWait(*state);
    EXPECT_EQ(state->systemStatus(), "last good status");
    EXPECT_EQ(state->healthStatus(), "last good health");
}

TEST_F(AppStateStatusTest, refreshSystemStatus_invalidAddress_sendsNothing) {
    auto state = makeState();
    for (const QString& port : {QString("80 80"), QString("abc"), QString("99999999"), QString()}) {
        state->set(Setting::Port, port);
        state->refreshSystemStatus();
        EXPECT_TRUE(state->findChildren<QNetworkReply*>().isEmpty()) << port.toStdString();
    }
    state->set(Setting::Port, QString::number(server.port()));
    state->set(Setting::Host, "bad host");
    state->refreshSystemStatus();
    EXPECT_TRUE(state->findChildren<QNetworkReply*>().isEmpty());
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(AppStateTest, portsSetThenReplacedByTheRuntimePortsFile_waitWithANote_andGoToTheNextStart) {
    engine.writeDefaultUpScript();
    engine.writeDefaultDownScript();
    auto state = makeState();
    state->start();
    ASSERT_TRUE(waitUntil([&] { return idle(*state); }, 10000));
    ASSERT_TRUE(state->isRunning());
    EXPECT_EQ(state->pendingPortsNote(), "");

    // The operator sets two ports while the engine runs: one saved, one not.
    state->set(Setting::MarketingPort, "3711");
    state->savePreferences();
    state->set(Setting::Port, "8701");
    // The engine reports where it runs; Refresh reads it.
    writeFile(engine.file("storage/runtime_ports.json"), R"({"port":8093,"marketing_port":3000,"portal_port":3001})");
    QSignalSpy pending(state, &AppState::pendingPortsChanged);
    state->refreshRunState();
    EXPECT_EQ(pending.count(), 1);
    // The addresses follow the engine; the operator's values wait.
    EXPECT_EQ(state->settings().text(Setting::Port), "8093");
    EXPECT_EQ(state->settings().text(Setting::MarketingPort), "3000");
    EXPECT_EQ(state->pendingPort(Setting::Port).value_or(QString()), QString("8701"));
    EXPECT_EQ(state->pendingPort(Setting::MarketingPort).value_or(QString()), QString("3711"));
    EXPECT_FALSE(state->pendingPort(Setting::PortalPort).has_value()) << "never edited";
    EXPECT_EQ(state->pendingPortsNote(), "The engine reports port 8093; your port 8701 applies at the next start. "
                                         "The engine reports marketing port 3000; your marketing port 3711 applies "
                                         "at the next start.");
    // A second Refresh keeps them waiting.
    state->refreshRunState();
    EXPECT_EQ(state->pendingPort(Setting::Port).value_or(QString()), QString("8701"));

    // The next start carries them, saved first; the engine then reports them and nothing waits any more.
    state->stop();
    ASSERT_TRUE(waitUntil([&] { return idle(*state); }, 10000));
    EXPECT_EQ(state->pendingPort(Setting::Port).value_or(QString()), QString("8701")) << "a stop is not a start";
    writeFile(engine.file("ports.next"), R"({"port":8701,"marketing_port":3711,"portal_port":3001})");
    state->start();
    EXPECT_EQ(storedJson().value("zqtPort").toString(), "8701");
    ASSERT_TRUE(waitUntil([&] { return idle(*state); }, 10000));
    const QMap<QString, QString> recorded = engine.recordedEnv("up");
    EXPECT_EQ(recorded.value("ZQT_PORT"), "8701");
    EXPECT_EQ(recorded.value("ZQT_MARKETING_PORT"), "3711");
    EXPECT_EQ(state->settings().text(Setting::Port), "8701");
    EXPECT_EQ(state->pendingPortsNote(), "");

    // A port the engine moved to by itself (nobody set one since the start) is followed without a note.
    writeFile(engine.file("storage/runtime_ports.json"), R"({"port":8702})");
    state->refreshRunState();
    EXPECT_EQ(state->settings().text(Setting::Port), "8702");
    EXPECT_EQ(state->pendingPortsNote(), "");
    // An operator's value the engine already runs on waits for nothing.
    state->set(Setting::Port, "8703");
    writeFile(engine.file("storage/runtime_ports.json"), R"({"port":8703})");
    state->refreshRunState();
    EXPECT_EQ(state->pendingPortsNote(), "");
    state->stop();
    ASSERT_TRUE(waitUntil([&] { return idle(*state); }, 10000));
}

TEST_F(AppStateTest, unsavedEdits_areTheOperatorsChangesFromTheStoredValues_untilASaveOrAScriptRun) {
    engine.writeDefaultUpScript();
    writeFile(engine.file("ports.next"), R"({"port":8123})");
    auto state = makeState();
    EXPECT_FALSE(state->hasUnsavedEdits());
    struct Step {
        Setting setting;
        QVariant value;
        bool unsaved;
    };
    const Step steps[] = {
        {Setting::Port, QString("8001"), true},
        {Setting::Port, QString("8000"), false}, // back to the stored value
        {Setting::DemoMode, false, true},
        {Setting::DemoMode, true, false},
        {Setting::NotionalLimit, QString("5000"), true},
    };
    for (const Step& s : steps) {
        state->set(s.setting, s.value);
        EXPECT_EQ(state->hasUnsavedEdits(), s.unsaved)
            << Settings::key(s.setting) << " " << s.value.toString().toStdString();
    }
    state->savePreferences();
    EXPECT_FALSE(state->hasUnsavedEdits());

    // Start saves them; what the runtime ports file brings after it is no edit of the operator's.
    state->set(Setting::BrokerMode, "IBKR");
    EXPECT_TRUE(state->hasUnsavedEdits());
    state->start();
    EXPECT_FALSE(state->hasUnsavedEdits());
    ASSERT_TRUE(waitUntil([&] { return idle(*state); }, 10000));
    EXPECT_EQ(state->settings().text(Setting::Port), "8123");
    EXPECT_FALSE(state->hasUnsavedEdits());
}
