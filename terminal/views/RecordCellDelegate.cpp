#include "terminal/views/RecordCellDelegate.h"

#include "display/Palette.h"
#include "display/Typography.h"
#include "terminal/RecordTableModel.h"
#include "terminal/views/StaleMark.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>

#include <cmath>

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

// A cell of one line of text, no icon and no check box (every cell of these tables), drawn as the style draws it:
// the background brush, then the text inset by the style's text margin, elided at the right and aligned as the
// model says. The style's own item drawing measures and lays out the text three times over; this shapes it twice
// (the elision's measure, the drawing), which a table of prices repainted on every print feels.
void RecordCellDelegate::paintPlainCell(QPainter* painter, const QStyleOptionViewItem& cell) const {
    const QStyle* style = cell.widget ? cell.widget->style() : QApplication::style();
    painter->save();
    painter->setClipRect(cell.rect);
    if (cell.backgroundBrush.style() != Qt::NoBrush) {
        painter->setBrushOrigin(cell.rect.topLeft());
        painter->fillRect(cell.rect, cell.backgroundBrush);
    }
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, cell.widget) + 1;
    const QRect textRect = cell.rect.adjusted(margin, 0, -margin, 0);
    const QPalette::ColorGroup group = !(cell.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (cell.state & QStyle::State_Active) ? QPalette::Normal
                                                                             : QPalette::Inactive;
    painter->setFont(cell.font);
    painter->setPen(cell.palette.color(group, QPalette::Text));
    const QFontMetricsF metrics(cell.font);
    const QString shown = metrics.elidedText(cell.text, cell.textElideMode, textRect.width());
    // The line's box is placed in whole pixels the way the style places its text layout, so rows keep their
    // baselines to the pixel.
    const qreal lineHeight = std::ceil(metrics.ascent() + metrics.descent()); // a text line's height, whole pixels
    const QRect line = QStyle::alignedRect(cell.direction, cell.displayAlignment & Qt::AlignVertical_Mask,
                                           QSize(textRect.width(), int(lineHeight)), textRect);
    const Qt::Alignment across =
        QStyle::visualAlignment(cell.direction, cell.displayAlignment) & Qt::AlignHorizontal_Mask;
    painter->drawText(QRectF(textRect.x(), line.y(), textRect.width(), lineHeight),
                      int(across | Qt::AlignTop) | Qt::TextSingleLine, shown);
    painter->restore();
}

void RecordCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const bool plain = !(cell.features & (QStyleOptionViewItem::HasDecoration |
                                          QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::Alternate)) &&
                       !cell.text.contains(QChar::LineSeparator) && !cell.text.contains(QLatin1Char('\n'));
    if (plain)
        paintPlainCell(painter, cell);
    else
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
