#include "terminal/views/CompactTable.h"

#include "terminal/views/TextTableModel.h"

#include <QHeaderView>
#include <QTableView>

namespace zqt {

QTableView* compactTable(TextTableModel* model, const QList<int>& columnWidths, const QString& accessibleName,
                         QWidget* parent) {
    auto* table = new QTableView(parent);
    table->setModel(model);
    model->setParent(table);
    table->setAccessibleName(accessibleName);
    table->setShowGrid(false);
    table->setFrameShape(QFrame::NoFrame);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::StrongFocus);
    table->setWordWrap(false);
    table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8); // 4 above and below
    table->horizontalHeader()->setHighlightSections(false);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->horizontalHeader()->setStretchLastSection(true);
    int width = 0;
    for (int i = 0; i < columnWidths.size(); ++i) {
        table->setColumnWidth(i, columnWidths[i]);
        width += columnWidths[i];
    }
    table->setMinimumWidth(width);
    table->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return table;
}

void fitTableHeight(QTableView* table, int maxHeight) {
    const int rows = table->model()->rowCount();
    const int content = table->horizontalHeader()->height() + rows * table->verticalHeader()->defaultSectionSize();
    const int height = std::min(maxHeight, content);
    if (table->height() != height || table->minimumHeight() != height)
        table->setFixedHeight(height);
}

} // namespace zqt
