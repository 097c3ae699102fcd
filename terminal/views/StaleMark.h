#pragma once

#include "terminal/ReadFreshness.h"

#include <QLabel>
#include <QList>
#include <QPointer>

#include <functional>

namespace zqt {

class PanelCard;

// The name of the dynamic property that tells a view its data is stale: the record cell delegate then draws every
// cell's text in the secondary colour, whatever its tone.
inline constexpr char kStaleProperty[] = "zqtStale";

// "as of 12:03:04" (caption font, warning colour) under a panel's title while the data the panel shows is stale,
// hidden while it is fresh. While stale it also greys the text of the widgets it is given: labels through their
// palette, item views through kStaleProperty. refresh() reads the freshness again; the panel calls it on its
// model's freshness signal.
class StaleMark final : public QLabel {
    Q_OBJECT

public:
    StaleMark(std::function<ReadFreshness()> freshness, QList<QWidget*> greyed, QWidget* parent = nullptr);

    bool isStale() const { return m_stale; }
    void refresh();

private:
    std::function<ReadFreshness()> m_freshness;
    QList<QPointer<QWidget>> m_greyed;
    bool m_stale = false;
};

// A stale mark placed right under the card's title (the card's first item), named `objectName`.
StaleMark* addStaleMark(PanelCard& card, const QString& objectName, std::function<ReadFreshness()> freshness,
                        QList<QWidget*> greyed);

// Greys (or restores) the text of `widget`: a label's text colour, or an item view's cells through kStaleProperty.
void greyStaleText(QWidget* widget, bool stale);

} // namespace zqt
