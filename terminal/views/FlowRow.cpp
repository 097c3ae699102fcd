#include "terminal/views/FlowRow.h"

#include <QWidget>

#include <algorithm>

namespace zqt {

FlowRow::FlowRow(int spacing, QWidget* parent) : QLayout(parent), m_gap(spacing) {
    setContentsMargins(0, 0, 0, 0);
}

FlowRow::~FlowRow() {
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void FlowRow::addItem(QLayoutItem* item) {
    m_items.append(item);
}

int FlowRow::count() const {
    return static_cast<int>(m_items.size());
}

QLayoutItem* FlowRow::itemAt(int index) const {
    return index >= 0 && index < m_items.size() ? m_items[index] : nullptr;
}

QLayoutItem* FlowRow::takeAt(int index) {
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

Qt::Orientations FlowRow::expandingDirections() const {
    return {};
}

bool FlowRow::hasHeightForWidth() const {
    return true;
}

int FlowRow::heightForWidth(int width) const {
    return arrange(QRect(0, 0, width, 0), false);
}

QSize FlowRow::minimumSize() const {
    // As narrow as the widest item: everything else can move to a line of its own.
    QSize size;
    for (const QLayoutItem* item : m_items)
        if (!item->isEmpty())
            size = size.expandedTo(item->sizeHint());
    return size;
}

QSize FlowRow::sizeHint() const {
    int width = 0;
    int height = 0;
    for (const QLayoutItem* item : m_items) {
        if (item->isEmpty())
            continue;
        width += (width > 0 ? m_gap : 0) + item->sizeHint().width();
        height = std::max(height, item->sizeHint().height());
    }
    return {width, height};
}

void FlowRow::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int FlowRow::arrange(const QRect& rect, bool apply) const {
    // Lines of items that fit the width, each item at its preferred size, centred on its line's height.
    QList<QList<QLayoutItem*>> lines(1);
    int x = 0;
    for (QLayoutItem* item : m_items) {
        if (item->isEmpty())
            continue;
        const int w = item->sizeHint().width();
        if (x > 0 && x + m_gap + w > rect.width()) {
            lines.append(QList<QLayoutItem*>());
            x = 0;
        }
        x += (x > 0 ? m_gap : 0) + w;
        lines.last().append(item);
    }
    int y = rect.y();
    bool first = true;
    for (const auto& line : lines) {
        if (line.isEmpty())
            continue;
        int lineHeight = 0;
        for (const QLayoutItem* item : line)
            lineHeight = std::max(lineHeight, item->sizeHint().height());
        if (!first)
            y += m_gap;
        first = false;
        int lx = rect.x();
        for (QLayoutItem* item : line) {
            const QSize s = item->sizeHint();
            if (apply)
                item->setGeometry(QRect(lx, y + (lineHeight - s.height()) / 2, s.width(), s.height()));
            lx += s.width() + m_gap;
        }
        y += lineHeight;
    }
    return y - rect.y();
}

} // namespace zqt
