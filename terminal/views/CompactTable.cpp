#include "terminal/views/CompactTable.h"

#include "display/PlainText.h"
#include "terminal/views/RecordCellDelegate.h"

#include <QHeaderView>

namespace zqt {

CompactTable::CompactTable(QAbstractItemModel* model, const QList<int>& columnWidths, const QString& accessibleName,
                           QWidget* parent)
    : KeyboardRowTable(parent) {
    setModel(new PlainTextProxyModel(model, kShortTextChars, this));
    setItemDelegate(new RecordCellDelegate(this));
    setAccessibleName(accessibleName);
    setShowGrid(false);
    setFrameShape(QFrame::NoFrame);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setFocusPolicy(Qt::StrongFocus);
    setWordWrap(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8); // 4 above and below
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setStretchLastSection(true);
    int width = 0;
    for (int i = 0; i < columnWidths.size(); ++i) {
        setColumnWidth(i, columnWidths[i]);
        width += columnWidths[i];
    }
    setMinimumWidth(width);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CompactTable::fitHeight(int maxHeight) {
    m_maxHeight = maxHeight;
    if (m_fills)
        return;
    const int rows = model()->rowCount();
    const int content = horizontalHeader()->height() + rows * verticalHeader()->defaultSectionSize();
    const int height = std::min(maxHeight, content);
    if (this->height() != height || minimumHeight() != height)
        setFixedHeight(height);
}

void CompactTable::setFillsHeight(bool fill, int rows) {
    if (fill == m_fills)
        return;
    m_fills = fill;
    if (fill) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        setMinimumHeight(horizontalHeader()->sizeHint().height() + rows * verticalHeader()->defaultSectionSize());
        setMaximumHeight(QWIDGETSIZE_MAX);
    } else {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setMinimumHeight(0);
        if (m_maxHeight >= 0)
            fitHeight(m_maxHeight);
    }
}

QSize CompactTable::sizeHint() const {
    QSize hint = KeyboardRowTable::sizeHint();
    if (m_fills)
        hint.setHeight(minimumHeight());
    return hint;
}

QModelIndex CompactTable::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    if (!currentIndex().isValid() && m_startRow) {
        const int start = m_startRow();
        if (start >= 0 && start < model()->rowCount())
            selectionModel()->setCurrentIndex(model()->index(start, 0), QItemSelectionModel::NoUpdate);
    }
    return QTableView::moveCursor(action, modifiers);
}

} // namespace zqt
