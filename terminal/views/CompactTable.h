#pragma once

#include <QList>

class QTableView;
class QWidget;

namespace zqt {

class TextTableModel;

// A read-only table view for the trading panels' short lists: no grid, no row numbers, no editing, the given
// column widths, rows as tall as their text plus the padding, reachable with Tab and read by assistive
// technology as a table with its column headers.
QTableView* compactTable(TextTableModel* model, const QList<int>& columnWidths, const QString& accessibleName,
                         QWidget* parent);
// Makes the table as tall as its rows need, at most `maxHeight`; it scrolls beyond.
void fitTableHeight(QTableView* table, int maxHeight);

} // namespace zqt
