#include "terminal/views/LadderPanel.h"

#include "terminal/AccountModel.h"
#include "terminal/CellFormats.h"
#include "terminal/MarketModel.h"
#include "terminal/PanelRows.h"
#include "terminal/TicketModel.h"
#include "terminal/views/CapsuleStrip.h"
#include "terminal/views/CompactTable.h"
#include "terminal/views/DisplayHelpers.h"
#include "terminal/views/FlowRow.h"
#include "terminal/views/StaleMark.h"
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

    FlowRow* badges = addBadgeRow(8);
    m_imbalance = addBadge(badges, QStringLiteral("imbalanceBadge"), QStringLiteral("Imbalance"), BadgeTone::neutral);
    m_pressure = addBadge(badges, QStringLiteral("pressureBadge"), QStringLiteral("Pressure"), BadgeTone::neutral);
    m_delta = addBadge(badges, QStringLiteral("ladderDeltaBadge"), QStringLiteral("Delta"), BadgeTone::neutral);
    m_empty = addEmptyHint(QStringLiteral("ladderEmptyLabel"), QStringLiteral("No ladder data"));
    m_rows = new RecordTableModel<LadderRow>(ladderColumns(), &LadderRow::tint, this);
    m_table = addCompactTable(QStringLiteral("ladderTable"), m_rows, {50, 70, 50, 80}, QStringLiteral("Order ladder"));
    m_table->setStartRow([this] { return pickedRow(); });
    // In a dock, the book keeps this many rows in view; a low dock scrolls the heat strip under it away first.
    setFillRows(kFillBookRows);

    m_heat = new DepthHeatStrip(this);
    m_heat->setObjectName(QStringLiteral("depthHeatStrip"));
    column()->addWidget(m_heat);

    m_stale =
        addStaleMark(*this, QStringLiteral("ladderStaleMark"), [this] { return m_model.depthFreshness(); }, {m_table});
    connect(&m_model, &MarketModel::freshnessChanged, m_stale, &StaleMark::refresh);

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
    m_imbalance->setValue(fmtPercent(summary.imbalance * 100.0), imbalanceTone(summary.imbalance));
    m_pressure->setValue(pressureLabel(summary.pressure), pressureTone(summary.pressure));

    QList<LadderRow> rows = ladderRows(m_model.depthLevels(), m_model.selectedLadderPrice());
    if (m_account)
        markLadderRows(rows, priceMarks(m_model.selectedSymbol(), m_account->orders(), m_account->positions()),
                       m_model.inferredTickSize());
    m_rows->setRows(rows);
    m_table->fitHeight(kMaxListHeight);
    const bool empty = rows.isEmpty();
    m_empty->setVisible(empty);
    m_table->setVisible(!empty);
    m_heat->setRows(m_model.depthHeatRows());
}

void LadderPanel::showOwnMarks(const AccountModel& account) {
    m_account = &account;
    connect(&account, &AccountModel::ordersChanged, this, &LadderPanel::updateBook);
    connect(&account, &AccountModel::positionsChanged, this, &LadderPanel::updateBook);
    updateBook();
}

void LadderPanel::updateDelta() {
    m_delta->setValue(fmtAmount(m_model.tapeDelta()), deltaTone(m_model.tapeDelta()));
}

void LadderPanel::pickRow(int row) {
    if (row >= 0 && row < m_rows->rows().size())
        m_ticket.selectLadderPrice(m_rows->rows()[row].price);
}

int LadderPanel::pickedRow() const {
    const QList<LadderRow>& rows = m_rows->rows();
    for (qsizetype i = 0; i < rows.size(); ++i)
        if (rows[i].tint == RowTint::Picked || rows[i].tint == RowTint::MidPicked)
            return static_cast<int>(i);
    return -1;
}

} // namespace zqt
