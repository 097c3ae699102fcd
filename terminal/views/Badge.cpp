#include "terminal/views/Badge.h"

#include "terminal/views/DisplayHelpers.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace zqt {

Badge::Badge(const QString& label, const QString& value, BadgeTone tone, QWidget* parent)
    : QFrame(parent), m_tone(tone) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 4);
    row->setSpacing(4);
    m_label = new QLabel(label.toUpper(), this);
    m_label->setFont(caption2Font(font()));
    m_label->setForegroundRole(QPalette::WindowText); // coloured below, whatever background the badge sits on
    m_value = new QLabel(this);
    showPlainText(m_value, value, kShortTextChars);
    m_value->setFont(captionFont(font()));
    m_value->setForegroundRole(QPalette::WindowText);
    row->addWidget(m_label, 0, Qt::AlignVCenter);
    row->addWidget(m_value, 0, Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    setAccessibleName(label);
    setAccessibleDescription(shownText(value, kWholeTextChars));
    applyColours();
    holdGrownSize(m_value);
}

QString Badge::label() const {
    return m_label->text();
}

QString Badge::value() const {
    return m_value->text();
}

void Badge::setValue(const QString& value, BadgeTone tone) {
    if (shownText(value, kShortTextChars) == m_value->text() && tone == m_tone)
        return; // nothing to redraw
    showPlainText(m_value, value, kShortTextChars);
    holdGrownSize(m_value); // a value that changes with every tick lays out nothing while it fits
    setAccessibleDescription(shownText(value, kWholeTextChars));
    m_tone = tone;
    applyColours();
}

QColor Badge::toneColor(BadgeTone tone, const QPalette& palette) {
    switch (tone) {
    case BadgeTone::positive:
        return positiveColor();
    case BadgeTone::negative:
        return negativeColor();
    case BadgeTone::neutral:
        break;
    }
    return secondaryTextColor(palette);
}

void Badge::applyColours() {
    QPalette lp = m_label->palette();
    lp.setColor(QPalette::WindowText, secondaryTextColor(palette()));
    m_label->setPalette(lp);
    QPalette vp = m_value->palette();
    vp.setColor(QPalette::WindowText, toneColor(m_tone, palette()));
    m_value->setPalette(vp);
}

void Badge::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColours();
}

void Badge::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    const qreal radius = height() / 2.0; // fully round ends
    path.addRoundedRect(QRectF(rect()), radius, radius);
    p.fillPath(path, palette().color(QPalette::Base));
}

} // namespace zqt
