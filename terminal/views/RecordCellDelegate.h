#pragma once

#include <QStyledItemDelegate>

namespace zqt {

// Draws the cells of the terminal's record tables from the model's roles: the text in its CellTone's colour and
// CellFont's size, the row in its RowTint. A picked row is tinted blue with a solid blue bar along its leading edge
// (the bar alone over the mid level's yellow), so it reads apart from the mid level and from the keyboard's row.
// The keyboard's current row, while the table has the focus, gets a thin dashed frame in the text colour instead of
// the style's focus rectangle around one cell; nothing is ever filled as selected.
class RecordCellDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int kPickBarWidth = 3;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    void paintPlainCell(QPainter* painter, const QStyleOptionViewItem& cell) const;
};

} // namespace zqt
