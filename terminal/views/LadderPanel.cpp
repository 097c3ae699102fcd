#include "terminal/views/LadderPanel.h"

#include "terminal/CellFormats.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/PanelRows.h"
#include "terminal/views/CapsuleStrip.h"
#include "terminal/views/CompactTable.h"
#include "terminal/views/DisplayHelpers.h"
#include "terminal/views/FlowRow.h"
#include "terminal/views/TradingLabels.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

namespace zqt {

LadderPanel::LadderPanel(NativeTerminalModel& model, QWidget* parent) : PanelCard(parent), m_model(model) {
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

    m_rows = new RecordTableModel<LadderRow>(ladderColumns(), &LadderRow::tint, this);
    m_table = new CompactTable(m_rows, {60, 80, 60}, QStringLiteral("Order ladder"), this);
    m_table->setObjectName(QStringLiteral("ladderTable"));
    m_table->setStartRow([this] { return pickedRow(); });
    column()->addWidget(m_table);

    m_heat = new DepthHeatStrip(this);
    m_heat->setObjectName(QStringLiteral("depthHeatStrip"));
    column()->addWidget(m_heat);

    connect(m_table, &QTableView::clicked, this, [this](const QModelIndex& i) { pickRow(i.row()); });
    connect(m_table, &QTableView::activated, this, [this](const QModelIndex& i) { pickRow(i.row()); });
    connect(&m_model, &NativeTerminalModel::depthChanged, this, &LadderPanel::updateBook);
    connect(&m_model, &NativeTerminalModel::selectedLadderPriceChanged, this, &LadderPanel::updateBook);
    connect(&m_model, &NativeTerminalModel::tapeChanged, this, &LadderPanel::updateDelta);
    updateBook();
    updateDelta();
}

void LadderPanel::updateBook() {
    const DepthSummary summary = m_model.depthSummary();
    m_imbalance->setValue(fmtPercent(summary.imbalance * 100.0), imbalanceTone(summary.imbalance));
    m_pressure->setValue(pressureLabel(summary.pressure), pressureTone(summary.pressure));

    const QList<LadderRow> rows = ladderRows(m_model.depthLevels(), m_model.selectedLadderPrice());
    m_rows->setRows(rows);
    m_table->fitHeight(kMaxListHeight);
    const bool empty = rows.isEmpty();
    m_empty->setVisible(empty);
    m_table->setVisible(!empty);
    m_heat->setRows(m_model.depthHeatRows());
}

void LadderPanel::updateDelta() {
    m_delta->setValue(fmtAmount(m_model.tapeDelta()), deltaTone(m_model.tapeDelta()));
}

void LadderPanel::pickRow(int row) {
    if (row >= 0 && row < m_rows->rows().size())
        m_model.selectLadderPrice(m_rows->rows()[row].price);
}

int LadderPanel::pickedRow() const {
    const QList<LadderRow>& rows = m_rows->rows();
    for (qsizetype i = 0; i < rows.size(); ++i)
        if (rows[i].tint == RowTint::Picked || rows[i].tint == RowTint::MidPicked)
            return static_cast<int>(i);
    return -1;
}

} // namespace zqt
