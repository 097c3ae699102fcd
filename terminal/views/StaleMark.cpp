#include "terminal/views/StaleMark.h"

#include "display/Palette.h"
#include "display/Typography.h"
#include "terminal/views/PanelCard.h"

#include <QAbstractItemView>
#include <QVBoxLayout>

#include <utility>

namespace zqt {

StaleMark::StaleMark(std::function<ReadFreshness()> freshness, QList<QWidget*> greyed, QWidget* parent)
    : QLabel(parent), m_freshness(std::move(freshness)) {
    setTextFormat(Qt::PlainText);
    setFont(captionFont(font()));
    setForegroundRole(QPalette::WindowText); // coloured below, whatever background the card sits on
    QPalette p = palette();
    p.setColor(QPalette::WindowText, warningColor());
    setPalette(p);
    for (QWidget* w : greyed)
        m_greyed << w;
    hide();
    refresh();
}

void StaleMark::refresh() {
    const ReadFreshness f = m_freshness();
    const bool stale = f.stale();
    // Read on every poll: only a new text is set, so an unchanged mark neither lays out nor repaints its card.
    if (const QString shown = staleMarkText(f); shown != text()) {
        setText(shown);
        setAccessibleName(shown);
    }
    setToolTip(stale ? QStringLiteral("The last reads failed; the values shown are from the last good one.")
                     : QString());
    setVisible(stale);
    if (stale == m_stale)
        return;
    m_stale = stale;
    for (const QPointer<QWidget>& w : m_greyed)
        if (w)
            greyStaleText(w, stale);
}

StaleMark* addStaleMark(PanelCard& card, const QString& objectName, std::function<ReadFreshness()> freshness,
                        QList<QWidget*> greyed) {
    auto* mark = new StaleMark(std::move(freshness), std::move(greyed), &card);
    mark->setObjectName(objectName);
    card.column()->insertWidget(std::min(1, card.column()->count()), mark);
    return mark;
}

void greyStaleText(QWidget* widget, bool stale) {
    if (auto* view = qobject_cast<QAbstractItemView*>(widget)) {
        view->setProperty(kStaleProperty, stale);
        view->viewport()->update();
        return;
    }
    // A label draws its text in the role that contrasts with the background it sits on (which a card may change
    // later): both text roles are greyed, or restored from the parent's.
    QPalette p = widget->palette();
    const QWidget* parent = widget->parentWidget();
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, widget->foregroundRole()})
        p.setColor(role, stale    ? secondaryTextColor(widget->palette())
                         : parent ? parent->palette().color(role)
                                  : QPalette().color(role));
    widget->setPalette(p);
}

} // namespace zqt
