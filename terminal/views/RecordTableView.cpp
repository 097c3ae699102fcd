#include "terminal/views/RecordTableView.h"

#include "terminal/RecordTableModel.h"
#include "terminal/views/DisplayHelpers.h"
#include "terminal/views/RecordCellDelegate.h"

#include <QHeaderView>
#include <QScrollBar>

namespace zqt {

RecordTableView::RecordTableView(QAbstractItemModel* model, const QString& accessibleName, int height, QWidget* parent)
    : KeyboardRowTable(parent) {
    // Cells hold the engine's texts: shown plain (as every item view does) and cut, whole in their tooltips.
    setModel(new PlainTextProxyModel(model, kShortTextChars, this));
    setAccessibleName(accessibleName);
    setItemDelegate(new RecordCellDelegate(this));
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::StrongFocus); // reachable by Tab; arrow keys then walk the cells for a screen reader
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setCornerButtonEnabled(false); // nothing to select
    setWordWrap(false);            // one line per row; a long cell is elided
    verticalHeader()->hide();
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setSortIndicatorShown(false);
    horizontalHeader()->setHighlightSections(false);
    // The columns share the table's width: a narrow window narrows them (long cells are elided) instead of
    // pushing the page wider than the window.
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    horizontalHeader()->setMinimumSectionSize(kMinimumColumnWidth);
    m_height = height;
    setFixedHeight(height);
    const int chrome = verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
    m_preferredWidth = horizontalHeader()->defaultSectionSize() * horizontalHeader()->count() + chrome;
    setMinimumWidth(kMinimumColumnWidth * horizontalHeader()->count() + chrome);
}

QSize RecordTableView::sizeHint() const {
    return {m_preferredWidth, maximumHeight() == m_height ? m_height : minimumHeight()};
}

void RecordTableView::setFillsHeight(bool fill, int rows) {
    if (fill) {
        setMinimumHeight(horizontalHeader()->sizeHint().height() + rows * verticalHeader()->defaultSectionSize() +
                         2 * frameWidth());
        setMaximumHeight(QWIDGETSIZE_MAX);
    } else {
        setFixedHeight(m_height);
    }
}

} // namespace zqt
