#include "control/EngineAddresses.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

using zqt::EngineAddresses;

namespace {

struct AddressCase {
    const char* host;
    const char* port;
    const char* expected; // empty: no address can be formed
};

void PrintTo(const AddressCase& c, std::ostream* os) {
    *os << '"' << c.host << "\" \"" << c.port << '"';
}

class BaseUrlTest : public ::testing::TestWithParam<AddressCase> {};

} // namespace

TEST_P(BaseUrlTest, baseUrl_formsAddressOrRefuses) {
    const AddressCase& c = GetParam();
    const QUrl url = EngineAddresses::baseUrl(QString::fromUtf8(c.host), QString::fromUtf8(c.port));
    if (*c.expected == '\0') {
        EXPECT_FALSE(url.isValid()) << url.toString().toStdString();
    } else {
        ASSERT_TRUE(url.isValid());
        EXPECT_EQ(url.toString(), QString::fromUtf8(c.expected));
    }
}

INSTANTIATE_TEST_SUITE_P(Hosts, BaseUrlTest,
                         ::testing::Values(AddressCase{"0.0.0.0", "8000", "http://127.0.0.1:8000"},
                                           AddressCase{"127.0.0.1", "3001", "http://127.0.0.1:3001"},
                                           AddressCase{"localhost", "65535", "http://localhost:65535"},
                                           AddressCase{"127.0.0.1", "", ""}, AddressCase{"127.0.0.1", "80a0", ""},
                                           AddressCase{"127.0.0.1", "0", ""}, AddressCase{"127.0.0.1", "65536", ""},
                                           AddressCase{"127.0.0.1", " 8000", ""},
                                           AddressCase{"127.0.0.1", "8000/x", ""}, AddressCase{"my host", "8000", ""},
                                           AddressCase{"", "8000", ""}, AddressCase{"user@host", "8000", ""},
                                           AddressCase{"h?q", "8000", ""}));

// IPv6 hosts: the literal goes in brackets, and the any-interface host is reached on loopback as 0.0.0.0 is.
INSTANTIATE_TEST_SUITE_P(Ipv6Hosts, BaseUrlTest,
                         ::testing::Values(AddressCase{"::", "8000", "http://[::1]:8000"},
                                           AddressCase{"::1", "8000", "http://[::1]:8000"},
                                           AddressCase{"[::1]", "8000", "http://[::1]:8000"},
                                           AddressCase{"[::]", "8000", "http://[::1]:8000"},
                                           AddressCase{"0:0:0:0:0:0:0:0", "8000", "http://[::1]:8000"},
                                           AddressCase{"fd00::5", "8010", "http://[fd00::5]:8010"},
                                           AddressCase{"::1", "", ""}, AddressCase{"[::1", "8000", ""},
                                           AddressCase{"::1]", "8000", ""}, AddressCase{"1::2::3", "8000", ""},
                                           AddressCase{"127.0.0.1:9000", "8000", ""},
                                           AddressCase{"[::1]:9000", "8000", ""}, AddressCase{"::1/x", "8000", ""}));

TEST(EngineAddressesTest, compute_ipv6AnyInterfaceHost_bracketsEveryAddress) {
    const EngineAddresses a = EngineAddresses::compute("::", "8000", "3000", "3001", "t+k");
    EXPECT_EQ(a.marketing.toString(), "http://[::1]:3000");
    EXPECT_EQ(a.external.toString(), "http://[::1]:3000/external");
    EXPECT_EQ(a.portal.toString(), "http://[::1]:3001");
    EXPECT_EQ(a.engine.toString(), "http://[::1]:8000");
    EXPECT_EQ(a.admin.toString(), "http://[::1]:8000/admin");
    EXPECT_EQ(a.webTerminal.toString(QUrl::FullyEncoded), "http://[::1]:8000/terminal?token=t%2Bk");
    EXPECT_EQ(a.status.toString(), "http://[::1]:8000/api/system/status");
    EXPECT_EQ(a.health.toString(), "http://[::1]:8000/health");
}

// Which hosts a runtime ports file may move the engine to, with the configured host "127.0.0.1" unless given.
TEST(EngineAddressesTest, followableHost_onlyLoopbackAnyInterfaceOrTheConfiguredHost) {
    struct Case {
        const char* host;
        const char* configured;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"10.0.0.5", "127.0.0.1", std::nullopt},
        {"engine.invalid", "127.0.0.1", std::nullopt},
        {"0.0.0.0", "127.0.0.1", "0.0.0.0"},
        {"::", "127.0.0.1", "::"},
        {"::1", "127.0.0.1", "::1"},
        {"[::1]", "127.0.0.1", "::1"},
        {"127.0.0.2", "127.0.0.1", "127.0.0.2"},
        {"", "127.0.0.1", std::nullopt},
        {"localhost", "127.0.0.1", "localhost"},
        {"10.0.0.5", "10.0.0.5", "10.0.0.5"},
        {"engine.lan", "engine.lan", "engine.lan"},
        {"192.168.1.20", "10.0.0.5", std::nullopt},
        {"127.0.0.1 ", "127.0.0.1", std::nullopt},
        {"fd00::5", "::1", std::nullopt},
        {"localhost.evil.test", "127.0.0.1", std::nullopt},
        {"127.0.0.1.evil.test", "127.0.0.1", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EngineAddresses::followableHost(c.host, c.configured), c.expected)
            << '"' << c.host << "\" configured \"" << c.configured << '"';
}

TEST(EngineAddressesTest, sameOrigin_comparesSchemeHostAndPort) {
    const QUrl engine("http://127.0.0.1:8000");
    EXPECT_TRUE(EngineAddresses::sameOrigin(QUrl("http://127.0.0.1:8000/admin?x=1#f"), engine));
    EXPECT_FALSE(EngineAddresses::sameOrigin(QUrl("https://127.0.0.1:8000/"), engine));
    EXPECT_FALSE(EngineAddresses::sameOrigin(QUrl("http://127.0.0.1:8001/"), engine));
    EXPECT_FALSE(EngineAddresses::sameOrigin(QUrl("http://localhost:8000/"), engine));
    EXPECT_FALSE(EngineAddresses::sameOrigin(QUrl("http://127.0.0.1/"), engine));
    EXPECT_TRUE(EngineAddresses::sameOrigin(QUrl("http://engine.test/"), QUrl("http://ENGINE.test:80")));
    EXPECT_FALSE(EngineAddresses::sameOrigin(QUrl("data:text/html,x"), QUrl("data:text/html,x")));
}

TEST(EngineAddressesTest, compute_anyInterfaceHost_reachesLoopbackOnEachPort) {
    const EngineAddresses a = EngineAddresses::compute("0.0.0.0", "8000", "3000", "3001", {});
    EXPECT_EQ(a.marketing.toString(), "http://127.0.0.1:3000");
    EXPECT_EQ(a.external.toString(), "http://127.0.0.1:3000/external");
    EXPECT_EQ(a.portal.toString(), "http://127.0.0.1:3001");
    EXPECT_EQ(a.engine.toString(), "http://127.0.0.1:8000");
    EXPECT_EQ(a.admin.toString(), "http://127.0.0.1:8000/admin");
    EXPECT_EQ(a.webTerminal.toString(), "http://127.0.0.1:8000/terminal");
    EXPECT_EQ(a.status.toString(), "http://127.0.0.1:8000/api/system/status");
    EXPECT_EQ(a.health.toString(), "http://127.0.0.1:8000/health");
}

TEST(EngineAddressesTest, webTerminal_baseWithOrWithoutFinalSlash_givesOneTerminalPath) {
    EXPECT_EQ(EngineAddresses::webTerminalUrl(QUrl("http://127.0.0.1:8000/"), "").toString(QUrl::FullyEncoded),
              "http://127.0.0.1:8000/terminal");
    EXPECT_EQ(EngineAddresses::webTerminalUrl(QUrl("http://127.0.0.1:8000"), "a b&c").toString(QUrl::FullyEncoded),
              "http://127.0.0.1:8000/terminal?token=a%20b%26c");
}

TEST(EngineAddressesTest, webTerminal_withToken_carriesItAsEncodedQueryValue) {
    const QUrl engine("http://127.0.0.1:8000");
    EXPECT_EQ(EngineAddresses::webTerminalUrl(engine, "abc123").toString(QUrl::FullyEncoded),
              "http://127.0.0.1:8000/terminal?token=abc123");
    // '+', '&', '=', '#', a blank and non-ASCII text must reach the page as the token's own characters.
    const QUrl odd = EngineAddresses::webTerminalUrl(engine, "a+b&c=d#e f/é");
    EXPECT_EQ(odd.toString(QUrl::FullyEncoded), "http://127.0.0.1:8000/terminal?token=a%2Bb%26c%3Dd%23e%20f%2F%C3%A9");
}

TEST(EngineAddressesTest, compute_badPort_leavesOnlyThatPortsPagesWithoutAddress) {
    const EngineAddresses a = EngineAddresses::compute("127.0.0.1", "x", "3000", "", "tok");
    EXPECT_TRUE(a.marketing.isValid());
    EXPECT_TRUE(a.external.isValid());
    EXPECT_FALSE(a.portal.isValid());
    EXPECT_FALSE(a.engine.isValid());
    EXPECT_FALSE(a.admin.isValid());
    EXPECT_FALSE(a.webTerminal.isValid());
    EXPECT_FALSE(a.status.isValid()) << "no probe is sent to an address that cannot be formed";
    EXPECT_FALSE(a.health.isValid());
}
