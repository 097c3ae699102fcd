// The theme as the operator picks it from the window's View menu: the whole window turns, the choice is stored and
// the next run starts with it; a stored value the program does not know starts with System.
#include "app/ZQTDesktopApp.h"
#include "control/Preferences.h"
#include "control/Settings.h"
#include "display/Palette.h"
#include "display/Theme.h"
#include "window/ContentView.h"

#include "TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <memory>

using zqt::Settings;
using zqt::ZQTDesktopApp;
using zqt::test::TempEnv;

namespace {

class ThemeChoiceTest : public ::testing::Test {
protected:
    ThemeChoiceTest() {
        // No desktop portal: the session bus is an address nobody listens on.
        env.setVar("DBUS_SESSION_BUS_ADDRESS", QByteArray("unix:path=" + env.path("no-bus").toUtf8()));
        zqt::Preferences prefs;
        prefs.setString(Settings::key(zqt::Setting::Home), env.path("no-engine"));
        prefs.setBool(Settings::key(zqt::Setting::AutoStart), false);
        prefs.setString(Settings::key(zqt::Setting::Host), "127.0.0.1");
        for (const zqt::Setting port : {zqt::Setting::Port, zqt::Setting::MarketingPort, zqt::Setting::PortalPort})
            prefs.setString(Settings::key(port), QString::number(zqt::test::freePort()));
        prefs.sync();
    }

    std::unique_ptr<ZQTDesktopApp> launch() const {
        auto app = std::make_unique<ZQTDesktopApp>();
        app->showWindow();
        return app;
    }

    // The Theme submenu's entries under the header's View button.
    static QList<QAction*> themeEntries(ZQTDesktopApp& app) {
        auto* view = app.window().findChild<QPushButton*>("viewButton");
        EXPECT_NE(view, nullptr);
        if (!view)
            return {};
        EXPECT_EQ(view->accessibleName(), "View");
        EXPECT_EQ(view->menu(), app.window().viewMenu());
        for (QAction* a : view->menu()->actions()) {
            if (a->menu() && a->text() == "Theme")
                return a->menu()->actions();
        }
        ADD_FAILURE() << "no Theme submenu";
        return {};
    }
    static QString checked(const QList<QAction*>& entries) {
        for (QAction* a : entries) {
            if (a->isChecked())
                return a->text();
        }
        return {};
    }
    QString storedTheme() const {
        return QJsonDocument::fromJson(zqt::test::readFile(zqt::Preferences::filePath()))
            .object()
            .value("zqtTheme")
            .toString();
    }

    TempEnv env;
};

} // namespace

TEST_F(ThemeChoiceTest, viewMenuDark_turnsTheWindowDarkAndIsStored_theNextRunStartsDark_lightTurnsItBack) {
    const QColor darkWindow = zqt::darkColors().palette.color(QPalette::Window);
    {
        auto app = launch();
        const QList<QAction*> entries = themeEntries(*app);
        ASSERT_EQ(entries.size(), 3);
        EXPECT_EQ(checked(entries), "System");
        EXPECT_FALSE(app->theme().isDark()) << "no desktop preference reads light";
        QAction* dark = entries[2];
        ASSERT_EQ(dark->text(), "Dark");
        dark->trigger();
        EXPECT_TRUE(app->theme().isDark());
        EXPECT_EQ(storedTheme(), "Dark");
        EXPECT_TRUE(zqt::test::waitUntil([&] {
            return app->window().palette().color(QPalette::Window) == darkWindow &&
                   app->window().tabs()->palette().color(QPalette::Window) == darkWindow;
        }));
    }
    {
        auto app = launch();
        EXPECT_EQ(app->theme().choice(), zqt::ThemeChoice::Dark);
        EXPECT_TRUE(app->theme().isDark());
        const QList<QAction*> entries = themeEntries(*app);
        ASSERT_EQ(entries.size(), 3);
        EXPECT_EQ(checked(entries), "Dark");
        EXPECT_TRUE(
            zqt::test::waitUntil([&] { return app->window().palette().color(QPalette::Window) == darkWindow; }));
        entries[1]->trigger();
        EXPECT_FALSE(app->theme().isDark());
        EXPECT_EQ(storedTheme(), "Light");
        EXPECT_TRUE(
            zqt::test::waitUntil([&] { return app->window().palette().color(QPalette::Window) != darkWindow; }));
    }
}

TEST_F(ThemeChoiceTest, unknownStoredTheme_startsWithSystem) {
    {
        zqt::Preferences prefs;
        prefs.setString(Settings::kThemeKey, "Midnight");
        prefs.sync();
    }
    auto app = launch();
    EXPECT_EQ(app->theme().choice(), zqt::ThemeChoice::System);
    EXPECT_FALSE(app->theme().isDark());
    EXPECT_EQ(checked(themeEntries(*app)), "System");
}
