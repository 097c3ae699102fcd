#include "control/RuntimePorts.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using zqt::RuntimePorts;

namespace {

struct Case {
    const char* name;
    QByteArray json;
    std::optional<RuntimePorts> expected;
};

RuntimePorts ports(std::optional<QString> host, std::optional<QString> port, std::optional<QString> marketing = {},
                   std::optional<QString> portal = {}, std::optional<QString> access = {}) {
    RuntimePorts p;
    p.host = std::move(host);
    p.port = std::move(port);
    p.marketingPort = std::move(marketing);
    p.portalPort = std::move(portal);
    p.accessHost = std::move(access);
    return p;
}

std::string describe(const std::optional<RuntimePorts>& p) {
    if (!p)
        return "unusable";
    auto s = [](const std::optional<QString>& v) {
        return v ? '"' + v->toStdString() + '"' : std::string("-");
    };
    return "host " + s(p->host) + " access " + s(p->accessHost) + " port " + s(p->port) + " marketing " +
           s(p->marketingPort) + " portal " + s(p->portalPort);
}

} // namespace

TEST(RuntimePortsDecode, decodesTheTable) {
    const Case cases[] = {
        {"all members",
         R"({"host":"0.0.0.0","access_host":"127.0.0.1","port":9000,"marketing_port":3100,"portal_port":3101})",
         ports("0.0.0.0", "9000", "3100", "3101", "127.0.0.1")},
        {"empty object", "{}", RuntimePorts{}},
        {"empty host kept as given", R"({"host":"","port":8010})", ports("", "8010")},
        {"null members are absent", R"({"host":null,"marketing_port":null,"port":8010})", ports({}, "8010")},
        {"integral double", R"({"port":8010.0})", ports({}, "8010")},
        {"negative integer", R"({"portal_port":-1})", ports({}, {}, {}, "-1")},
        {"unlisted members ignored", R"({"extra":[1,{"a":2}],"pid":"x","port":1})", ports({}, "1")},
        {"port as string", R"({"host":"10.0.0.1","port":"8010"})", std::nullopt},
        {"port as bool", R"({"port":true})", std::nullopt},
        {"port fractional", R"({"port":8010.5})", std::nullopt},
        {"port beyond 64 bits", R"({"port":1e30})", std::nullopt},
        {"marketing port as object", R"({"marketing_port":{}})", std::nullopt},
        {"host as number", R"({"host":127})", std::nullopt},
        {"access_host as number", R"({"access_host":1,"port":8000})", std::nullopt},
        {"array", "[1,2]", std::nullopt},
        {"string", R"("ports")", std::nullopt},
        {"number", "8000", std::nullopt},
        {"not JSON", "port=8000", std::nullopt},
        {"truncated", R"({"port":80)", std::nullopt},
        {"empty file", "", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(describe(RuntimePorts::decode(c.json)), describe(c.expected)) << c.name;
}
