#include "terminal/views/NativeTerminalView.h"

#include "api/TokenStore.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/CurrencyFormat.h"
#include "terminal/views/LoginPanel.h"
#include "terminal/views/MetricTile.h"
#include "terminal/views/SegmentedControl.h"

#include "ClientInFlight.h"
#include "RecordingServer.h"
#include "TestEnv.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleTableInterface>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using zqt::NativeTerminalModel;
using zqt::NativeTerminalView;
using zqt::test::CannedReply;
using zqt::test::RecordingServer;
using zqt::test::TempEnv;
using zqt::test::waitUntil;

namespace {

const std::string kMetrics =
    R"({"account_id":7,"balance":-1234.5,"equity":98000,"highest_equity":100000,"stage":2,"rm1_access":false,)"
    R"("status":"active","execution_mode":"DRY_RUN","broker":"SIM_BROKER","profit_pct":-1.256,)"
    R"("profit_target":10,"max_loss_floor":90000,"daily_loss_limit":5000,"daily_loss_used":100,)"
    R"("daily_loss_buffer":4900})";

// A terminal page over a model of its own (token in memory) against a recording server, with the US English
// locale for the money formats.
class TerminalPageTest : public ::testing::Test {
protected:
    TerminalPageTest() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        terminal = std::make_unique<NativeTerminalModel>(QUrl(server.baseUrl()), tokens);
        view = std::make_unique<NativeTerminalView>(*terminal);
        view->resize(1200, 800);
    }
    ~TerminalPageTest() override {
        view.reset();
        terminal.reset();
        QLocale::setDefault(QLocale::c());
    }

    template <typename T> T* child(const QString& name) const {
        T* w = view->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    NativeTerminalModel& model() const { return view->model(); }
    size_t requestsTo(const std::string& path) const {
        const auto all = server.requests();
        return std::count_if(all.begin(), all.end(), [&](const auto& r) { return r.path == path; });
    }

    TempEnv env;
    zqt::MemoryTokenStore tokens;
    RecordingServer server;
    std::unique_ptr<NativeTerminalModel> terminal;
    std::unique_ptr<NativeTerminalView> view;
};

} // namespace

TEST_F(TerminalPageTest, page_showsThePanelsOfThePageTableInItsRowsAndOrder) {
    view->resize(1300, 900);
    view->show();
    int previousBottom = -1;
    for (const QList<zqt::PagePanel>& row : zqt::terminalPageRows()) {
        ASSERT_FALSE(row.isEmpty());
        QRect previous;
        int bottom = -1;
        for (const zqt::PagePanel& panel : row) {
            const std::string name = panel.name.toStdString();
            auto* card = child<QWidget>(panel.name);
            ASSERT_NE(card, nullptr);
            const QRect r = card->geometry();
            EXPECT_GT(r.top(), previousBottom) << name << ": below the row above";
            if (!previous.isNull()) {
                EXPECT_EQ(r.top(), previous.top()) << name << ": top-aligned with its row";
                EXPECT_LT(previous.right(), r.left()) << name << ": right of the panel before it";
            }
            previous = r;
            bottom = std::max(bottom, r.bottom());
        }
        previousBottom = bottom;
    }

    // Cards held at their width, and cards that take the page's width.
    struct Width {
        const char* name;
        int min;
        int max;
    };
    constexpr int kPadding = 2 * 12;
    const Width widths[] = {
        {"watchlistPanel", 0, 240 + kPadding}, {"orderPanel", 0, 360 + kPadding}, {"ladderPanel", 0, 260 + kPadding},
        {"tapePanel", 0, 260 + kPadding},      {"chartPanel", 1000, 1300},        {"microstructurePanel", 1000, 1300}};
    for (const Width& w : widths) {
        EXPECT_GE(child<QWidget>(w.name)->width(), w.min) << w.name;
        EXPECT_LE(child<QWidget>(w.name)->width(), w.max) << w.name;
    }
    // The analytics and diagnostics cards share the page's width (16 padding, 16 apart).
    const QRect analytics = child<QWidget>("analyticsPanel")->geometry();
    const QRect diagnostics = child<QWidget>("diagnosticsPanel")->geometry();
    EXPECT_EQ(diagnostics.right() - analytics.left() + 1, view->viewport()->width() - 2 * 16);
    EXPECT_EQ(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(TerminalPageTest, shown_runsTheShownHookEachTime) {
    view->show();
    ASSERT_TRUE(waitUntil([&] { return requestsTo("/api/market/candles") >= 2; }, 30000)); // bars and HTF bars
    view->hide();
    view->show();
    EXPECT_TRUE(waitUntil([&] { return requestsTo("/api/market/candles") >= 4; }, 30000));
}

TEST_F(TerminalPageTest, watchlist_showsDashUntilPriced_andDashForAMissingSymbol) {
    server.setReply("GET", "/api/prices", {200, R"({"prices":{"EURUSD":1.08425,"AAPL":190.5}})"});
    for (const QString& s : model().market().watchlist())
        EXPECT_EQ(child<QLabel>("watchPrice_" + s)->text(), "-");
    view->show();
    ASSERT_TRUE(waitUntil([&] { return child<QLabel>("watchPrice_AAPL")->text() != "-"; }, 30000));
    EXPECT_EQ(child<QLabel>("watchPrice_EURUSD")->text(), QString::asprintf("%.4f", 1.08425));
    EXPECT_EQ(child<QLabel>("watchPrice_AAPL")->text(), "190.5000");
    EXPECT_EQ(child<QLabel>("watchPrice_BTCUSD")->text(), "-");
    EXPECT_EQ(child<QLabel>("watchPrice_XAUUSD")->text(), "-");
}

TEST_F(TerminalPageTest, watchlist_clickSelects_andClickingTheSelectedSymbolReloadsNothing) {
    QSignalSpy handled(&model().link(), &zqt::TerminalLink::replyHandled);
    view->show();
    // The shown hook's reads done first, their replies handled (a decoded reply still waits in the event queue for
    // a moment): a read still awaiting its reply is not sent again by the symbol's hook.
    const auto metricsHandled = [&] {
        for (const QList<QVariant>& args : handled)
            if (args.at(0).toString() == "/api/account/metrics")
                return true;
        return false;
    };
    ASSERT_TRUE(waitUntil(
        [&] {
            return metricsHandled() && zqt::test::decodesDone() && zqt::test::inFlight(model().link().api()).empty();
        },
        30000));
    auto* aaplRow = child<QWidget>("watchRow_AAPL");
    const QImage unselected = aaplRow->grab().toImage();
    QTest::mouseClick(child<QPushButton>("watchSymbol_AAPL"), Qt::LeftButton);
    EXPECT_EQ(model().market().selectedSymbol(), "AAPL");
    EXPECT_EQ(child<QComboBox>("orderSymbolPicker")->currentText(), "AAPL");
    EXPECT_NE(aaplRow->grab().toImage(), unselected); // highlighted
    // The symbol's hook reloads everything; only it asks for the account metrics while signed out.
    ASSERT_TRUE(waitUntil([&] { return requestsTo("/api/account/metrics") >= 2; }, 30000)); // shown, then AAPL
    const size_t reloads = requestsTo("/api/account/metrics");

    QSignalSpy changed(&model().market(), &zqt::MarketModel::selectedSymbolChanged);
    // A reload would be on the wire as soon as the click returns: wait for the earlier ones to finish, click,
    // and look at what the client is sending (signed out, only a reload asks for the metrics or the bars).
    ASSERT_TRUE(waitUntil([&] { return zqt::test::inFlight(model().link().api()).empty(); }, 30000));
    QTest::mouseClick(child<QPushButton>("watchSymbol_AAPL"), Qt::LeftButton);
    EXPECT_EQ(changed.count(), 0);
    for (const std::string& target : zqt::test::inFlight(model().link().api()))
        EXPECT_TRUE(target.rfind("/api/prices", 0) == 0) << target;
    EXPECT_EQ(requestsTo("/api/account/metrics"), reloads);
}

TEST_F(TerminalPageTest, watchlist_aClickOnARowsBlankPartOrPrice_orReturnEnterSpaceOnIt_selectsItsSymbol) {
    view->show();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    // Clicks as the pointer lands them: through the window, so whatever is under the point takes the click.
    const auto clickAt = [&](QWidget* target, QPoint point) {
        QTest::mouseClick(view->windowHandle(), Qt::LeftButton, {}, target->mapTo(view.get(), point));
    };
    const auto blankPartOf = [&](const QString& symbol) {
        const QRect symbolRect = child<QPushButton>("watchSymbol_" + symbol)->geometry();
        const QRect priceRect = child<QLabel>("watchPrice_" + symbol)->geometry();
        const QPoint point((symbolRect.right() + priceRect.left()) / 2, symbolRect.center().y());
        EXPECT_LT(symbolRect.right() + 8, priceRect.left()) << symbol.toStdString();
        EXPECT_EQ(child<QWidget>("watchRow_" + symbol)->childAt(point), nullptr) << symbol.toStdString();
        return point;
    };

    clickAt(child<QWidget>("watchRow_AAPL"), blankPartOf("AAPL"));
    EXPECT_EQ(model().market().selectedSymbol(), "AAPL");
    auto* btcPrice = child<QLabel>("watchPrice_BTCUSD");
    clickAt(btcPrice, btcPrice->rect().center());
    EXPECT_EQ(model().market().selectedSymbol(), "BTCUSD");

    struct Step {
        const char* symbol;
        Qt::Key key;
    };
    const Step steps[] = {{"EURUSD", Qt::Key_Return}, {"XAUUSD", Qt::Key_Space}, {"AAPL", Qt::Key_Enter}};
    for (const Step& step : steps) {
        auto* button = child<QPushButton>(QStringLiteral("watchSymbol_") + step.symbol);
        button->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), button) << step.symbol;
        QTest::keyClick(button, step.key);
        EXPECT_EQ(model().market().selectedSymbol(), step.symbol) << step.symbol;
    }
    // A held Return's repeats pick nothing: only the press does.
    auto* eurusd = child<QPushButton>("watchSymbol_EURUSD");
    eurusd->setFocus();
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(eurusd, &repeat);
    EXPECT_EQ(model().market().selectedSymbol(), "AAPL");
}

TEST_F(TerminalPageTest, metrics_absentShowsHint_presentShowsEightFormattedTiles) {
    view->show();
    auto* hint = child<QLabel>("metricsEmptyLabel");
    EXPECT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->text(), "No metrics available. Log in to load.");
    EXPECT_FALSE(child<QWidget>("metricTiles")->isVisible());

    server.setReply("GET", "/api/account/metrics", {200, kMetrics});
    // A read already out when the button is pressed is not sent beside it: press again until one goes out.
    ASSERT_TRUE(waitUntil(
        [&] {
            if (model().account().metrics().has_value())
                return true;
            QTest::mouseClick(child<QPushButton>("metricsRefreshButton"), Qt::LeftButton);
            return false;
        },
        30000));
    EXPECT_FALSE(hint->isVisible());
    const std::pair<const char*, QString> expected[] = {{"Stage", "2"},
                                                        {"RM1", "OFF"},
                                                        {"Exec", "DRY_RUN"},
                                                        {"Broker", "SIM_BROKER"},
                                                        {"Balance", "-$1,234.50"},
                                                        {"Equity", "$98,000.00"},
                                                        {"Profit %", "-1.26%"},
                                                        {"Daily Buffer", "$4,900.00"}};
    for (const auto& [label, value] : expected) {
        auto* tile = child<zqt::MetricTile>(QStringLiteral("metric_") + label);
        EXPECT_EQ(tile->label(), label);
        EXPECT_EQ(tile->value(), value) << label;
        EXPECT_TRUE(tile->isVisible());
    }
    EXPECT_EQ(child<zqt::MetricTile>("metric_Balance")->value(), zqt::fmtCurrency(-1234.5));
}

TEST_F(TerminalPageTest, demoLogin_sendsBuiltInAccount_andAFailureShowsAboveTheMarketError) {
    server.setReply("POST", "/api/login", {401, R"({"detail":"bad"})"});
    server.setReply("GET", "/api/prices", {500, "not json"});
    view->show();
    ASSERT_TRUE(waitUntil([&] { return !model().market().marketError().isEmpty(); }, 30000));

    QTest::mouseClick(child<QPushButton>("demoLoginButton"), Qt::LeftButton);
    EXPECT_EQ(child<QLineEdit>("emailField")->text(), "demo@zqt.local");
    EXPECT_EQ(child<QLineEdit>("passwordField")->text().size(), 11);
    EXPECT_EQ(child<QLineEdit>("passwordField")->echoMode(), QLineEdit::Password);
    ASSERT_TRUE(waitUntil([&] { return !model().session().loginError().isEmpty(); }, 30000));

    const auto logins = server.requests();
    const auto login = std::find_if(logins.begin(), logins.end(), [](const auto& r) { return r.path == "/api/login"; });
    ASSERT_NE(login, logins.end());
    const QUrlQuery form(QString::fromStdString(login->body));
    EXPECT_EQ(form.queryItemValue("email", QUrl::FullyDecoded), "demo@zqt.local");
    EXPECT_EQ(form.queryItemValue("password", QUrl::FullyDecoded), "demo-pass-1");

    auto* loginError = child<QLabel>("loginErrorLabel");
    auto* marketError = child<QLabel>("marketErrorLabel");
    EXPECT_TRUE(loginError->isVisible());
    EXPECT_TRUE(marketError->isVisible());
    EXPECT_EQ(loginError->text(), "Invalid credentials");
    EXPECT_LT(loginError->y(), marketError->y());
    // Red over orange, as drawn (the colour of the role each label paints with).
    const QColor red = loginError->palette().color(loginError->foregroundRole());
    const QColor orange = marketError->palette().color(marketError->foregroundRole());
    EXPECT_GT(red.red(), 2 * red.green());
    EXPECT_GT(orange.red(), orange.green());
    EXPECT_GT(orange.green(), 2 * orange.blue());
}

TEST_F(TerminalPageTest, loginFields_typingReachesTheModelAtOnce_returnSignsInOncePerPress) {
    server.setReply("POST", "/api/login", {401, R"({"detail":"bad"})"});
    view->show();
    auto* email = child<QLineEdit>("emailField");
    auto* password = child<QLineEdit>("passwordField");
    QTest::keyClicks(email, "a@b.c");
    EXPECT_EQ(model().session().email(), "a@b.c");
    QTest::keyClicks(password, "pw");
    EXPECT_EQ(model().session().password(), "pw");

    // Return held in the password field: one press and the repeats the keyboard sends while it is down.
    struct Case {
        const char* field;
        int repeats;
    };
    int expected = 0;
    for (const Case c : {Case{"passwordField", 5}, Case{"emailField", 0}}) {
        QLineEdit* field = child<QLineEdit>(c.field);
        field->setFocus();
        QTest::simulateEvent(field, true, Qt::Key_Return, Qt::NoModifier, QString(), false);
        for (int i = 0; i < c.repeats; ++i)
            QTest::simulateEvent(field, true, Qt::Key_Return, Qt::NoModifier, QString(), true);
        QTest::simulateEvent(field, false, Qt::Key_Return, Qt::NoModifier, QString(), false);
        ++expected;
        // Every sign-in sent has its answer (the error line) before the count is read.
        ASSERT_TRUE(waitUntil(
            [&] {
                return zqt::test::decodesDone() && zqt::test::inFlight(model().link().api()).empty() &&
                       requestsTo("/api/login") >= size_t(expected);
            },
            30000));
        EXPECT_EQ(requestsTo("/api/login"), size_t(expected)) << c.field;
    }
    const auto all = server.requests();
    const auto login = std::find_if(all.begin(), all.end(), [](const auto& r) { return r.path == "/api/login"; });
    ASSERT_NE(login, all.end());
    const QUrlQuery form(QString::fromStdString(login->body));
    EXPECT_EQ(form.queryItemValue("email", QUrl::FullyDecoded), "a@b.c");
    EXPECT_EQ(form.queryItemValue("password", QUrl::FullyDecoded), "pw");
}

TEST_F(TerminalPageTest, signIn_emptiesThePassword_showsTheEmail_signOutForgetsTheTokenAndTheAccount) {
    server.setReply("POST", "/api/login", {200, R"({"token":"tok-1"})"});
    server.setReply("GET", "/api/account/metrics", {200, kMetrics});
    view->show();
    auto* form = child<QWidget>("loginForm");
    auto* signedInRow = child<QWidget>("signedInRow");
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(signedInRow->isVisible());

    QTest::keyClicks(child<QLineEdit>("emailField"), "trader@zqt.local");
    QTest::keyClicks(child<QLineEdit>("passwordField"), "secret");
    QTest::mouseClick(child<QPushButton>("loginButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return model().session().isSignedIn(); }, 30000));
    ASSERT_TRUE(waitUntil([&] { return model().account().metrics().has_value(); }, 30000));
    EXPECT_EQ(model().session().token(), "tok-1");
    EXPECT_EQ(child<QLineEdit>("passwordField")->text(), "");
    EXPECT_EQ(model().session().password(), "");
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(signedInRow->isVisible());
    EXPECT_EQ(child<QLabel>("signedInLabel")->text(), "Signed in as trader@zqt.local");

    // Every read sent with the token has its answer, so none of them reaches the server after the sign-out.
    ASSERT_TRUE(waitUntil([&] { return zqt::test::decodesDone() && zqt::test::inFlight(model().link().api()).empty(); },
                          30000));
    QTest::mouseClick(child<QPushButton>("signOutButton"), Qt::LeftButton);
    EXPECT_EQ(tokens.token(), "");
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(signedInRow->isVisible());
    // The account reads show as before sign-in: the metrics' hint, no tiles.
    EXPECT_FALSE(model().account().metrics().has_value());

    // The next requests go without the token, as the server sees them.
    server.clearRequests();
    model().refreshAll();
    ASSERT_TRUE(waitUntil(
        [&] {
            return zqt::test::decodesDone() && zqt::test::inFlight(model().link().api()).empty() &&
                   server.requestCount() >= 10;
        },
        30000));
    for (const auto& r : server.requests())
        EXPECT_FALSE(r.hasHeader("Authorization")) << r.method << " " << r.target;
}

TEST_F(TerminalPageTest, ticket_stopShowsStopPriceOnly_andPlaceOrderSendsEveryField) {
    model().link().api().setToken("tok");
    view->show();
    auto* limit = child<QLineEdit>("limitPriceField");
    auto* stop = child<QLineEdit>("stopPriceField");
    EXPECT_FALSE(limit->isVisible());
    EXPECT_FALSE(stop->isVisible());

    auto* types = child<zqt::SegmentedControl>("orderTypePicker");
    QTest::mouseClick(types->button("LIMIT"), Qt::LeftButton);
    EXPECT_EQ(model().ticket().orderType(), zqt::OrderType::Limit);
    EXPECT_TRUE(limit->isVisible());
    QTest::keyClicks(limit, "1.25");
    QTest::mouseClick(types->button("STOP"), Qt::LeftButton);
    EXPECT_FALSE(limit->isVisible());
    EXPECT_TRUE(stop->isVisible());
    QTest::keyClicks(stop, "1.3");
    QTest::mouseClick(child<zqt::SegmentedControl>("sidePicker")->button("SELL"), Qt::LeftButton);
    auto* qty = child<QLineEdit>("qtyField");
    EXPECT_EQ(qty->text(), "1");
    qty->selectAll();
    QTest::keyClicks(qty, "2 lots");

    server.setReply("POST", "/api/oms/order", {200, "{}"});
    QTest::mouseClick(child<QPushButton>("placeOrderButton"), Qt::LeftButton);
    auto* message = child<QLabel>("orderMessageLabel");
    ASSERT_TRUE(waitUntil([&] { return message->isVisible(); }, 30000));
    EXPECT_EQ(message->text(), "Order submitted.");

    const auto all = server.requests();
    const auto order = std::find_if(all.begin(), all.end(), [](const auto& r) { return r.path == "/api/oms/order"; });
    ASSERT_NE(order, all.end());
    const QUrlQuery form(QString::fromStdString(order->body).replace('+', ' '));
    EXPECT_EQ(form.queryItemValue("symbol", QUrl::FullyDecoded), "EURUSD");
    EXPECT_EQ(form.queryItemValue("side", QUrl::FullyDecoded), "SELL");
    EXPECT_EQ(form.queryItemValue("qty", QUrl::FullyDecoded), "2 lots");
    EXPECT_EQ(form.queryItemValue("order_type", QUrl::FullyDecoded), "STOP");
    EXPECT_EQ(form.queryItemValue("limit_price", QUrl::FullyDecoded), "1.25"); // hidden, still sent
    EXPECT_EQ(form.queryItemValue("stop_price", QUrl::FullyDecoded), "1.3");
    EXPECT_TRUE(form.hasQueryItem("sl"));
    EXPECT_TRUE(form.hasQueryItem("tp"));
}

TEST_F(TerminalPageTest, accessibility_controlsNamedAndFocusable_tablesAreTablesNamedAsTheirLabels_tilesNamed) {
    server.setReply("GET", "/api/market/depth",
                    {200, R"({"symbol":"EURUSD","price":1.085,"levels":[{"price":1.085,"bid_size":2,"ask_size":3,)"
                          R"("mid":true}]})"});
    server.setReply("GET", "/api/trades/open",
                    {200, R"({"positions":[{"id":1000,"symbol":"EURUSD","side":"BUY","units":1,"entry":1.1},)"
                          R"({"id":1001,"symbol":"EURUSD","side":"BUY","units":1,"entry":1.1}]})"});
    view->show();
    ASSERT_TRUE(waitUntil(
        [&] { return model().account().positions().size() == 2 && !model().market().depthLevels().isEmpty(); }, 30000));

    for (QWidget* w : view->widget()->findChildren<QWidget*>()) {
        // A table's select-all corner is not a control here: the tables select nothing, and it stays disabled.
        if (w->inherits("QTableCornerButton"))
            continue;
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
            qobject_cast<QTableView*>(w)) {
            EXPECT_FALSE(w->accessibleName().isEmpty() && w->property("text").toString().isEmpty())
                << w->objectName().toStdString();
            EXPECT_TRUE(w->focusPolicy() & Qt::TabFocus) << w->objectName().toStdString();
        }
    }
    for (auto* tile : view->findChildren<zqt::MetricTile*>())
        EXPECT_EQ(tile->accessibleName(), tile->label()) << tile->objectName().toStdString();

    // Each table as assistive technology reads it: its label, its columns, and a cell when it has rows.
    struct Table {
        const char* name;
        const char* label;
        int columns;
        const char* lastHeader;
        int row; // of the cell read, -1: none
        int column;
        const char* cell;
        const char* cellHeader;
    };
    const Table tables[] = {
        {"ladderTable", "Order ladder", 4, "Own", 0, 1, "1.0850", "Price"},
        {"tapeTable", "Time and sales", 4, "Side", -1, 0, "", ""},
        {"exposureTable", "Portfolio Summary", 4, "UPL", -1, 0, "", ""},
        {"positionsTable", "Open Trades", 7, "UPL", 1, 0, "1001", "ID"},
        {"ordersTable", "Orders", 6, "Status", -1, 0, "", ""},
        {"rm1Table", "RM1 Feed", 4, "Entry", -1, 0, "", ""},
        {"fillsTable", "Recent Fills", 5, "Status", -1, 0, "", ""},
        {"pnlTable", "PnL Attribution", 6, "Total", -1, 0, "", ""},
        {"execRecentTable", "Execution Diagnostics", 6, "Latency", -1, 0, "", ""},
    };
    for (const Table& t : tables) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(child<QAbstractItemView>(t.name));
        ASSERT_NE(iface, nullptr) << t.name;
        EXPECT_EQ(iface->role(), QAccessible::Table) << t.name;
        EXPECT_EQ(iface->text(QAccessible::Name), t.label) << t.name;
        QAccessibleTableInterface* grid = iface->tableInterface();
        ASSERT_NE(grid, nullptr) << t.name;
        EXPECT_EQ(grid->columnCount(), t.columns) << t.name;
        EXPECT_EQ(grid->columnDescription(t.columns - 1), t.lastHeader) << t.name;
        if (t.row < 0)
            continue;
        QAccessibleInterface* cell = grid->cellAt(t.row, t.column);
        ASSERT_NE(cell, nullptr) << t.name;
        EXPECT_EQ(cell->text(QAccessible::Name), t.cell) << t.name;
        const auto headers = cell->tableCellInterface()->columnHeaderCells();
        ASSERT_EQ(headers.size(), 1) << t.name;
        EXPECT_EQ(headers[0]->text(QAccessible::Name), t.cellHeader) << t.name;
        // The header cells are handed out new, not cached: register them so they go.
        for (QAccessibleInterface* header : headers)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(header));
    }
}

namespace {

// The segments of a segmented control as assistive technology sees them: name and checked state of each child.
std::vector<std::pair<QString, bool>> accessibleSegments(QWidget* control) {
    std::vector<std::pair<QString, bool>> out;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
    for (int i = 0; iface && i < iface->childCount(); ++i)
        out.emplace_back(iface->child(i)->text(QAccessible::Name), iface->child(i)->state().checked);
    return out;
}

} // namespace

TEST_F(TerminalPageTest, orderTypePicker_isOneExclusiveChoiceForKeyboardAndAssistiveTechnology) {
    view->show();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    auto* types = child<zqt::SegmentedControl>("orderTypePicker");
    const auto act = [&](const QString& segment, const QString& action) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(types->button(segment));
        ASSERT_NE(iface, nullptr);
        ASSERT_NE(iface->actionInterface(), nullptr);
        ASSERT_TRUE(iface->actionInterface()->actionNames().contains(action)) << action.toStdString();
        iface->actionInterface()->doAction(action);
    };
    const auto key = [&](const QString& segment, Qt::Key k) {
        types->button(segment)->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), types->button(segment));
        QTest::keyClick(types->button(segment), k);
    };
    const QString toggle = QAccessibleActionInterface::toggleAction();
    struct Step {
        const char* what;
        std::function<void()> run;
        zqt::OrderType expected;
    };
    const Step steps[] = {
        {"toggle LIMIT", [&] { act("LIMIT", toggle); }, zqt::OrderType::Limit},
        {"toggle LIMIT again", [&] { act("LIMIT", toggle); }, zqt::OrderType::Limit},
        {"toggle MARKET", [&] { act("MARKET", toggle); }, zqt::OrderType::Market},
        {"toggle STOP", [&] { act("STOP", toggle); }, zqt::OrderType::Stop},
        {"arrow left from STOP", [&] { key("STOP", Qt::Key_Left); }, zqt::OrderType::Limit},
        {"space on MARKET", [&] { key("MARKET", Qt::Key_Space); }, zqt::OrderType::Market},
        {"space on MARKET again", [&] { key("MARKET", Qt::Key_Space); }, zqt::OrderType::Market},
    };
    for (const auto& step : steps) {
        step.run();
        EXPECT_EQ(model().ticket().orderType(), step.expected) << step.what;
        const QString label = types
                                  ->button(step.expected == zqt::OrderType::Limit  ? "LIMIT"
                                           : step.expected == zqt::OrderType::Stop ? "STOP"
                                                                                   : "MARKET")
                                  ->text();
        EXPECT_EQ(types->value(), label) << step.what;
        const auto segments = accessibleSegments(types);
        ASSERT_EQ(segments.size(), 3u) << step.what;
        for (const auto& [name, checked] : segments)
            EXPECT_EQ(checked, name == label) << step.what << ": " << name.toStdString();
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(types)->text(QAccessible::Name), "Order Type");
}
