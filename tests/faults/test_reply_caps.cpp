// The bounds on what the API client and the status probe read from the engine: reply size and stall timeout.

#include "api/APIClient.h"
#include "control/EngineAddresses.h"
#include "control/StatusProbe.h"

#include "FaultServer.h"
#include "RecordingServer.h"
#include "TestEnv.h"

#include <QNetworkReply>

#include <gtest/gtest.h>

#include <optional>

using namespace zqt;
using zqt::test::Fault;
using zqt::test::FaultServer;
using zqt::test::HugeBodyMode;

namespace {

constexpr qint64 kMiB = 1024 * 1024;

// The body FaultServer's HugeBody streams, `bytes` long.
QByteArray hugeBody(qint64 bytes) {
    return QByteArray::fromStdString(FaultServer::hugeBodySlice(0, bytes, bytes));
}

class ReplyCapsTest : public ::testing::Test {
protected:
    zqt::test::TempEnv env;
    FaultServer server;
    MemoryTokenStore tokens;

    EngineAddresses addresses(int port) const {
        return EngineAddresses::compute(QStringLiteral("127.0.0.1"), QString::number(port), QStringLiteral("1"),
                                        QStringLiteral("2"), QString());
    }

    APIClient::RawReply exchange(APIClient& client) {
        std::optional<APIClient::RawReply> out;
        client.postFormExchange(endpoints::cancelAll(), [&](APIClient::RawReply r) { out = std::move(r); });
        EXPECT_TRUE(zqt::test::waitUntil([&] { return out.has_value(); }, 60000));
        return out.value_or(APIClient::RawReply{});
    }

    // Runs one status refresh to the end; returns the status text.
    QString probeStatus(StatusProbe& probe, int port) {
        int finished = 0;
        auto c = QObject::connect(&probe, &StatusProbe::finished, [&] { ++finished; });
        probe.refresh(addresses(port));
        EXPECT_TRUE(zqt::test::waitUntil([&] { return finished == 2; }, 60000));
        QObject::disconnect(c);
        return probe.systemStatus();
    }
};

const char* modeName(HugeBodyMode mode) {
    switch (mode) {
    case HugeBodyMode::WithLength:
        return "with its length";
    case HugeBodyMode::Streamed:
        return "streamed";
    }
    return "?";
}

TEST_F(ReplyCapsTest, apiClient_replyOverSixteenMiB_failsAsTooLarge_withOrWithoutLength) {
    const struct {
        qint64 bytes;
        HugeBodyMode mode;
        bool taken;
    } cases[] = {
        {APIClient::kMaxReplyBytes, HugeBodyMode::Streamed, true},
        {APIClient::kMaxReplyBytes, HugeBodyMode::WithLength, true},
        {APIClient::kMaxReplyBytes + 1, HugeBodyMode::Streamed, false},
        {APIClient::kMaxReplyBytes + 1, HugeBodyMode::WithLength, false},
        {50'000'000, HugeBodyMode::Streamed, false},
        {50'000'000, HugeBodyMode::WithLength, false},
    };
    ASSERT_EQ(APIClient::kMaxReplyBytes, 16 * kMiB);
    APIClient client(QUrl(server.baseUrl()), tokens);
    server.setFault(Fault::HugeBody);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytes << " bytes, " << modeName(c.mode));
        server.setHugeBody(c.bytes, c.mode);
        const APIClient::RawReply reply = exchange(client);
        if (c.taken) {
            ASSERT_TRUE(reply.bytes.has_value()) << reply.error->description.toStdString();
            EXPECT_EQ(reply.bytes->size(), c.bytes);
            EXPECT_TRUE(*reply.bytes == hugeBody(c.bytes));
        } else {
            EXPECT_FALSE(reply.bytes.has_value());
            ASSERT_TRUE(reply.error.has_value());
            EXPECT_EQ(*reply.error, ApiError::replyTooLarge(QStringLiteral("16 MiB")));
            EXPECT_EQ(reply.error->description, QStringLiteral("Reply larger than 16 MiB"));
            EXPECT_EQ(reply.error->kind, ApiError::Kind::Transport);
        }
        EXPECT_EQ(client.requestsInFlight(), 0);
    }

    // The client is fine afterwards: the next small reply is taken as usual.
    server.setFault(Fault::None);
    const APIClient::RawReply small = exchange(client);
    ASSERT_TRUE(small.bytes.has_value());
    EXPECT_EQ(*small.bytes, QByteArray(R"({"ok":true})"));
}

TEST_F(ReplyCapsTest, apiClient_tooLargeReply_failsFetchAndLoginWithTheCapMessage) {
    std::optional<Result<PricesResponse>> prices;
    std::optional<std::pair<bool, QString>> login;
    APIClient client(QUrl(server.baseUrl()), tokens);
    server.setFault(Fault::HugeBody);

    client.fetch<PricesResponse>(endpoints::prices({QStringLiteral("EURUSD")}),
                                 [&](Result<PricesResponse> r) { prices = r; });
    client.login(QStringLiteral("a@b.c"), QStringLiteral("pw"),
                 [&](bool ok, QString message) { login.emplace(ok, message); });
    ASSERT_TRUE(zqt::test::waitUntil([&] { return prices && login; }, 60000));
    ASSERT_FALSE(prices->ok());
    EXPECT_EQ(prices->error().description, QStringLiteral("Reply larger than 16 MiB"));
    EXPECT_EQ(*login, std::make_pair(false, QStringLiteral("Reply larger than 16 MiB")));
    EXPECT_EQ(client.token(), QString()) << "a failed sign-in changes no token";
}

TEST_F(ReplyCapsTest, apiClient_timeout_isSixtySecondsUnlessShortened_andEndsAHungExchange) {
    APIClient client(QUrl(server.baseUrl()), tokens);
    EXPECT_EQ(client.timeoutMs(), 60000);
    client.setTimeoutMs(300);
    server.setFault(Fault::Hang);
    const APIClient::RawReply reply = exchange(client);
    ASSERT_TRUE(reply.error.has_value());
    EXPECT_EQ(reply.error->kind, ApiError::Kind::Transport);
    EXPECT_EQ(reply.error->code, int(QNetworkReply::OperationCanceledError));
    EXPECT_EQ(server.waitingRequests(), 1) << "the engine still holds the request the client gave up";
}

TEST_F(ReplyCapsTest, statusProbe_keepsAtMost64KiB_andNotesACut) {
    const struct {
        qint64 bytes;
        HugeBodyMode mode;
    } cases[] = {{100, HugeBodyMode::Streamed},
                 {StatusProbe::kMaxReplyBytes, HugeBodyMode::Streamed},
                 {StatusProbe::kMaxReplyBytes, HugeBodyMode::WithLength},
                 {StatusProbe::kMaxReplyBytes + 1, HugeBodyMode::Streamed},
                 {StatusProbe::kMaxReplyBytes + 1, HugeBodyMode::WithLength},
                 {50'000'000, HugeBodyMode::Streamed},
                 {50'000'000, HugeBodyMode::WithLength}};
    ASSERT_EQ(StatusProbe::kMaxReplyBytes, 64 * 1024);
    StatusProbe probe;
    server.setFault(Fault::HugeBody);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytes << " bytes, " << modeName(c.mode));
        server.setHugeBody(c.bytes, c.mode);
        const QString text = probeStatus(probe, server.port());
        if (c.bytes <= StatusProbe::kMaxReplyBytes) {
            EXPECT_EQ(text, QString::fromLatin1(hugeBody(c.bytes)));
        } else {
            EXPECT_EQ(text, QString::fromLatin1(hugeBody(c.bytes).left(StatusProbe::kMaxReplyBytes)) +
                                QLatin1Char('\n') + StatusProbe::kTruncatedNote);
        }
        EXPECT_EQ(probe.healthStatus(), text);
    }
    EXPECT_EQ(StatusProbe::kTruncatedNote, QStringLiteral("[Reply larger than 64 KiB: only its beginning is shown]"));
}

TEST_F(ReplyCapsTest, statusProbe_cutInsideACharacter_dropsItsFirstBytes) {
    // "é" is two bytes; the cut at 64 KiB falls between them. A valid reply of exactly 64 KiB keeps its last one.
    zqt::test::RecordingServer engine;
    const QByteArray split = QByteArray(StatusProbe::kMaxReplyBytes - 1, 'a') + "\xc3\xa9 and more";
    const QByteArray whole = QByteArray(StatusProbe::kMaxReplyBytes - 2, 'a') + "\xc3\xa9";
    engine.setReply("GET", "/api/system/status", {200, split.toStdString(), "text/plain"});
    engine.setReply("GET", "/health", {200, whole.toStdString(), "text/plain"});
    StatusProbe probe;
    EXPECT_EQ(probeStatus(probe, engine.port()), QString(StatusProbe::kMaxReplyBytes - 1, QLatin1Char('a')) +
                                                     QLatin1Char('\n') + StatusProbe::kTruncatedNote);
    EXPECT_EQ(probe.healthStatus(), QString(StatusProbe::kMaxReplyBytes - 2, QLatin1Char('a')) + QChar(0xe9));
}

TEST_F(ReplyCapsTest, statusProbe_shortenedTimeout_endsAHungRequest_andKeepsTheTexts) {
    StatusProbe probe;
    probe.setSystemStatus(QStringLiteral("last good status"));
    probe.setHealthStatus(QStringLiteral("last good health"));
    probe.setTimeoutMs(300);
    server.setFault(Fault::Hang);
    EXPECT_EQ(probeStatus(probe, server.port()), QStringLiteral("last good status"));
    EXPECT_EQ(probe.healthStatus(), QStringLiteral("last good health"));
    EXPECT_EQ(server.waitingRequests(), 2);
}

} // namespace
