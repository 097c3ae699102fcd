#include "control/Settings.h"

#include "control/Preferences.h"

#include "TestEnv.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

#include <gtest/gtest.h>

using zqt::Preferences;
using zqt::Setting;
using zqt::Settings;
using zqt::test::readFile;
using zqt::test::TempEnv;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    QJsonObject storedJson() const { return QJsonDocument::fromJson(readFile(Preferences::filePath())).object(); }

    TempEnv env;
    Preferences store;
};

} // namespace

TEST_F(SettingsTest, table_listsTheKeysInSaveOrderWithTypeDefaultFormRowAndStartVariable) {
    // The expected table, in save order: key, default (a QString or a bool), the form's label (in form order
    // below), the start script's variable.
    struct Expected {
        const char* key;
        QVariant defaultValue;
        const char* label;
        const char* environmentName;
    };
    const Expected expected[] = {
        {"zqtHome", env.home() + "/.local/share/zqt/engine", "ZQT Home Path", "ZQT_HOME"},
        {"zqtHost", QString("127.0.0.1"), "Bind Host", "ZQT_HOST"},
        {"zqtPort", QString("8000"), "Port", "ZQT_PORT"},
        {"zqtDemoMode", true, "Demo Mode", "ZQT_DEMO"},
        {"zqtExecutionMode", QString("DRY_RUN"), "Execution Mode", "ZQT_EXECUTION_MODE"},
        {"zqtBrokerMode", QString("SIM_BROKER"), "Broker Mode", "ZQT_BROKER_MODE"},
        {"zqtStartMarketing", true, "Start Marketing Site", "ZQT_START_MARKETING"},
        {"zqtMarketingPort", QString("3000"), "Marketing Port", "ZQT_MARKETING_PORT"},
        {"zqtStartPortal", true, "Start Trader Portal", "ZQT_START_PORTAL"},
        {"zqtPortalPort", QString("3001"), "Portal Port", "ZQT_PORTAL_PORT"},
        {"zqtAutoStart", true, "Auto-start Services", nullptr},
        {"zqtOperatorUnlocked", false, nullptr, nullptr},
        {"zqtDesktopNotifications", true, "Desktop Notifications", nullptr},
        {"zqtNotionalLimit", QString(""), "Notional Limit", nullptr},
    };
    const auto table = Settings::table();
    ASSERT_EQ(table.size(), std::size(expected));
    for (size_t i = 0; i < table.size(); ++i) {
        const zqt::SettingSpec& row = table[i];
        EXPECT_STREQ(row.key, expected[i].key);
        EXPECT_EQ(static_cast<size_t>(row.setting), i);
        const QVariant value = Settings::defaultValue(row.setting);
        EXPECT_EQ(value.typeId(), expected[i].defaultValue.typeId()) << row.key;
        EXPECT_EQ(value.typeId(), row.type) << row.key;
        EXPECT_EQ(value, expected[i].defaultValue) << row.key;
        EXPECT_STREQ(row.label, expected[i].label) << row.key;
        EXPECT_STREQ(row.environmentName, expected[i].environmentName) << row.key;
    }
    EXPECT_EQ(Settings::formerDefaultHome(), env.home() + "/zqt");

    QStringList formLabels;
    for (const zqt::SettingSpec* row : Settings::formRows())
        formLabels << row->label;
    EXPECT_EQ(formLabels,
              QStringList({"ZQT Home Path", "Bind Host", "Port", "Auto-start Services", "Start Marketing Site",
                           "Marketing Port", "Start Trader Portal", "Portal Port", "Demo Mode", "Execution Mode",
                           "Broker Mode", "Desktop Notifications", "Notional Limit"}));
    EXPECT_EQ(Settings::choices(Setting::ExecutionMode), QStringList({"DRY_RUN", "LIVE"}));
    EXPECT_EQ(Settings::choices(Setting::BrokerMode),
              QStringList({"SIM_BROKER", "OANDA", "IBKR", "TRADOVATE", "COINBASE"}));
    for (const zqt::SettingSpec& row : table)
        if (row.setting != Setting::ExecutionMode && row.setting != Setting::BrokerMode)
            EXPECT_TRUE(Settings::choices(row.setting).isEmpty()) << row.key;
}

TEST_F(SettingsTest, set_changesOnlyOnADifferentValueOfTheSameType_andNamesTheSetting) {
    Settings settings(store);
    QSignalSpy changed(&settings, &Settings::changed);
    const struct {
        const char* name;
        Setting setting;
        QVariant value;
        bool takes;
    } cases[] = {
        {"new port", Setting::Port, QString("8010"), true},
        {"same port again", Setting::Port, QString("8010"), false},
        {"switch off", Setting::AutoStart, false, true},
        {"switch off again", Setting::AutoStart, false, false},
        // Qt takes "true" as equal to true; the types keep them apart.
        {"text under a switch", Setting::AutoStart, QString("true"), false},
        {"switch under a text", Setting::Host, true, false},
        {"empty text is a value", Setting::Host, QString(""), true},
    };
    for (const auto& c : cases) {
        changed.clear();
        const QVariant before = settings.value(c.setting);
        settings.set(c.setting, c.value);
        ASSERT_EQ(changed.count(), c.takes ? 1 : 0) << c.name;
        if (c.takes) {
            EXPECT_EQ(changed[0][0].value<Setting>(), c.setting) << c.name;
            EXPECT_EQ(settings.value(c.setting), c.value) << c.name;
        } else {
            EXPECT_EQ(settings.value(c.setting), before) << c.name;
        }
    }
    EXPECT_TRUE(storedJson().isEmpty()) << "set() does not write the store";
}

TEST_F(SettingsTest, save_writesEveryKeyWithItsJsonType_tokenLandsUnderZqtTokenInTheSameFile) {
    Settings settings(store);
    settings.set(Setting::Port, QString("9000"));
    settings.set(Setting::DemoMode, false);
    settings.save();
    settings.setToken("tok+1");
    const QJsonObject o = storedJson();
    EXPECT_EQ(o.size(), static_cast<int>(Settings::table().size()) + 1);
    for (const zqt::SettingSpec& row : Settings::table())
        EXPECT_EQ(o.value(row.key).isBool(), row.type == QMetaType::Bool) << row.key;
    EXPECT_EQ(o.value("zqtPort").toString(), "9000");
    EXPECT_EQ(o.value("zqtDemoMode").toBool(true), false);
    EXPECT_EQ(o.value("zqtToken").toString(), "tok+1");

    // A new run reads them back.
    Settings again(store);
    EXPECT_EQ(again.text(Setting::Port), "9000");
    EXPECT_FALSE(again.flag(Setting::DemoMode));
    EXPECT_EQ(again.token(), "tok+1");
}

TEST_F(SettingsTest, construct_readsStoredValuesTheWayThePlatformStoreDoes) {
    store.setString(zqt::Settings::key(zqt::Setting::Port), "8123");
    store.setString(zqt::Settings::key(zqt::Setting::StartPortal), "no");
    store.setBool(zqt::Settings::key(zqt::Setting::OperatorUnlocked), true);
    store.remove(zqt::Settings::key(zqt::Setting::AutoStart));
    Settings settings(store);
    EXPECT_EQ(settings.text(Setting::Port), "8123");
    EXPECT_FALSE(settings.flag(Setting::StartPortal));
    EXPECT_TRUE(settings.flag(Setting::OperatorUnlocked));
    EXPECT_TRUE(settings.flag(Setting::AutoStart));
    EXPECT_EQ(settings.text(Setting::Home), Settings::primaryDefaultHome()) << "no start script under a stored home";
    EXPECT_TRUE(settings.token().isEmpty());
}

TEST_F(SettingsTest, theme_roundTripsItsThreeNames_andAnythingElseReadsSystem) {
    Settings settings(store);
    EXPECT_EQ(settings.theme(), "System") << "nothing stored";
    for (const char* name : {"Dark", "Light", "System"}) {
        settings.setTheme(name);
        EXPECT_EQ(storedJson().value("zqtTheme").toString(), name);
        EXPECT_EQ(Settings(store).theme(), name) << "read back by a new owner";
    }
    settings.setTheme("Dark");
    settings.setTheme("Sepia");
    EXPECT_EQ(storedJson().value("zqtTheme").toString(), "Dark") << "an unknown name is not stored";

    for (const char* stored : {"", "dark", "DARK", " Dark", "Dark\n", "Solarized"}) {
        store.setString("zqtTheme", stored);
        EXPECT_EQ(Settings(store).theme(), "System") << stored;
    }
    store.setBool("zqtTheme", true);
    EXPECT_EQ(Settings(store).theme(), "System") << "a switch";
}

TEST_F(SettingsTest, windowGeometry_roundTripsAsBase64TextAndRefusesWhatItCannotRead) {
    Settings settings(store);
    EXPECT_TRUE(settings.windowGeometry().isEmpty()) << "nothing stored";

    const QByteArray blob("\x01\xd9\xd0\xcb\x00\x03\x00\x00\xff\n\"", 11);
    settings.setWindowGeometry(blob);
    EXPECT_EQ(storedJson().value("zqtWindowGeometry").toString(), QString::fromLatin1(blob.toBase64()));
    EXPECT_EQ(Settings(store).windowGeometry(), blob);

    const struct {
        const char* name;
        QString stored;
    } unusable[] = {
        {"not base64", "%%% not base64 %%%"},
        {"base64 with a stray character", "AdnQywAD*AAA"},
        {"characters beyond Latin-1", QString::fromUtf8("AdnQ\xe2\x82\xac")},
        {"too long", QString(Settings::kWindowGeometryMaxText + 4, QChar('A'))},
    };
    for (const auto& c : unusable) {
        store.setString("zqtWindowGeometry", c.stored);
        EXPECT_TRUE(settings.windowGeometry().isEmpty()) << c.name;
    }
    store.setBool("zqtWindowGeometry", true);
    EXPECT_TRUE(settings.windowGeometry().isEmpty()) << "a switch";
    store.setString("zqtWindowGeometry", QString(Settings::kWindowGeometryMaxText, QChar('A')));
    EXPECT_EQ(settings.windowGeometry().size(), Settings::kWindowGeometryMaxText / 4 * 3) << "the longest accepted";
}

TEST_F(SettingsTest, terminalLayoutAndWorkspaceState_roundTrip_andOnlyWhatCanBeReadIsTaken) {
    Settings settings(store);
    EXPECT_FALSE(settings.workspaceLayout()) << "the page unless told";
    EXPECT_TRUE(settings.workspaceState().isEmpty());

    settings.setWorkspaceLayout(true);
    EXPECT_EQ(storedJson().value("zqtTerminalLayout").toString(), "workspace");
    EXPECT_TRUE(Settings(store).workspaceLayout());
    settings.setWorkspaceLayout(false);
    EXPECT_EQ(storedJson().value("zqtTerminalLayout").toString(), "page");
    for (const char* other : {"Workspace", "workspace ", "dock", ""}) {
        store.setString("zqtTerminalLayout", other);
        EXPECT_FALSE(settings.workspaceLayout()) << other;
    }
    store.setBool("zqtTerminalLayout", true);
    EXPECT_FALSE(settings.workspaceLayout()) << "a switch";

    const QByteArray state(3000, '\xfe');
    settings.setWorkspaceState(state);
    EXPECT_EQ(storedJson().value("zqtWorkspaceState").toString(), QString::fromLatin1(state.toBase64()));
    EXPECT_EQ(Settings(store).workspaceState(), state);
    for (const QString& unusable :
         {QStringLiteral("%%% not base64 %%%"), QString(Settings::kWorkspaceStateMaxText + 4, QChar('A'))}) {
        store.setString("zqtWorkspaceState", unusable);
        EXPECT_TRUE(settings.workspaceState().isEmpty()) << unusable.left(20).toStdString();
    }
    store.setBool("zqtWorkspaceState", true);
    EXPECT_TRUE(settings.workspaceState().isEmpty()) << "a switch";
    store.setString("zqtWorkspaceState", QString(Settings::kWorkspaceStateMaxText, QChar('A')));
    EXPECT_EQ(settings.workspaceState().size(), Settings::kWorkspaceStateMaxText / 4 * 3) << "the longest accepted";
}
