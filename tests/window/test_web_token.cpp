#include "app/ZQTDesktopApp.h"
#include "control/AppState.h"
#include "control/Preferences.h"
#include "control/Settings.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/NativeTerminalView.h"
#include "window/ContentView.h"
#include "window/WebView.h"

#include "EngineHome.h"
#include "ForeignListener.h"
#include "QtPrinters.h"
#include "RecordingServer.h"
#include "TestEnv.h"

#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QTabWidget>
#include <QWebEngineHistory>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

using zqt::test::EngineHome;
using zqt::test::TempEnv;
using zqt::test::waitUntil;

namespace {

// Every regular file below `root` whose bytes contain `needle`.
QStringList filesHolding(const QString& root, const QByteArray& needle) {
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains(needle))
            found << path;
    }
    return found;
}

// How many regular files lie below `root`.
int fileCount(const QString& root) {
    int n = 0;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    for (; it.hasNext(); it.next())
        ++n;
    return n;
}

} // namespace

// The web terminal's address carries the sign-in token. Once the page has loaded, its back and forward history
// holds no address with the token, and no window title, tab text or tooltip shows it. After the program closed,
// no file in the temp HOME (data, cache, config and state folders) holds the token but the preferences file, while
// the page's cookie and site storage were kept on disk.
TEST(WebTokenTest, webTerminalShown_tokenIsInNoHistoryTitleOrFileButThePreferences_cookiesAndStorageStayOnDisk) {
    TempEnv env;
    EngineHome engine(env.path("engine"));
    engine.writeScript("app_up.sh", "echo up\n");
    const QByteArray token = "tok4e1f9c2b7d3a8e6f5c0b1a2d3e4f5a6b";

    zqt::test::RecordingServer server;
    server.setHandler("GET", "/terminal", [](const httplib::Request&, httplib::Response& res) {
        // Cacheable for an hour, so a disk cache would keep it.
        res.set_header("Cache-Control", "public, max-age=3600");
        res.set_content("<!doctype html><html><head><title>loading</title></head><body>terminal<script>"
                        "document.cookie = 'kept_cookie=yes; max-age=86400; path=/';"
                        "localStorage.setItem('kept_storage_key', 'yes');"
                        "document.title = 'ready';"
                        "</script></body></html>",
                        "text/html");
    });
    const QString port = QString::number(server.port());
    {
        zqt::Preferences prefs;
        prefs.setString(zqt::Settings::key(zqt::Setting::Home), engine.path());
        prefs.setBool(zqt::Settings::key(zqt::Setting::AutoStart), false);
        prefs.setString(zqt::Settings::key(zqt::Setting::Host), "127.0.0.1");
        for (const zqt::Setting s : {zqt::Setting::Port, zqt::Setting::MarketingPort, zqt::Setting::PortalPort})
            prefs.setString(zqt::Settings::key(s), port);
        prefs.setString(zqt::Settings::kTokenKey, QString::fromLatin1(token));
        prefs.sync();
    }

    // A disk cache an earlier version left behind, holding the address with the token.
    const QString staleCache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/web";
    ASSERT_TRUE(zqt::test::writeFile(staleCache + "/Cache/Cache_Data/0123456789abcdef_0",
                                     "1/0/_dk_http://127.0.0.1 http://127.0.0.1/terminal?token=" + token));

    auto app = std::make_unique<zqt::ZQTDesktopApp>();
    zqt::ContentView& view = app->window();
    view.show();
    QTabWidget* tabs = view.tabs();
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->tabText(i) == "Web Terminal")
            tabs->setCurrentIndex(i);
    zqt::WebView* web = view.webView("Web Terminal");
    ASSERT_NE(web, nullptr);
    ASSERT_TRUE(waitUntil([&] { return web->browser() != nullptr; }, 60000));
    ASSERT_TRUE(waitUntil([&] { return web->browser()->title() == "ready"; }, 60000));
    bool asked = false;
    for (const auto& r : server.requests())
        asked = asked || r.target == "/terminal?token=" + token.toStdString();
    ASSERT_TRUE(asked) << "the page was asked for with the token in its address";

    // The page keeps running at its path without the query, and the history has nothing else.
    const QString tokenText = QString::fromLatin1(token);
    QWebEngineHistory* history = web->browser()->history();
    auto historyHoldsToken = [&] {
        for (const QWebEngineHistoryItem& item : history->items()) {
            if (item.url().toString().contains(tokenText) || item.originalUrl().toString().contains(tokenText) ||
                item.title().contains(tokenText))
                return true;
        }
        return false;
    };
    ASSERT_TRUE(waitUntil([&] { return !historyHoldsToken(); }, 30000));
    EXPECT_EQ(history->count(), 1);
    EXPECT_FALSE(history->canGoBack());
    EXPECT_EQ(web->browser()->url(), QUrl(server.baseUrl() + "/terminal"));
    EXPECT_EQ(web->browser()->title(), "ready") << "the page is still the one loaded";
    EXPECT_FALSE(view.windowTitle().contains(tokenText));
    EXPECT_FALSE(view.window()->windowTitle().contains(tokenText));
    for (int i = 0; i < tabs->count(); ++i) {
        EXPECT_FALSE(tabs->tabText(i).contains(tokenText)) << i;
        EXPECT_FALSE(tabs->tabToolTip(i).contains(tokenText)) << i;
        EXPECT_FALSE(tabs->tabWhatsThis(i).contains(tokenText)) << i;
    }
    for (const QWidget* w : view.findChildren<QWidget*>()) {
        EXPECT_FALSE(w->toolTip().contains(tokenText)) << w->metaObject()->className();
        EXPECT_FALSE(w->statusTip().contains(tokenText)) << w->metaObject()->className();
        EXPECT_FALSE(w->windowTitle().contains(tokenText)) << w->metaObject()->className();
    }
    const QString storage = view.webProfile()->persistentStoragePath();
    const QString cache = view.webProfile()->cachePath();

    // Closing the program flushes what the web profile keeps on disk.
    app.reset();
    ASSERT_TRUE(waitUntil([&] { return !filesHolding(storage, "kept_cookie").isEmpty(); }, 30000))
        << "the cookie was kept on disk";
    ASSERT_TRUE(waitUntil([&] { return !filesHolding(storage, "kept_storage_key").isEmpty(); }, 30000))
        << "the site storage was kept on disk";

    EXPECT_EQ(filesHolding(env.root(), token), QStringList{zqt::Preferences::filePath()});
    EXPECT_EQ(fileCount(cache), 0) << "no HTTP cache on disk";
    EXPECT_EQ(fileCount(staleCache), 0) << "the earlier disk cache is gone";
}

// Another user's program listens on the engine's port (the engine stopped, someone took its port): the Web Terminal
// asks it for its page without the token and says why, and the terminal's reads reach it without the token, as that
// program itself records them.
TEST(WebTokenTest, portHeldByAnotherUser_webTerminalAndReadsReachItWithoutTheToken) {
    TempEnv env;
    EngineHome engine(env.path("engine"));
    engine.writeScript("app_up.sh", "echo up\n");
    zqt::test::ForeignListener foreign;
    if (!foreign.skipReason().isEmpty())
        GTEST_SKIP() << "no listener of another user: " << foreign.skipReason().toStdString();
    const std::string token = "tok9c41d7e2foreignweb";
    {
        zqt::Preferences prefs;
        prefs.setString(zqt::Settings::key(zqt::Setting::Home), engine.path());
        prefs.setBool(zqt::Settings::key(zqt::Setting::AutoStart), false);
        prefs.setString(zqt::Settings::key(zqt::Setting::Host), "127.0.0.1");
        prefs.setString(zqt::Settings::key(zqt::Setting::Port), QString::number(foreign.port()));
        for (const zqt::Setting s : {zqt::Setting::MarketingPort, zqt::Setting::PortalPort})
            prefs.setString(zqt::Settings::key(s), QString::number(zqt::test::freePort()));
        prefs.setString(zqt::Settings::kTokenKey, QString::fromStdString(token));
        prefs.sync();
    }

    auto app = std::make_unique<zqt::ZQTDesktopApp>();
    zqt::ContentView& view = app->window();
    view.show();
    QTabWidget* tabs = view.tabs();
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->tabText(i) == "Web Terminal")
            tabs->setCurrentIndex(i);
    zqt::WebView* web = view.webView("Web Terminal");
    ASSERT_NE(web, nullptr);
    view.terminal()->model().refreshAll();

    std::vector<zqt::test::ForeignListener::Request> seen;
    const auto received = [&](const std::string& prefix) {
        for (const auto& r : seen)
            if (r.target.rfind(prefix, 0) == 0)
                return true;
        return false;
    };
    ASSERT_TRUE(waitUntil(
        [&] {
            seen = foreign.requests();
            return received("/terminal") && received("/api/");
        },
        60000))
        << "the page and the reads reached the port";
    for (const auto& r : seen) {
        EXPECT_EQ(r.target.find(token), std::string::npos) << r.target;
        EXPECT_EQ(r.body.find(token), std::string::npos) << r.target;
        EXPECT_EQ(r.authorization, "") << r.target;
    }
    const QString notice =
        QStringLiteral("Port %1 is held by another user's program: sign-in and token withheld.").arg(foreign.port());
    EXPECT_EQ(web->standingNotice(), notice);
    EXPECT_EQ(view.terminal()->model().session().portWarning(), notice);
}
