// The window's size and place: stored when it closes, restored by the next run, the default size whenever what is
// stored cannot be used.
#include "app/ZQTDesktopApp.h"
#include "control/Preferences.h"
#include "control/Settings.h"
#include "window/ContentView.h"

#include "TestEnv.h"

#include <QGuiApplication>
#include <QRandomGenerator>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

using zqt::Settings;
using zqt::ZQTDesktopApp;
using zqt::test::TempEnv;

namespace {

const QSize kDefaultSize(ZQTDesktopApp::kDefaultWidth, ZQTDesktopApp::kDefaultHeight);

class WindowGeometryTest : public ::testing::Test {
protected:
    WindowGeometryTest() {
        // No engine and nothing started; the terminal polls ports where nobody listens.
        zqt::Preferences prefs;
        prefs.setString(Settings::key(zqt::Setting::Home), env.path("no-engine"));
        prefs.setBool(Settings::key(zqt::Setting::AutoStart), false);
        prefs.setString(Settings::key(zqt::Setting::Host), "127.0.0.1");
        for (const zqt::Setting port : {zqt::Setting::Port, zqt::Setting::MarketingPort, zqt::Setting::PortalPort})
            prefs.setString(Settings::key(port), QString::number(zqt::test::freePort()));
        prefs.sync();
    }

    // A run of the program up to its shown window.
    std::unique_ptr<ZQTDesktopApp> launch() const {
        auto app = std::make_unique<ZQTDesktopApp>();
        app->showWindow();
        EXPECT_TRUE(app->window().isVisible());
        return app;
    }

    // What the window stores for a given geometry, made by a plain widget of the same minimum size.
    static QByteArray savedGeometry(const QRect& rect) {
        QWidget w;
        w.setMinimumSize(1200, 760);
        w.setGeometry(rect);
        return w.saveGeometry();
    }

    static void storeGeometryText(const QString& text) {
        zqt::Preferences prefs;
        prefs.setString(Settings::kWindowGeometryKey, text);
        prefs.sync();
    }

    TempEnv env;
};

} // namespace

TEST_F(WindowGeometryTest, firstRun_opensAtTheDefaultSize_closedWindow_reopensWithItsSizeAndPlace) {
    QRect closedAt;
    {
        auto app = launch();
        EXPECT_EQ(app->window().size(), kDefaultSize);
        app->window().setGeometry(100, 60, 1500, 950);
        closedAt = app->window().geometry();
        app->window().close();
    }
    EXPECT_TRUE(zqt::Preferences().string(Settings::kWindowGeometryKey).has_value());

    auto again = launch();
    EXPECT_EQ(again->window().geometry(), closedAt);

    // Closing again stores the place it has now.
    again->window().setGeometry(300, 200, 1250, 800);
    again->window().close();
    again.reset();
    EXPECT_EQ(launch()->window().geometry(), QRect(300, 200, 1250, 800));
}

TEST_F(WindowGeometryTest, storedPlaceOffEveryScreen_isBroughtBackOntoTheScreenWithItsSize) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_GE(screen.width(), 1500) << "run with the test's one-screen configuration";
    storeGeometryText(QString::fromLatin1(savedGeometry(QRect(5000, 4000, 1500, 950)).toBase64()));

    auto app = launch();
    EXPECT_EQ(app->window().size(), QSize(1500, 950));
    // The window itself is on the screen (Qt's own check counts the title bar, not the thin side frames).
    const QRect placed = app->window().geometry();
    EXPECT_TRUE(screen.contains(placed)) << placed.x() << "," << placed.y();
}

TEST_F(WindowGeometryTest, unusableStoredGeometry_opensAtTheDefaultSize) {
    const QByteArray good = savedGeometry(QRect(100, 60, 1500, 950));
    QByteArray otherMagic = good;
    otherMagic[0] = static_cast<char>(otherMagic[0] ^ 0x5a);
    QByteArray otherVersion = good;
    otherVersion[4] = static_cast<char>(0x7f); // major version 0x7f..
    QByteArray noise(good.size(), Qt::Uninitialized);
    QRandomGenerator random(13);
    for (char& c : noise)
        c = static_cast<char>(random.bounded(256));

    const struct {
        const char* name;
        QString stored;
    } cases[] = {
        {"not base64", "geometry? what geometry"},
        {"empty", ""},
        {"random bytes", QString::fromLatin1(noise.toBase64())},
        {"cut in half", QString::fromLatin1(good.left(good.size() / 2).toBase64())},
        {"one byte short", QString::fromLatin1(good.chopped(1).toBase64())},
        {"another magic number", QString::fromLatin1(otherMagic.toBase64())},
        {"a later format", QString::fromLatin1(otherVersion.toBase64())},
        {"too long", QString(Settings::kWindowGeometryMaxText + 4, QChar('A'))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        storeGeometryText(c.stored);
        EXPECT_EQ(launch()->window().size(), kDefaultSize);
    }

    zqt::Preferences prefs;
    prefs.setBool(Settings::kWindowGeometryKey, true);
    prefs.sync();
    EXPECT_EQ(launch()->window().size(), kDefaultSize) << "a switch under the key";
}
