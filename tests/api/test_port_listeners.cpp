#include "api/PortListeners.h"

#include "ForeignListener.h"
#include "RecordingServer.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <unistd.h>

using zqt::PortHolder;
namespace PortListeners = zqt::PortListeners;

namespace {

const char* holderName(PortHolder h) {
    switch (h) {
    case PortHolder::Nobody:
        return "Nobody";
    case PortHolder::ThisUser:
        return "ThisUser";
    case PortHolder::OtherUser:
        return "OtherUser";
    case PortHolder::Unknown:
        return "Unknown";
    }
    return "?";
}

constexpr char kHeader[] = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
                           "timeout inode\n";

// One socket line as the kernel writes it; `local` and `remote` as hex "ADDR:PORT", `state` in hex.
std::string line(int n, const char* local, const char* remote, const char* state, const std::string& uid) {
    return "   " + std::to_string(n) + ": " + local + " " + remote + " " + state +
           " 00000000:00000000 00:00000000 00000000 " + uid + "        0 " + std::to_string(1000 + n) +
           " 1 0000000000000000 100 0 0 10 0\n";
}
std::string line(int n, const char* local, const char* remote, const char* state, unsigned uid) {
    return line(n, local, remote, state, std::to_string(uid));
}

constexpr unsigned kSelf = 1000;
constexpr unsigned kOther = 1001;
constexpr quint16 kPort = 8000; // 1F40

} // namespace

// What the kernel's tables say about port 8000, for a program run by uid 1000. Lines are in the kernel's order:
// listening sockets first.
TEST(PortListenersTest, verdict_table) {
    struct Case {
        const char* name;
        std::string tcp;
        std::string tcp6;
        bool atEnd; // the text is the whole table
        PortHolder expected;
    };
    const std::string v4Listen = line(0, "0100007F:1F40", "00000000:0000", "0A", kSelf);
    const std::string v4ListenOther = line(0, "0100007F:1F40", "00000000:0000", "0A", kOther);
    const std::string anyListenOther = line(1, "00000000:1F40", "00000000:0000", "0A", kOther);
    const std::string v6ListenOther =
        line(0, "00000000000000000000000001000000:1F40", "00000000000000000000000000000000:0000", "0A", kOther);
    const std::string otherPort = line(2, "0100007F:1F41", "00000000:0000", "0A", kOther);
    const std::string established = line(3, "0100007F:1F40", "0100007F:D431", "01", kOther);
    const std::string remotePort = line(4, "0100007F:D431", "0100007F:1F40", "01", kOther);
    const Case cases[] = {
        {"own listener", kHeader + v4Listen, kHeader, true, PortHolder::ThisUser},
        {"another user's listener", kHeader + v4ListenOther, kHeader, true, PortHolder::OtherUser},
        {"another user's on every interface", kHeader + anyListenOther, kHeader, true, PortHolder::OtherUser},
        {"own on IPv4, another user's on IPv6", kHeader + v4Listen, kHeader + v6ListenOther, true,
         PortHolder::OtherUser},
        {"nobody on the port, another user on the next", kHeader + otherPort, kHeader, true, PortHolder::Nobody},
        {"connections on the port are no listener", kHeader + otherPort + established + remotePort, kHeader, true,
         PortHolder::Nobody},
        {"hex in lower case", kHeader + line(0, "0100007f:1f40", "00000000:0000", "0A", kOther), kHeader, true,
         PortHolder::OtherUser},
        {"last line without line break", kHeader + v4ListenOther.substr(0, v4ListenOther.size() - 1), kHeader, true,
         PortHolder::OtherUser},
        {"header only", kHeader, kHeader, true, PortHolder::Nobody},
        {"cut inside the listening part", kHeader + v4Listen, kHeader, false, PortHolder::Unknown},
        {"cut, but another user's already seen", kHeader + v4ListenOther, kHeader, false, PortHolder::OtherUser},
        {"cut after the listening part", kHeader + v4Listen + established, kHeader, false, PortHolder::ThisUser},
        {"a line of garbage", kHeader + v4Listen + "garbage\n", kHeader, true, PortHolder::Unknown},
        {"uid not a number", kHeader + line(0, "0100007F:1F40", "00000000:0000", "0A", "abcd"), kHeader, true,
         PortHolder::Unknown},
        {"port past 16 bits", kHeader + line(0, "0100007F:11F40", "00000000:0000", "0A", kSelf), kHeader, true,
         PortHolder::Unknown},
        {"too few columns", kHeader + std::string("   0: 0100007F:1F40 00000000:0000 0A\n"), kHeader, true,
         PortHolder::Unknown},
        {"empty tcp table text", "", kHeader, true, PortHolder::Nobody},
    };
    for (const Case& c : cases) {
        const QList<PortListeners::TableScan> scans{
            PortListeners::scanTable(QByteArrayView(c.tcp.data(), qsizetype(c.tcp.size())), kPort, c.atEnd),
            PortListeners::scanTable(QByteArrayView(c.tcp6.data(), qsizetype(c.tcp6.size())), kPort, true)};
        EXPECT_STREQ(holderName(PortListeners::verdict(scans, kSelf)), holderName(c.expected)) << c.name;
    }
}

TEST(PortListenersTest, maySendSecrets_onlyToNobodyOrThisUser) {
    EXPECT_TRUE(PortListeners::maySendSecrets(PortHolder::Nobody));
    EXPECT_TRUE(PortListeners::maySendSecrets(PortHolder::ThisUser));
    EXPECT_FALSE(PortListeners::maySendSecrets(PortHolder::OtherUser));
    EXPECT_FALSE(PortListeners::maySendSecrets(PortHolder::Unknown));
    EXPECT_EQ(PortListeners::withheldNotice(8000, PortHolder::OtherUser),
              "Port 8000 is held by another user's program: sign-in and token withheld.");
}

// The kernel's own tables: a server of this process, a free port, and a server run by another uid.
TEST(PortListenersTest, holder_readsTheKernelsTables) {
    zqt::test::RecordingServer own;
    ASSERT_GT(own.port(), 0);
    EXPECT_STREQ(holderName(PortListeners::holder(quint16(own.port()))), holderName(PortHolder::ThisUser));

    const int freePort = zqt::test::freePort();
    EXPECT_STREQ(holderName(PortListeners::holder(quint16(freePort))), holderName(PortHolder::Nobody));

    zqt::test::ForeignListener foreign;
    if (!foreign.skipReason().isEmpty())
        GTEST_SKIP() << "no listener of another user: " << foreign.skipReason().toStdString();
    EXPECT_STREQ(holderName(PortListeners::holder(quint16(foreign.port()))), holderName(PortHolder::OtherUser));
}
