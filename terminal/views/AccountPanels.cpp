#include "terminal/views/AccountPanels.h"

#include "terminal/AccountModel.h"
#include "terminal/AccountTables.h"
#include "terminal/views/DisplayHelpers.h"
#include "terminal/views/ExposureHeatGrid.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace zqt {

PortfolioPanel::PortfolioPanel(AccountModel& model, QWidget* parent) : PanelCard(parent) {
    const QString title = QStringLiteral("Portfolio Summary");
    setObjectName(QStringLiteral("portfolioPanel"));
    addTitle(title);
    auto* total = new QLabel(this);
    total->setObjectName(QStringLiteral("totalUplLabel"));
    total->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const auto showTotal = [total, &model] {
        total->setText(QStringLiteral("Total UPL: ") + fmtCurrency(model.totalUpl()));
    };
    showTotal();
    connect(&model, &AccountModel::portfolioChanged, total, showTotal);
    column()->addWidget(total);
    addRecordTable(QStringLiteral("exposureTable"), title, 180, exposureColumns(), model,
                   &AccountModel::portfolioChanged, [&model] { return model.exposure(); });
}

PositionsPanel::PositionsPanel(AccountModel& model, QWidget* parent) : PanelCard(parent) {
    const QString title = QStringLiteral("Open Trades");
    setObjectName(QStringLiteral("positionsPanel"));
    addTitle(title);
    addRecordTable(QStringLiteral("positionsTable"), title, 200, positionColumns(), model,
                   &AccountModel::positionsChanged, [&model] { return model.positions(); });
}

OrdersPanel::OrdersPanel(AccountModel& model, QWidget* parent) : PanelCard(parent) {
    const QString title = QStringLiteral("Orders");
    setObjectName(QStringLiteral("ordersPanel"));
    addTitle(title);
    addRecordTable(QStringLiteral("ordersTable"), title, 200, orderColumns(), model, &AccountModel::ordersChanged,
                   [&model] { return model.orders(); });
}

Rm1Panel::Rm1Panel(AccountModel& model, QWidget* parent) : PanelCard(parent) {
    const QString title = QStringLiteral("RM1 Feed");
    setObjectName(QStringLiteral("rm1Panel"));
    addTitle(title);
    addRecordTable(QStringLiteral("rm1Table"), title, 200, rm1Columns(), model, &AccountModel::rm1Changed,
                   [&model] { return model.rm1(); });
}

FillsPanel::FillsPanel(AccountModel& model, QWidget* parent) : PanelCard(parent) {
    const QString title = QStringLiteral("Recent Fills");
    setObjectName(QStringLiteral("fillsPanel"));
    addTitle(title);
    addRecordTable(QStringLiteral("fillsTable"), title, 180, fillColumns(), model, &AccountModel::fillsChanged,
                   [&model] { return model.fills(); });
}

AnalyticsPanel::AnalyticsPanel(AccountModel& model, QWidget* parent) : PanelCard(parent) {
    const QString title = QStringLiteral("PnL Attribution");
    setObjectName(QStringLiteral("analyticsPanel"));
    addTitle(title);
    stretchAcross();
    addRecordTable(QStringLiteral("pnlTable"), title, 200, pnlColumns(), model, &AccountModel::pnlChanged,
                   [&model] { return model.pnlRows(); });
    auto* grid = new ExposureHeatGrid(this);
    grid->setRows(model.exposureRows());
    connect(&model, &AccountModel::pnlChanged, grid, [grid, &model] { grid->setRows(model.exposureRows()); });
    column()->addWidget(grid);
}

DiagnosticsPanel::DiagnosticsPanel(AccountModel& model, QWidget* parent) : PanelCard(parent), m_model(model) {
    const QString title = QStringLiteral("Execution Diagnostics");
    setObjectName(QStringLiteral("diagnosticsPanel"));
    addTitle(title);
    stretchAcross();
    m_empty = addEmptyHint(QStringLiteral("diagnosticsEmptyLabel"), QStringLiteral("No execution data."));

    m_tiles = new QWidget(this);
    m_tiles->setObjectName(QStringLiteral("diagnosticsTiles"));
    auto* rows = new QVBoxLayout(m_tiles);
    rows->setContentsMargins(0, 0, 0, 0);
    for (const QList<LabelledValue>& tileRow : diagnosticsTiles(ExecutionQualityResponse{})) {
        auto* row = new QHBoxLayout;
        for (const LabelledValue& tile : tileRow) {
            MetricTile* t = zqt::metric(tile.label, QString(), m_tiles);
            t->setObjectName(QStringLiteral("diagnostic_") + tile.label);
            m_tileList << t;
            row->addWidget(t, 0, Qt::AlignVCenter);
        }
        row->addStretch(1);
        rows->addLayout(row);
    }
    column()->addWidget(m_tiles);

    m_table = addRecordTable(QStringLiteral("execRecentTable"), title, 180, execRecentColumns(), model,
                             &AccountModel::execQualityChanged, [&model] {
                                 const std::optional<ExecutionQualityResponse>& q = model.execQuality();
                                 return q ? q->recent : QList<ExecRecentRow>();
                             });
    connect(&m_model, &AccountModel::execQualityChanged, this, &DiagnosticsPanel::refresh);
    refresh();
}

void DiagnosticsPanel::refresh() {
    const std::optional<ExecutionQualityResponse>& q = m_model.execQuality();
    m_empty->setVisible(!q);
    m_tiles->setVisible(q.has_value());
    m_table->setVisible(q.has_value());
    if (!q)
        return;
    qsizetype i = 0;
    for (const QList<LabelledValue>& tileRow : diagnosticsTiles(*q))
        for (const LabelledValue& tile : tileRow)
            m_tileList[i++]->setValue(tile.value);
}

} // namespace zqt
