#include "api/TokenStore.h"
#include "display/Palette.h"
#include "display/PlainText.h"
#include "display/WheelGuard.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/Badge.h"
#include "terminal/views/CapsuleStrip.h"
#include "terminal/views/HotkeysPanel.h"
#include "terminal/views/LadderPanel.h"
#include "terminal/views/MetricTile.h"
#include "terminal/views/MicrostructurePanel.h"
#include "terminal/views/NativeTerminalView.h"
#include "terminal/views/SegmentedControl.h"
#include "terminal/views/TapePanel.h"
#include "terminal/views/TradingLabels.h"

#include "ClientInFlight.h"
#include "RecordingServer.h"
#include "TerminalTestServer.h"
#include "TestEnv.h"

#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimeZone>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWindow>
#include <QtTest/qtestspontaneevent.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zqt;
using zqt::test::CannedReply;
using zqt::test::inFlight;
using zqt::test::RecordingServer;
using zqt::test::TempEnv;
using zqt::test::waitUntil;

namespace {

std::string book(std::initializer_list<std::tuple<double, double, double, bool>> levels) {
    std::string out = R"({"symbol":"EURUSD","price":1.085,"levels":[)";
    bool first = true;
    for (const auto& [price, bid, ask, mid] : levels) {
        out += (first ? "" : ",") + QString::asprintf(R"({"price":%.5f,"bid_size":%g,"ask_size":%g,"mid":%s})", price,
                                                      bid, ask, mid ? "true" : "false")
                                        .toStdString();
        first = false;
    }
    return out + "]}";
}

// Three trading panels over one model talking to a recording server, with a fixed clock and print size (1.5),
// its timers held: everything the panels show comes from what the test sends through the model.
class TradingPanels : public ::testing::Test {
protected:
    TradingPanels() {
        server.setReply("GET", "/api/prices", {200, R"({"prices":{"EURUSD":1.085,"AAPL":190.25}})"});
        TerminalSources sources{[] { return QDateTime::fromMSecsSinceEpoch(1709649000'000, QTimeZone::utc()); },
                                [] {
                                    return std::uint64_t{1} << 52;
                                }};
        model = std::make_unique<NativeTerminalModel>(QUrl(server.baseUrl()), tokens, sources,
                                                      NativeTerminalModel::TimerStart::Later);
        host = std::make_unique<QWidget>();
        auto* column = new QVBoxLayout(host.get());
        ladder = new LadderPanel(model->market(), model->ticket(), host.get());
        tape = new TapePanel(model->market(), host.get());
        micro = new MicrostructurePanel(model->market(), host.get());
        for (QWidget* w : std::initializer_list<QWidget*>{ladder, tape, micro})
            column->addWidget(w);
        host->resize(700, 1400);
        host->show();
    }
    ~TradingPanels() override {
        host.reset();
        model.reset();
    }

    template <typename T> T* child(const QString& name) const {
        T* w = host->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    void loadBook(const std::string& body) {
        server.setReply("GET", "/api/market/depth", {200, body});
        QSignalSpy depth(&model->market(), &MarketModel::depthChanged);
        model->refreshAll();
        ASSERT_TRUE(depth.wait(10000));
    }
    // Cells of a table as shown: text, tone and tint per row.
    static QString cell(QTableView* t, int row, int column, int role = Qt::DisplayRole) {
        return t->model()->data(t->model()->index(row, column), role).toString();
    }
    static CellTone toneOf(QTableView* t, int row, int column) {
        return static_cast<CellTone>(t->model()->data(t->model()->index(row, column), kCellToneRole).toInt());
    }
    static RowTint tintOf(QTableView* t, int row) {
        return static_cast<RowTint>(t->model()->data(t->model()->index(row, 1), kRowTintRole).toInt());
    }
    // The rows of `t` tinted as picked.
    static QList<int> pickedRows(QTableView* t) {
        QList<int> out;
        for (int r = 0; r < t->model()->rowCount(); ++r)
            if (tintOf(t, r) == RowTint::Picked || tintOf(t, r) == RowTint::MidPicked)
                out << r;
        return out;
    }

    TempEnv env;
    RecordingServer server;
    zqt::MemoryTokenStore tokens;
    std::unique_ptr<NativeTerminalModel> model;
    std::unique_ptr<QWidget> host;
    LadderPanel* ladder = nullptr;
    TapePanel* tape = nullptr;
    MicrostructurePanel* micro = nullptr;
};

} // namespace

TEST_F(TradingPanels, ladder_badgeTonesFlipStrictlyBeyondEightPercent) {
    struct Case {
        double bid;
        double ask;
        const char* imbalance;
        BadgeTone imbalanceTone;
        const char* pressure;
    };
    const Case cases[] = {
        {54, 46, "8.0%", BadgeTone::neutral, "Neutral"},    {46, 54, "-8.0%", BadgeTone::neutral, "Neutral"},
        {60, 40, "20.0%", BadgeTone::positive, "Bid"},      {40, 60, "-20.0%", BadgeTone::negative, "Ask"},
        {54.01, 45.99, "8.0%", BadgeTone::positive, "Bid"}, // just past the threshold, shown rounded
    };
    for (const auto& c : cases) {
        loadBook(book({{1.0850, c.bid, 0, false}, {1.0851, 0, c.ask, false}}));
        auto* imbalance = child<Badge>("imbalanceBadge");
        auto* pressure = child<Badge>("pressureBadge");
        EXPECT_EQ(imbalance->value(), c.imbalance) << c.bid;
        EXPECT_EQ(imbalance->tone(), c.imbalanceTone) << c.bid;
        EXPECT_EQ(pressure->value(), c.pressure) << c.bid;
        EXPECT_EQ(pressure->tone(), c.imbalanceTone) << c.bid;
    }
}

TEST_F(TradingPanels, ladder_impossibleSizes_countAsZero_theImbalanceStaysWithinAHundredPercent) {
    // A bid of 10 against an ask of -5 read "300.0%" before, with bars of negative width.
    loadBook(book({{1.0850, 10, -5, false}, {1.0851, -3, 0, false}}));
    EXPECT_EQ(child<Badge>("imbalanceBadge")->value(), "100.0%");
    EXPECT_EQ(child<Badge>("pressureBadge")->value(), "Bid");
    auto* table = child<QTableView>("ladderTable");
    ASSERT_EQ(table->model()->rowCount(), 2);
    EXPECT_EQ(cell(table, 0, 2), "0.00");
    EXPECT_EQ(cell(table, 1, 0), "0.00");
    const auto shapes = child<DepthHeatStrip>("depthHeatStrip")->shapes();
    ASSERT_FALSE(shapes.isEmpty());
    for (const auto& shape : shapes)
        EXPECT_GE(shape.rect.width(), 2.0);
}

TEST_F(TradingPanels, ladder_emptyBookShowsNoLadderData_andAnEmptyStrip) {
    auto* empty = child<QLabel>("ladderEmptyLabel");
    EXPECT_TRUE(empty->isVisible());
    EXPECT_EQ(empty->text(), "No ladder data");
    EXPECT_FALSE(child<QTableView>("ladderTable")->isVisible());
    EXPECT_EQ(child<DepthHeatStrip>("depthHeatStrip")->height(), 0);
    EXPECT_EQ(child<Badge>("imbalanceBadge")->value(), "0.0%");
    EXPECT_EQ(child<Badge>("pressureBadge")->value(), "Neutral");
    EXPECT_EQ(child<Badge>("ladderDeltaBadge")->value(), "0.00");
    EXPECT_EQ(child<Badge>("ladderDeltaBadge")->tone(), BadgeTone::positive);
}

TEST_F(TradingPanels, ladder_rowsTintsAndAClickSettingALimitWithFourDecimals) {
    loadBook(book({{1.08365, 0, 4.5, false}, {1.0835, 1.25, 2, true}, {1.08334, 12, 0, false}}));
    auto* table = child<QTableView>("ladderTable");
    ASSERT_TRUE(table->isVisible());
    ASSERT_EQ(table->model()->rowCount(), 3);
    EXPECT_EQ(cell(table, 1, 0), "1.25");
    EXPECT_EQ(cell(table, 1, 1), "1.0835");
    EXPECT_EQ(cell(table, 1, 2), "2.00");
    EXPECT_EQ(toneOf(table, 1, 0), CellTone::Positive);
    EXPECT_EQ(toneOf(table, 1, 2), CellTone::Negative);
    EXPECT_EQ(tintOf(table, 1), RowTint::Mid);
    EXPECT_EQ(tintOf(table, 2), RowTint::None);
    EXPECT_EQ(child<DepthHeatStrip>("depthHeatStrip")->shapes().size(), 9);

    // A click on the third row picks its price: the ticket turns to a limit at that price, four decimals.
    const QRect third = table->visualRect(table->model()->index(2, 1));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, third.center());
    EXPECT_EQ(model->market().selectedLadderPrice(), 1.08334);
    EXPECT_EQ(model->ticket().orderType(), OrderType::Limit);
    EXPECT_EQ(model->ticket().limitPrice(), "1.0833");
    EXPECT_EQ(pickedRows(table), QList<int>{2});
    EXPECT_EQ(tintOf(table, 2), RowTint::Picked);
    // Picking the mid level keeps its own tint and shows the pick beside it.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(1, 1)).center());
    EXPECT_EQ(model->ticket().limitPrice(), "1.0835");
    EXPECT_EQ(tintOf(table, 1), RowTint::MidPicked);
    EXPECT_EQ(tintOf(table, 2), RowTint::None);
}

namespace {

// A book of `count` levels a tick (0.0001) apart from `top` down, the middle one the mid level, sizes scaled by
// `size` so that a new book at the same prices differs in its values.
std::string tickBook(double top, int count, double size) {
    std::string out = R"({"symbol":"EURUSD","price":1.085,"levels":[)";
    for (int i = 0; i < count; ++i)
        out += (i ? "," : "") + QString::asprintf(R"({"price":%.4f,"bid_size":%g,"ask_size":%g,"mid":%s})",
                                                  top - i * 0.0001, size * (i + 1), size * (count - i),
                                                  i == count / 2 ? "true" : "false")
                                    .toStdString();
    return out + "]}";
}

} // namespace

TEST_F(TradingPanels, ladder_keyboardRowSurvivesRefreshes_returnPutsThatRowsPriceIntoTheTicket) {
    loadBook(tickBook(1.0840, 9, 1.0)); // 1.0840 down to 1.0832
    auto* table = child<QTableView>("ladderTable");
    ASSERT_EQ(table->model()->rowCount(), 9);
    table->setFocus();
    // A click picks one row (the only row shown as picked), and the keyboard moves on from it.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(3, 1)).center());
    EXPECT_EQ(model->ticket().limitPrice(), "1.0837");
    EXPECT_EQ(pickedRows(table), QList<int>{3});
    QTest::keyClick(table, Qt::Key_Down);
    QTest::keyClick(table, Qt::Key_Down);
    ASSERT_EQ(table->currentIndex().row(), 5);

    struct Step {
        const char* what;
        std::string book;
        Qt::Key key;                // pressed after the refresh
        const char* expectedTicket; // after Return
    };
    const Step steps[] = {
        {"same prices, new sizes", tickBook(1.0840, 9, 2.5), Qt::Key_unknown, "1.0835"},
        {"the book moved a tick down", tickBook(1.0839, 9, 1.0), Qt::Key_unknown, "1.0835"},
        {"moved again, then Up", tickBook(1.0838, 9, 3.0), Qt::Key_Up, "1.0836"},
        {"same prices, then Down", tickBook(1.0838, 9, 1.0), Qt::Key_Down, "1.0835"},
    };
    for (const Step& step : steps) {
        loadBook(step.book);
        ASSERT_EQ(table->model()->rowCount(), 9) << step.what;
        if (step.key != Qt::Key_unknown)
            QTest::keyClick(table, step.key);
        QTest::keyClick(table, Qt::Key_Return);
        EXPECT_EQ(model->ticket().limitPrice(), step.expectedTicket) << step.what;
        EXPECT_EQ(cell(table, table->currentIndex().row(), 1), step.expectedTicket) << step.what;
        const QList<int> picked = pickedRows(table);
        ASSERT_EQ(picked.size(), 1) << step.what;
        EXPECT_EQ(cell(table, picked[0], 1), step.expectedTicket) << step.what;
    }
}

TEST_F(TradingPanels, ladder_aNewBookAtTheSamePricesKeepsTheScrollPosition) {
    loadBook(tickBook(1.0880, 40, 1.0));
    auto* table = child<QTableView>("ladderTable");
    QScrollBar* bar = table->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0); // 40 rows scroll inside the 260-point table
    bar->setValue(bar->maximum() / 2);
    const int scrolled = bar->value();
    const QString topPrice = table->indexAt(QPoint(1, 1)).siblingAtColumn(1).data().toString();
    loadBook(tickBook(1.0880, 40, 2.0));
    EXPECT_EQ(cell(table, 0, 0), "2.00"); // the values changed
    EXPECT_EQ(bar->value(), scrolled);
    EXPECT_EQ(table->indexAt(QPoint(1, 1)).siblingAtColumn(1).data().toString(), topPrice);
}

TEST_F(TradingPanels, ladder_withoutAKeyboardRow_upAndDownStartFromThePickedRow) {
    loadBook(tickBook(1.0840, 9, 1.0));
    auto* table = child<QTableView>("ladderTable");
    model->ticket().selectLadderPrice(1.0836); // picked before the table had a keyboard row
    ASSERT_FALSE(table->currentIndex().isValid());
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Up);
    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_EQ(model->ticket().limitPrice(), "1.0837");
    QTest::keyClick(table, Qt::Key_Down);
    QTest::keyClick(table, Qt::Key_Down);
    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_EQ(model->ticket().limitPrice(), "1.0835");
    EXPECT_EQ(pickedRows(table), QList<int>{5});
}

TEST_F(TradingPanels, tape_keyboardRowStaysOnItsPrintAcrossRefreshes) {
    auto* table = child<QTableView>("tapeTable");
    const auto refresh = [&](const char* price) {
        server.setReply("GET", "/api/prices", {200, std::string(R"({"prices":{"EURUSD":)") + price + "}}"});
        QSignalSpy tape(&model->market(), &MarketModel::tapeChanged);
        model->refreshMarket();
        ASSERT_TRUE(tape.wait(10000));
    };
    for (const char* price : {"1.0850", "1.0851", "1.0852"})
        refresh(price);
    ASSERT_EQ(table->model()->rowCount(), 3);
    table->setFocus(); // the keyboard's row: the newest print
    QTest::keyClick(table, Qt::Key_Down);
    ASSERT_EQ(table->currentIndex().row(), 1);
    ASSERT_EQ(cell(table, 1, 1), "1.0851");
    for (const char* price : {"1.0853", "1.0854"})
        refresh(price);
    ASSERT_EQ(table->model()->rowCount(), 5);
    EXPECT_EQ(table->currentIndex().row(), 3); // two newer prints above it
    EXPECT_EQ(cell(table, table->currentIndex().row(), 1), "1.0851");
    QTest::keyClick(table, Qt::Key_Up);
    EXPECT_EQ(cell(table, table->currentIndex().row(), 1), "1.0852");
}

TEST_F(TradingPanels, tape_emptyThenNewestFirst_badgesFollowTheSignOfTheDelta) {
    auto* empty = child<QLabel>("tapeEmptyLabel");
    auto* delta = child<Badge>("tapeDeltaBadge");
    auto* aggressor = child<Badge>("aggressorBadge");
    auto* last = child<Badge>("lastBadge");
    EXPECT_TRUE(empty->isVisible());
    EXPECT_EQ(empty->text(), "No tape yet");
    EXPECT_EQ(delta->value(), "0.00");
    EXPECT_EQ(delta->tone(), BadgeTone::positive);
    EXPECT_FALSE(last->isVisible());

    // The first price: a buy of 1.5, and the Last badge with the quote.
    QSignalSpy prices(&model->market(), &MarketModel::pricesChanged);
    model->refreshMarket();
    ASSERT_TRUE(prices.wait(10000));
    EXPECT_TRUE(last->isVisible());
    EXPECT_EQ(last->value(), "1.0850");
    EXPECT_EQ(last->tone(), BadgeTone::neutral);
    EXPECT_FALSE(empty->isVisible());

    const QDateTime now = QDateTime::fromMSecsSinceEpoch(1709649000'000, QTimeZone::utc());
    model->market().updateTape(1.0849, now); // a sell of 1.5: delta 0, still green
    EXPECT_EQ(delta->value(), "0.00");
    EXPECT_EQ(delta->tone(), BadgeTone::positive);
    model->market().updateTape(1.0848, now); // another sell: delta -1.5, both badges red
    EXPECT_EQ(delta->value(), "-1.50");
    EXPECT_EQ(delta->tone(), BadgeTone::negative);
    EXPECT_EQ(aggressor->value(), model->market().aggressorLabel());
    EXPECT_EQ(aggressor->tone(), BadgeTone::negative);

    auto* table = child<QTableView>("tapeTable");
    ASSERT_EQ(table->model()->rowCount(), 3);
    EXPECT_EQ(cell(table, 0, 1), "1.0848"); // newest at the top
    EXPECT_EQ(cell(table, 0, 2), "1.50");
    EXPECT_EQ(cell(table, 0, 3), "SELL");
    EXPECT_EQ(toneOf(table, 0, 1), CellTone::Negative);
    EXPECT_EQ(cell(table, 2, 1), "1.0850");
    EXPECT_EQ(cell(table, 2, 3), "BUY");
    EXPECT_EQ(toneOf(table, 2, 1), CellTone::Positive);
    EXPECT_EQ(table->verticalScrollBar()->value(), 0);
}

TEST_F(TradingPanels, microstructure_emptyStates_thenTwelveClusterPrintsAndScaledBars) {
    EXPECT_TRUE(child<QLabel>("profileEmptyLabel")->isVisible());
    EXPECT_TRUE(child<QLabel>("clustersEmptyLabel")->isVisible());
    EXPECT_FALSE(child<QWidget>("profileRow_0")->isVisible());
    EXPECT_FALSE(child<QWidget>("clusterRow_0")->isVisible());

    // Twelve prints at one price make one cluster of 12; the bar of each print's price builds the profile.
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(1709649000'000, QTimeZone::utc());
    for (int i = 0; i < 12; ++i) {
        model->market().updateTape(1.0850, now);
        model->market().updateCandles(1.0850, now);
    }
    EXPECT_FALSE(child<QLabel>("clustersEmptyLabel")->isVisible());
    EXPECT_TRUE(child<QWidget>("clusterRow_0")->isVisible());
    EXPECT_FALSE(child<QWidget>("clusterRow_1")->isVisible());
    EXPECT_EQ(child<QLabel>("clusterPrice_0")->text(), "1.0850");
    EXPECT_EQ(child<QLabel>("clusterCount_0")->text(), "12x");
    EXPECT_EQ(child<QLabel>("clusterBuy_0")->text(), "B 18.00");
    EXPECT_EQ(child<QLabel>("clusterSell_0")->text(), "S 0.00");
    EXPECT_EQ(child<QLabel>("clusterShare_0")->text(), "1.00");

    // One flat up bar of 12 updates: all of it buying, drawn at full length; the red bar keeps its 4 points.
    EXPECT_FALSE(child<QLabel>("profileEmptyLabel")->isVisible());
    EXPECT_TRUE(child<QWidget>("profileRow_0")->isVisible());
    EXPECT_TRUE(child<QWidget>("profileRow_11")->isVisible());
    const auto bars = child<CapsuleStrip>("profileBars_0")->shapes();
    ASSERT_EQ(bars.size(), 2);
    EXPECT_EQ(bars[0].rect.width(), 124.0);
    EXPECT_EQ(bars[1].rect.width(), 4.0);
    EXPECT_EQ(child<CapsuleStrip>("profileBars_1")->shapes()[0].rect.width(), 4.0);
}

// ---- the whole page ------------------------------------------------------------------------------------------

namespace {

// Counts paint events of a widget and everything inside it.
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget* root) {
        root->installEventFilter(this);
        for (QWidget* w : root->findChildren<QWidget*>())
            w->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

// The terminal page at 1400 x 900, shown and active, against a recording server.
// Each quick-action shortcut and the path its press posts to.
const std::pair<Qt::Key, const char*> kQuickActionKeys[] = {{Qt::Key_B, "/api/oms/order"},
                                                            {Qt::Key_S, "/api/oms/order"},
                                                            {Qt::Key_L, "/api/oms/order"},
                                                            {Qt::Key_C, "/api/oms/cancel_all"},
                                                            {Qt::Key_X, "/api/positions/close_all"}};

class TradingPage : public ::testing::Test {
protected:
    TradingPage() {
        server.setReply("GET", "/api/prices", {200, R"({"prices":{"EURUSD":1.085,"AAPL":190.25}})"});
        // Bars load, so no market error comes and goes with the replies' order (the login card would show it).
        server.setReply("GET", "/api/market/candles", {200, R"({"symbol":"EURUSD","interval":15,"candles":[]})"});
        for (const char* path : {"/api/oms/order", "/api/oms/cancel_all", "/api/positions/close_all"})
            server.setReply("POST", path, {200, "{}"});
        terminal = std::make_unique<NativeTerminalModel>(QUrl(server.baseUrl()), tokens);
        view = std::make_unique<NativeTerminalView>(*terminal);
        view->resize(1400, 900);
        view->show();
        view->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(view.get()));
    }
    NativeTerminalModel& model() const { return view->model(); }
    template <typename T> T* child(const QString& name) const {
        T* w = view->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    std::vector<std::string> postsInFlight() const {
        std::vector<std::string> out;
        for (const std::string& t : inFlight(model().link().api()))
            if (t == "/api/oms/order" || t == "/api/oms/cancel_all" || t == "/api/positions/close_all")
                out.push_back(t);
        return out;
    }
    bool settled() const {
        return waitUntil([&] { return zqt::test::decodesDone() && inFlight(model().link().api()).empty(); }, 30000);
    }
    // The paths of the posts the server received, in order.
    std::vector<std::string> postPaths() const {
        std::vector<std::string> out;
        for (const auto& r : server.requests())
            if (r.method == "POST")
                out.push_back(r.path);
        return out;
    }

    TempEnv env;
    RecordingServer server;
    zqt::MemoryTokenStore tokens{QStringLiteral("test-token")}; // signed in: the quick actions trade
    WheelGuard wheelGuard;                                      // as the program installs it, before any widget
    std::unique_ptr<NativeTerminalModel> terminal;
    std::unique_ptr<NativeTerminalView> view;
};

} // namespace

TEST_F(TradingPage, quickActions_showFiveLabelledFocusableButtonsAndTheCaption) {
    auto* hotkeys = child<QWidget>("hotkeysPanel");
    for (const char* label : {"Buy (B)", "Sell (S)", "Limit (L)", "Cancel All (C)", "Close All (X)"}) {
        QPushButton* button = nullptr;
        for (auto* b : hotkeys->findChildren<QPushButton*>())
            if (b->text() == label)
                button = b;
        ASSERT_NE(button, nullptr) << label;
        EXPECT_EQ(button->accessibleName(), label);
        EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus) << label;
    }
    EXPECT_EQ(child<QLabel>("hotkeysCaption")->text(), "Uses selected ladder price for LIMIT.");
}

TEST_F(TradingPage, shortcuts_withFocusOnThePage_eachSendsItsRequestOnce) {
    ASSERT_TRUE(settled());
    child<QPushButton>("quickBuyButton")->setFocus();
    struct Case {
        Qt::Key key;
        const char* path;
        const char* side;
        const char* type;
    };
    const Case cases[] = {{Qt::Key_B, "/api/oms/order", "BUY", "MARKET"},
                          {Qt::Key_S, "/api/oms/order", "SELL", "MARKET"},
                          {Qt::Key_L, "/api/oms/order", "BUY", "LIMIT"},
                          {Qt::Key_C, "/api/oms/cancel_all", nullptr, nullptr},
                          {Qt::Key_X, "/api/positions/close_all", nullptr, nullptr}};
    for (const auto& c : cases) {
        server.clearRequests();
        QTest::keyClick(QApplication::focusWidget(), c.key, Qt::ControlModifier);
        EXPECT_EQ(postsInFlight(), std::vector<std::string>{c.path}) << c.path;
        ASSERT_TRUE(settled());
        std::vector<zqt::test::RecordedRequest> posts;
        for (const auto& r : server.requests())
            if (r.method == "POST")
                posts.push_back(r);
        ASSERT_EQ(posts.size(), 1u) << c.path;
        EXPECT_EQ(posts[0].path, c.path);
        if (c.side) {
            const QUrlQuery form(QString::fromStdString(posts[0].body));
            EXPECT_EQ(form.queryItemValue("side"), c.side);
            EXPECT_EQ(form.queryItemValue("order_type"), c.type);
        }
    }
}

TEST_F(TradingPage, shortcuts_heldDown_sendOneRequestPerPress) {
    ASSERT_TRUE(settled());
    child<QPushButton>("quickBuyButton")->setFocus();
    QWindow* window = view->windowHandle();
    ASSERT_NE(window, nullptr);
    for (const auto& [key, path] : kQuickActionKeys) {
        server.clearRequests();
        // What the window system delivers while the key is held: one press, then presses marked as repeats.
        QTest::simulateEvent(window, true, key, Qt::ControlModifier, QString(), false);
        for (int i = 0; i < 5; ++i)
            QTest::simulateEvent(window, true, key, Qt::ControlModifier, QString(), true);
        QTest::simulateEvent(window, false, key, Qt::ControlModifier, QString(), false);
        // Every request the presses made has reached the server once nothing is left on the wire.
        ASSERT_TRUE(settled());
        const std::vector<std::string> posts = postPaths();
        EXPECT_EQ(posts, std::vector<std::string>{path});
    }
}

namespace {

// A key release from the window system at X server time `timestamp`.
void releaseAt(QWindow* window, Qt::Key key, ulong timestamp) {
    QKeyEvent release(QEvent::KeyRelease, key, Qt::ControlModifier);
    release.setTimestamp(timestamp);
    QSpontaneKeyEvent::setSpontaneous(&release);
    qApp->notify(window, &release);
}

// A key press from the window system at `timestamp`, as far as shortcuts see it: the override offered to the focus,
// then the shortcut map.
void pressAt(QWindow* window, Qt::Key key, ulong timestamp) {
    qt_sendShortcutOverrideEvent(window, timestamp, key, Qt::ControlModifier);
}

} // namespace

TEST_F(TradingPage, shortcuts_heldDownUnderX11_repeatsQtDidNotMark_sendNothing_andTheNextPressActs) {
    ASSERT_TRUE(settled());
    child<QPushButton>("quickBuyButton")->setFocus();
    QWindow* window = view->windowHandle();
    ASSERT_NE(window, nullptr);
    ulong now = 5'000'000;
    for (const auto& [key, path] : kQuickActionKeys) {
        server.clearRequests();
        // Held for two seconds: the X server repeats the key every 40 ms after 660 ms as a release and a press of
        // the same time stamp, which Qt passes on unmarked when the press was not queued yet.
        pressAt(window, key, now);
        for (ulong t = now + 660; t < now + 2000; t += 40) {
            releaseAt(window, key, t);
            pressAt(window, key, t);
        }
        now += 2000;
        releaseAt(window, key, now);
        ASSERT_TRUE(settled());
        const std::vector<std::string> posts = postPaths();
        EXPECT_EQ(posts, std::vector<std::string>{path}) << "held";

        // Pressed again a quarter of a second later: a new action.
        now += 250;
        pressAt(window, key, now);
        releaseAt(window, key, now + 90);
        now += 1000;
        ASSERT_TRUE(settled());
        EXPECT_EQ(postPaths(), (std::vector<std::string>{path, path})) << "pressed again";
    }
}

TEST_F(TradingPage, shortcuts_withFocusInTheQuantityField_sendNothingAndCopyAndCut) {
    ASSERT_TRUE(settled());
    auto* qty = child<QLineEdit>("qtyField");
    qty->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), qty);
    qty->setText("25");
    for (Qt::Key key : {Qt::Key_B, Qt::Key_S, Qt::Key_L, Qt::Key_C, Qt::Key_X}) {
        qty->selectAll();
        QTest::keyClick(qty, key, Qt::ControlModifier);
        EXPECT_EQ(postsInFlight(), std::vector<std::string>{}) << key;
    }
    // The last two were a copy and a cut of "25".
    EXPECT_EQ(QApplication::clipboard()->text(), "25");
    EXPECT_EQ(qty->text(), "");
    EXPECT_EQ(model().ticket().qty(), "");
    ASSERT_TRUE(settled());
    for (const auto& r : server.requests())
        EXPECT_NE(r.method, "POST") << r.target;
}

TEST_F(TradingPage, priceTick_repaintsOnlyTheCardsWhoseInputsChanged) {
    view->resize(1400, 4000); // every card on screen, so each one that changes does paint
    ASSERT_TRUE(settled());
    ASSERT_TRUE(model().market().marketError().isEmpty());
    // A size whose notional shows the new price in its figures.
    model().ticket().setQty("1000");
    // Out of the login field, whose blinking cursor would repaint its card.
    child<QPushButton>("quickBuyButton")->setFocus();
    QCoreApplication::processEvents(); // pending repaints of the first replies and of the focus change
    std::map<std::string, std::unique_ptr<PaintCounter>> counters;
    for (const char* card : {"loginPanel", "metricsPanel", "watchlistPanel", "orderPanel", "ladderPanel", "tapePanel",
                             "hotkeysPanel", "microstructurePanel"})
        counters[card] = std::make_unique<PaintCounter>(child<QWidget>(card));

    // One price tick with a new price for the selected symbol.
    server.setReply("GET", "/api/prices", {200, R"({"prices":{"EURUSD":1.0861,"AAPL":190.25}})"});
    QSignalSpy tape(&model().market(), &MarketModel::tapeChanged);
    model().refreshMarket();
    ASSERT_TRUE(tape.wait(10000));
    ASSERT_TRUE(settled());
    QCoreApplication::processEvents();

    for (const char* unchanged : {"loginPanel", "metricsPanel", "hotkeysPanel"})
        EXPECT_EQ(counters[unchanged]->count, 0) << unchanged;
    // The ticket's notional is at the last price.
    EXPECT_EQ(child<QLabel>("notionalLabel")->text(), "≈ 1,086.10 USD");
    for (const char* changed : {"watchlistPanel", "orderPanel", "tapePanel", "microstructurePanel"})
        EXPECT_GT(counters[changed]->count, 0) << changed;
}

namespace {

// One notch of the wheel (towards the user: the page goes down) over the middle of `target`, as the window system
// delivers it: a spontaneous event to the window, which hands it to the widget under the pointer and on up to its
// parents while they ignore it. (sendEvent would mark it as the program's own, which Qt does not pass on upwards.)
void wheelOver(QWidget* target) {
    QWidget* window = target->window();
    const QPoint centre = target->rect().center();
    QWheelEvent event(QPointF(target->mapTo(window, centre)), QPointF(target->mapToGlobal(centre)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&event);
    qApp->notify(window->windowHandle(), &event);
}

} // namespace

TEST_F(TradingPage, wheel_overAnUnfocusedPicker_changesNothingAndScrollsThePage_aFocusedPickerSteps) {
    ASSERT_TRUE(settled());
    child<QPushButton>("quickBuyButton")->setFocus();
    auto* symbol = child<QComboBox>("orderSymbolPicker");
    auto* htf = child<QComboBox>("htfPicker");
    QWidget* interval = child<SegmentedControl>("intervalPicker")->button("15s");
    QScrollBar* page = view->verticalScrollBar();
    server.clearRequests();
    const std::pair<const char*, QWidget*> pickers[] = {
        {"ticket Symbol", symbol}, {"chart HTF", htf}, {"chart Interval", interval}};
    for (const auto& [what, picker] : pickers) {
        page->setValue(0);
        ASSERT_TRUE(view->viewport()->rect().contains(picker->mapTo(view->viewport(), picker->rect().center())))
            << what;
        wheelOver(picker);
        EXPECT_GT(page->value(), 0) << what << ": the page scrolls";
        EXPECT_FALSE(picker->hasFocus()) << what;
        EXPECT_EQ(model().market().selectedSymbol(), "EURUSD") << what;
        EXPECT_EQ(symbol->currentText(), "EURUSD") << what;
        EXPECT_EQ(model().chart().candleInterval(), 15.0) << what;
        EXPECT_EQ(model().chart().htfInterval(), 300.0) << what;
        EXPECT_EQ(htf->currentText(), "HTF 5m") << what;
    }
    // Nothing the wheel could have asked for went out: no bars of another symbol or interval.
    ASSERT_TRUE(settled());
    for (const auto& r : server.requests())
        EXPECT_TRUE(r.query.find("symbol=EURUSD") != std::string::npos || r.path != "/api/market/candles") << r.target;
    for (const auto& r : server.requests())
        EXPECT_EQ(r.query.find("interval=900"), std::string::npos) << r.target;

    // A picker that has the focus steps with the wheel, and the page stays.
    const std::tuple<const char*, QComboBox*, std::function<bool()>> focused[] = {
        {"ticket Symbol", symbol,
         [&] {
             return model().market().selectedSymbol() == "AAPL";
         }},
        {"chart HTF", htf, [&] {
             return model().chart().htfInterval() == 900.0;
         }}};
    for (const auto& [what, picker, stepped] : focused) {
        page->setValue(0);
        picker->setFocus();
        ASSERT_TRUE(picker->hasFocus()) << what;
        wheelOver(picker);
        EXPECT_TRUE(stepped()) << what;
        EXPECT_EQ(page->value(), 0) << what;
    }
}

TEST_F(TradingPage, ladderPriceThenAnotherSymbol_placeOrderAndCtrlL_sendNoPriceOfTheFirstSymbol) {
    server.setReply("GET", "/api/market/depth", {200, book({{1.0846, 4, 0, false}, {1.0847, 0, 3, false}})});
    ASSERT_TRUE(settled());
    // A read of the book already out is not sent beside it: ask until the new book is in.
    ASSERT_TRUE(waitUntil(
        [&] {
            if (model().market().depthLevels().size() == 2)
                return true;
            model().refreshAll();
            return false;
        },
        30000));
    ASSERT_TRUE(settled());

    // A tap on the EURUSD ladder, a stop-loss and a take-profit typed: all EURUSD prices.
    auto* ladder = child<QTableView>("ladderTable");
    ASSERT_EQ(ladder->model()->rowCount(), 2);
    QTest::mouseClick(ladder->viewport(), Qt::LeftButton, {},
                      ladder->visualRect(ladder->model()->index(0, 1)).center());
    auto* limit = child<QLineEdit>("limitPriceField");
    ASSERT_EQ(limit->text(), "1.0846");
    for (const auto& [name, text] : {std::pair{"slField", "1.0800"}, std::pair{"tpField", "1.0900"}})
        QTest::keyClicks(child<QLineEdit>(name), text);
    QTest::keyClicks(child<QLineEdit>("qtyField"), "0");
    ASSERT_EQ(model().ticket().sl(), "1.0800");
    ASSERT_EQ(model().ticket().qty(), "10");

    // Over to BTCUSD with the ticket's own picker (keyboard: AAPL, then BTCUSD).
    auto* symbol = child<QComboBox>("orderSymbolPicker");
    symbol->setFocus();
    QTest::keyClick(symbol, Qt::Key_Down);
    QTest::keyClick(symbol, Qt::Key_Down);
    ASSERT_EQ(model().market().selectedSymbol(), "BTCUSD");
    for (const char* name : {"limitPriceField", "stopPriceField", "slField", "tpField"})
        EXPECT_EQ(child<QLineEdit>(name)->text(), "") << name;
    EXPECT_TRUE(limit->isVisible()) << "the order type stays LIMIT";
    EXPECT_EQ(child<QLineEdit>("qtyField")->text(), "10");
    ASSERT_TRUE(settled());

    server.clearRequests();
    QTest::mouseClick(child<QPushButton>("placeOrderButton"), Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::ControlModifier);
    ASSERT_TRUE(settled());
    std::vector<zqt::test::RecordedRequest> posts;
    for (const auto& r : server.requests())
        if (r.method == "POST")
            posts.push_back(r);
    ASSERT_EQ(posts.size(), 2u);
    for (const auto& post : posts) {
        const QUrlQuery form(QString::fromStdString(post.body));
        EXPECT_EQ(form.queryItemValue("symbol"), "BTCUSD");
        EXPECT_EQ(form.queryItemValue("order_type"), "LIMIT");
        EXPECT_EQ(form.queryItemValue("qty"), "10");
        for (const char* old : {"1.0846", "1.0800", "1.0900"})
            EXPECT_EQ(post.body.find(old), std::string::npos) << old << " in " << post.body;
    }
}

TEST_F(TradingPage, quickActionsCaption_saysShortcutsArePausedOnlyWhileTheFocusIsInATextField) {
    ASSERT_TRUE(settled());
    auto* paused = child<QLabel>("shortcutsPausedLabel");
    const struct {
        const char* focus;
        bool shown;
    } cases[] = {{"qtyField", true},     {"quickBuyButton", false}, {"emailField", true},
                 {"ordersTable", false}, {"tpField", true},         {"orderSymbolPicker", false}};
    for (const auto& c : cases) {
        child<QWidget>(c.focus)->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), child<QWidget>(c.focus)) << c.focus;
        EXPECT_EQ(paused->isVisible(), c.shown) << c.focus;
        if (c.shown)
            EXPECT_EQ(paused->text(), "Shortcuts paused while typing");
    }
    // The line keeps its place, so nothing on the page moves with the focus.
    child<QWidget>("qtyField")->setFocus();
    const QRect shown = paused->geometry();
    child<QWidget>("quickBuyButton")->setFocus();
    EXPECT_EQ(paused->geometry(), shown);
}

TEST_F(TradingPage, latestOrderOutcome_replacesTheLine_aSucceededCancelAllIncluded) {
    ASSERT_TRUE(settled());
    child<QPushButton>("quickBuyButton")->setFocus();
    auto* line = child<QLabel>("orderMessageLabel");
    server.setReply("POST", "/api/oms/cancel_all", {500, R"({"error":"engine busy"})"});
    QTest::mouseClick(child<QPushButton>("cancelAllButton"), Qt::LeftButton);
    ASSERT_TRUE(settled());
    EXPECT_EQ(line->text(), "Cancel all failed (HTTP 500): engine busy");
    server.setReply("POST", "/api/oms/cancel_all", {200, R"({"cancelled":3})"});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
    ASSERT_TRUE(settled());
    EXPECT_EQ(line->text(), "Cancel all accepted.");
    // A sign-in page answering an order is no acknowledgement.
    server.setReply("POST", "/api/oms/order", {200, "<html><form>Sign in</form></html>", "text/html"});
    QTest::mouseClick(child<QPushButton>("quickSellButton"), Qt::LeftButton);
    ASSERT_TRUE(settled());
    EXPECT_EQ(line->text(), "Order sent, but the engine's reply was not understood (HTTP 200)");
    server.setReply("POST", "/api/positions/close_all", {200, "{}"});
    QTest::mouseClick(child<QPushButton>("closeAllButton"), Qt::LeftButton);
    ASSERT_TRUE(settled());
    EXPECT_EQ(line->text(), "Close all accepted.");
}

namespace {

// A named pipe that no one writes to: a widget that opened it to read (an <img> in rich text would) blocks in
// open() for good. A watcher thread notices such a reader within a few milliseconds, says so and lets it go
// (it opens the pipe for writing and closes it again, so the reader sees an empty file).
class PipeTrap final {
public:
    explicit PipeTrap(const QString& path) : m_path(path.toStdString()) {
        m_made = ::mkfifo(m_path.c_str(), 0600) == 0;
        m_watcher = std::thread([this] {
            std::unique_lock lock(m_mutex);
            while (!m_stop) {
                const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) { // only succeeds while someone has it open for reading
                    m_tripped = true;
                    ::close(fd);
                }
                m_cv.wait_for(lock, std::chrono::milliseconds(5));
            }
        });
    }
    ~PipeTrap() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
        m_watcher.join();
        ::unlink(m_path.c_str());
    }
    bool made() const { return m_made; }
    bool tripped() const { return m_tripped; }
    QString path() const { return QString::fromStdString(m_path); }

private:
    std::string m_path;
    bool m_made = false;
    std::atomic<bool> m_tripped{false};
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::thread m_watcher;
};

bool hasUnsafeCharacter(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069) ||
            u == 0x200E || u == 0x200F)
            return true;
    }
    return false;
}

} // namespace

TEST_F(TradingPage, hostileEngineText_showsLiterallyAndBounded_inTheOrderError_theTiles_theTables_andTheLoginError) {
    ASSERT_TRUE(settled());
    PipeTrap trap(env.path("pipe"));
    ASSERT_TRUE(trap.made());
    const QString megabyte = QString(1024 * 1024, QLatin1Char('W'));
    struct Case {
        const char* what;
        QString value;
        bool inHeader; // can travel in a Location header (no control characters)
    };
    const Case cases[] = {
        // First: were any of them drawn as HTML, the pipe would catch the read (and the later rows would hang).
        {"image from a pipe", QStringLiteral("<img src=\"%1\">").arg(trap.path()), true},
        {"image from /dev/zero", QStringLiteral("<img src=/dev/zero>"), true},
        {"tags", QStringLiteral("<b>FILLED</b> <a href=\"x\">click</a> &amp; <font color=red>LIVE</font>"), true},
        {"a megabyte", megabyte, true},
        {"control characters", QStringLiteral("a\u0000b\u0001c\nd\re\tf\u007fg\u009bh"), false},
        {"right-to-left override", QStringLiteral("BUY \u202eLLES\u202c 10 \u2066x\u2069"), true},
    };
    auto* orderLine = child<QLabel>("orderMessageLabel");
    auto* loginLine = child<QLabel>("loginErrorLabel");
    auto* orders = child<QTableView>("ordersTable");
    for (const auto& c : cases) {
        const std::string json =
            QJsonDocument(QJsonObject{{"error", c.value}}).toJson(QJsonDocument::Compact).toStdString();
        const std::string text =
            QJsonDocument(QJsonObject{{"t", c.value}}).toJson(QJsonDocument::Compact).toStdString();
        const std::string quoted = text.substr(5, text.size() - 6); // the JSON string, quotes included
        server.setReply("POST", "/api/oms/order", {422, json});
        server.setReply(
            "GET", "/api/account/metrics",
            {200, R"({"account_id":7,"balance":1,"equity":1,"highest_equity":1,"stage":2,"rm1_access":true,)"
                  R"("status":"ACTIVE","execution_mode":)" +
                      quoted + R"(,"broker":)" + quoted +
                      R"(,"profit_pct":0,"profit_target":1,"max_loss_floor":1,"daily_loss_limit":1,)"
                      R"("daily_loss_used":0,"daily_loss_buffer":1})"});
        server.setReply("GET", "/api/oms/orders",
                        {200, R"({"orders":[{"id":1,"symbol":)" + quoted +
                                  R"(,"side":"BUY","type":"LIMIT","qty":1,)"
                                  R"("status":)" +
                                  quoted + "}]}"});
        if (c.inHeader)
            server.setHandler("POST", "/api/login",
                              [value = c.value.toStdString()](const httplib::Request&, httplib::Response& res) {
                                  res.status = 302;
                                  res.set_header("Location", value);
                              });

        QSignalSpy metrics(&model().account(), &AccountModel::metricsChanged);
        QSignalSpy ordersIn(&model().account(), &AccountModel::ordersChanged);
        model().refreshAll();
        model().ticket().placeOrder();
        if (c.inHeader)
            model().session().login();
        ASSERT_TRUE(settled()) << c.what;
        // A read still out from an earlier refresh may have brought the former values, and a read is not sent
        // twice at once: ask again until the new ones are in.
        ASSERT_TRUE(waitUntil(
            [&] {
                if (metrics.count() > 0 && ordersIn.count() > 0)
                    return true;
                model().refreshAll();
                return false;
            },
            20000))
            << c.what;
        ASSERT_TRUE(settled()) << c.what;
        view->grab(); // everything laid out and drawn
        ASSERT_FALSE(trap.tripped()) << c.what << ": a widget read a file named in engine text";

        std::vector<std::pair<std::string, QLabel*>> lines{{"order error", orderLine}};
        if (c.inHeader)
            lines.push_back({"login error", loginLine});
        for (const auto* tile : {"metric_Exec", "metric_Broker"})
            lines.push_back({tile, child<zqt::MetricTile>(tile)->findChild<QLabel*>("metricValue")});
        for (const auto& [where, label] : lines) {
            ASSERT_EQ(label->textFormat(), Qt::PlainText) << c.what << " in " << where;
            EXPECT_FALSE(label->text().isEmpty()) << c.what << " in " << where;
            EXPECT_LE(label->text().size(), kMessageTextChars + 40) << c.what << " in " << where;
            EXPECT_FALSE(hasUnsafeCharacter(label->text())) << c.what << " in " << where;
            if (label->text().endsWith(QChar(0x2026))) { // cut: the rest is in the tooltip and the description
                EXPECT_FALSE(label->toolTip().isEmpty()) << c.what << " in " << where;
                EXPECT_GT(label->accessibleDescription().size(), label->text().size()) << c.what << " in " << where;
            }
        }
        // Shown as the characters they are, not as what they would mark up.
        const QString tile = child<zqt::MetricTile>("metric_Broker")->value();
        if (c.value.startsWith(QLatin1Char('<')))
            EXPECT_TRUE(tile.startsWith(c.value.left(10))) << c.what << ": " << tile.toStdString();
        if (c.value == megabyte) {
            EXPECT_EQ(tile, QString(kShortTextChars - 1, QLatin1Char('W')) + QChar(0x2026));
            EXPECT_EQ(child<zqt::MetricTile>("metric_Broker")->accessibleDescription().size(), kWholeTextChars);
        }

        // The table's cells: the display text bounded and plain, the whole value in the tooltip.
        const QModelIndex symbolCell = orders->model()->index(0, 1);
        const QString shown = symbolCell.data(Qt::DisplayRole).toString();
        EXPECT_LE(shown.size(), kShortTextChars) << c.what;
        EXPECT_FALSE(hasUnsafeCharacter(shown)) << c.what;
        EXPECT_FALSE(hasUnsafeCharacter(symbolCell.data(Qt::AccessibleTextRole).toString())) << c.what;
        if (shown != c.value) {
            const QString tip = symbolCell.data(Qt::ToolTipRole).toString();
            EXPECT_TRUE(tip.startsWith(QLatin1String("<p>"))) << c.what << ": rich text that shows it literally";
            EXPECT_FALSE(tip.contains(QLatin1String("<img"))) << c.what;
            EXPECT_FALSE(symbolCell.data(Qt::AccessibleDescriptionRole).toString().isEmpty()) << c.what;
        }
    }
}

namespace {

// The form a request carried, decoded.
QUrlQuery formOf(const zqt::test::RecordedRequest& r) {
    return QUrlQuery(QString::fromStdString(r.body).replace('+', ' '));
}

} // namespace

TEST_F(TradingPage, quickActions_showWhatAQuickOrderCarries_keptCurrent_andSendExactlyThat) {
    ASSERT_TRUE(settled());
    auto* carried = child<QLabel>("quickCarriedLabel");
    EXPECT_TRUE(carried->isVisible());
    EXPECT_EQ(carried->text(), "Qty 1 · SL none · TP none · Price none · Limit side BUY");

    // Typed into the ticket as the trader does.
    auto* qty = child<QLineEdit>("qtyField");
    qty->selectAll();
    QTest::keyClicks(qty, "3");
    QTest::keyClicks(child<QLineEdit>("slField"), "1.0900");
    QTest::keyClicks(child<QLineEdit>("tpField"), "1.0700");
    QTest::mouseClick(child<zqt::SegmentedControl>("sidePicker")->button("SELL"), Qt::LeftButton);
    EXPECT_EQ(carried->text(), "Qty 3 · SL 1.0900 · TP 1.0700 · Price none · Limit side SELL");
    model().ticket().selectLadderPrice(1.0851);
    EXPECT_EQ(carried->text(), "Qty 3 · SL 1.0900 · TP 1.0700 · Price 1.0851 (ladder) · Limit side SELL");

    child<QPushButton>("quickBuyButton")->setFocus();
    server.clearRequests();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::ControlModifier);
    ASSERT_TRUE(settled());
    const auto all = server.requests();
    const auto order = std::find_if(all.begin(), all.end(), [](const auto& r) { return r.path == "/api/oms/order"; });
    ASSERT_NE(order, all.end());
    const QUrlQuery form = formOf(*order);
    EXPECT_EQ(form.queryItemValue("side"), "SELL");
    EXPECT_EQ(form.queryItemValue("qty"), "3");
    EXPECT_EQ(form.queryItemValue("sl"), "1.0900");
    EXPECT_EQ(form.queryItemValue("tp"), "1.0700");
    EXPECT_EQ(form.queryItemValue("limit_price"), "1.0851");
}

TEST_F(TradingPage, quickActions_showTheirOwnLatestOutcome_aRejectionWithTheEnginesText_notTheTicketsOutcome) {
    ASSERT_TRUE(settled());
    auto* quick = child<QLabel>("quickOutcomeLabel");
    auto* ticketLine = child<QLabel>("orderMessageLabel");
    EXPECT_FALSE(quick->isVisible());

    server.setReply("POST", "/api/oms/order", {422, R"({"error":"sl must be above the entry price for a SELL"})"});
    QTest::mouseClick(child<QPushButton>("quickSellButton"), Qt::LeftButton);
    ASSERT_TRUE(settled());
    EXPECT_TRUE(quick->isVisible());
    EXPECT_EQ(quick->text(), "Order rejected (HTTP 422): sl must be above the entry price for a SELL");
    EXPECT_EQ(quick->textFormat(), Qt::PlainText);

    // The next quick action's outcome replaces it, a success included.
    server.setReply("POST", "/api/oms/order", {200, "{}"});
    QTest::mouseClick(child<QPushButton>("quickBuyButton"), Qt::LeftButton);
    ASSERT_TRUE(settled());
    EXPECT_EQ(quick->text(), "Order submitted.");

    // A ticket order's outcome shows under the ticket only.
    server.setReply("POST", "/api/oms/order", {422, R"({"error":"qty too large"})"});
    QTest::mouseClick(child<QPushButton>("placeOrderButton"), Qt::LeftButton);
    ASSERT_TRUE(settled());
    EXPECT_EQ(ticketLine->text(), "Order rejected (HTTP 422): qty too large");
    EXPECT_EQ(quick->text(), "Order submitted.");
}

TEST_F(TradingPage, quickActions_aReplyArrivingAfterTheLaterActionsReply_doesNotReplaceIt) {
    ASSERT_TRUE(settled());
    zqt::test::Gate gate;
    server.setHandler("POST", "/api/oms/order", [&gate](const httplib::Request& req, httplib::Response& res) {
        if (req.get_param_value("side") == "BUY") {
            gate.wait();
            res.status = 422;
            res.set_content(R"({"error":"late refusal"})", "application/json");
            return;
        }
        res.set_content("{}", "application/json");
    });
    auto* quick = child<QLabel>("quickOutcomeLabel");
    QTest::mouseClick(child<QPushButton>("quickBuyButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return gate.waiting() == 1; }, 30000));
    QTest::mouseClick(child<QPushButton>("quickSellButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return quick->text() == "Order submitted."; }, 30000));
    gate.open();
    ASSERT_TRUE(settled());
    EXPECT_EQ(quick->text(), "Order submitted.");
    // The ticket's line shows every outcome as it lands.
    EXPECT_EQ(child<QLabel>("orderMessageLabel")->text(), "Order rejected (HTTP 422): late refusal");
}

TEST_F(TradingPage, beforeSignIn_buttonsAndKeysSayToSignIn_andNothingGoesOut) {
    ASSERT_TRUE(settled());
    model().session().signOut();
    EXPECT_TRUE(child<QLabel>("quickSignInLabel")->isVisible());
    EXPECT_EQ(child<QLabel>("quickSignInLabel")->text(), "Sign in to trade");
    EXPECT_TRUE(child<QLabel>("ticketSignInLabel")->isVisible());
    server.clearRequests();

    for (const char* name : {"placeOrderButton", "quickBuyButton", "quickSellButton", "quickLimitButton",
                             "cancelAllButton", "closeAllButton"}) {
        auto* button = child<QPushButton>(name);
        EXPECT_FALSE(button->isEnabled()) << name;
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(postsInFlight(), std::vector<std::string>{}) << name;
    }
    // The focus where the keys act: on a picker, not in a text field.
    child<QComboBox>("orderSymbolPicker")->setFocus();
    ASSERT_FALSE(HotkeysPanel::isTextFocus(QApplication::focusWidget()));
    for (const auto& [key, path] : kQuickActionKeys) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : view.get(), key,
                        Qt::ControlModifier);
        EXPECT_EQ(postsInFlight(), std::vector<std::string>{}) << path;
    }
    ASSERT_TRUE(settled());
    EXPECT_EQ(postPaths(), std::vector<std::string>{});

    // Signed in again, the same button sends.
    model().link().api().setToken(QStringLiteral("tok-2"));
    EXPECT_FALSE(child<QLabel>("quickSignInLabel")->isVisible());
    EXPECT_FALSE(child<QLabel>("ticketSignInLabel")->isVisible());
    QTest::mouseClick(child<QPushButton>("quickBuyButton"), Qt::LeftButton);
    EXPECT_EQ(postsInFlight(), std::vector<std::string>{"/api/oms/order"});
    ASSERT_TRUE(settled());
}

TEST_F(TradingPage, ticket_everyFieldKeepsAVisibleLabel_andTheNotionalIsOfTheTicketsSymbolOnly) {
    ASSERT_TRUE(waitUntil([&] { return model().market().prices().contains("EURUSD"); }, 30000));
    auto* panel = child<QWidget>("orderPanel");
    QTest::mouseClick(child<zqt::SegmentedControl>("orderTypePicker")->button("LIMIT"), Qt::LeftButton);
    for (const char* name : {"qtyField", "limitPriceField", "slField", "tpField"}) {
        auto* field = child<QLineEdit>(name);
        QTest::keyClicks(field, "1");
        QLabel* label = nullptr;
        for (auto* l : panel->findChildren<QLabel*>())
            if (l->buddy() == field)
                label = l;
        ASSERT_NE(label, nullptr) << name;
        EXPECT_TRUE(label->isVisible()) << name;
        EXPECT_EQ(label->text(), field->accessibleName()) << name;
        EXPECT_LT(label->geometry().right(), field->geometry().left()) << name << ": beside its field";
    }

    auto* notional = child<QLabel>("notionalLabel");
    auto* qty = child<QLineEdit>("qtyField");
    struct Case {
        const char* symbol;
        const char* qty;
        const char* shown; // nullptr: no notional shown
    };
    const Case cases[] = {
        {"EURUSD", "1000", "≈ 1,085.00 USD"},
        {"EURUSD", "0.5", "≈ 0.54 USD"},
        {"AAPL", "1200", "≈ 228,300.00 USD"},
        {"AAPL", "lots", nullptr},
        {"BTCUSD", "1", nullptr}, // no price of its own, and none of another symbol
    };
    auto* picker = child<QComboBox>("orderSymbolPicker");
    for (const Case& c : cases) {
        model().market().setSelectedSymbol(c.symbol);
        ASSERT_EQ(picker->currentText(), c.symbol);
        qty->selectAll();
        QTest::keyClicks(qty, c.qty);
        if (c.shown) {
            EXPECT_TRUE(notional->isVisible()) << c.symbol << " " << c.qty;
            EXPECT_EQ(notional->text(), QString::fromUtf8(c.shown)) << c.symbol << " " << c.qty;
        } else {
            EXPECT_FALSE(notional->isVisible()) << c.symbol << " " << c.qty;
        }
        EXPECT_GT(notional->geometry().left(), child<QPushButton>("placeOrderButton")->geometry().right());
    }

    // A mistyped size: the field keeps 32 characters and the notional is a short, plainly absurd figure, so the
    // card needs no more width than for a sensible one.
    model().market().setSelectedSymbol("EURUSD");
    qty->selectAll();
    QTest::keyClicks(qty, "100000000");
    EXPECT_EQ(notional->text(), QString::fromUtf8("≈ 108,500,000.00 USD"));
    const int sensibleWidth = panel->minimumSizeHint().width();
    qty->selectAll();
    QTest::keyClicks(qty, QStringLiteral("2") + QString(399, QLatin1Char('0')));
    EXPECT_EQ(qty->text(), QStringLiteral("2") + QString(31, QLatin1Char('0')));
    EXPECT_EQ(notional->text(), QString::fromUtf8("≈ 2.17E+31 USD"));
    EXPECT_LE(panel->minimumSizeHint().width(), sensibleWidth);
}

TEST_F(TradingPage, notionalAboveTheLimit_asksFirst_noSendsNothing_yesSendsOnce) {
    ASSERT_TRUE(waitUntil([&] { return model().market().prices().contains("EURUSD"); }, 30000));
    ASSERT_TRUE(settled());
    model().ticket().setNotionalLimit("1000");
    auto* qty = child<QLineEdit>("qtyField");
    qty->selectAll();
    QTest::keyClicks(qty, "1000"); // ≈ 1,085.00 USD
    server.clearRequests();

    const auto question = [&]() -> QMessageBox* {
        QMessageBox* box = nullptr;
        waitUntil(
            [&] {
                box = view->findChild<QMessageBox*>("notionalConfirmation");
                return box && box->isVisible();
            },
            30000);
        return box;
    };
    // No, from the ticket and from a key.
    const std::function<void()> triggers[] = {
        [&] { QTest::mouseClick(child<QPushButton>("placeOrderButton"), Qt::LeftButton); },
        [&] {
            view->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
            auto* buy = child<QPushButton>("quickBuyButton");
            buy->setFocus();
            QTest::keyClick(buy, Qt::Key_B, Qt::ControlModifier);
        },
    };
    for (const auto& trigger : triggers) {
        trigger();
        QMessageBox* box = question();
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->text().contains("≈ 1,085.00 USD")) << box->text().toStdString();
        EXPECT_TRUE(box->text().contains("1,000.00 USD")) << box->text().toStdString();
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        EXPECT_EQ(postsInFlight(), std::vector<std::string>{});
        QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
        EXPECT_EQ(postsInFlight(), std::vector<std::string>{});
        ASSERT_TRUE(waitUntil([&] { return !view->findChild<QMessageBox*>("notionalConfirmation"); }, 30000));
    }
    ASSERT_TRUE(settled());
    EXPECT_EQ(postPaths(), std::vector<std::string>{});

    // Yes sends the order once.
    QTest::mouseClick(child<QPushButton>("quickSellButton"), Qt::LeftButton);
    QMessageBox* box = question();
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    ASSERT_TRUE(settled());
    EXPECT_EQ(postPaths(), std::vector<std::string>{"/api/oms/order"});

    // Within the limit, or with the limit off, nothing asks.
    for (const char* limit : {"2000", ""}) {
        model().ticket().setNotionalLimit(limit);
        server.clearRequests();
        QTest::mouseClick(child<QPushButton>("placeOrderButton"), Qt::LeftButton);
        EXPECT_EQ(postsInFlight(), std::vector<std::string>{"/api/oms/order"}) << limit;
        ASSERT_TRUE(settled());
    }
}
