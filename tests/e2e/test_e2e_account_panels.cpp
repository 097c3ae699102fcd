// The account tables of the terminal page against the real demo engine: a market order from the ticket, then
// close-all, and the orders, open trades and fills tables follow.

#include "terminal/NativeTerminalModel.h"
#include "terminal/views/NativeTerminalView.h"

#include "DemoTerminal.h"
#include "TestEnv.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

using zqt::test::kReplyDeadlineMs;
using zqt::test::waitUntil;

namespace {

QStringList rowsOf(const QTableView* table) {
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

bool anyRowContains(const QTableView* table, const QString& text) {
    const QStringList rows = rowsOf(table);
    return std::any_of(rows.begin(), rows.end(), [&](const QString& row) { return row.contains(text); });
}

std::string show(const QTableView* table) {
    return rowsOf(table).join(QStringLiteral("\n")).toStdString();
}

} // namespace

TEST(AccountPanelsEndToEnd, marketOrderThenCloseAll_ordersOpenTradesAndFillsShowThem) {
    zqt::test::DemoTerminal demo;
    ASSERT_NO_FATAL_FAILURE(demo.start());
    zqt::NativeTerminalView& view = *demo.view;
    auto* orders = view.findChild<QTableView*>("ordersTable");
    auto* positions = view.findChild<QTableView*>("positionsTable");
    auto* fills = view.findChild<QTableView*>("fillsTable");
    ASSERT_TRUE(orders && positions && fills);

    ASSERT_NO_FATAL_FAILURE(demo.demoLogin());

    // The ticket as it stands: EURUSD, BUY, 1, market.
    QTest::mouseClick(view.findChild<QPushButton*>("placeOrderButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return anyRowContains(positions, " | EURUSD | BUY | 1.00 | "); }, kReplyDeadlineMs))
        << show(positions) << "\n"
        << view.model().ticket().orderMessage().toStdString();
    EXPECT_EQ(positions->model()->rowCount(), 1) << show(positions);
    EXPECT_TRUE(
        waitUntil([&] { return anyRowContains(orders, " | EURUSD | BUY | MARKET | 1.00 | "); }, kReplyDeadlineMs))
        << show(orders);
    ASSERT_TRUE(waitUntil([&] { return anyRowContains(fills, " | EURUSD | BUY | 0.00 | OPEN"); }, kReplyDeadlineMs))
        << show(fills);

    // Close-all: the trade leaves the open trades, its closing fill comes in on top of the opening one, and the
    // fills table takes it as one new row.
    QSignalSpy fillsReset(fills->model(), &QAbstractItemModel::modelReset);
    QSignalSpy fillsInserted(fills->model(), &QAbstractItemModel::rowsInserted);
    QStringList resets; // what each reset replaced, and with what, for the failure message
    QObject::connect(fills->model(), &QAbstractItemModel::modelAboutToBeReset, fills,
                     [&] { resets << QStringLiteral("before reset:\n") + rowsOf(fills).join('\n'); });
    QObject::connect(fills->model(), &QAbstractItemModel::modelReset, fills,
                     [&] { resets << QStringLiteral("after reset:\n") + rowsOf(fills).join('\n'); });
    view.model().ticket().closeAll();
    ASSERT_TRUE(waitUntil([&] { return positions->model()->rowCount() == 0; }, kReplyDeadlineMs)) << show(positions);
    ASSERT_TRUE(waitUntil([&] { return fills->model()->rowCount() == 2; }, kReplyDeadlineMs)) << show(fills);
    const QStringList fillRows = rowsOf(fills);
    EXPECT_TRUE(fillRows[0].contains(" | EURUSD | SELL | ") && fillRows[0].endsWith(" | CLOSED")) << show(fills);
    EXPECT_TRUE(fillRows[1].contains(" | EURUSD | BUY | 0.00 | OPEN")) << show(fills);
    EXPECT_EQ(fillsReset.count(), 0) << resets.join('\n').toStdString();
    EXPECT_EQ(fillsInserted.count(), 1) << resets.join('\n').toStdString();
    EXPECT_TRUE(anyRowContains(orders, " | EURUSD | BUY | MARKET | 1.00 | ")) << show(orders);

    // One more trade, kept open, for the picture of the account rows in the README.
    QTest::mouseClick(view.findChild<QPushButton*>("placeOrderButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto& quality = view.model().account().execQuality();
            return positions->model()->rowCount() == 1 && orders->model()->rowCount() == 2 &&
                   fills->model()->rowCount() == 3 && quality && quality->order_count == 2 &&
                   !view.model().account().pnlRows().isEmpty() && !view.model().account().exposureRows().isEmpty();
        },
        kReplyDeadlineMs))
        << show(positions);
    QWidget* page = view.widget();
    const int top = view.findChild<QWidget*>("portfolioPanel")->geometry().top() - 16;
    const int bottom = view.findChild<QWidget*>("fillsPanel")->geometry().bottom() + 16;
    const QString artifacts = QStringLiteral(ZQT_TEST_ARTIFACTS_DIR);
    QDir().mkpath(artifacts);
    EXPECT_TRUE(page->grab(QRect(0, top, page->width(), bottom - top)).save(artifacts + "/account-panels.png"));
}
