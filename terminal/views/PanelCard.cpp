#include "terminal/views/PanelCard.h"

#include "terminal/views/CompactTable.h"
#include "terminal/views/DisplayHelpers.h"
#include "terminal/views/FlowRow.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QSpacerItem>
#include <QTableView>
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
    setWindowTitle(text);
    m_column->addWidget(title);
    return title;
}

void PanelCard::stretchAcross() {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_column->setAlignment(Qt::AlignTop);
}

FlowRow* PanelCard::addBadgeRow(int spacing) {
    auto* row = new FlowRow(spacing);
    m_column->addLayout(row);
    return row;
}

Badge* PanelCard::addBadge(FlowRow* row, const QString& objectName, const QString& label, BadgeTone tone) {
    Badge* b = badge(label, QString(), tone, this);
    b->setObjectName(objectName);
    row->addWidget(b);
    return b;
}

QLabel* PanelCard::addEmptyHint(const QString& objectName, const QString& text) {
    auto* hint = new QLabel(text, this);
    hint->setObjectName(objectName);
    hint->setForegroundRole(QPalette::PlaceholderText); // secondary text, following the palette
    m_column->addWidget(hint);
    return hint;
}

CompactTable* PanelCard::addCompactTable(const QString& objectName, QAbstractItemModel* model,
                                         const QList<int>& columnWidths, const QString& label) {
    auto* table = new CompactTable(model, columnWidths, label, this);
    table->setObjectName(objectName);
    m_column->addWidget(table);
    m_body = table;
    return table;
}

RecordTableView* PanelCard::addTable(RecordTableView* view, const QString& objectName) {
    view->setObjectName(objectName);
    m_column->addWidget(view);
    m_body = view;
    return view;
}

void PanelCard::setFillsHeight(bool fill) {
    m_fillsHeight = fill;
    if (auto* compact = qobject_cast<CompactTable*>(m_body))
        compact->setFillsHeight(fill, m_fillRows);
    else if (auto* record = qobject_cast<RecordTableView*>(m_body))
        record->setFillsHeight(fill, m_fillRows);
    if (m_body)
        m_column->setStretchFactor(m_body, fill ? 1 : 0);
    // What the card's rows leave goes under them (to the table when shown, else to the card's foot).
    if (fill && !m_foot) {
        m_foot = new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding);
        m_column->addSpacerItem(m_foot);
    } else if (!fill && m_foot) {
        m_column->removeItem(m_foot);
        delete m_foot;
        m_foot = nullptr;
    }
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
