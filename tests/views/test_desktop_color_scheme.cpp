#include "display/DesktopColorScheme.h"

#include "FakeNotifications.h"
#include "TestEnv.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <optional>

using zqt::DesktopColorScheme;
using zqt::test::PrivateSessionBus;
using zqt::test::waitUntil;

namespace {

// What the stand-in portal does with a read.
enum class Answer { Value, Silence, Fail };

// A stand-in for the desktop's settings portal on a connection of its own: answers ReadOne (or only Read, as
// older portals do) for the appearance colour scheme with `value`, and sends SettingChanged on request.
class FakePortal final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    FakePortal(const QString& address, QVariant value, bool readOne, Answer answer)
        : m_name("zqt-fake-portal-" + QString::number(reinterpret_cast<quintptr>(this), 16)), m_value(std::move(value)),
          m_readOne(readOne), m_answer(answer) {
        QDBusConnection bus = QDBusConnection::connectToBus(address, m_name);
        m_registered = bus.isConnected() &&
                       bus.registerObject(DesktopColorScheme::kPath, this, QDBusConnection::ExportAllSlots) &&
                       bus.registerService(DesktopColorScheme::kService);
    }
    ~FakePortal() override {
        {
            QDBusConnection bus(m_name);
            bus.unregisterService(DesktopColorScheme::kService);
            bus.unregisterObject(DesktopColorScheme::kPath);
        }
        QDBusConnection::disconnectFromBus(m_name);
    }
    bool registered() const { return m_registered; }
    int reads = 0;

    void announce(const QString& space, const QString& key, const QVariant& value) {
        QDBusMessage signal = QDBusMessage::createSignal(DesktopColorScheme::kPath, DesktopColorScheme::kInterface,
                                                         QStringLiteral("SettingChanged"));
        signal << space << key << QVariant::fromValue(QDBusVariant(value));
        QDBusConnection(m_name).send(signal);
    }

public slots:
    QDBusVariant ReadOne(const QString& space, const QString& key, const QDBusMessage& message) {
        ++reads;
        if (!m_readOne) {
            sendError(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
            return {};
        }
        return answer(space, key, message, false);
    }
    QDBusVariant Read(const QString& space, const QString& key, const QDBusMessage& message) {
        ++reads;
        return answer(space, key, message, true);
    }

private:
    void sendError(const QDBusMessage& message, const QString& name) {
        message.setDelayedReply(true);
        QDBusConnection(m_name).send(message.createErrorReply(name, QStringLiteral("no")));
    }
    QDBusVariant answer(const QString& space, const QString& key, const QDBusMessage& message, bool wrapped) {
        if (m_answer == Answer::Silence) {
            message.setDelayedReply(true); // never answered
            return {};
        }
        if (m_answer == Answer::Fail || space != "org.freedesktop.appearance" || key != "color-scheme") {
            sendError(message, QStringLiteral("org.freedesktop.portal.Error.NotFound"));
            return {};
        }
        // Read answers the value in one more variant.
        return wrapped ? QDBusVariant(QVariant::fromValue(QDBusVariant(m_value))) : QDBusVariant(m_value);
    }

    QString m_name;
    QVariant m_value;
    bool m_readOne;
    Answer m_answer;
    bool m_registered = false;
};

class DesktopColorSchemeTest : public ::testing::Test {
protected:
    DesktopColorSchemeTest() { EXPECT_TRUE(bus.isValid()) << bus.error().toStdString(); }
    ~DesktopColorSchemeTest() override { QDBusConnection::disconnectFromBus(kClient); }

    std::unique_ptr<DesktopColorScheme> scheme(int timeoutMs = DesktopColorScheme::kTimeoutMs) {
        const QString address = bus.address();
        return std::make_unique<DesktopColorScheme>(
            [address] { return QDBusConnection::connectToBus(address, kClient); }, timeoutMs);
    }

    static constexpr const char* kClient = "zqt-scheme-client";
    zqt::test::TempEnv env;
    PrivateSessionBus bus;
};

} // namespace

TEST_F(DesktopColorSchemeTest, firstRead_darkOnlyForOne_andAnythingElseIsLight) {
    struct Case {
        const char* name;
        QVariant value;
        bool readOne;
        Answer answer;
        bool dark;
    };
    const Case cases[] = {
        {"dark", QVariant::fromValue(uint(1)), true, Answer::Value, true},
        {"dark through the older Read", QVariant::fromValue(uint(1)), false, Answer::Value, true},
        {"no preference", QVariant::fromValue(uint(0)), true, Answer::Value, false},
        {"light", QVariant::fromValue(uint(2)), true, Answer::Value, false},
        {"a text", QVariant(QStringLiteral("1")), true, Answer::Value, false},
        {"an error", QVariant::fromValue(uint(1)), true, Answer::Fail, false},
    };
    for (const Case& c : cases) {
        FakePortal portal(bus.address(), c.value, c.readOne, c.answer);
        ASSERT_TRUE(portal.registered()) << c.name;
        auto reader = scheme();
        reader->start();
        EXPECT_TRUE(waitUntil([&] { return reader->answered(); }, 10000)) << c.name;
        EXPECT_EQ(reader->prefersDark(), c.dark) << c.name;
        EXPECT_GE(portal.reads, 1) << c.name;
        reader.reset();
        QDBusConnection::disconnectFromBus(kClient);
    }
}

TEST_F(DesktopColorSchemeTest, noPortal_orOneThatNeverAnswers_isLightOnceTheWaitIsOver) {
    {
        auto reader = scheme();
        reader->start();
        EXPECT_TRUE(waitUntil([&] { return reader->answered(); }, 10000)) << "nobody owns the name";
        EXPECT_FALSE(reader->prefersDark());
    }
    QDBusConnection::disconnectFromBus(kClient);
    FakePortal portal(bus.address(), QVariant::fromValue(uint(1)), true, Answer::Silence);
    ASSERT_TRUE(portal.registered());
    auto reader = scheme(300);
    reader->start();
    EXPECT_TRUE(waitUntil([&] { return reader->answered(); }, 10000));
    EXPECT_EQ(portal.reads, 1);
    EXPECT_FALSE(reader->prefersDark());
}

// Run first in its process (as ctest runs it), this is also the case where nothing has used QDBusVariant yet.
TEST_F(DesktopColorSchemeTest, settingChanged_followsTheDesktop_andIgnoresOtherKeys) {
    FakePortal portal(bus.address(), QVariant::fromValue(uint(0)), true, Answer::Value);
    ASSERT_TRUE(portal.registered());
    auto reader = scheme();
    QSignalSpy changes(reader.get(), &DesktopColorScheme::prefersDarkChanged);
    reader->start();
    // The subscription went to the bus daemon before the read on the same connection, so once the answer is
    // back every later signal is matched: no resending.
    ASSERT_TRUE(waitUntil([&] { return reader->answered(); }, 10000));
    EXPECT_FALSE(reader->prefersDark());

    // Signals arrive in order: a reader that took the other keys would go dark, light and dark again.
    portal.announce("org.freedesktop.appearance", "accent-color", QVariant::fromValue(uint(1)));
    portal.announce("org.gnome.desktop.interface", "color-scheme", QVariant::fromValue(uint(1)));
    portal.announce("org.freedesktop.appearance", "color-scheme", QVariant::fromValue(uint(2)));
    portal.announce("org.freedesktop.appearance", "color-scheme", QVariant::fromValue(uint(1)));
    ASSERT_TRUE(waitUntil([&] { return reader->prefersDark(); }, 10000));
    EXPECT_EQ(changes.size(), 1) << "only the colour scheme counts";
    EXPECT_EQ(changes.constFirst().constFirst().toBool(), true);

    portal.announce("org.freedesktop.appearance", "color-scheme", QVariant::fromValue(uint(2)));
    EXPECT_TRUE(waitUntil([&] { return !reader->prefersDark(); }, 10000));
    EXPECT_EQ(changes.size(), 2);
}

#include "test_desktop_color_scheme.moc"
