#include "terminal/views/ChartWidgets.h"

#include "terminal/views/ChartPainter.h"

#include <QPainter>
#include <QResizeEvent>

namespace zqt {

ChartCanvas::ChartCanvas(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumWidth(64);
}

void ChartCanvas::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        m_imageStale = true;
        update();
    }
}

void ChartCanvas::refresh() {
    replan(width(), m_plan);
    m_imageStale = true;
    update();
}

void ChartCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    replan(width(), m_plan);
    m_imageStale = true;
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
}

CandleChartWidget::CandleChartWidget(double height, QWidget* parent) : ChartCanvas(parent) {
    m_view.height = height;
    setFixedHeight(static_cast<int>(height));
    refresh();
}

void CandleChartWidget::replan(double width, ChartPlan& plan) const {
    planCandleChart(m_view, width, plan);
    if (!m_priceLines.empty() && !m_view.candles.empty())
        planPriceLines(m_priceLines, candlePriceScale(m_view), plan);
}

VolumeChartWidget::VolumeChartWidget(QWidget* parent) : ChartCanvas(parent) {
    setFixedHeight(static_cast<int>(VolumeChartView::kHeight));
    refresh();
}

void VolumeChartWidget::replan(double width, ChartPlan& plan) const {
    planVolumeChart(m_view, width, plan);
}

RsiChartWidget::RsiChartWidget(QWidget* parent) : ChartCanvas(parent) {
    setFixedHeight(static_cast<int>(RsiChartView::kHeight));
    refresh();
}

void RsiChartWidget::replan(double width, ChartPlan& plan) const {
    planRsiChart(m_view, width, plan);
}

MacdChartWidget::MacdChartWidget(QWidget* parent) : ChartCanvas(parent) {
    setFixedHeight(static_cast<int>(MacdChartView::kHeight));
    refresh();
}

void MacdChartWidget::replan(double width, ChartPlan& plan) const {
    planMacdChart(m_view, width, plan);
}

} // namespace zqt
