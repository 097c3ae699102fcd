#include "api/APIClient.h"

#include "ForeignListener.h"
#include "RecordingServer.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QThread>

#include <atomic>
#include <future>
#include <optional>

using namespace zqt;
using zqt::test::CannedReply;
using zqt::test::RecordingServer;

namespace {

constexpr char kOrdersJson[] =
    R"({"orders":[{"id":7,"symbol":"ES","side":"BUY","type":"LIMIT","qty":2,"status":"OPEN"}]})";

class ApiClientTest : public ::testing::Test {
protected:
    zqt::test::TempEnv env;
    MemoryTokenStore tokens;
    RecordingServer server;

    QUrl base() const { return QUrl(server.baseUrl()); }

    // Runs the event loop until the completion has run; also checks it ran on the main thread.
    template <class T> std::optional<Result<T>> fetch(APIClient& client, const QString& path) {
        std::optional<Result<T>> out;
        bool onMain = false;
        client.fetch<T>(path, [&](Result<T> r) {
            onMain = QThread::currentThread() == QCoreApplication::instance()->thread();
            out.emplace(std::move(r));
        });
        EXPECT_TRUE(zqt::test::waitUntil([&] { return out.has_value(); }, 10000));
        EXPECT_TRUE(onMain);
        return out;
    }

    std::optional<Result<QByteArray>> post(APIClient& client, const QString& path, const FormFields& fields) {
        std::optional<Result<QByteArray>> out;
        bool onMain = false;
        // The exchange as a result: the body on any reply, else the error.
        client.postFormExchange({path, fields}, [&](APIClient::RawReply r) {
            onMain = QThread::currentThread() == QCoreApplication::instance()->thread();
            if (r.error)
                out.emplace(Result<QByteArray>::failure(*r.error));
            else
                out.emplace(Result<QByteArray>::success(r.bytes.value_or(QByteArray())));
        });
        EXPECT_TRUE(zqt::test::waitUntil([&] { return out.has_value(); }, 10000));
        EXPECT_TRUE(onMain);
        return out;
    }

    std::optional<std::pair<bool, QString>> login(APIClient& client, const QString& email, const QString& password) {
        std::optional<std::pair<bool, QString>> out;
        client.login(email, password, [&](bool ok, QString message) { out.emplace(ok, std::move(message)); });
        EXPECT_TRUE(zqt::test::waitUntil([&] { return out.has_value(); }, 10000));
        return out;
    }
};

QUrl deadBase() {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(zqt::test::freePort()));
}

} // namespace

// ---- URL resolution ----

TEST(ApiClientUrl, resolveUrl_table) {
    struct Case {
        const char* base;
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"http://127.0.0.1:8000/", "api/x", "http://127.0.0.1:8000/api/x"},
        {"http://127.0.0.1:8000", "/api/x", "http://127.0.0.1:8000/api/x"},
        {"http://127.0.0.1:8000", "api/x", "http://127.0.0.1:8000/api/x"},
        {"http://127.0.0.1:8000//", "api/x", "http://127.0.0.1:8000//api/x"},
        {"http://127.0.0.1:8000/", "/api/x", "http://127.0.0.1:8000/api/x"},
        {"http://127.0.0.1:8000", "https://example.test/a?b=c", "https://example.test/a?b=c"},
        {"http://127.0.0.1:8000", "http://other.test:9/z", "http://other.test:9/z"},
        {"http://127.0.0.1:8000", "HTTPS://example.test/a", "http://127.0.0.1:8000/HTTPS://example.test/a"},
        {"http://127.0.0.1:8000", "/api/prices?symbols=EURUSD,AAPL",
         "http://127.0.0.1:8000/api/prices?symbols=EURUSD,AAPL"},
        // QUrl normalises escapes: unreserved characters written plainly (%41 is A), hex digits in upper case.
        {"http://127.0.0.1:8000", "/api/q?a=%2F&b=%41%2b", "http://127.0.0.1:8000/api/q?a=%2F&b=A%2B"},
        {"http://[::1]:8000", "/api/x", "http://[::1]:8000/api/x"},
        // Not URI references: the base address itself.
        {"http://127.0.0.1:8000", "/api/market/depth?symbol=EUR USD", "http://127.0.0.1:8000"},
        {"http://127.0.0.1:8000/", "/a\"b", "http://127.0.0.1:8000/"},
        {"http://127.0.0.1:8000", "/a<b>", "http://127.0.0.1:8000"},
        {"http://127.0.0.1:8000", "/a\\b", "http://127.0.0.1:8000"},
        {"http://127.0.0.1:8000", "/a^b", "http://127.0.0.1:8000"},
        {"http://127.0.0.1:8000", "/a`b", "http://127.0.0.1:8000"},
        {"http://127.0.0.1:8000", "/a{b}", "http://127.0.0.1:8000"},
        {"http://127.0.0.1:8000", "/a|b", "http://127.0.0.1:8000"},
        {"http://127.0.0.1:8000", "/a%zz", "http://127.0.0.1:8000"},
        {"http://127.0.0.1:8000", "/a%4", "http://127.0.0.1:8000"},
        {"http://127.0.0.1:8000", "/a\tb", "http://127.0.0.1:8000"},
        {"http://127.0.0.1:8000", "/caf\xc3\xa9", "http://127.0.0.1:8000"},
        {"http://127.0.0.1:8000", "/a#b#c", "http://127.0.0.1:8000"},
        {"http://127.0.0.1:8000", "/a[0]", "http://127.0.0.1:8000"},
        {"http://127.0.0.1:8000", "https://exa mple.test/", "http://127.0.0.1:8000"},
    };
    for (const auto& c : cases) {
        const QUrl got = APIClient::resolveUrl(QUrl(QString::fromUtf8(c.base)), QString::fromUtf8(c.path));
        EXPECT_EQ(got.toString(QUrl::FullyEncoded).toStdString(), c.expected) << c.base << " + " << c.path;
    }
}

// ---- Requests on the wire ----

TEST_F(ApiClientTest, fetch_withoutToken_sendsPlainGetAndDecodes) {
    server.setReply("GET", "/api/oms/orders", {200, kOrdersJson});
    APIClient client(base(), tokens);
    const auto r = fetch<OrdersResponse>(client, endpoints::orders().path);
    ASSERT_TRUE(r && r->ok()) << r->error().description.toStdString();
    EXPECT_EQ((*r)->orders[0].id, 7);

    const auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].method, "GET");
    EXPECT_EQ(reqs[0].target, "/api/oms/orders");
    EXPECT_FALSE(reqs[0].hasHeader("Authorization"));
    EXPECT_FALSE(reqs[0].hasHeader("Content-Type"));
    EXPECT_TRUE(reqs[0].body.empty());
}

TEST_F(ApiClientTest, fetch_withToken_sendsBearerHeader) {
    server.setReply("GET", "/api/oms/orders", {200, kOrdersJson});
    APIClient client(base(), tokens);
    client.setToken(QStringLiteral("tok-123"));
    fetch<OrdersResponse>(client, QStringLiteral("/api/oms/orders"));
    const auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].header("Authorization"), "Bearer tok-123");
}

TEST_F(ApiClientTest, queryText_isSentUnchanged) {
    server.setReply("GET", "/api/prices", {200, R"({"prices":{"EURUSD":1.1}})"});
    APIClient client(QUrl(server.baseUrl() + "/"), tokens);
    const auto r = fetch<PricesResponse>(
        client, endpoints::prices({"EURUSD", "AAPL", "BTCUSD", "ES", "XAUUSD"}).path.mid(1)); // no leading slash
    ASSERT_TRUE(r && r->ok());
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].target, "/api/prices?symbols=EURUSD,AAPL,BTCUSD,ES,XAUUSD");
}

TEST_F(ApiClientTest, pathThatIsNotAUrl_goesToTheBaseAddress) {
    server.setReply("GET", "/", {200, R"({"hello":1})"});
    APIClient client(base(), tokens);
    const auto r = fetch<DepthResponse>(client, endpoints::marketDepth(QStringLiteral("EUR USD")).path);
    ASSERT_TRUE(r.has_value());
    ASSERT_FALSE(r->ok());
    EXPECT_EQ(r->error().kind, ApiError::Kind::Decode);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].target, "/");
}

TEST_F(ApiClientTest, absolutePath_ignoresTheBase) {
    server.setReply("GET", "/elsewhere", {200, R"({"token":"t"})"});
    APIClient client(deadBase(), tokens);
    const auto r = fetch<LoginResponse>(client, server.baseUrl() + "/elsewhere?x=1");
    ASSERT_TRUE(r && r->ok());
    EXPECT_EQ(server.requests()[0].target, "/elsewhere?x=1");
}

TEST_F(ApiClientTest, postForm_sendsEscapedBodyAndFormContentType) {
    server.setReply("POST", "/api/oms/order", {200, R"({"ok":true})"});
    APIClient client(base(), tokens);
    const auto r = post(client, QStringLiteral("/api/oms/order"),
                        {{"symbol", "EURUSD"}, {"note", "a&b=c+d #1%~-._!$'()*,;:@/?"}, {"sl", ""}, {"x", "é€"}});
    ASSERT_TRUE(r && r->ok());
    EXPECT_EQ(r->value(), QByteArray(R"({"ok":true})"));
    const auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].method, "POST");
    EXPECT_EQ(reqs[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(reqs[0].body, "symbol=EURUSD&note=a%26b%3Dc%2Bd%20%231%25~-._!$'()*,;:@/?&sl=&x=%C3%A9%E2%82%AC");
}

TEST_F(ApiClientTest, postForm_emptyFields_sendsZeroBytesWithContentType) {
    server.setReply("POST", "/api/oms/cancel_all", {200, ""});
    APIClient client(base(), tokens);
    const auto cancel = endpoints::cancelAll();
    const auto r = post(client, cancel.path, cancel.fields);
    ASSERT_TRUE(r && r->ok());
    EXPECT_TRUE(r->value().isEmpty());
    const auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].method, "POST");
    EXPECT_EQ(reqs[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(reqs[0].header("Content-Length"), "0");
    EXPECT_TRUE(reqs[0].body.empty());
}

TEST_F(ApiClientTest, postForm_status500WithHtml_succeedsWithTheBytes) {
    server.setReply("POST", "/api/positions/close_all", {500, "<html>boom</html>", "text/html"});
    APIClient client(base(), tokens);
    const auto r = post(client, endpoints::closeAll().path, {});
    ASSERT_TRUE(r && r->ok());
    EXPECT_EQ(r->value(), QByteArray("<html>boom</html>"));
}

// ---- Outcomes of fetch ----

TEST_F(ApiClientTest, fetch_outcomeTable) {
    struct Case {
        const char* name;
        CannedReply reply;
        bool ok;
        ApiError::Kind kind;
    };
    const Case cases[] = {
        {"200 with record", {200, kOrdersJson}, true, {}},
        {"500 with record", {500, kOrdersJson}, true, {}},
        {"404 with record", {404, kOrdersJson}, true, {}},
        {"401 with record", {401, kOrdersJson}, true, {}},
        {"200 empty body: decoder's error", {200, ""}, false, ApiError::Kind::Decode},
        {"500 with html", {500, "<html>oops</html>", "text/html"}, false, ApiError::Kind::Decode},
        {"200 top-level array", {200, "[]"}, false, ApiError::Kind::Decode},
        {"200 truncated", {200, R"({"orders":[{"id":7)"}, false, ApiError::Kind::Decode},
    };
    for (const auto& c : cases) {
        server.setReply("GET", "/api/oms/orders", c.reply);
        APIClient client(base(), tokens);
        const auto r = fetch<OrdersResponse>(client, QStringLiteral("/api/oms/orders"));
        ASSERT_TRUE(r.has_value()) << c.name;
        EXPECT_EQ(r->ok(), c.ok) << c.name << ": " << (r->ok() ? "" : r->error().description.toStdString());
        if (!c.ok && !r->ok()) {
            EXPECT_EQ(r->error().kind, c.kind) << c.name;
            EXPECT_FALSE(r->error().description.isEmpty()) << c.name;
        }
    }
}

TEST_F(ApiClientTest, fetch_401WithAuthenticateChallenge_isAReplyNotAPrompt) {
    server.setHandler("GET", "/api/oms/orders", [](const httplib::Request&, httplib::Response& res) {
        res.status = 401;
        res.set_header("WWW-Authenticate", R"(Basic realm="zqt")");
        res.set_content(kOrdersJson, "application/json");
    });
    APIClient client(base(), tokens);
    const auto r = fetch<OrdersResponse>(client, QStringLiteral("/api/oms/orders"));
    ASSERT_TRUE(r && r->ok()) << r->error().description.toStdString();
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(ApiClientTest, transportError_failsFetchPostAndLogin) {
    APIClient client(deadBase(), tokens);
    const auto f = fetch<OrdersResponse>(client, QStringLiteral("/api/oms/orders"));
    ASSERT_TRUE(f && !f->ok());
    EXPECT_EQ(f->error().kind, ApiError::Kind::Transport);
    EXPECT_EQ(f->error().code, static_cast<int>(QNetworkReply::ConnectionRefusedError));
    EXPECT_FALSE(f->error().description.isEmpty());

    const auto p = post(client, QStringLiteral("/api/oms/order"), {{"a", "b"}});
    ASSERT_TRUE(p && !p->ok());
    EXPECT_EQ(p->error().kind, ApiError::Kind::Transport);

    client.setToken(QStringLiteral("kept"));
    const auto l = login(client, "a@b.c", "pw");
    ASSERT_TRUE(l.has_value());
    EXPECT_FALSE(l->first);
    EXPECT_EQ(l->second, f->error().description);
    EXPECT_EQ(client.token(), QStringLiteral("kept"));
}

TEST_F(ApiClientTest, redirect_isNeverFollowed_failsFetchPostAndLoginWithStatusAndLocation) {
    // Where the redirects point answers like the engine would: a followed redirect would pass for success.
    server.setReply("GET", "/signin", {200, kOrdersJson});
    server.setReply("POST", "/signin", {200, R"({"token":"from-elsewhere"})"});
    for (const int status : {301, 302, 303, 307, 308}) {
        for (const auto& [method, path] : {std::pair{"GET", "/api/oms/orders"}, std::pair{"POST", "/api/oms/order"},
                                           std::pair{"POST", "/api/login"}})
            server.setHandler(method, path, [status](const httplib::Request&, httplib::Response& res) {
                res.status = status;
                res.set_header("Location", "/signin?next=%2Forder");
                res.set_content("<html>Sign in</html>", "text/html");
            });
        server.clearRequests();
        APIClient client(base(), tokens);
        const QString expected =
            QStringLiteral("Redirected (HTTP %1) to /signin?next=%2Forder, not followed").arg(status);

        const auto f = fetch<OrdersResponse>(client, QStringLiteral("/api/oms/orders"));
        ASSERT_TRUE(f && !f->ok()) << status;
        EXPECT_EQ(f->error().kind, ApiError::Kind::Redirect) << status;
        EXPECT_EQ(f->error().code, status);
        EXPECT_EQ(f->error().description, expected);

        const auto p = post(client, QStringLiteral("/api/oms/order"), {{"symbol", "ES"}});
        ASSERT_TRUE(p && !p->ok()) << status;
        EXPECT_EQ(p->error().kind, ApiError::Kind::Redirect) << status;
        EXPECT_EQ(p->error().description, expected);

        const auto l = login(client, "a@b.c", "pw");
        ASSERT_TRUE(l.has_value());
        EXPECT_FALSE(l->first) << status;
        EXPECT_EQ(l->second, expected);
        EXPECT_EQ(client.token(), QString());

        ASSERT_EQ(server.requestCount(), 3u) << status;
        for (const auto& r : server.requests())
            EXPECT_NE(r.path, "/signin") << status << " followed by " << r.method;
    }
}

TEST_F(ApiClientTest, destroyedClient_completesPendingRequestsWithCancellation) {
    // The server holds the request open until the client is gone.
    std::promise<void> released;
    std::shared_future<void> gate = released.get_future().share();
    server.setHandler("GET", "/slow", [gate](const httplib::Request&, httplib::Response& res) {
        gate.wait();
        res.set_content(kOrdersJson, "application/json");
    });
    std::optional<Result<OrdersResponse>> out;
    {
        APIClient client(base(), tokens);
        client.fetch<OrdersResponse>(QStringLiteral("/slow"),
                                     [&](Result<OrdersResponse> r) { out.emplace(std::move(r)); });
        ASSERT_TRUE(zqt::test::waitUntil([&] { return server.requestCount() == 1; }));
    }
    released.set_value();
    ASSERT_TRUE(zqt::test::waitUntil([&] { return out.has_value(); }));
    ASSERT_FALSE(out->ok());
    EXPECT_EQ(out->error().kind, ApiError::Kind::Transport);
    EXPECT_EQ(out->error().code, static_cast<int>(QNetworkReply::OperationCanceledError));
}

TEST_F(ApiClientTest, abortReads_endsReadsAtOnce_postsAndSignInsRunToTheirOutcome) {
    std::promise<void> released;
    std::shared_future<void> gate = released.get_future().share();
    std::atomic<int> held{0};
    for (const auto& [method, path] :
         {std::pair{"GET", "/api/oms/orders"}, std::pair{"POST", "/api/oms/order"}, std::pair{"POST", "/api/login"}})
        server.setHandler(
            method, path, [gate, &held, path = std::string(path)](const httplib::Request&, httplib::Response& res) {
                ++held;
                gate.wait();
                res.set_content(path == "/api/login" ? R"({"token":"t2"})" : kOrdersJson, "application/json");
            });
    APIClient client(base(), tokens);
    QSignalSpy idle(&client, &APIClient::idle);
    std::optional<Result<OrdersResponse>> read;
    std::optional<APIClient::RawReply> posted;
    std::optional<bool> signedIn;
    client.fetch<OrdersResponse>(QStringLiteral("/api/oms/orders"), [&](Result<OrdersResponse> r) { read.emplace(r); });
    client.postFormExchange({QStringLiteral("/api/oms/order"), {{"side", "BUY"}}},
                            [&](APIClient::RawReply r) { posted.emplace(r); });
    client.login("a", "b", [&](bool ok, const QString&) { signedIn = ok; });
    EXPECT_EQ(client.requestsInFlight(), 3);
    ASSERT_TRUE(zqt::test::waitUntil([&] { return held == 3; }));

    client.abortReads();
    ASSERT_TRUE(zqt::test::waitUntil([&] { return read.has_value(); }));
    EXPECT_EQ(read->error().code, static_cast<int>(QNetworkReply::OperationCanceledError));
    EXPECT_EQ(client.requestsInFlight(), 2);
    EXPECT_FALSE(posted || signedIn) << "still on the wire";
    EXPECT_EQ(idle.count(), 0);

    released.set_value();
    ASSERT_TRUE(zqt::test::waitUntil([&] { return posted && signedIn; }));
    ASSERT_FALSE(posted->error.has_value());
    EXPECT_EQ(posted->bytes, QByteArray(kOrdersJson));
    EXPECT_TRUE(*signedIn);
    EXPECT_EQ(client.token(), "t2");
    EXPECT_EQ(client.requestsInFlight(), 0);
    EXPECT_EQ(idle.count(), 1);
}

// ---- Login and the token ----

TEST_F(ApiClientTest, login_401WithToken_succeedsStoresAndNotifies) {
    server.setReply("POST", "/api/login", {401, R"({"token":"fresh"})"});
    APIClient client(base(), tokens);
    QSignalSpy changed(&client, &APIClient::tokenChanged);
    const auto r = login(client, QStringLiteral("op@zqt.test"), QStringLiteral("p&ss=w+rd"));
    ASSERT_TRUE(r.has_value());
    EXPECT_TRUE(r->first);
    EXPECT_TRUE(r->second.isEmpty());
    EXPECT_EQ(client.token(), QStringLiteral("fresh"));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toString(), QStringLiteral("fresh"));

    const auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].method, "POST");
    EXPECT_EQ(reqs[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(reqs[0].body, "email=op@zqt.test&password=p%26ss%3Dw%2Brd");
    EXPECT_FALSE(reqs[0].hasHeader("Authorization"));

    // Stored in the token store, read back by a new client.
    EXPECT_EQ(tokens.token(), QStringLiteral("fresh"));
    APIClient again(base(), tokens);
    EXPECT_EQ(again.token(), QStringLiteral("fresh"));
}

TEST_F(ApiClientTest, tokenWithLineBreak_cannotAddHeadersToRequests) {
    server.setReply("GET", "/api/oms/orders", {200, kOrdersJson});
    APIClient client(base(), tokens);
    client.setToken(QStringLiteral("abc\r\nX-Injected: yes"));
    const auto r = fetch<OrdersResponse>(client, QStringLiteral("/api/oms/orders"));
    ASSERT_TRUE(r.has_value());
    ASSERT_EQ(server.requests().size(), 1u);
    // A token that cannot be a header value is not sent at all, rather than split into a second header.
    EXPECT_FALSE(server.requests().at(0).hasHeader("X-Injected"));
    EXPECT_FALSE(server.requests().at(0).hasHeader("Authorization"));
}

TEST_F(ApiClientTest, login_withHeldToken_sendsIt) {
    server.setReply("POST", "/api/login", {200, R"({"token":"new"})"});
    APIClient client(base(), tokens);
    client.setToken(QStringLiteral("old"));
    login(client, "a", "b");
    EXPECT_EQ(server.requests().at(0).header("Authorization"), "Bearer old");
    EXPECT_EQ(client.token(), QStringLiteral("new"));
}

TEST_F(ApiClientTest, login_200WithoutToken_isInvalidCredentialsAndKeepsToken) {
    server.setReply("POST", "/api/login", {200, R"({"error":"bad password"})"});
    APIClient client(base(), tokens);
    client.setToken(QStringLiteral("kept"));
    const auto r = login(client, "a", "b");
    ASSERT_TRUE(r.has_value());
    EXPECT_FALSE(r->first);
    EXPECT_EQ(r->second, QStringLiteral("Invalid credentials"));
    EXPECT_EQ(client.token(), QStringLiteral("kept"));
}

TEST_F(ApiClientTest, login_emptyToken_succeedsAndLaterRequestsCarryNoAuthorization) {
    server.setReply("POST", "/api/login", {200, R"({"token":""})"});
    server.setReply("GET", "/api/oms/orders", {200, kOrdersJson});
    APIClient client(base(), tokens);
    client.setToken(QStringLiteral("old"));
    const auto r = login(client, "a", "b");
    ASSERT_TRUE(r && r->first);
    EXPECT_TRUE(client.token().isEmpty());
    EXPECT_EQ(tokens.token(), QString());
    fetch<OrdersResponse>(client, QStringLiteral("/api/oms/orders"));
    const auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_FALSE(reqs[1].hasHeader("Authorization"));
}

TEST_F(ApiClientTest, passwordWithFormCharacters_reachesTheEngineIntact) {
    std::string seenPassword;
    std::string seenEmail;
    server.setHandler("POST", "/api/login", [&](const httplib::Request& req, httplib::Response& res) {
        seenPassword = req.get_param_value("password");
        seenEmail = req.get_param_value("email");
        res.set_content(R"({"token":"t"})", "application/json");
    });
    APIClient client(base(), tokens);
    const QString password = QStringLiteral("a&b=c+d %e#f\u00e9");
    const auto r = login(client, QStringLiteral("x+y@zqt.test"), password);
    ASSERT_TRUE(r && r->first);
    EXPECT_EQ(QString::fromStdString(seenPassword), password);
    EXPECT_EQ(seenEmail, "x+y@zqt.test");
}

TEST_F(ApiClientTest, constructor_readsStoredToken) {
    tokens.setToken(QStringLiteral("stored"));
    APIClient client(base(), tokens);
    EXPECT_EQ(client.token(), QStringLiteral("stored"));
}

// ---- The token and the password go only to a port nobody else holds ----

// For each answer about who holds the engine's port: whether a read carries the token and whether a sign-in is
// sent at all, seen on the wire (the read is sent after the sign-in, so a sign-in that was sent has arrived by the
// time the read's reply is in).
TEST_F(ApiClientTest, portHolder_decidesWhetherTokenAndPasswordAreSent) {
    server.setReply("POST", "/api/login", {200, R"({"token":"fresh"})"});
    server.setReply("GET", "/api/oms/orders", {200, kOrdersJson});
    struct Case {
        PortHolder holder;
        bool secretsSent;
    };
    const Case cases[] = {{PortHolder::Nobody, true},
                          {PortHolder::ThisUser, true},
                          {PortHolder::OtherUser, false},
                          {PortHolder::Unknown, false}};
    for (const Case& c : cases) {
        server.clearRequests();
        tokens.setToken(QStringLiteral("held-token"));
        APIClient client(base(), tokens);
        std::vector<quint16> asked;
        client.setPortCheck([&](quint16 port) {
            asked.push_back(port);
            return c.holder;
        });
        const auto signIn = login(client, QStringLiteral("op@zqt.test"), QStringLiteral("s3cret"));
        const auto read = fetch<OrdersResponse>(client, QStringLiteral("/api/oms/orders"));
        ASSERT_TRUE(signIn && read);
        const auto reqs = server.requests();
        const std::string name = "holder " + std::to_string(int(c.holder));
        ASSERT_FALSE(asked.empty()) << name;
        EXPECT_EQ(asked.front(), quint16(server.port())) << name;
        if (c.secretsSent) {
            ASSERT_EQ(reqs.size(), 2u) << name;
            EXPECT_EQ(reqs[0].target, "/api/login") << name;
            EXPECT_TRUE(signIn->first) << name;
            EXPECT_EQ(reqs[1].header("Authorization"), "Bearer fresh") << name;
            EXPECT_TRUE(client.withheldNotice().isEmpty()) << name;
        } else {
            ASSERT_EQ(reqs.size(), 1u) << "only the read went out: " << name;
            EXPECT_EQ(reqs[0].target, "/api/oms/orders") << name;
            EXPECT_FALSE(reqs[0].hasHeader("Authorization")) << name;
            EXPECT_FALSE(signIn->first) << name;
            EXPECT_EQ(signIn->second, client.withheldNotice()) << name;
            EXPECT_TRUE(client.withheldNotice().startsWith(QStringLiteral("Port %1").arg(server.port()))) << name;
            EXPECT_TRUE(read->ok()) << "reads without the token go on: " << name;
            EXPECT_EQ(client.token(), QStringLiteral("held-token")) << name;
        }
    }
}

// The notice tells of the latest request that carried a secret: it goes once the port is in order again, and a
// request without the token asks nothing.
TEST_F(ApiClientTest, withheldNotice_followsTheLatestVerdict) {
    server.setReply("GET", "/api/oms/orders", {200, kOrdersJson});
    APIClient client(base(), tokens);
    int checks = 0;
    client.setPortCheck([&](quint16) {
        ++checks;
        return PortHolder::OtherUser;
    });
    QSignalSpy changed(&client, &APIClient::withheldNoticeChanged);
    fetch<OrdersResponse>(client, QStringLiteral("/api/oms/orders"));
    EXPECT_EQ(checks, 0) << "no token, nothing to withhold";
    EXPECT_TRUE(client.withheldNotice().isEmpty());

    client.setToken(QStringLiteral("tok"));
    fetch<OrdersResponse>(client, QStringLiteral("/api/oms/orders"));
    EXPECT_EQ(
        client.withheldNotice(),
        QStringLiteral("Port %1 is held by another user's program: sign-in and token withheld.").arg(server.port()));
    EXPECT_EQ(changed.count(), 1);

    client.setPortCheck([](quint16) { return PortHolder::ThisUser; });
    fetch<OrdersResponse>(client, QStringLiteral("/api/oms/orders"));
    EXPECT_TRUE(client.withheldNotice().isEmpty());
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(server.requests().back().header("Authorization"), "Bearer tok");
}

// One answer about a holder serves a whole refresh; "nobody listens" is asked again on every request, since a
// program may take the port between two of them.
TEST_F(ApiClientTest, portCheck_aHolderServesARefresh_nobodyIsAskedAgainOnEveryRequest) {
    server.setReply("GET", "/api/oms/orders", {200, kOrdersJson});
    tokens.setToken(QStringLiteral("tok"));
    for (const PortHolder holder : {PortHolder::ThisUser, PortHolder::Nobody}) {
        server.clearRequests();
        APIClient client(base(), tokens);
        int checks = 0;
        client.setPortCheck([&](quint16) {
            ++checks;
            return holder;
        });
        constexpr int kReads = 10;
        int done = 0;
        QElapsedTimer sending;
        sending.start();
        for (int i = 0; i < kReads; ++i)
            client.fetch<OrdersResponse>(QStringLiteral("/api/oms/orders"), [&](Result<OrdersResponse>) { ++done; });
        const qint64 sendingMs = sending.elapsed();
        ASSERT_TRUE(zqt::test::waitUntil([&] { return done == kReads; }, 10000));
        ASSERT_EQ(server.requests().size(), size_t(kReads));
        for (const auto& r : server.requests())
            EXPECT_EQ(r.header("Authorization"), "Bearer tok");
        if (holder == PortHolder::Nobody)
            EXPECT_EQ(checks, kReads);
        else if (sendingMs < APIClient::kPortCheckReuseMs) // a loaded machine may take longer to send them
            EXPECT_EQ(checks, 1);
    }
}

// The same sign-in and read, first to a server of this program's own user (the kernel's tables asked for real):
// the password and the token arrive; then to a listener of another user: the password never reaches it and the
// read arrives without the token.
TEST_F(ApiClientTest, portHeldByAnotherUsersProgram_getsNeitherPasswordNorToken) {
    server.setReply("POST", "/api/login", {200, R"({"token":"tok-own"})"});
    server.setReply("GET", "/api/oms/orders", {200, kOrdersJson});
    {
        tokens.setToken(QStringLiteral("tok-before"));
        APIClient client(base(), tokens);
        const auto signIn = login(client, QStringLiteral("op@zqt.test"), QStringLiteral("pw-own-test"));
        ASSERT_TRUE(signIn.has_value());
        EXPECT_TRUE(signIn->first) << signIn->second.toStdString();
        ASSERT_TRUE(fetch<OrdersResponse>(client, QStringLiteral("/api/oms/orders")).has_value());
        const auto seen = server.requests();
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0].method, "POST");
        EXPECT_EQ(seen[0].target, "/api/login");
        EXPECT_NE(seen[0].body.find("pw-own-test"), std::string::npos);
        EXPECT_EQ(seen[0].header("Authorization"), "Bearer tok-before");
        EXPECT_EQ(seen[1].header("Authorization"), "Bearer tok-own");
        EXPECT_TRUE(client.withheldNotice().isEmpty());
    }

    zqt::test::ForeignListener foreign;
    if (!foreign.skipReason().isEmpty())
        GTEST_SKIP() << "no listener of another user: " << foreign.skipReason().toStdString();
    tokens.setToken(QStringLiteral("tok-foreign-test"));
    APIClient client(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(foreign.port())), tokens);
    const auto signIn = login(client, QStringLiteral("op@zqt.test"), QStringLiteral("pw-foreign-test"));
    ASSERT_TRUE(signIn.has_value());
    EXPECT_FALSE(signIn->first);
    EXPECT_EQ(
        signIn->second,
        QStringLiteral("Port %1 is held by another user's program: sign-in and token withheld.").arg(foreign.port()));
    // Sent after the sign-in: once its reply is in, a sign-in that had been sent would have arrived first.
    const auto read = fetch<OrdersResponse>(client, QStringLiteral("/api/oms/orders"));
    ASSERT_TRUE(read.has_value());

    const auto seen = foreign.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].target, "/api/oms/orders");
    EXPECT_EQ(seen[0].authorization, "");
    EXPECT_EQ(seen[0].body, "");
    EXPECT_EQ(client.token(), QStringLiteral("tok-foreign-test"));
}
