#include "terminal/views/PanelCard.h"

#include "terminal/views/DisplayHelpers.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace zqt {

PanelCard::PanelCard(QWidget* parent, int spacing) : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    m_column->setSpacing(spacing);
    m_column->setAlignment(Qt::AlignTop | Qt::AlignLeft);
}

void PanelCard::setContentMaximumWidth(int width) {
    setMaximumWidth(width + 2 * kPadding);
}

void PanelCard::setContentWidth(int width) {
    setFixedWidth(width + 2 * kPadding);
}

QLabel* PanelCard::addTitle(const QString& text) {
    auto* title = new QLabel(text, this);
    title->setFont(headlineFont(font()));
    title->setAccessibleName(text);
    m_column->addWidget(title);
    return title;
}

void PanelCard::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(r, kRadius, kRadius);
    QColor edge = palette().color(QPalette::WindowText);
    edge.setAlphaF(0.12);
    p.setPen(QPen(edge, 1));
    p.setBrush(palette().color(QPalette::Window));
    p.drawPath(path);
}

} // namespace zqt
