// The View menu's layouts in the program's window: the default workspace at the default window size, the chosen
// layout and the workspace's arrangement kept across runs, and the default whenever the stored one is unusable.
#include "app/ZQTDesktopApp.h"
#include "control/Preferences.h"
#include "control/Settings.h"
#include "terminal/views/NativeTerminalView.h"
#include "window/ContentView.h"

#include "TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <map>
#include <memory>

using zqt::NativeTerminalView;
using zqt::Settings;
using zqt::TerminalLayout;
using zqt::ZQTDesktopApp;
using zqt::test::TempEnv;

namespace {

const char* const kTradingPanels[] = {"chartPanel",   "ladderPanel", "orderPanel",
                                      "hotkeysPanel", "tapePanel",   "positionsPanel"};

class WorkspaceLayoutTest : public ::testing::Test {
protected:
    WorkspaceLayoutTest() {
        // No engine and nothing started; the terminal polls ports where nobody listens.
        zqt::Preferences prefs;
        prefs.setString(Settings::key(zqt::Setting::Home), env.path("no-engine"));
        prefs.setBool(Settings::key(zqt::Setting::AutoStart), false);
        prefs.setString(Settings::key(zqt::Setting::Host), "127.0.0.1");
        for (const zqt::Setting port : {zqt::Setting::Port, zqt::Setting::MarketingPort, zqt::Setting::PortalPort})
            prefs.setString(Settings::key(port), QString::number(zqt::test::freePort()));
        prefs.sync();
    }

    static std::unique_ptr<ZQTDesktopApp> launch() {
        auto app = std::make_unique<ZQTDesktopApp>();
        app->showWindow();
        app->window().tabs()->setCurrentWidget(app->window().terminal());
        QApplication::processEvents();
        return app;
    }
    static QAction* action(ZQTDesktopApp& app, const char* name) {
        return app.window().viewMenu()->findChild<QAction*>(name);
    }
    static void settle(NativeTerminalView& view) {
        QApplication::processEvents();
        if (view.workspace())
            view.workspace()->layout()->activate();
        QApplication::processEvents();
    }
    // Which docks are open, floating, tabbed with which, and where the ones in front sit in the window.
    static std::map<std::string, std::string> arrangement(ZQTDesktopApp& app, bool withPlaces = true) {
        NativeTerminalView& view = *app.window().terminal();
        settle(view);
        std::map<std::string, std::string> out;
        for (const QString& name : zqt::workspacePanelOrder()) {
            QDockWidget* dock = view.dock(name);
            QStringList tabbed;
            for (QDockWidget* other : view.workspace()->tabifiedDockWidgets(dock))
                tabbed << other->objectName();
            tabbed.sort();
            const QRect r = withPlaces && (inWindow(app, name) || dock->isFloating()) ? dock->geometry() : QRect();
            out[name.toStdString()] = QStringLiteral("%1 %2 [%3] %4,%5 %6x%7")
                                          .arg(dock->isHidden() ? "closed" : "open")
                                          .arg(dock->isFloating() ? "floating" : "docked")
                                          .arg(tabbed.join(' '))
                                          .arg(r.x())
                                          .arg(r.y())
                                          .arg(r.width())
                                          .arg(r.height())
                                          .toStdString();
        }
        return out;
    }
    // Whether a docked panel is in front and wholly inside the window.
    static bool inWindow(ZQTDesktopApp& app, const QString& name) {
        QDockWidget* dock = app.window().terminal()->dock(name);
        if (!dock->isVisible() || dock->isFloating())
            return false;
        const QRect r(dock->mapTo(&app.window(), QPoint(0, 0)), dock->size());
        return app.window().rect().contains(r) &&
               app.window().terminal()->workspace()->rect().contains(dock->geometry());
    }

    TempEnv env;
};

} // namespace

TEST_F(WorkspaceLayoutTest, viewMenu_switchesToTheWorkspace_whichShowsTheTradingPanelsInsideTheDefaultWindow) {
    auto app = launch();
    ASSERT_EQ(app->window().size(), QSize(ZQTDesktopApp::kDefaultWidth, ZQTDesktopApp::kDefaultHeight));
    auto* button = app->window().findChild<QPushButton*>("viewButton");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->accessibleName(), "View");
    EXPECT_EQ(button->menu(), app->window().viewMenu());
    QStringList texts;
    for (QAction* a : app->window().viewMenu()->actions())
        if (!a->isSeparator())
            texts << a->text();
    EXPECT_EQ(texts.mid(0, 4), (QStringList{"Page Layout", "Workspace Layout", "Reset Workspace", "Panels"}));
    EXPECT_TRUE(action(*app, "pageLayoutAction")->isChecked());
    EXPECT_EQ(app->window().terminal()->layoutMode(), TerminalLayout::Page);

    action(*app, "workspaceLayoutAction")->trigger();
    EXPECT_EQ(app->window().terminal()->layoutMode(), TerminalLayout::Workspace);
    EXPECT_TRUE(action(*app, "workspaceLayoutAction")->isChecked());
    EXPECT_FALSE(action(*app, "pageLayoutAction")->isChecked());
    settle(*app->window().terminal());
    for (const char* name : kTradingPanels)
        EXPECT_TRUE(inWindow(*app, name)) << name << " " << arrangement(*app)[name];
    // The Panels submenu: one entry per panel, titled as its card.
    QMenu* panels = app->window().viewMenu()->findChild<QMenu*>("panelsMenu");
    ASSERT_NE(panels, nullptr);
    emit panels->aboutToShow();
    ASSERT_EQ(panels->actions().size(), zqt::workspacePanelOrder().size());
    EXPECT_EQ(panels->actions().at(0)->text(), "Market Chart");
    EXPECT_TRUE(panels->actions().at(0)->isCheckable());
}

TEST_F(WorkspaceLayoutTest, layoutAndArrangement_withAClosedATabbedAndAFloatingPanel_comeBackNextRun_untilReset) {
    std::map<std::string, std::string> closedWith;
    {
        auto app = launch();
        action(*app, "workspaceLayoutAction")->trigger();
        NativeTerminalView& view = *app->window().terminal();
        settle(view);
        view.dock("tapePanel")->close();
        view.workspace()->tabifyDockWidget(view.dock("orderPanel"), view.dock("hotkeysPanel"));
        view.dock("ladderPanel")->setFloating(true);
        view.dock("ladderPanel")->setGeometry(300, 200, 320, 500);
        closedWith = arrangement(*app);
        app->window().close();
    }
    EXPECT_EQ(zqt::Preferences().string(Settings::kTerminalLayoutKey), "workspace");
    EXPECT_TRUE(zqt::Preferences().string(Settings::kWorkspaceStateKey).has_value());

    std::map<std::string, std::string> defaults;
    {
        auto again = launch();
        EXPECT_EQ(again->window().terminal()->layoutMode(), TerminalLayout::Workspace);
        EXPECT_EQ(arrangement(*again), closedWith);
        action(*again, "resetWorkspaceAction")->trigger();
        defaults = arrangement(*again);
        for (const char* name : kTradingPanels)
            EXPECT_TRUE(inWindow(*again, name)) << name;
        action(*again, "pageLayoutAction")->trigger();
        again->window().close();
    }
    auto third = launch();
    EXPECT_EQ(third->window().terminal()->layoutMode(), TerminalLayout::Page);
    action(*third, "workspaceLayoutAction")->trigger();
    EXPECT_EQ(arrangement(*third), defaults);
}

TEST_F(WorkspaceLayoutTest, unusableStoredArrangements_fallBackToTheDefaultWorkspace) {
    QString good;
    std::map<std::string, std::string> defaults;
    std::map<std::string, std::string> defaultsUnplaced;
    {
        auto app = launch();
        action(*app, "workspaceLayoutAction")->trigger();
        defaults = arrangement(*app);
        defaultsUnplaced = arrangement(*app, false);
        app->window().close();
        good = *zqt::Preferences().string(Settings::kWorkspaceStateKey);
    }
    QWidget foreign;
    const QString tooLong = QString(Settings::kWorkspaceStateMaxText + 4, QChar('A'));
    const struct {
        const char* what;
        QByteArray json; // the stored value, as JSON
    } cases[] = {
        {"empty", R"("")"},
        {"cut", "\"" + good.left(good.size() / 2).toLatin1() + "\""},
        {"foreign", "\"" + foreign.saveGeometry().toBase64() + "\""},
        {"not base64", R"("not a workspace!")"},
        {"longer than kept", "\"" + tooLong.toLatin1() + "\""},
        {"10 MB", "\"" + QByteArray(10 * 1024 * 1024, 'A') + "\""},
        {"a number", "12345"},
        {"a switch", "true"},
        {"an object", R"({"state":"x"})"},
    };
    for (const auto& c : cases) {
        // The preferences file as a hand or another program left it.
        QByteArray file = "{";
        for (const auto& [key, value] :
             std::map<QString, QString>{{Settings::key(zqt::Setting::Home), env.path("no-engine")},
                                        {Settings::key(zqt::Setting::Host), "127.0.0.1"},
                                        {Settings::kTerminalLayoutKey, "workspace"}})
            file += "\"" + key.toLatin1() + "\":\"" + value.toLatin1() + "\",";
        file += "\"" + QByteArray(Settings::key(zqt::Setting::AutoStart)) + "\":false,";
        file += "\"" + QByteArray(Settings::kWorkspaceStateKey) + "\":" + c.json + "}";
        ASSERT_TRUE(zqt::test::writeFile(zqt::Preferences::filePath(), file));
        auto app = launch();
        // A file that big is set aside whole, with the layout in it, and the header says so: the docks have
        // another height there, the same places.
        const bool setAside = std::string(c.what) == "10 MB";
        if (!setAside)
            EXPECT_EQ(app->window().terminal()->layoutMode(), TerminalLayout::Workspace) << c.what;
        action(*app, "workspaceLayoutAction")->trigger();
        EXPECT_EQ(arrangement(*app, !setAside), setAside ? defaultsUnplaced : defaults) << c.what;
    }
}
