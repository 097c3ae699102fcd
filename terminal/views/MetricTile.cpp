#include "terminal/views/MetricTile.h"

#include "terminal/views/DisplayHelpers.h"

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
    setAccessibleDescription(shownText(value, kWholeTextChars));
}

void MetricTile::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 8, 8);
    p.fillPath(path, palette().color(QPalette::Base));
}

} // namespace zqt
