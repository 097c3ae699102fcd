#pragma once

#include "terminal/views/KeyboardRowTable.h"

#include <functional>

namespace zqt {

// A read-only table view for the trading panels' short lists: no grid, no row numbers, no editing, the given
// column widths, rows as tall as their text plus the padding, reachable with Tab and read by assistive
// technology as a table with its column headers. Cells are drawn by RecordCellDelegate from a record table's
// roles; the keyboard's current row is the only thing the selection model holds, and nothing is selected.
class CompactTable final : public KeyboardRowTable {
    Q_OBJECT

public:
    CompactTable(QAbstractItemModel* model, const QList<int>& columnWidths, const QString& accessibleName,
                 QWidget* parent = nullptr);

    // Where the keyboard's moves (Up, Down, and the first row Tab lands on) start while it has no current row
    // (none yet, or the rows were replaced): the row `row()` gives, when it gives one (a negative row: none).
    void setStartRow(std::function<int()> row) { m_startRow = std::move(row); }
    // Makes the table as tall as its rows need, at most `maxHeight`; it scrolls beyond. While it fills its
    // card's height, the rows change nothing.
    void fitHeight(int maxHeight);
    // Takes any height its card gives, at least its header and `rows` rows (true), or fits its rows again.
    void setFillsHeight(bool fill, int rows);
    // While filling, no more than its least height: the card asks for no more than it needs.
    QSize sizeHint() const override;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    std::function<int()> m_startRow;
    int m_maxHeight = -1; // the last fitHeight's, -1 before any
    bool m_fills = false;
};

} // namespace zqt
