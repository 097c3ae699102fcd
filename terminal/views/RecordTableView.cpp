#include "terminal/views/RecordTableView.h"

#include "terminal/RecordTableModel.h"
#include "terminal/views/DisplayHelpers.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace zqt {

namespace {

// Colours a cell's text by its tone; cells in the default tone are drawn as the style draws them.
class ToneDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        QColor colour;
        switch (static_cast<CellTone>(index.data(kCellToneRole).toInt())) {
        case CellTone::Default:
            return;
        case CellTone::Positive:
            colour = positiveColor();
            break;
        case CellTone::Negative:
            colour = negativeColor();
            break;
        case CellTone::Secondary:
            colour = secondaryTextColor(option->palette);
            break;
        }
        option->palette.setColor(QPalette::Text, colour);
    }
};

} // namespace

RecordTableView::RecordTableView(QAbstractItemModel* model, const QString& accessibleName, int height, QWidget* parent)
    : QTableView(parent) {
    // Cells hold the engine's texts: shown plain (as every item view does) and cut, whole in their tooltips.
    setModel(new PlainTextProxyModel(model, kShortTextChars, this));
    setAccessibleName(accessibleName);
    setItemDelegate(new ToneDelegate(this));
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
    setFixedHeight(height);
    const int chrome = verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
    m_preferredWidth = horizontalHeader()->defaultSectionSize() * horizontalHeader()->count() + chrome;
    setMinimumWidth(kMinimumColumnWidth * horizontalHeader()->count() + chrome);
}

QSize RecordTableView::sizeHint() const {
    return {m_preferredWidth, height()};
}

} // namespace zqt
