#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <algorithm>
#include <functional>
#include <type_traits>
#include <utility>

namespace zqt {

// How a cell's text is coloured; the views turn a tone into a palette colour.
enum class CellTone { Default, Positive, Negative, Secondary };
// The size of a column's text: the body text, or the caption and smaller caption styles of dense lists.
enum class CellFont { Body, Caption, Small };
// How a whole row is tinted: not at all, as the book's mid level, as the row the user picked, or both.
enum class RowTint { None, Mid, Picked, MidPicked };

// One column of a record table: its header, the text of a cell, the cell alignment, optionally the tone of a
// cell's text (no function: the default colour) and the size of its text.
template <class Row> struct TableColumn {
    QString header;
    std::function<QString(const Row&)> text;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    std::function<CellTone(const Row&)> tone = {};
    CellFont font = CellFont::Body;
};

// The roles under which a cell's CellTone, CellFont and its row's RowTint (each as int) are read.
inline constexpr int kCellToneRole = Qt::UserRole + 1;
inline constexpr int kCellFontRole = Qt::UserRole + 2;
inline constexpr int kRowTintRole = Qt::UserRole + 3;

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
        if (!sameIdentities(next) && !reshapeRows(next)) {
            beginResetModel();
            m_rows = next;
            endResetModel();
            return;
        }
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
    static Key keyOf(const Row& row) { return row.identity(); }

    bool sameIdentities(const QList<Row>& next) const {
        if (next.size() != m_rows.size())
            return false;
        for (qsizetype i = 0; i < next.size(); ++i)
            if (!(m_rows[i].identity() == next[i].identity()))
                return false;
        return true;
    }

    // Turns the current rows into the identities of `next` by removing and inserting rows. Rows whose identities
    // open or close both lists stay as they are; between them, the rows both lists hold must keep their order and
    // every identity there must be unique. Values are left to updateValues().
    bool reshapeRows(const QList<Row>& next) {
        const qsizetype common = std::min(m_rows.size(), next.size());
        qsizetype head = 0;
        while (head < common && m_rows[head].identity() == next[head].identity())
            ++head;
        qsizetype tail = 0;
        while (tail < common - head &&
               m_rows[m_rows.size() - 1 - tail].identity() == next[next.size() - 1 - tail].identity())
            ++tail;
        // The rows that differ: [head, oldEnd) of the current rows, [head, nextEnd) of `next`.
        const qsizetype oldEnd = m_rows.size() - tail;
        const qsizetype nextEnd = next.size() - tail;

        QSet<Key> nextKeys;
        nextKeys.reserve(nextEnd - head);
        for (qsizetype i = head; i < nextEnd; ++i) {
            const qsizetype before = nextKeys.size();
            nextKeys.insert(keyOf(next[i]));
            if (nextKeys.size() == before)
                return false;
        }
        QSet<Key> oldKeys;
        oldKeys.reserve(oldEnd - head);
        for (qsizetype i = head; i < oldEnd; ++i) {
            const qsizetype before = oldKeys.size();
            oldKeys.insert(keyOf(m_rows[i]));
            if (oldKeys.size() == before)
                return false;
        }
        // The kept rows must appear in `next` in their current order.
        qsizetype kept = head + tail;
        qsizetype j = head;
        for (qsizetype i = head; i < oldEnd; ++i) {
            if (!nextKeys.contains(keyOf(m_rows[i])))
                continue;
            while (j < nextEnd && !(next[j].identity() == m_rows[i].identity()))
                ++j;
            if (j == nextEnd)
                return false;
            ++j;
            ++kept;
        }
        if (kept == 0)
            return false; // nothing in common: one reset is cheaper than removing and inserting everything

        // Removals from the end, one contiguous run at a time.
        for (qsizetype i = oldEnd - 1; i >= head;) {
            if (nextKeys.contains(keyOf(m_rows[i]))) {
                --i;
                continue;
            }
            qsizetype first = i;
            while (first > head && !nextKeys.contains(keyOf(m_rows[first - 1])))
                --first;
            beginRemoveRows(QModelIndex(), static_cast<int>(first), static_cast<int>(i));
            m_rows.remove(first, i - first + 1);
            endRemoveRows();
            i = first - 1;
        }
        // The rows left are in `next`'s order; everything before position i of `next` is in place.
        for (qsizetype i = head; i < nextEnd;) {
            if (oldKeys.contains(keyOf(next[i]))) {
                ++i;
                continue;
            }
            qsizetype last = i;
            while (last + 1 < nextEnd && !oldKeys.contains(keyOf(next[last + 1])))
                ++last;
            beginInsertRows(QModelIndex(), static_cast<int>(i), static_cast<int>(last));
            QList<Row> merged;
            merged.reserve(m_rows.size() + last - i + 1);
            merged.append(m_rows.first(i));
            merged.append(next.sliced(i, last - i + 1));
            merged.append(m_rows.sliced(i));
            m_rows = std::move(merged);
            endInsertRows();
            i = last + 1;
        }
        return true;
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
