#include "terminal/views/DisplayHelpers.h"

#include <QFontMetricsF>
#include <QLabel>

#include <cmath>

namespace zqt {

MetricTile* metric(const QString& label, const QString& value, QWidget* parent) {
    return new MetricTile(label, value, parent);
}

Badge* badge(const QString& label, const QString& value, BadgeTone tone, QWidget* parent) {
    return new Badge(label, value, tone, parent);
}

namespace {

// Whether a one-line plain text fits the width the label holds, measured by the font alone: far cheaper than the
// label's size hint, which for a selectable label lays out a whole text document. The height of one line in the
// label's font is the height it holds already, as long as no character needs another font.
bool fitsHeld(const QLabel& label, QSize held) {
    const QString& text = label.text();
    if (label.wordWrap() || label.textFormat() != Qt::PlainText || !label.pixmap().isNull() || label.indent() > 0 ||
        text.contains(QLatin1Char('\n')) || text.contains(QChar::LineSeparator))
        return false;
    const QFontMetricsF metrics(label.font());
    for (const QChar c : text)
        if (!metrics.inFont(c))
            return false;
    const QMargins frame = label.contentsMargins();
    const qreal width = std::ceil(metrics.horizontalAdvance(text)) + frame.left() + frame.right() + 2 * label.margin();
    return width <= held.width() && std::ceil(metrics.height()) <= held.height();
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
