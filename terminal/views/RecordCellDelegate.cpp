#include "terminal/views/RecordCellDelegate.h"

#include "display/Palette.h"
#include "display/Typography.h"
#include "terminal/RecordTableModel.h"
#include "terminal/views/StaleMark.h"

#include <QAbstractItemView>
#include <QPainter>

namespace zqt {

namespace {

RowTint tintOf(const QModelIndex& index) {
    return static_cast<RowTint>(index.data(kRowTintRole).toInt());
}

} // namespace

void RecordCellDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    // The keyboard's row is framed whole in paint(); selection is never shown as a fill.
    option->state &= ~(QStyle::State_HasFocus | QStyle::State_Selected);
    switch (static_cast<CellFont>(index.data(kCellFontRole).toInt())) {
    case CellFont::Body:
        break;
    case CellFont::Caption:
        option->font = captionFont(option->font);
        break;
    case CellFont::Small:
        option->font = caption2Font(option->font);
        break;
    }
    switch (static_cast<CellTone>(index.data(kCellToneRole).toInt())) {
    case CellTone::Default:
        break;
    case CellTone::Positive:
        option->palette.setColor(QPalette::Text, positiveColor());
        break;
    case CellTone::Negative:
        option->palette.setColor(QPalette::Text, negativeColor());
        break;
    case CellTone::Secondary:
        option->palette.setColor(QPalette::Text, secondaryTextColor(option->palette));
        break;
    }
    // Data kept from the last good read while the reads fail: every text grey, tones included.
    if (option->widget && option->widget->property(kStaleProperty).toBool())
        option->palette.setColor(QPalette::Text, secondaryTextColor(option->palette));
    switch (tintOf(index)) {
    case RowTint::None:
        break;
    case RowTint::Mid:
    case RowTint::MidPicked:
        option->backgroundBrush = midRowColor();
        break;
    case RowTint::Picked:
        option->backgroundBrush = selectedRowColor();
        break;
    }
}

void RecordCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    const RowTint tint = tintOf(index);
    if (index.column() == 0 && (tint == RowTint::Picked || tint == RowTint::MidPicked)) {
        const QRect& r = option.rect;
        painter->fillRect(QRect(r.left(), r.top(), kPickBarWidth, r.height()), withOpacity(selectedRowColor(), 1.0));
    }
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    if (!view || !view->hasFocus() || view->currentIndex().row() != index.row())
        return;
    painter->save();
    QColor edge = option.palette.color(QPalette::Text);
    edge.setAlphaF(0.6);
    painter->setPen(QPen(edge, 1, Qt::DashLine));
    const QRect r = option.rect.adjusted(0, 0, -1, -1);
    painter->drawLine(r.topLeft(), r.topRight());
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    if (index.column() == 0)
        painter->drawLine(r.topLeft(), r.bottomLeft());
    if (index.column() == index.model()->columnCount() - 1)
        painter->drawLine(r.topRight(), r.bottomRight());
    painter->restore();
}

} // namespace zqt
