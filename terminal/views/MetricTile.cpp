#include "terminal/views/MetricTile.h"

#include "display/Palette.h"
#include "terminal/views/DisplayHelpers.h"

#include <QEvent>

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace zqt {

MetricTile::MetricTile(const QString& label, const QString& value, QWidget* parent) : QFrame(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(2);
    m_label = new QLabel(label, this);
    m_label->setObjectName(QStringLiteral("metricLabel"));
    m_label->setFont(captionFont(font()));
    m_label->setForegroundRole(QPalette::PlaceholderText); // secondary text, following the palette
    m_value = new QLabel(this);
    m_value->setObjectName(QStringLiteral("metricValue"));
    m_value->setFont(headlineFont(font()));
    m_value->setForegroundRole(QPalette::WindowText); // coloured in updateValueColor, whatever the background
    m_value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_label);
    column->addWidget(m_value);
    setAccessibleName(label);
    setValue(value);
}

QString MetricTile::label() const {
    return m_label->text();
}

QString MetricTile::value() const {
    return m_value->text();
}

// The value may come from the engine: plain text, cut to a tile's width, whole in the tooltip and description.
void MetricTile::setValue(const QString& value) {
    showPlainText(m_value, value, kShortTextChars);
    holdGrownSize(m_value); // a value that changes with every tick lays out nothing while it fits
    setAccessibleDescription(shownText(value, kWholeTextChars));
}

void MetricTile::setTone(CellTone tone) {
    if (m_tone == tone)
        return;
    m_tone = tone;
    updateValueColor();
}

void MetricTile::setAlert(bool alert) {
    if (m_alert == alert)
        return;
    m_alert = alert;
    update();
}

void MetricTile::setStale(bool stale) {
    if (m_stale == stale)
        return;
    m_stale = stale;
    updateValueColor();
}

QColor MetricTile::valueColor() const {
    return m_value->palette().color(m_value->foregroundRole());
}

void MetricTile::updateValueColor() {
    QPalette p = m_value->palette();
    QColor color = palette().color(QPalette::WindowText);
    if (m_stale)
        color = secondaryTextColor(palette());
    else if (m_tone == CellTone::Positive)
        color = positiveColor();
    else if (m_tone == CellTone::Negative)
        color = negativeColor();
    else if (m_tone == CellTone::Secondary)
        color = secondaryTextColor(palette());
    p.setColor(QPalette::WindowText, color);
    m_value->setPalette(p);
}

void MetricTile::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateValueColor();
}

void MetricTile::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    path.addRoundedRect(box, 8, 8);
    p.fillPath(path, palette().color(QPalette::Base));
    if (!m_alert)
        return;
    // Over the limit: a red tint and a red rim.
    p.fillPath(path, withOpacity(negativeColor(), 0.18));
    p.setPen(QPen(negativeColor(), 1));
    p.drawPath(path);
}

} // namespace zqt
