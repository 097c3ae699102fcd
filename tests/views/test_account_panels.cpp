#include "terminal/views/AccountPanels.h"

#include "api/TokenStore.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/DisplayHelpers.h"
#include "terminal/views/ExposureHeatGrid.h"
#include "terminal/views/MetricTile.h"
#include "terminal/views/NativeTerminalView.h"
#include "terminal/views/PanelCard.h"

#include "RecordingServer.h"
#include "TestEnv.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

using zqt::NativeTerminalModel;
using zqt::test::CannedReply;
using zqt::test::RecordingServer;
using zqt::test::TempEnv;
using zqt::test::waitUntil;

namespace {

constexpr int kReplyDeadlineMs = 30000;

std::string positions(int count) {
    std::string rows;
    for (int i = 0; i < count; ++i)
        rows += (i ? "," : "") + std::string(R"({"id":)") + std::to_string(1000 + i) +
                R"(,"symbol":"EURUSD","side":"BUY","units":1,"entry":1.1})";
    return R"({"positions":[)" + rows + "]}";
}

// The seven account and analytics cards side by side in one window, over a terminal model whose reads a
// recording server answers. Refreshes are driven by hand.
class AccountPanelsTest : public ::testing::Test {
protected:
    AccountPanelsTest() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        model = std::make_unique<NativeTerminalModel>(QUrl(server.baseUrl()), tokens, zqt::TerminalSources::system(),
                                                      NativeTerminalModel::TimerStart::Later);
        auto* column = new QVBoxLayout(&host);
        column->addWidget(new zqt::PortfolioPanel(model->account(), &host));
        column->addWidget(new zqt::PositionsPanel(model->account(), &host));
        column->addWidget(new zqt::OrdersPanel(model->account(), &host));
        column->addWidget(new zqt::Rm1Panel(model->account(), &host));
        column->addWidget(new zqt::FillsPanel(model->account(), &host));
        column->addWidget(new zqt::AnalyticsPanel(model->account(), &host));
        column->addWidget(new zqt::DiagnosticsPanel(model->account(), &host));
        host.resize(1100, 1900);
    }
    ~AccountPanelsTest() override { QLocale::setDefault(QLocale::c()); }

    void reply(const std::string& path, const std::string& body) { server.setReply("GET", path, {200, body}); }

    // One refreshAll, waited for until all ten replies are handled.
    void refresh() {
        QSignalSpy handled(&model->link(), &zqt::TerminalLink::replyHandled);
        model->refreshAll();
        ASSERT_TRUE(waitUntil([&] { return handled.count() >= 10; }, kReplyDeadlineMs));
    }

    template <typename T> T* child(const char* name) const {
        T* w = host.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    // Every cell of a table as shown, row by row, " | " between cells.
    static QStringList rowsOf(const QTableView* table) {
        QStringList rows;
        const QAbstractItemModel* m = table->model();
        for (int r = 0; r < m->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < m->columnCount(); ++c)
                cells << m->index(r, c).data().toString();
            rows << cells.join(" | ");
        }
        return rows;
    }
    static QStringList headersOf(const QTableView* table) {
        QStringList out;
        for (int c = 0; c < table->model()->columnCount(); ++c)
            out << table->model()->headerData(c, Qt::Horizontal).toString();
        return out;
    }

    TempEnv env;
    RecordingServer server;
    zqt::MemoryTokenStore tokens;
    std::unique_ptr<NativeTerminalModel> model;
    QWidget host;
};

} // namespace

void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '[' << list.join(QStringLiteral("; ")).toStdString() << ']';
}

TEST_F(AccountPanelsTest, tables_showEachReplyInListOrder_withTheirHeadersAndHeights) {
    reply("/api/portfolio/summary", R"({"total_upl":-1234.5,"exposure":[{"symbol":"EURUSD","net_units":-2,"upl":12.5},)"
                                    R"({"symbol":"AAPL","net_units":1,"upl":0,"mark":190.25}]})");
    reply("/api/trades/open",
          R"({"positions":[{"id":17,"symbol":"EURUSD","side":"BUY","units":2,"entry":1.5},)"
          R"({"id":null,"symbol":"ES","side":"SELL","units":1,"entry":5000,"mark":5001,"upl":-1}]})");
    reply("/api/oms/orders", R"({"orders":[{"id":9,"symbol":"ES","side":"SELL","type":"LIMIT","qty":1,)"
                             R"("status":"WORKING"},{"id":3,"symbol":"AAPL","side":"BUY","type":"MARKET","qty":2,)"
                             R"("status":"FILLED"}]})");
    reply("/api/rm1/latest", R"({"signals":[{"signal_id":"rm1-7","symbol":"ES","side":"BUY","entry":5012.25}]})");
    reply("/api/trades/recent",
          R"({"trades":[{"id":41,"symbol":"BTCUSD","side":"SELL","pnl":-0.5,"status":"CLOSED"}]})");
    reply("/api/analytics/pnl_attribution",
          R"({"symbols":[{"symbol":"EURUSD","realized":10,"unrealized":-2.5,"total":7.5,"trades":4,"win_rate":55}],)"
          R"("exposure":[]})");
    host.show();
    refresh();

    EXPECT_EQ(child<QLabel>("totalUplLabel")->text(), "Total UPL: -$1,234.50");
    struct Case {
        const char* table;
        int height;
        QStringList headers;
        QStringList rows;
    };
    const Case cases[] = {
        {"exposureTable",
         180,
         {"Symbol", "Net Units", "Mark", "UPL"},
         {"EURUSD | -2.00 | - | 12.50", "AAPL | 1.00 | 190.2500 | 0.00"}},
        {"positionsTable",
         200,
         {"ID", "Symbol", "Side", "Units", "Entry", "Mark", "UPL"},
         {"17 | EURUSD | BUY | 2.00 | 1.5000 | - | -", " | ES | SELL | 1.00 | 5000.0000 | 5001.0000 | -1.00"}},
        {"ordersTable",
         200,
         {"ID", "Symbol", "Side", "Type", "Qty", "Status"},
         {"9 | ES | SELL | LIMIT | 1.00 | WORKING", "3 | AAPL | BUY | MARKET | 2.00 | FILLED"}},
        {"rm1Table", 200, {"Signal", "Symbol", "Side", "Entry"}, {"rm1-7 | ES | BUY | 5012.2500"}},
        {"fillsTable", 180, {"ID", "Symbol", "Side", "PnL", "Status"}, {"41 | BTCUSD | SELL | -0.50 | CLOSED"}},
        {"pnlTable",
         200,
         {"Symbol", "Trades", "Win%", "Realized", "Unrealized", "Total"},
         {"EURUSD | 4 | 55.0% | 10.00 | -2.50 | 7.50"}},
    };
    for (const Case& c : cases) {
        auto* table = child<QTableView>(c.table);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(headersOf(table), c.headers) << c.table;
        EXPECT_EQ(rowsOf(table), c.rows) << c.table;
        EXPECT_EQ(table->height(), c.height) << c.table;
        EXPECT_TRUE(table->isVisible()) << c.table;
        EXPECT_TRUE(table->horizontalHeader()->isVisible()) << c.table;
        EXPECT_FALSE(table->isSortingEnabled()) << c.table;
        EXPECT_FALSE(table->horizontalHeader()->sectionsClickable()) << c.table;
        EXPECT_EQ(table->selectionMode(), QAbstractItemView::NoSelection) << c.table;
        EXPECT_EQ(table->editTriggers(), QAbstractItemView::NoEditTriggers) << c.table;
        EXPECT_FALSE(table->findChild<QAbstractButton*>()->isEnabled()) << c.table << ": the select-all corner";
        EXPECT_GE(table->width(), table->horizontalHeader()->length()) << c.table << ": every column shows";
        // A click selects nothing.
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualRect(table->model()->index(0, 1)).center());
        EXPECT_FALSE(table->selectionModel()->hasSelection()) << c.table;
    }
}

TEST_F(AccountPanelsTest, emptyLists_showTitlesAndHeadersOnly_andNoHeatTiles) {
    reply("/api/analytics/pnl_attribution", R"({"symbols":[],"exposure":[]})");
    reply("/api/trades/open", R"({"positions":[]})");
    host.show();
    refresh();
    auto* pnl = child<QTableView>("pnlTable");
    EXPECT_EQ(pnl->model()->rowCount(), 0);
    EXPECT_EQ(headersOf(pnl), QStringList({"Symbol", "Trades", "Win%", "Realized", "Unrealized", "Total"}));
    EXPECT_TRUE(pnl->isVisible());
    EXPECT_TRUE(pnl->horizontalHeader()->isVisible());
    const QList<QLabel*> labels = child<QWidget>("analyticsPanel")->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    ASSERT_FALSE(labels.isEmpty());
    EXPECT_EQ(labels.first()->text(), "PnL Attribution");
    EXPECT_TRUE(labels.first()->isVisible());
    auto* grid = child<zqt::ExposureHeatGrid>("exposureHeatGrid");
    EXPECT_TRUE(grid->tiles().isEmpty());
    EXPECT_EQ(grid->height(), 0);
    EXPECT_EQ(child<QTableView>("positionsTable")->model()->rowCount(), 0);
}

TEST_F(AccountPanelsTest, diagnostics_absentShowsTheHint_presentWithNoRecentShowsBothTileRowsAndAnEmptyTable) {
    host.show();
    auto* hint = child<QLabel>("diagnosticsEmptyLabel");
    auto* tiles = child<QWidget>("diagnosticsTiles");
    auto* recent = child<QTableView>("execRecentTable");
    EXPECT_EQ(hint->text(), "No execution data.");
    EXPECT_TRUE(hint->isVisible());
    EXPECT_FALSE(tiles->isVisible());
    EXPECT_FALSE(recent->isVisible());

    reply("/api/analytics/execution_quality",
          R"({"order_count":12,"fill_rate":87.26,"cancel_rate":0.42,"avg_latency_ms":12.6,"p50_latency_ms":0.4,)"
          R"("p95_latency_ms":31,"avg_slippage":0.777,"recent":[]})");
    refresh();
    EXPECT_FALSE(hint->isVisible());
    EXPECT_TRUE(tiles->isVisible());
    EXPECT_TRUE(recent->isVisible());
    EXPECT_EQ(recent->model()->rowCount(), 0);
    EXPECT_EQ(headersOf(recent), QStringList({"ID", "Symbol", "Side", "Type", "Status", "Latency"}));
    EXPECT_EQ(recent->height(), 180);
    const std::pair<const char*, const char*> want[] = {{"Orders", "12"},     {"Fill %", "87.3%"}, {"Cancel %", "0.4%"},
                                                        {"Avg Lat", "13 ms"}, {"P50", "0 ms"},     {"P95", "31 ms"}};
    for (const auto& [label, value] : want) {
        auto* tile = child<zqt::MetricTile>((std::string("diagnostic_") + label).c_str());
        ASSERT_NE(tile, nullptr);
        EXPECT_EQ(tile->value(), value) << label;
        EXPECT_TRUE(tile->isVisible()) << label;
    }
    // Two rows of three, the second below the first.
    EXPECT_EQ(child<QWidget>("diagnostic_Orders")->y(), child<QWidget>("diagnostic_Cancel %")->y());
    EXPECT_LT(child<QWidget>("diagnostic_Orders")->y(), child<QWidget>("diagnostic_Avg Lat")->y());
    // The slippage is shown nowhere.
    for (const QLabel* label : child<QWidget>("diagnosticsPanel")->findChildren<QLabel*>())
        EXPECT_FALSE(label->text().contains("0.78") || label->text().contains("lip")) << label->text().toStdString();
}

TEST_F(AccountPanelsTest, heatGrid_tilesByUplSignAndNotional_sevenRowsLeaveALoneTileInTheFirstColumn) {
    reply("/api/analytics/pnl_attribution",
          R"({"symbols":[],"exposure":[{"symbol":"eurusd","net_units":1,"notional":0,"upl":0},)"
          R"({"symbol":"es","net_units":-1,"notional":100000,"upl":-0.01},)"
          R"({"symbol":"aapl","net_units":1,"notional":25000,"upl":3},)"
          R"({"symbol":"a","net_units":1,"notional":1,"upl":1},{"symbol":"b","net_units":1,"notional":1,"upl":1},)"
          R"({"symbol":"c","net_units":1,"notional":1,"upl":1},{"symbol":"d","net_units":1,"notional":1,"upl":1}]})");
    host.show();
    refresh();
    auto* grid = child<zqt::ExposureHeatGrid>("exposureHeatGrid");
    const QList<zqt::HeatTileWidget*>& tiles = grid->tiles();
    ASSERT_EQ(tiles.size(), 7);
    EXPECT_EQ(tiles[0]->symbol(), "EURUSD");
    EXPECT_EQ(tiles[0]->upl(), "0.00");
    EXPECT_EQ(tiles[1]->upl(), "-0.01");
    struct Case {
        int tile;
        QColor base;
        double opacity;
    };
    for (const Case& c :
         {Case{0, zqt::positiveColor(), 0.2}, Case{1, zqt::negativeColor(), 0.8}, Case{2, zqt::positiveColor(), 0.5}}) {
        const QColor bg = tiles[c.tile]->background();
        EXPECT_EQ(bg.rgb(), c.base.rgb()) << c.tile;
        EXPECT_NEAR(bg.alphaF(), c.opacity, 0.01) << c.tile;
    }
    // What is drawn: the tile's centre pixel is its colour over the card.
    const QImage drawn = tiles[1]->grab().toImage();
    const QColor centre = drawn.pixelColor(drawn.rect().center());
    EXPECT_GT(centre.red(), centre.green() + 40);

    // Rows of three: the seventh sits alone in the third row, under the first column's tiles.
    EXPECT_EQ(tiles[0]->geometry().center().x(), tiles[3]->geometry().center().x());
    EXPECT_NEAR(tiles[6]->geometry().center().x(), tiles[0]->geometry().center().x(), 1);
    EXPECT_GT(tiles[6]->y(), tiles[3]->geometry().bottom());
    EXPECT_EQ(tiles[1]->y(), tiles[0]->y());
    EXPECT_LT(tiles[0]->geometry().right(), tiles[1]->x());
    // The card makes room for all rows once its layout has run.
    EXPECT_TRUE(waitUntil([&] { return grid->height() >= tiles[6]->geometry().bottom(); }));
}

TEST_F(AccountPanelsTest, refreshWithTheSameRows_changesNothing_andNewRowsKeepTheScrollPosition) {
    reply("/api/trades/open", positions(60));
    host.show();
    refresh();
    auto* table = child<QTableView>("positionsTable");
    ASSERT_EQ(table->model()->rowCount(), 60);
    QScrollBar* bar = table->verticalScrollBar();
    ASSERT_TRUE(waitUntil([&] { return bar->maximum() > 0; })); // the view lays out its rows on its next turn
    bar->setValue(bar->maximum() / 2);
    const int scrolled = bar->value();
    const QModelIndex topRow = table->indexAt(QPoint(1, 1));

    QSignalSpy reset(table->model(), &QAbstractItemModel::modelReset);
    QSignalSpy changed(table->model(), &QAbstractItemModel::dataChanged);
    QSignalSpy inserted(table->model(), &QAbstractItemModel::rowsInserted);
    refresh();
    EXPECT_EQ(reset.count() + changed.count() + inserted.count(), 0); // nothing to repaint
    EXPECT_EQ(bar->value(), scrolled);

    // One more open trade at the end and a new mark on the first: the rows in view stay where they were.
    std::string more = positions(61);
    more.replace(more.find(R"("entry":1.1})"), 12, R"("entry":1.1,"mark":1.2})");
    reply("/api/trades/open", more);
    refresh();
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(table->model()->rowCount(), 61);
    EXPECT_EQ(bar->value(), scrolled);
    EXPECT_EQ(table->indexAt(QPoint(1, 1)), topRow);
}

// The whole terminal page in the window's default width, with every account table and the diagnostics filled:
// the page fits across, so nothing on the right needs a horizontal scroll.
TEST_F(AccountPanelsTest, wholePage_withEveryTableFilled_fitsTheDefaultWindowWidth) {
    reply("/api/analytics/execution_quality",
          R"({"order_count":2,"fill_rate":100,"cancel_rate":0,"avg_latency_ms":1,"p50_latency_ms":1,)"
          R"("p95_latency_ms":1,"avg_slippage":0,"recent":[{"id":1,"symbol":"EURUSD","side":"BUY","type":"MARKET",)"
          R"("status":"FILLED","latency_ms":1}]})");
    reply("/api/analytics/pnl_attribution",
          R"({"symbols":[{"symbol":"EURUSD","realized":10,"unrealized":-2.5,"total":7.5,"trades":4,"win_rate":55}],)"
          R"("exposure":[{"symbol":"EURUSD","notional":1000,"upl":1}]})");
    reply(
        "/api/rm1/latest",
        R"({"signals":[{"signal_id":"RM1-EURUSD-2026-12-10T16:14:23Z","symbol":"EURUSD","side":"SELL","entry":1.08}]})");
    zqt::NativeTerminalView page(*model);
    page.resize(1240, 800); // the 1280-point window less its frame and the tab widget's
    page.show();
    refresh();
    QCoreApplication::processEvents();
    auto* recent = page.findChild<QTableView*>("execRecentTable");
    ASSERT_NE(recent, nullptr);
    EXPECT_TRUE(recent->isVisible());
    EXPECT_LE(page.widget()->minimumSizeHint().width(), page.viewport()->width());
    EXPECT_FALSE(page.horizontalScrollBar()->isVisible());
}
