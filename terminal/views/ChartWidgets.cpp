#include "terminal/views/ChartWidgets.h"

#include "charts/ChartScales.h"
#include "terminal/views/ChartPainter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

namespace zqt {

ChartCanvas::ChartCanvas(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumWidth(64);
    setMouseTracking(true);
    updateOpaque();
}

// The image covers the whole widget and starts from a fill in the text-background colour: while that colour is
// opaque, nothing under the chart (the card, the scroll area holding it) is painted again with it.
void ChartCanvas::updateOpaque() {
    setAttribute(Qt::WA_OpaquePaintEvent, palette().color(QPalette::Base).alpha() == 255);
}

void ChartCanvas::setCrosshair(std::optional<std::size_t> index, std::optional<double> y) {
    if (index == m_crossIndex && y == m_crossY)
        return;
    const QRegion before = crosshairBounds();
    m_crossIndex = index;
    m_crossY = y;
    replanCrosshair();
    update(before.united(crosshairBounds()));
}

void ChartCanvas::replanCrosshair() {
    m_crosshair = crosshairPrimitives(m_plan, m_crossIndex, m_crossY);
}

// The strips the crosshair covers: a column round its vertical line, a row round its horizontal line, the tag.
QRegion ChartCanvas::crosshairBounds() const {
    QRegion strips;
    for (const ChartPrimitive& p : m_crosshair) {
        const QRectF r = p.kind == ChartPrimitive::Kind::Line   ? QRectF(p.p1, p.p2).normalized()
                         : p.kind == ChartPrimitive::Kind::Rect ? p.rect
                                                                : QRectF(p.p1 - QPointF(40, 8), QSizeF(80, 16));
        strips += r.adjusted(-2, -2, 2, 2).toAlignedRect();
    }
    return strips;
}

void ChartCanvas::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    if (const std::optional<std::size_t> slot = m_plan.slotAt(event->position().x()))
        emit pointerMoved(*slot, event->position().y());
}

void ChartCanvas::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    emit pointerLeft();
}

void ChartCanvas::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
        if (event->modifiers() & ~Qt::KeypadModifier)
            break;
        emit crosshairKey(event->key());
        event->accept();
        return;
    case Qt::Key_Escape:
        if (m_crossIndex) { // otherwise Escape is not the chart's
            emit crosshairKey(event->key());
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void ChartCanvas::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        updateOpaque();
        m_imageStale = true;
        update();
    }
}

void ChartCanvas::setFixedChartHeight(int height) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(height);
}

void ChartCanvas::setFlexibleChartHeight(int minimum) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumHeight(minimum);
    setMaximumHeight(QWIDGETSIZE_MAX);
}

void ChartCanvas::refresh() {
    replan(width(), m_plan);
    replanCrosshair();
    m_imageStale = true;
    update();
}

void ChartCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitHeight(height());
    replan(width(), m_plan);
    replanCrosshair();
    m_imageStale = true;
    emit resized();
}

void ChartCanvas::paintEvent(QPaintEvent* /*event*/) {
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * dpr).toSize();
    if (m_image.size() != pixels || m_image.devicePixelRatio() != dpr) {
        m_image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_image.setDevicePixelRatio(dpr);
        m_imageStale = true;
    }
    if (m_imageStale) {
        renderChartPlan(m_image, m_plan, palette());
        m_imageStale = false;
    }
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), m_image);
    paintChartOverlay(painter, m_plan, m_crosshair, palette());
}

CandleChartWidget::CandleChartWidget(double height, QWidget* parent) : ChartCanvas(parent) {
    m_view.height = height;
    setFixedChartHeight(static_cast<int>(height));
    refresh();
}

void CandleChartWidget::replan(double width, ChartPlan& plan) const {
    planCandleChart(m_view, width, plan);
    if (!m_priceLines.empty() && !m_view.candles.empty())
        planPriceLines(m_priceLines, candlePriceScale(m_view), plan);
}

VolumeChartWidget::VolumeChartWidget(QWidget* parent) : ChartCanvas(parent) {
    setFixedChartHeight(static_cast<int>(VolumeChartView::kHeight));
    refresh();
}

void VolumeChartWidget::replan(double width, ChartPlan& plan) const {
    planVolumeChart(m_view, width, plan);
}

RsiChartWidget::RsiChartWidget(QWidget* parent) : ChartCanvas(parent) {
    setFixedChartHeight(static_cast<int>(RsiChartView::kHeight));
    refresh();
}

void RsiChartWidget::replan(double width, ChartPlan& plan) const {
    planRsiChart(m_view, width, plan);
}

MacdChartWidget::MacdChartWidget(QWidget* parent) : ChartCanvas(parent) {
    setFixedChartHeight(static_cast<int>(MacdChartView::kHeight));
    refresh();
}

void MacdChartWidget::replan(double width, ChartPlan& plan) const {
    planMacdChart(m_view, width, plan);
}

} // namespace zqt
