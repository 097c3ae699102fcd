#include "control/DesktopNotifier.h"

#include "FakeNotifications.h"
#include "TestEnv.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using zqt::DesktopNotice;
using zqt::DesktopNotifier;
using zqt::test::FakeNotifications;
using zqt::test::PrivateSessionBus;
using zqt::test::waitUntil;

namespace {

DesktopNotice notice(quint64 id, const QString& summary, const QString& body, int count = 1,
                     DesktopNotice::Kind kind = DesktopNotice::Kind::PositionClosed) {
    return {kind, id, count, summary, body};
}

// Every message the program writes through Qt's logging while the object lives.
class LogCapture final {
public:
    LogCapture() {
        s_lines.clear();
        m_previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { s_lines << text; });
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    static QStringList lines() { return s_lines; }

private:
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

} // namespace

TEST(DesktopNotifierTest, sendsEachNoticeWithIconAndDesktopEntry_aMergedRepeatReplacesItsPopup) {
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isValid()) << bus.error().toStdString();
    FakeNotifications service(bus.address());
    ASSERT_TRUE(service.isRegistered());
    DesktopNotifier notifier;
    QSignalSpy delivered(&notifier, &DesktopNotifier::delivered);

    notifier.show(notice(1, "ZQT engine offline", "The engine stopped.", 1, DesktopNotice::Kind::EngineOffline));
    notifier.show(notice(2, "Position closed: EURUSD", "PnL +1.00 <b>&"));
    ASSERT_TRUE(waitUntil([&] { return delivered.count() == 2; }, 20000));
    notifier.show(notice(2, "Position closed: EURUSD", "2 positions closed, PnL +3.00 in all", 2));
    ASSERT_TRUE(waitUntil([&] { return delivered.count() == 3; }, 20000));

    const auto& got = service.received();
    ASSERT_EQ(got.size(), 3);
    for (const auto& n : got) {
        EXPECT_EQ(n.appName, "ZQT Desktop Control");
        EXPECT_EQ(n.appIcon, "org.zqt.DesktopControl");
        EXPECT_EQ(n.hints.value("desktop-entry").toString(), "org.zqt.DesktopControl");
        EXPECT_EQ(n.expireTimeout, -1);
        EXPECT_TRUE(n.actions.isEmpty());
    }
    EXPECT_EQ(got[0].summary, "ZQT engine offline");
    EXPECT_EQ(got[0].hints.value("urgency").toInt(), 2);
    EXPECT_EQ(got[1].hints.value("urgency").toInt(), 1);
    EXPECT_EQ(got[1].body, "PnL +1.00 <b>&") << "a service that reads no markup gets the text as it is";
    EXPECT_EQ(got[0].replacesId, 0u);
    EXPECT_EQ(got[1].replacesId, 0u);
    EXPECT_EQ(got[2].replacesId, delivered[1][1].toUInt()) << "the repeat replaces the popup it merges into";
}

TEST(DesktopNotifierTest, aServiceThatReadsMarkup_getsTheBodyEscaped) {
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isValid()) << bus.error().toStdString();
    FakeNotifications service(bus.address(), {"body", "body-markup"});
    ASSERT_TRUE(service.isRegistered());
    DesktopNotifier notifier;
    QSignalSpy delivered(&notifier, &DesktopNotifier::delivered);
    notifier.show(notice(1, "Order rejected", "BUY 1.00 <img src=/dev/zero> & co"));
    ASSERT_TRUE(waitUntil([&] { return delivered.count() == 1; }, 20000));
    EXPECT_EQ(service.received().at(0).body, "BUY 1.00 &lt;img src=/dev/zero&gt; &amp; co");
}

TEST(DesktopNotifierTest, noNotificationService_nothingFailsAndOneLineIsWritten) {
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isValid()) << bus.error().toStdString();
    LogCapture log;
    DesktopNotifier notifier;
    QSignalSpy failed(&notifier, &DesktopNotifier::failed);
    for (quint64 id = 1; id <= 3; ++id)
        notifier.show(notice(id, "Order rejected", "x"));
    ASSERT_TRUE(waitUntil([&] { return failed.count() == 3; }, 20000));
    notifier.show(notice(4, "Order rejected", "y"));
    ASSERT_TRUE(waitUntil([&] { return failed.count() == 4; }, 20000));
    ASSERT_EQ(LogCapture::lines().size(), 1) << LogCapture::lines().join("\n").toStdString();
    EXPECT_TRUE(LogCapture::lines()[0].startsWith("Desktop notifications are unavailable: no notification service"));

    // A service that comes later is used.
    FakeNotifications service(bus.address());
    ASSERT_TRUE(service.isRegistered());
    QSignalSpy delivered(&notifier, &DesktopNotifier::delivered);
    notifier.show(notice(5, "Order rejected", "z"));
    ASSERT_TRUE(waitUntil([&] { return delivered.count() == 1; }, 20000));
    EXPECT_EQ(service.summaries(), QStringList{"Order rejected"});
    EXPECT_EQ(LogCapture::lines().size(), 1);
}

TEST(DesktopNotifierTest, noSessionBus_nothingFailsAndOneLineIsWritten) {
    zqt::test::TempEnv env;
    env.setVar("DBUS_SESSION_BUS_ADDRESS", QByteArray("unix:path=" + env.path("no-bus").toUtf8()));
    LogCapture log;
    DesktopNotifier notifier;
    QSignalSpy failed(&notifier, &DesktopNotifier::failed);
    notifier.show(notice(1, "Order rejected", "x"));
    notifier.show(notice(2, "Order rejected", "x"));
    ASSERT_TRUE(waitUntil([&] { return failed.count() == 2; }, 20000));
    notifier.show(notice(3, "Order rejected", "x"));
    EXPECT_EQ(failed.count(), 3);
    ASSERT_EQ(LogCapture::lines().size(), 1) << LogCapture::lines().join("\n").toStdString();
    EXPECT_TRUE(LogCapture::lines()[0].startsWith("Desktop notifications are unavailable: no session bus"));
}
