#include "terminal/views/CapsuleStrip.h"

#include "terminal/views/TradingLabels.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace zqt {

CapsuleStrip::CapsuleStrip(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CapsuleStrip::setShapes(const QList<Capsule>& shapes) {
    if (shapes == m_shapes)
        return;
    m_shapes = shapes;
    updateGeometry();
    update();
}

QSize CapsuleStrip::sizeHint() const {
    QRectF box;
    for (const Capsule& c : m_shapes)
        box = box.united(c.rect);
    return QSize(static_cast<int>(std::ceil(box.right())), static_cast<int>(std::ceil(box.bottom())));
}

void CapsuleStrip::paintCapsules(QPainter& painter, const QList<Capsule>& shapes) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (const Capsule& c : shapes) {
        const qreal radius = std::min(c.rect.width(), c.rect.height()) / 2.0;
        if (c.fromOpacity == c.toOpacity) {
            painter.setBrush(inkColor(c.ink, c.fromOpacity));
        } else {
            QLinearGradient fill(c.rect.topLeft(), c.rect.topRight());
            fill.setColorAt(0.0, inkColor(c.ink, c.fromOpacity));
            fill.setColorAt(1.0, inkColor(c.ink, c.toOpacity));
            painter.setBrush(fill);
        }
        painter.drawRoundedRect(c.rect, radius, radius);
    }
}

void CapsuleStrip::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    paintCapsules(p, m_shapes);
}

DepthHeatStrip::DepthHeatStrip(QWidget* parent) : CapsuleStrip(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void DepthHeatStrip::setRows(const QList<DepthHeatRow>& rows) {
    if (rows == m_rows)
        return;
    m_rows = rows;
    relayout();
}

void DepthHeatStrip::resizeEvent(QResizeEvent* event) {
    CapsuleStrip::resizeEvent(event);
    relayout();
}

void DepthHeatStrip::relayout() {
    const HeatStrip strip = heatStrip(m_rows, width());
    const int height = static_cast<int>(std::ceil(strip.height));
    if (minimumHeight() != height || maximumHeight() != height)
        setFixedHeight(height);
    setShapes(strip.shapes);
}

} // namespace zqt
