#include "terminal/views/DisplayHelpers.h"

#include <QFontMetricsF>
#include <QLabel>

namespace zqt {

MetricTile* metric(const QString& label, const QString& value, QWidget* parent) {
    return new MetricTile(label, value, parent);
}

Badge* badge(const QString& label, const QString& value, BadgeTone tone, QWidget* parent) {
    return new Badge(label, value, tone, parent);
}

namespace {

// Whether a one-line plain text fits the label's held size with a pixel to spare, measured by the font alone: far
// cheaper than the label's size hint, which for a selectable label lays out a whole text document.
bool fitsHeld(const QLabel& label, QSize held) {
    if (label.wordWrap() || label.textFormat() != Qt::PlainText || !label.pixmap().isNull() || label.indent() > 0 ||
        label.text().contains(QLatin1Char('\n')) || label.text().contains(QChar::LineSeparator))
        return false;
    const QFontMetricsF metrics(label.font());
    const QMargins frame = label.contentsMargins();
    const qreal width = metrics.horizontalAdvance(label.text()) + frame.left() + frame.right() + 2 * label.margin() + 1;
    const qreal height = metrics.height() + frame.top() + frame.bottom() + 2 * label.margin() + 1;
    return width <= held.width() && height <= held.height();
}

} // namespace

void holdGrownSize(QWidget* widget) {
    const QSize held = widget->minimumSize();
    const auto* label = qobject_cast<const QLabel*>(widget);
    if (label && widget->maximumSize() == held && fitsHeld(*label, held))
        return;
    const QSize needed = widget->sizeHint().expandedTo(held);
    if (needed != held || widget->maximumSize() != held)
        widget->setFixedSize(needed);
}

} // namespace zqt
