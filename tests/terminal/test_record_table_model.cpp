#include "terminal/AccountTables.h"
#include "terminal/RecordTableModel.h"

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>

#include <gtest/gtest.h>

#include <vector>

using namespace zqt;

namespace {

OrderRow order(std::int64_t id, double qty = 1, const char* status = "FILLED") {
    return OrderRow{id,  QStringLiteral("EURUSD"),    QStringLiteral("BUY"), QStringLiteral("MARKET"),
                    qty, QString::fromLatin1(status), std::nullopt,          std::nullopt};
}

// Orders with the given ids, each with quantity 1.
QList<OrderRow> orders(std::initializer_list<std::int64_t> ids) {
    QList<OrderRow> out;
    for (std::int64_t id : ids)
        out << order(id);
    return out;
}

// Every structural and data signal of the model, in order, as text.
class SignalLog {
public:
    explicit SignalLog(QAbstractItemModel& m) {
        QObject::connect(&m, &QAbstractItemModel::modelReset, [this] { log.push_back("reset"); });
        QObject::connect(&m, &QAbstractItemModel::layoutChanged, [this] { log.push_back("layout"); });
        QObject::connect(&m, &QAbstractItemModel::rowsInserted, [this](const QModelIndex&, int first, int last) {
            log.push_back("insert " + std::to_string(first) + "-" + std::to_string(last));
        });
        QObject::connect(&m, &QAbstractItemModel::rowsRemoved, [this](const QModelIndex&, int first, int last) {
            log.push_back("remove " + std::to_string(first) + "-" + std::to_string(last));
        });
        QObject::connect(&m, &QAbstractItemModel::dataChanged, [this](const QModelIndex& a, const QModelIndex& b) {
            log.push_back("changed " + std::to_string(a.row()) + "-" + std::to_string(b.row()) + " cols " +
                          std::to_string(a.column()) + "-" + std::to_string(b.column()));
        });
    }
    std::vector<std::string> log;
};

} // namespace

TEST(RecordTableModel, refresh_updatesByRowIdentity_andResetsOnlyWhenRowsCannotBeMatched) {
    struct Case {
        const char* what;
        QList<OrderRow> before;
        QList<OrderRow> after;
        std::vector<std::string> signals_;
    };
    QList<OrderRow> oneChanged = orders({1, 2, 3, 4});
    oneChanged[1].status = QStringLiteral("CANCELLED");
    QList<OrderRow> runsChanged = orders({1, 2, 3, 4});
    runsChanged[0].qty = 2;
    runsChanged[1].qty = 2;
    runsChanged[3].qty = 2;
    QList<OrderRow> newOnTopAndChanged = orders({0, 1, 2, 3, 4});
    newOnTopAndChanged[1].qty = 5;
    const Case cases[] = {
        {"same rows, fresh copy", orders({1, 2, 3, 4}), orders({1, 2, 3, 4}), {}},
        {"one value changed", orders({1, 2, 3, 4}), oneChanged, {"changed 1-1 cols 0-5"}},
        {"adjacent changed rows in one signal",
         orders({1, 2, 3, 4}),
         runsChanged,
         {"changed 0-1 cols 0-5", "changed 3-3 cols 0-5"}},
        {"a new row on top", orders({1, 2, 3, 4}), orders({0, 1, 2, 3, 4}), {"insert 0-0"}},
        {"a new row on top and a changed one",
         orders({1, 2, 3, 4}),
         newOnTopAndChanged,
         {"insert 0-0", "changed 1-1 cols 0-5"}},
        {"a row gone from the middle", orders({1, 2, 3, 4}), orders({1, 3, 4}), {"remove 1-1"}},
        {"two gone at the top, two new at the end",
         orders({1, 2, 3, 4}),
         orders({3, 4, 5, 6}),
         {"remove 0-1", "insert 2-3"}},
        {"gaps filled and ends trimmed",
         orders({1, 3, 5, 7}),
         orders({2, 3, 4, 5, 6}),
         {"remove 3-3", "remove 0-0", "insert 0-0", "insert 2-2", "insert 4-4"}},
        {"rows swapped", orders({1, 2, 3, 4}), orders({2, 1, 3, 4}), {"reset"}},
        {"nothing in common", orders({1, 2, 3, 4}), orders({5, 6}), {"reset"}},
        {"a repeated identity next to its twin", orders({1, 2, 3, 4}), orders({1, 2, 2, 3, 4}), {"insert 2-2"}},
        {"a repeated identity among new rows", orders({1, 2, 3, 4}), orders({5, 2, 5, 3}), {"reset"}},
        {"a repeated identity among old rows", orders({1, 7, 2, 7, 3}), orders({1, 2, 3}), {"reset"}},
        {"first rows", {}, orders({1, 2}), {"reset"}},
        {"all rows gone", orders({1, 2}), {}, {"reset"}},
        {"empty stays empty", {}, {}, {}},
    };
    for (const Case& c : cases) {
        RecordTableModel<OrderRow> model(orderColumns());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        model.setRows(c.before);
        QList<QPersistentModelIndex> kept;
        for (int r = 0; r < model.rowCount(); ++r)
            kept << QPersistentModelIndex(model.index(r, 0));

        SignalLog spy(model);
        model.setRows(c.after);
        EXPECT_EQ(spy.log, c.signals_) << c.what;
        EXPECT_EQ(model.rows(), c.after) << c.what;
        ASSERT_EQ(model.rowCount(), c.after.size()) << c.what;
        for (int r = 0; r < model.rowCount(); ++r)
            for (int col = 0; col < model.columnCount(); ++col)
                EXPECT_EQ(model.index(r, col).data(), model.columns()[col].text(c.after[r])) << c.what;
        // Without a reset, an index held on a row (a view's current row, its scroll anchor) follows that row.
        if (c.signals_ != std::vector<std::string>{"reset"}) {
            for (qsizetype i = 0; i < kept.size(); ++i) {
                const std::int64_t id = c.before[i].id;
                if (kept[i].isValid())
                    EXPECT_EQ(model.rows()[kept[i].row()].id, id) << c.what;
                else
                    EXPECT_FALSE(model.rows().contains(order(id))) << c.what << ": lost row " << id;
            }
        }
    }
}

TEST(RecordTableModel, positionsAreKnownByTheTextOfTheirId) {
    RecordTableModel<PositionRow> model(positionColumns());
    const PositionRow a{{"17"}, "EURUSD", "BUY", 1, 1.1, 1.2, 3};
    const PositionRow b{{"p-2"}, "AAPL", "SELL", 1, 190, std::nullopt, std::nullopt};
    model.setRows({a, b});
    SignalLog spy(model);
    PositionRow moved = b;
    moved.mark = 191;
    moved.upl = -1;
    model.setRows({PositionRow{{"9"}, "ES", "BUY", 1, 5000, {}, {}}, a, moved});
    EXPECT_EQ(spy.log, (std::vector<std::string>{"insert 0-0", "changed 2-2 cols 0-6"}));
    EXPECT_EQ(model.index(2, 5).data().toString(), "191.0000");
    EXPECT_EQ(model.index(2, 6).data().toString(), "-1.00");
}

TEST(RecordTableModel, cellsAreShownOnly_withTheColumnsHeaderAlignmentAndTone) {
    QList<TableColumn<OrderRow>> columns = orderColumns();
    columns[4].tone = [](const OrderRow& r) {
        return r.qty < 0 ? CellTone::Negative : CellTone::Default;
    };
    RecordTableModel<OrderRow> model(columns);
    model.setRows({order(1, -2)});
    EXPECT_EQ(model.headerData(4, Qt::Horizontal).toString(), "Qty");
    EXPECT_EQ(model.index(0, 4).data().toString(), "-2.00");
    EXPECT_EQ(model.index(0, 4).data(Qt::TextAlignmentRole).toInt(), (Qt::AlignRight | Qt::AlignVCenter).toInt());
    EXPECT_EQ(model.index(0, 1).data(Qt::TextAlignmentRole).toInt(), (Qt::AlignLeft | Qt::AlignVCenter).toInt());
    EXPECT_EQ(model.index(0, 4).data(kCellToneRole).toInt(), static_cast<int>(CellTone::Negative));
    EXPECT_EQ(model.index(0, 0).data(kCellToneRole).toInt(), static_cast<int>(CellTone::Default));
    const Qt::ItemFlags flags = model.flags(model.index(0, 0));
    EXPECT_TRUE(flags.testFlag(Qt::ItemIsEnabled));
    EXPECT_FALSE(flags.testFlag(Qt::ItemIsSelectable));
    EXPECT_FALSE(flags.testFlag(Qt::ItemIsEditable));
}
