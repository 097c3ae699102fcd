#include "terminal/AccountTables.h"
#include "terminal/CellFormats.h"
#include "terminal/HeatGrid.h"

#include "api/JsonDecoder.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace zqt;

namespace {

template <class Row> QStringList headers(const QList<TableColumn<Row>>& columns) {
    QStringList out;
    for (const auto& c : columns)
        out << c.header;
    return out;
}

template <class Row> QStringList cells(const QList<TableColumn<Row>>& columns, const Row& row) {
    QStringList out;
    for (const auto& c : columns)
        out << c.text(row);
    return out;
}

template <class T> T decoded(const char* json) {
    auto r = decodeJson<T>(json);
    EXPECT_TRUE(r.ok()) << json;
    return r ? r.value() : T{};
}

std::string show(const QStringList& list) {
    return list.join(QStringLiteral(" | ")).toStdString();
}

} // namespace

void PrintTo(const QRectF& r, std::ostream* os) {
    *os << "(" << r.x() << ", " << r.y() << " " << r.width() << "x" << r.height() << ")";
}

TEST(CellFormats, table_ofFormatsAndTheirEdgeCases) {
    struct Case {
        const char* what;
        QString got;
        const char* want;
    };
    const Case cases[] = {
        {"win rate 55 is already a percentage", fmtPercent(55), "55.0%"},
        {"win rate 0.55 is not scaled", fmtPercent(0.55), "0.6%"},
        {"fill rate 87.26", fmtPercent(87.26), "87.3%"},
        {"rate 0.42", fmtPercent(0.42), "0.4%"},
        {"profit -1.256 to the hundredth", fmtPercentHundredths(-1.256), "-1.26%"},
        {"latency 12.6 rounds up", fmtLatency(12.6), "13 ms"},
        {"latency 0.4 rounds down", fmtLatency(0.4), "0 ms"},
        {"money: no grouping", fmtAmount(-1234.5), "-1234.50"},
        {"whole number gets two decimals", fmtAmount(3), "3.00"},
        {"price: four decimals", fmtPrice(190.5), "190.5000"},
        {"integer as plain decimal text", fmtInteger(-9007199254740993), "-9007199254740993"},
        {"absent value", fmtOptional(std::nullopt, fmtPrice), "-"},
        {"present value", fmtOptional(1.25, fmtAmount), "1.25"},
        {"absent latency", fmtOptional(std::nullopt, fmtLatency), "-"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got.toStdString(), c.want) << c.what;
}

TEST(CellFormats, decimalMarkIsAPeriodInEveryLocale) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(fmtAmount(1234.5), "1234.50");
    EXPECT_EQ(fmtPercent(0.55), "0.6%");
    QLocale::setDefault(QLocale::c());
}

TEST(AccountTables, positions_idTextAndAbsentMarkAndUpl) {
    const auto reply = decoded<PositionsResponse>(
        R"({"positions":[{"id":17,"symbol":"EURUSD","side":"BUY","units":2,"entry":1.5,"mark":1.25,"upl":-3.456},)"
        R"({"id":null,"symbol":"AAPL","side":"SELL","units":0.5,"entry":190.5},)"
        R"({"id":"p-9","symbol":"ES","side":"BUY","units":1,"entry":5000,"mark":null,"upl":null}]})");
    ASSERT_EQ(reply.positions.size(), 3);
    const auto columns = positionColumns();
    EXPECT_EQ(headers(columns), QStringList({"ID", "Symbol", "Side", "Units", "Entry", "Mark", "UPL"}));
    const QStringList want[] = {{"17", "EURUSD", "BUY", "2.00", "1.5000", "1.2500", "-3.46"},
                                {"", "AAPL", "SELL", "0.50", "190.5000", "-", "-"},
                                {"p-9", "ES", "BUY", "1.00", "5000.0000", "-", "-"}};
    for (qsizetype i = 0; i < 3; ++i)
        EXPECT_EQ(cells(columns, reply.positions[i]), want[i]) << show(cells(columns, reply.positions[i]));
}

TEST(AccountTables, idColumns_lineUpAlikeInEveryTable_whetherTheIdIsANumberOrText) {
    const Qt::Alignment positions = positionColumns().at(0).alignment;
    EXPECT_EQ(positions, orderColumns().at(0).alignment);
    EXPECT_EQ(positions, fillColumns().at(0).alignment);
    EXPECT_EQ(positions, execRecentColumns().at(0).alignment);
}

TEST(AccountTables, everyTable_headersAndOneRowOfCells) {
    const auto portfolio =
        decoded<PortfolioSummary>(R"({"total_upl":1,"exposure":[{"symbol":"EURUSD","net_units":-2,"upl":12.5},)"
                                  R"({"symbol":"AAPL","net_units":1,"upl":0,"mark":190.25}]})");
    const auto orders =
        decoded<OrdersResponse>(R"({"orders":[{"id":3.0,"symbol":"AAPL","side":"SELL","type":"LIMIT","qty":3,)"
                                R"("status":"WORKING"}]})");
    const auto rm1 =
        decoded<RM1Response>(R"({"signals":[{"signal_id":"rm1-7","symbol":"ES","side":"BUY","entry":5012.25}]})");
    const auto fills = decoded<FillsResponse>(
        R"({"trades":[{"id":41,"symbol":"BTCUSD","side":"SELL","pnl":-0.5,"status":"CLOSED"}]})");
    const auto pnl = decoded<PnlAttributionResponse>(
        R"({"symbols":[{"symbol":"EURUSD","realized":10,"unrealized":-2.5,"total":7.5,"trades":4,"win_rate":0.55}],)"
        R"("exposure":[]})");
    const auto quality = decoded<ExecutionQualityResponse>(
        R"({"order_count":12,"fill_rate":87.26,"cancel_rate":0,"avg_latency_ms":12.6,"p50_latency_ms":0.4,)"
        R"("p95_latency_ms":99.6,"avg_slippage":0.777,"recent":[{"id":5,"symbol":"ES","side":"BUY","type":"MARKET",)"
        R"("status":"FILLED"},{"id":6,"symbol":"ES","side":"SELL","type":"STOP","status":"WORKING","latency_ms":2.4}]})");

    struct Case {
        const char* table;
        QStringList headers;
        QStringList want;
        QList<QStringList> got; // {headers, cells}
    };
    const Case cases[] = {
        {"exposure, mark absent",
         {"Symbol", "Net Units", "Mark", "UPL"},
         {"EURUSD", "-2.00", "-", "12.50"},
         {headers(exposureColumns()), cells(exposureColumns(), portfolio.exposure[0])}},
        {"exposure, mark present",
         {"Symbol", "Net Units", "Mark", "UPL"},
         {"AAPL", "1.00", "190.2500", "0.00"},
         {headers(exposureColumns()), cells(exposureColumns(), portfolio.exposure[1])}},
        {"orders",
         {"ID", "Symbol", "Side", "Type", "Qty", "Status"},
         {"3", "AAPL", "SELL", "LIMIT", "3.00", "WORKING"},
         {headers(orderColumns()), cells(orderColumns(), orders.orders[0])}},
        {"rm1",
         {"Signal", "Symbol", "Side", "Entry"},
         {"rm1-7", "ES", "BUY", "5012.2500"},
         {headers(rm1Columns()), cells(rm1Columns(), rm1.signals_[0])}},
        {"fills",
         {"ID", "Symbol", "Side", "PnL", "Status"},
         {"41", "BTCUSD", "SELL", "-0.50", "CLOSED"},
         {headers(fillColumns()), cells(fillColumns(), fills.trades[0])}},
        {"pnl attribution",
         {"Symbol", "Trades", "Win%", "Realized", "Unrealized", "Total"},
         {"EURUSD", "4", "0.6%", "10.00", "-2.50", "7.50"},
         {headers(pnlColumns()), cells(pnlColumns(), pnl.symbols[0])}},
        {"recent executions, latency absent",
         {"ID", "Symbol", "Side", "Type", "Status", "Latency"},
         {"5", "ES", "BUY", "MARKET", "FILLED", "-"},
         {headers(execRecentColumns()), cells(execRecentColumns(), quality.recent[0])}},
        {"recent executions, latency present",
         {"ID", "Symbol", "Side", "Type", "Status", "Latency"},
         {"6", "ES", "SELL", "STOP", "WORKING", "2 ms"},
         {headers(execRecentColumns()), cells(execRecentColumns(), quality.recent[1])}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.got[0], c.headers) << c.table << ": " << show(c.got[0]);
        EXPECT_EQ(c.got[1], c.want) << c.table << ": " << show(c.got[1]);
    }

    const QList<QList<LabelledValue>> tiles{{{"Orders", "12"}, {"Fill %", "87.3%"}, {"Cancel %", "0.0%"}},
                                            {{"Avg Lat", "13 ms"}, {"P50", "0 ms"}, {"P95", "100 ms"}}};
    EXPECT_EQ(diagnosticsTiles(quality), tiles);
}

TEST(HeatGrid, tileToneAndOpacity_table) {
    struct Case {
        double upl;
        double notional;
        CellTone tone;
        double opacity;
    };
    const Case cases[] = {
        {0, 0, CellTone::Positive, 0.2},          // zero UPL counts as a gain
        {-0.01, 100000, CellTone::Negative, 0.8}, // capped
        {12, 25000, CellTone::Positive, 0.5},     // half way
        {-3, -25000, CellTone::Negative, 0.5},    // size, not sign, of the notional
        {1, 50000, CellTone::Positive, 0.8},      // the ceiling is reached at 50,000
        {1, 49999.5, CellTone::Positive, 0.2 + 0.6 * 49999.5 / 50000},
        {1, std::numeric_limits<double>::infinity(), CellTone::Positive, 0.8},
        {-1, std::numeric_limits<double>::quiet_NaN(), CellTone::Negative, 0.8},
    };
    for (const Case& c : cases) {
        const HeatTile t = heatTile(PnlExposureRow{"eurusd", 1, c.notional, c.upl});
        EXPECT_EQ(t.tone, c.tone) << c.upl << " / " << c.notional;
        EXPECT_NEAR(t.opacity, c.opacity, 1e-12) << c.upl << " / " << c.notional;
        EXPECT_EQ(t.symbol, "EURUSD");
    }
    EXPECT_EQ(heatTile(PnlExposureRow{"es", 0, 0, -0.01}).upl, "-0.01");
}

TEST(HeatGrid, sevenTiles_twoFullRowsAndALoneThirdInTheFirstColumn) {
    // Width 318: three columns of 102, 6 apart. Tiles of 50 x 30, the second one 40 tall.
    QList<QSizeF> sizes(7, QSizeF(50, 30));
    sizes[1] = QSizeF(60, 40);
    const HeatGridLayout g = layoutHeatGrid(318, sizes);
    ASSERT_EQ(g.tiles.size(), 7);
    const QList<QRectF> want{
        {26, 5, 50, 30},  {129, 0, 60, 40},  {242, 5, 50, 30},  // row 1 is 40 tall; the others centre in it
        {26, 46, 50, 30}, {134, 46, 50, 30}, {242, 46, 50, 30}, // 40 + 6
        {26, 82, 50, 30},                                       // alone, first column
    };
    EXPECT_EQ(g.tiles, want);
    EXPECT_DOUBLE_EQ(g.height, 40 + 6 + 30 + 6 + 30);
    EXPECT_DOUBLE_EQ(heatGridMinimumWidth(sizes), 3 * 60 + 2 * 6);
}

TEST(HeatGrid, noTiles_noHeight_andATileWiderThanItsColumnIsCapped) {
    const HeatGridLayout empty = layoutHeatGrid(300, {});
    EXPECT_TRUE(empty.tiles.isEmpty());
    EXPECT_EQ(empty.height, 0);
    EXPECT_EQ(heatGridMinimumWidth({}), 0);

    const HeatGridLayout narrow = layoutHeatGrid(48, {QSizeF(40, 20)}); // columns of 12
    ASSERT_EQ(narrow.tiles.size(), 1);
    EXPECT_EQ(narrow.tiles[0], QRectF(0, 0, 12, 20));
}
