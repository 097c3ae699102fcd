#include "terminal/views/LadderPanel.h"

#include "terminal/MarketModel.h"
#include "terminal/PanelRows.h"
#include "terminal/TicketModel.h"
#include "terminal/views/CapsuleStrip.h"
#include "terminal/views/CompactTable.h"
#include "terminal/views/DisplayHelpers.h"
#include "terminal/views/FlowRow.h"
#include "terminal/views/TextTableModel.h"
#include "terminal/views/TradingLabels.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

namespace zqt {

LadderPanel::LadderPanel(MarketModel& market, TicketModel& ticket, QWidget* parent)
    : PanelCard(parent), m_model(market), m_ticket(ticket) {
    setObjectName(QStringLiteral("ladderPanel"));
    setContentWidth(kContentWidth);
    addTitle(QStringLiteral("Order Ladder"));

    auto* badges = new FlowRow(8);
    m_imbalance = badge(QStringLiteral("Imbalance"), QString(), BadgeTone::neutral, this);
    m_imbalance->setObjectName(QStringLiteral("imbalanceBadge"));
    m_pressure = badge(QStringLiteral("Pressure"), QString(), BadgeTone::neutral, this);
    m_pressure->setObjectName(QStringLiteral("pressureBadge"));
    m_delta = badge(QStringLiteral("Delta"), QString(), BadgeTone::neutral, this);
    m_delta->setObjectName(QStringLiteral("ladderDeltaBadge"));
    for (Badge* b : {m_imbalance, m_pressure, m_delta})
        badges->addWidget(b);
    column()->addLayout(badges);

    m_empty = new QLabel(QStringLiteral("No ladder data"), this);
    m_empty->setObjectName(QStringLiteral("ladderEmptyLabel"));
    m_empty->setForegroundRole(QPalette::PlaceholderText);
    column()->addWidget(m_empty);

    const Qt::Alignment middle = Qt::AlignVCenter;
    m_rows = new TextTableModel({{QStringLiteral("Bid"), Qt::AlignLeft | middle},
                                 {QStringLiteral("Price"), Qt::AlignHCenter | middle},
                                 {QStringLiteral("Ask"), Qt::AlignRight | middle}},
                                this);
    m_table = compactTable(m_rows, {60, 80, 60}, QStringLiteral("Order ladder"), this);
    m_table->setObjectName(QStringLiteral("ladderTable"));
    column()->addWidget(m_table);

    m_heat = new DepthHeatStrip(this);
    m_heat->setObjectName(QStringLiteral("depthHeatStrip"));
    column()->addWidget(m_heat);

    connect(m_table, &QTableView::clicked, this, [this](const QModelIndex& i) { pickRow(i.row()); });
    connect(m_table, &QTableView::activated, this, [this](const QModelIndex& i) { pickRow(i.row()); });
    connect(&m_model, &MarketModel::depthChanged, this, &LadderPanel::updateBook);
    connect(&m_model, &MarketModel::selectedLadderPriceChanged, this, &LadderPanel::updateBook);
    connect(&m_model, &MarketModel::tapeChanged, this, &LadderPanel::updateDelta);
    updateBook();
    updateDelta();
}

void LadderPanel::updateBook() {
    const DepthSummary summary = m_model.depthSummary();
    m_imbalance->setValue(QString::asprintf("%.1f%%", summary.imbalance * 100.0), imbalanceTone(summary.imbalance));
    m_pressure->setValue(pressureLabel(summary.pressure), pressureTone(summary.pressure));

    const QList<LadderRow> rows = ladderRows(m_model.depthLevels(), m_model.selectedLadderPrice());
    QList<TextTableModel::Row> cells;
    cells.reserve(rows.size());
    m_prices.clear();
    for (const LadderRow& r : rows) {
        std::optional<QColor> tint;
        if (r.highlight == LadderHighlight::Mid)
            tint = midRowColor();
        else if (r.highlight == LadderHighlight::Selected)
            tint = selectedRowColor();
        cells.append({{{r.bidText, positiveColor(), std::nullopt},
                       {r.priceText, std::nullopt, std::nullopt},
                       {r.askText, negativeColor(), std::nullopt}},
                      tint});
        m_prices.append(r.price);
    }
    m_rows->setRows(std::move(cells));
    fitTableHeight(m_table, kMaxListHeight);
    const bool empty = rows.isEmpty();
    m_empty->setVisible(empty);
    m_table->setVisible(!empty);
    m_heat->setRows(m_model.depthHeatRows());
}

void LadderPanel::updateDelta() {
    m_delta->setValue(QString::asprintf("%.2f", m_model.tapeDelta()), deltaTone(m_model.tapeDelta()));
}

void LadderPanel::pickRow(int row) {
    if (row >= 0 && row < m_prices.size())
        m_ticket.selectLadderPrice(m_prices[row]);
}

} // namespace zqt
