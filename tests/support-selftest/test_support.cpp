#include "RecordingServer.h"
#include "TestEnv.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace zqt::test;

TEST(TempEnv, pointsHomeAndXdgIntoTempAndRestores) {
    const QByteArray before = qgetenv("HOME");
    {
        TempEnv env;
        ASSERT_TRUE(env.isValid());
        EXPECT_EQ(QString::fromLocal8Bit(qgetenv("HOME")), env.home());
        EXPECT_EQ(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")), env.configHome());
        EXPECT_TRUE(QDir(env.configHome()).exists());
    }
    EXPECT_EQ(qgetenv("HOME"), before);
}

TEST(RecordingServer, recordsRequestAndAnswersCannedReply) {
    RecordingServer server;
    server.setReply("GET", "/x", {201, "{\"a\":1}", "application/json"});
    httplib::Client client("127.0.0.1", server.port());
    auto res = client.Get("/x?q=1");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 201);
    EXPECT_EQ(res->body, "{\"a\":1}");
    auto missing = client.Get("/nope");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
    const auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].path, "/x");
    EXPECT_EQ(reqs[0].query, "q=1");
    EXPECT_EQ(reqs[0].target, "/x?q=1");
}

TEST(RecordingServer, stopRightAfterStart_returns) {
    for (int i = 0; i < 20; ++i) {
        RecordingServer server;
        server.stop();
    }
    SUCCEED();
}
