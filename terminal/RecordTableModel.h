#pragma once

#include "terminal/RowDiff.h"
#include "terminal/TableColumn.h"

#include <QAbstractTableModel>
#include <QList>
#include <QObject>

#include <functional>
#include <type_traits>
#include <utility>

namespace zqt {

// A read-only table over a list of records and a column table. Rows are known by the record's identity():
// a new list with the same identities in the same order only marks the rows whose values changed; rows that
// came or went are inserted and removed as such, so a view keeps its scroll position and repaints only what
// changed. Only a list that reorders rows, repeats an identity among the rows that came, went or moved, or
// shares no row with the old one resets the model. Cells are formatted when read, so only the rows a view paints are
// ever formatted.
template <class Row> class RecordTableModel final : public QAbstractTableModel {
public:
    using Key = std::decay_t<decltype(std::declval<const Row&>().identity())>;

    using Tint = std::function<RowTint(const Row&)>;

    explicit RecordTableModel(QList<TableColumn<Row>> columns, QObject* parent = nullptr)
        : QAbstractTableModel(parent), m_columns(std::move(columns)) {}
    // With a tint per row, read from the row itself.
    RecordTableModel(QList<TableColumn<Row>> columns, Tint tint, QObject* parent = nullptr)
        : QAbstractTableModel(parent), m_columns(std::move(columns)), m_tint(std::move(tint)) {}

    const QList<Row>& rows() const { return m_rows; }
    const QList<TableColumn<Row>>& columns() const { return m_columns; }

    void setRows(const QList<Row>& next) {
        if (m_rows.isSharedWith(next))
            return;
        // The keys are read in place (a reference where identity() gives one): copying a string key for every
        // comparison costs more than the comparisons.
        const RowDiffPlan plan = planRowDiff(
            m_rows.size(), [this](qsizetype i) -> decltype(auto) { return keyOf(m_rows[i]); }, next.size(),
            [&next](qsizetype i) -> decltype(auto) { return keyOf(next[i]); });
        if (plan.kind == RowDiffPlan::Kind::Reset) {
            beginResetModel();
            m_rows = next;
            endResetModel();
            return;
        }
        reshapeRows(plan, next);
        updateValues(next);
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
    }

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
            return {};
        const TableColumn<Row>& column = m_columns[index.column()];
        const Row& row = m_rows[index.row()];
        switch (role) {
        case Qt::DisplayRole:
            return column.text(row);
        case Qt::TextAlignmentRole:
            return column.alignment.toInt();
        case kCellToneRole:
            return static_cast<int>(column.tone ? column.tone(row) : CellTone::Default);
        case kCellFontRole:
            return static_cast<int>(column.font);
        case kRowTintRole:
            return static_cast<int>(m_tint ? m_tint(row) : RowTint::None);
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_columns.size())
            return m_columns[section].header;
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    // Shown, never selected nor edited.
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
    }

private:
    static decltype(auto) keyOf(const Row& row) { return row.identity(); }

    // Removes and inserts the plan's runs of rows; values are left to updateValues().
    void reshapeRows(const RowDiffPlan& plan, const QList<Row>& next) {
        for (const RowRun& run : plan.removals) {
            beginRemoveRows(QModelIndex(), static_cast<int>(run.first), static_cast<int>(run.last));
            m_rows.remove(run.first, run.last - run.first + 1);
            endRemoveRows();
        }
        for (const RowRun& run : plan.insertions) {
            const qsizetype count = run.last - run.first + 1;
            beginInsertRows(QModelIndex(), static_cast<int>(run.first), static_cast<int>(run.last));
            QList<Row> merged;
            merged.reserve(m_rows.size() + count);
            merged.append(m_rows.first(run.first));
            merged.append(next.sliced(run.first, count));
            merged.append(m_rows.sliced(run.first));
            m_rows = std::move(merged);
            endInsertRows();
        }
    }

    // `next` has the identities of the current rows, in the same order: takes its values and announces the
    // changed rows, one signal per run of adjacent changed rows.
    void updateValues(const QList<Row>& next) {
        QList<std::pair<int, int>> runs;
        for (qsizetype i = 0; i < next.size(); ++i) {
            if (m_rows[i] == next[i])
                continue;
            const int row = static_cast<int>(i);
            if (!runs.isEmpty() && runs.last().second == row - 1)
                runs.last().second = row;
            else
                runs.append({row, row});
        }
        m_rows = next;
        const int lastColumn = static_cast<int>(m_columns.size()) - 1;
        for (const auto& [first, last] : runs)
            emit dataChanged(index(first, 0), index(last, lastColumn), {Qt::DisplayRole, kCellToneRole, kRowTintRole});
    }

    QList<TableColumn<Row>> m_columns;
    Tint m_tint;
    QList<Row> m_rows;
};

// Keeps `table` showing `rows()`, read again on every `changed` signal of `source`.
template <class Row, class Source, class Signal, class Rows>
void feedRows(RecordTableModel<Row>& table, const Source& source, Signal changed, Rows rows) {
    table.setRows(rows());
    QObject::connect(&source, changed, &table, [&table, rows] { table.setRows(rows()); });
}

} // namespace zqt
