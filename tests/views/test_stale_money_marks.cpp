#include "api/TokenStore.h"
#include "display/Palette.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/ChartPanel.h"
#include "terminal/views/ChartWidgets.h"
#include "terminal/views/MetricTile.h"
#include "terminal/views/MetricsPanel.h"
#include "terminal/views/NativeTerminalView.h"
#include "terminal/views/StaleMark.h"

#include "ClientInFlight.h"
#include "RecordingServer.h"
#include "TestEnv.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTableView>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <string>

using namespace zqt;
using zqt::test::RecordingServer;
using zqt::test::TempEnv;
using zqt::test::waitUntil;

namespace {

constexpr int kDeadlineMs = 20000;
const std::string kBroken = "<html>502 Bad Gateway</html>";

std::string metricsBody(double balance, double equity, double profitPct, double buffer) {
    return QString::asprintf(R"({"account_id":7,"balance":%.2f,"equity":%.2f,"highest_equity":10100,"stage":2,)"
                             R"("rm1_access":true,"status":"ACTIVE","execution_mode":"paper","broker":"sim",)"
                             R"("profit_pct":%.2f,"profit_target":10,"max_loss_floor":9000,"daily_loss_limit":500,)"
                             R"("daily_loss_used":20,"daily_loss_buffer":%.2f})",
                             balance, equity, profitPct, buffer)
        .toStdString();
}

// The whole terminal page over a model whose reads a recording server answers, with a fixed clock; reads are
// driven by hand.
class PageMarks : public ::testing::Test {
protected:
    PageMarks() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        reply("/api/account/metrics", metricsBody(12345.5, 12000, 1.25, 480));
        reply(
            "/api/portfolio/summary",
            R"({"total_upl":-1520.4,"exposure":[{"symbol":"EURUSD","net_units":125000,"upl":-1520.4,"mark":1.0839}]})");
        reply("/api/trades/open", R"({"positions":[
            {"id":17,"symbol":"EURUSD","side":"BUY","units":2,"entry":1.0851,"mark":1.0839,"upl":-1520.4},
            {"id":18,"symbol":"AAPL","side":"SELL","units":5,"entry":190.5,"mark":190.25,"upl":1250.75}]})");
        reply("/api/oms/orders", R"({"orders":[
            {"id":1,"symbol":"EURUSD","side":"BUY","type":"LIMIT","qty":1,"status":"WORKING","limit_price":1.0849},
            {"id":2,"symbol":"EURUSD","side":"SELL","type":"STOP","qty":3,"status":"WORKING","stop_price":1.0853},
            {"id":3,"symbol":"EURUSD","side":"BUY","type":"LIMIT","qty":9,"status":"FILLED","limit_price":1.0850},
            {"id":4,"symbol":"AAPL","side":"BUY","type":"LIMIT","qty":2,"status":"WORKING","limit_price":190.0}]})");
        reply("/api/trades/recent", R"({"trades":[{"id":2,"symbol":"EURUSD","side":"SELL","pnl":2500,"status":"CLOSED"},
            {"id":3,"symbol":"EURUSD","side":"BUY","pnl":-0.5,"status":"CLOSED"}]})");
        reply("/api/rm1/latest", R"({"signals":[]})");
        reply("/api/prices", R"({"prices":{"EURUSD":1.0851,"AAPL":190.25}})");
        reply("/api/market/depth", R"({"symbol":"EURUSD","price":1.0851,"levels":[
            {"price":1.0853,"ask_size":2},{"price":1.0852,"ask_size":1},{"price":1.0851,"bid_size":1,"ask_size":1,"mid":true},
            {"price":1.0850,"bid_size":3},{"price":1.0849,"bid_size":4}]})");
        reply("/api/analytics/pnl_attribution", R"({"symbols":[{"symbol":"EURUSD","realized":2500,"unrealized":-1520.4,
            "total":979.6,"trades":4,"win_rate":50}],"exposure":[]})");
        reply("/api/analytics/execution_quality",
              R"({"order_count":3,"fill_rate":90,"cancel_rate":10,"avg_latency_ms":12,"p50_latency_ms":10,
                  "p95_latency_ms":30,"avg_slippage":0,"recent":[]})");
        reply("/api/market/candles", R"({"symbol":"EURUSD","interval":15,"candles":[
            {"ts":"2024-03-05T14:29:30Z","open":1.0846,"high":1.0855,"low":1.0845,"close":1.0850},
            {"ts":"2024-03-05T14:29:45Z","open":1.0850,"high":1.0856,"low":1.0847,"close":1.0851}]})");
        TerminalSources sources{[this] { return now; },
                                [] {
                                    return std::uint64_t{1} << 52;
                                }};
        model = std::make_unique<NativeTerminalModel>(QUrl(server.baseUrl()), tokens, sources,
                                                      NativeTerminalModel::TimerStart::Later);
        page = std::make_unique<NativeTerminalView>(*model);
        page->resize(1600, 1000);
        page->show();
        refresh();
    }
    ~PageMarks() override {
        page.reset();
        model.reset();
        QLocale::setDefault(QLocale::c());
    }

    void reply(const std::string& path, const std::string& body, int status = 200) {
        server.setReply("GET", path, {status, body});
    }
    // Every read of the page once, waited for until nothing is under way any more.
    void refresh() {
        model->refreshAll();
        model->refreshCandles();
        settle();
    }
    void settle() {
        ASSERT_TRUE(waitUntil(
            [&] { return zqt::test::inFlight(model->link().api()).empty() && zqt::test::decodesDone(); }, kDeadlineMs));
    }
    template <typename T> T* child(const QString& name) const {
        T* w = page->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    // The colour of a cell's text as its delegate paints it: the pixel farthest from the background.
    QColor cellInk(QTableView* table, int row, int column) const {
        const QModelIndex index = table->model()->index(row, column);
        QStyleOptionViewItem option;
        option.initFrom(table->viewport());
        option.widget = table;
        option.rect = QRect(0, 0, 140, 24);
        option.font = table->font();
        option.fontMetrics = QFontMetrics(option.font);
        option.features = QStyleOptionViewItem::HasDisplay;
        QImage image(140, 24, QImage::Format_ARGB32);
        const QColor base = table->palette().color(QPalette::Base);
        image.fill(base);
        {
            QPainter p(&image);
            table->itemDelegate()->paint(&p, option, index);
        }
        QColor ink = base;
        int far = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                const int d = std::abs(c.red() - base.red()) + std::abs(c.green() - base.green()) +
                              std::abs(c.blue() - base.blue());
                if (d > far) {
                    far = d;
                    ink = c;
                }
            }
        return ink;
    }
    // `color` as it shows over the table's background (the secondary colour may be translucent).
    static QColor over(const QColor& color, const QTableView* table) {
        const QColor base = table->palette().color(QPalette::Base);
        const double a = color.alphaF();
        return QColor::fromRgbF(static_cast<float>(color.redF() * a + base.redF() * (1 - a)),
                                static_cast<float>(color.greenF() * a + base.greenF() * (1 - a)),
                                static_cast<float>(color.blueF() * a + base.blueF() * (1 - a)));
    }
    static int distance(const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
    }

    TempEnv env;
    MemoryTokenStore tokens{QStringLiteral("token-1")};
    RecordingServer server;
    QDateTime now = QDateTime::fromMSecsSinceEpoch(1709649000'000, QTimeZone::utc());
    std::unique_ptr<NativeTerminalModel> model;
    std::unique_ptr<NativeTerminalView> page;
};

} // namespace

TEST_F(PageMarks, failingReads_markTheirPanelsAsOfTheLastGoodRead_greyKeepingTheValues_aGoodReadClears) {
    const QStringList marks{"metricsStaleMark",   "watchlistStaleMark", "ladderStaleMark", "chartStaleMark",
                            "portfolioStaleMark", "positionsStaleMark", "ordersStaleMark", "fillsStaleMark"};
    for (const QString& name : marks)
        EXPECT_FALSE(child<StaleMark>(name)->isVisible()) << name.toStdString();
    auto* ladderMark = child<StaleMark>("ladderStaleMark");
    EXPECT_EQ(ladderMark->palette().color(ladderMark->foregroundRole()), warningColor());
    const QString asOf = QStringLiteral("as of ") + now.toLocalTime().toString(QStringLiteral("HH:mm:ss"));

    // The engine's gateway answers the metrics, positions, prices and the book with an error page.
    for (const char* path : {"/api/account/metrics", "/api/trades/open", "/api/prices", "/api/market/depth"})
        reply(path, kBroken, 502);
    now = now.addSecs(7);
    refresh();

    const QStringList stale{"metricsStaleMark", "watchlistStaleMark", "ladderStaleMark", "chartStaleMark",
                            "positionsStaleMark"};
    for (const QString& name : marks) {
        auto* mark = child<StaleMark>(name);
        EXPECT_EQ(mark->isVisible(), stale.contains(name)) << name.toStdString();
        EXPECT_EQ(mark->text(), stale.contains(name) ? asOf : QString()) << name.toStdString();
    }
    // The values stay, greyed.
    MetricTile* balance = child<MetricsPanel>("metricsPanel")->tile("Balance");
    EXPECT_EQ(balance->value(), "$12,345.50");
    EXPECT_TRUE(balance->isStale());
    EXPECT_EQ(balance->valueColor(), secondaryTextColor(balance->palette()));
    auto* price = child<QLabel>("watchPrice_EURUSD");
    EXPECT_EQ(price->text(), "1.0851");
    EXPECT_EQ(price->palette().color(price->foregroundRole()), secondaryTextColor(price->palette()));
    auto* positions = child<QTableView>("positionsTable");
    ASSERT_EQ(positions->model()->rowCount(), 2);
    EXPECT_LT(distance(cellInk(positions, 0, 6), over(secondaryTextColor(positions->palette()), positions)), 60)
        << "a loss, greyed while stale: " << cellInk(positions, 0, 6).name().toStdString();
    auto* ladder = child<QTableView>("ladderTable");
    EXPECT_EQ(ladder->model()->rowCount(), 5);
    EXPECT_TRUE(ladder->property(kStaleProperty).toBool());
    EXPECT_FALSE(child<QTableView>("fillsTable")->property(kStaleProperty).toBool());

    // The engine answers again.
    reply("/api/account/metrics", metricsBody(12400, 12000, 1.25, 480));
    reply("/api/trades/open", R"({"positions":[]})");
    reply("/api/prices", R"({"prices":{"EURUSD":1.0852}})");
    reply("/api/market/depth", R"({"symbol":"EURUSD","price":1.0852,"levels":[{"price":1.0852,"bid_size":1}]})");
    refresh();
    for (const QString& name : marks)
        EXPECT_FALSE(child<StaleMark>(name)->isVisible()) << name.toStdString();
    EXPECT_EQ(balance->value(), "$12,400.00");
    EXPECT_FALSE(balance->isStale());
    EXPECT_EQ(price->text(), "1.0852");
    EXPECT_NE(price->palette().color(price->foregroundRole()), secondaryTextColor(price->palette()));
    EXPECT_FALSE(ladder->property(kStaleProperty).toBool());
    EXPECT_EQ(positions->model()->rowCount(), 0);
}

TEST_F(PageMarks, moneyCells_groupedAndColouredBySign_throughTheDelegate_table) {
    const struct {
        const char* table;
        int row;
        int column;
        const char* text;
        QColor ink; // invalid: the default text colour
    } cases[] = {
        {"positionsTable", 0, 6, "-1,520.40", negativeColor()},
        {"positionsTable", 1, 6, "1,250.75", positiveColor()},
        {"positionsTable", 0, 3, "2.00", QColor()},     // a size, not money
        {"exposureTable", 0, 1, "125000.00", QColor()}, // net units, not money
        {"exposureTable", 0, 3, "-1,520.40", negativeColor()},
        {"fillsTable", 0, 3, "2,500.00", positiveColor()},
        {"fillsTable", 1, 3, "-0.50", negativeColor()},
        {"pnlTable", 0, 3, "2,500.00", positiveColor()},
        {"pnlTable", 0, 4, "-1,520.40", negativeColor()},
        {"pnlTable", 0, 5, "979.60", positiveColor()},
    };
    for (const auto& c : cases) {
        auto* table = child<QTableView>(QString::fromLatin1(c.table));
        ASSERT_GT(table->model()->rowCount(), c.row) << c.table;
        const QModelIndex index = table->model()->index(c.row, c.column);
        EXPECT_EQ(index.data().toString().toStdString(), c.text) << c.table;
        const QColor want = c.ink.isValid() ? c.ink : table->palette().color(QPalette::Text);
        EXPECT_LT(distance(cellInk(table, c.row, c.column), want), 60)
            << c.table << " " << c.text << ": " << cellInk(table, c.row, c.column).name().toStdString();
    }
    auto* total = child<QLabel>("totalUplLabel");
    EXPECT_EQ(total->text(), "Total UPL: -$1,520.40");
    EXPECT_EQ(total->palette().color(total->foregroundRole()), negativeColor());
}

TEST_F(PageMarks, metricTiles_lossesRedGainsGreen_aSpentDailyBufferHighlighted) {
    auto* metrics = child<MetricsPanel>("metricsPanel");
    const QPalette palette = metrics->tile("Balance")->palette();
    const struct {
        std::string body;
        const char* tile;
        const char* value;
        QColor ink;
        bool alert;
    } cases[] = {
        {metricsBody(12345.5, 12000, 1.25, 480), "Balance", "$12,345.50", palette.color(QPalette::WindowText), false},
        {metricsBody(12345.5, 12000, 1.25, 480), "Profit %", "1.25%", positiveColor(), false},
        {metricsBody(12345.5, 12000, 1.25, 480), "Daily Buffer", "$480.00", palette.color(QPalette::WindowText), false},
        {metricsBody(-50, -1200.25, -5, 0), "Balance", "-$50.00", negativeColor(), false},
        {metricsBody(-50, -1200.25, -5, 0), "Equity", "-$1,200.25", negativeColor(), false},
        {metricsBody(-50, -1200.25, -5, 0), "Profit %", "-5.00%", negativeColor(), false},
        {metricsBody(-50, -1200.25, -5, 0), "Daily Buffer", "$0.00", palette.color(QPalette::WindowText), true},
        {metricsBody(9000, 9000, 0, -25), "Daily Buffer", "-$25.00", negativeColor(), true},
        {metricsBody(9000, 9000, 0, -25), "Profit %", "0.00%", palette.color(QPalette::WindowText), false},
        {metricsBody(9000, 9000, 0, 0.01), "Daily Buffer", "$0.01", palette.color(QPalette::WindowText), false},
    };
    for (const auto& c : cases) {
        reply("/api/account/metrics", c.body);
        refresh();
        MetricTile* tile = metrics->tile(QString::fromLatin1(c.tile));
        ASSERT_NE(tile, nullptr) << c.tile;
        EXPECT_EQ(tile->value().toStdString(), c.value) << c.tile;
        EXPECT_EQ(tile->valueColor(), c.ink) << c.tile << " " << c.value;
        EXPECT_EQ(tile->alert(), c.alert) << c.tile << " " << c.value;
    }
    // The highlight is painted: a red tint on the tile.
    reply("/api/account/metrics", metricsBody(9000, 9000, 0, -25));
    refresh();
    MetricTile* buffer = metrics->tile(QStringLiteral("Daily Buffer"));
    ASSERT_TRUE(buffer->alert());
    const QImage image = buffer->grab().toImage();
    const QColor centre = image.pixelColor(image.width() - 4, image.height() / 2);
    EXPECT_GT(centre.red(), centre.green() + 10) << centre.name().toStdString();
}

TEST_F(PageMarks, ownOrdersAndPositions_ofTheChartsSymbolOnly_linesOnTheChart_marksOnTheLadder) {
    auto* ladder = child<QTableView>("ladderTable");
    ASSERT_EQ(ladder->model()->rowCount(), 5);
    const int own = ladder->model()->columnCount() - 1;
    EXPECT_EQ(ladder->model()->headerData(own, Qt::Horizontal).toString(), "Own");
    const QStringList want{"SELL STP 3", "", "LONG 2", "", "BUY LMT 1"}; // 1.0853 down to 1.0849
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(ladder->model()->index(row, own).data().toString(), want[row]) << row;
    EXPECT_LT(distance(cellInk(ladder, 4, own), positiveColor()), 60);
    EXPECT_LT(distance(cellInk(ladder, 0, own), negativeColor()), 60);

    CandleChartWidget* chart = child<ChartPanel>("chartPanel")->mainChart();
    QStringList labels;
    for (const PriceLine& line : chart->priceLines())
        labels << line.label;
    EXPECT_EQ(labels, QStringList({"BUY LMT 1 @ 1.0849", "SELL STP 3 @ 1.0853", "LONG 2 @ 1.0851"}));
    QStringList drawn;
    for (const ChartPrimitive& p : chart->plan().primitives)
        if (p.kind == ChartPrimitive::Kind::Text && p.text.contains(QLatin1String(" @ ")))
            drawn << p.text;
    EXPECT_EQ(drawn, labels) << "the bars span every price, so every line is on the plot";

    // Another symbol: its own marks only, never EURUSD's.
    reply("/api/market/depth", R"({"symbol":"AAPL","price":190.25,"levels":[{"price":190.0,"bid_size":1},
        {"price":190.5,"ask_size":1}]})");
    model->market().setSelectedSymbol(QStringLiteral("AAPL"));
    settle();
    ASSERT_EQ(ladder->model()->rowCount(), 2);
    labels.clear();
    for (const PriceLine& line : chart->priceLines())
        labels << line.label;
    EXPECT_EQ(labels, QStringList({"BUY LMT 2 @ 190.0000", "SHORT 5 @ 190.5000"}));
    EXPECT_EQ(ladder->model()->index(0, own).data().toString(), "BUY LMT 2");
    EXPECT_EQ(ladder->model()->index(1, own).data().toString(), "SHORT 5");

    // An order filled: its line and mark go with the next orders reply.
    reply("/api/oms/orders", R"({"orders":[]})");
    reply("/api/market/depth", R"({"symbol":"EURUSD","price":1.0851,"levels":[{"price":1.0849,"bid_size":4}]})");
    model->market().setSelectedSymbol(QStringLiteral("EURUSD"));
    settle();
    labels.clear();
    for (const PriceLine& line : chart->priceLines())
        labels << line.label;
    EXPECT_EQ(labels, QStringList({"LONG 2 @ 1.0851"}));
    ASSERT_EQ(ladder->model()->rowCount(), 1);
    EXPECT_EQ(ladder->model()->index(0, own).data().toString(), "");
}
