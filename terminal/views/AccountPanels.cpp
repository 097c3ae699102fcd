#include "terminal/views/AccountPanels.h"

#include "terminal/AccountModel.h"
#include "terminal/AccountTables.h"
#include "terminal/views/DisplayHelpers.h"
#include "terminal/views/ExposureHeatGrid.h"
#include "terminal/views/MetricTile.h"
#include "terminal/views/StaleMark.h"

#include "display/Palette.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace zqt {

namespace {

// "as of ..." under the card's title while `read` fails, greying `greyed`; named after the card
// ("positionsPanel" gives "positionsStaleMark").
StaleMark* markStale(PanelCard& card, AccountModel& model, AccountRead read, QList<QWidget*> greyed) {
    QString name = card.objectName();
    name.replace(QLatin1String("Panel"), QLatin1String("StaleMark"));
    StaleMark* mark = addStaleMark(
        card, name, [&model, read] { return model.freshness(read); }, std::move(greyed));
    QObject::connect(&model, &AccountModel::freshnessChanged, mark, [mark, read](AccountRead changed) {
        if (changed == read)
            mark->refresh();
    });
    return mark;
}

} // namespace

PortfolioPanel::PortfolioPanel(AccountModel& model, QWidget* parent) : PanelCard(parent) {
    const QString title = QStringLiteral("Portfolio Summary");
    setObjectName(QStringLiteral("portfolioPanel"));
    addTitle(title);
    auto* total = new QLabel(this);
    total->setObjectName(QStringLiteral("totalUplLabel"));
    total->setTextInteractionFlags(Qt::TextSelectableByMouse);
    total->setForegroundRole(QPalette::WindowText); // coloured by the total's sign below
    column()->addWidget(total);
    RecordTableView* table = addRecordTable(QStringLiteral("exposureTable"), title, 180, exposureColumns(), model,
                                            &AccountModel::portfolioChanged, [&model] { return model.exposure(); });
    StaleMark* stale = markStale(*this, model, AccountRead::Portfolio, {table});
    // The total in its sign's colour, grey while stale.
    const auto showTotal = [total, stale, &model] {
        total->setText(QStringLiteral("Total UPL: ") + fmtCurrency(model.totalUpl()));
        const CellTone tone = pnlTone(model.totalUpl());
        QPalette p = total->palette();
        p.setColor(QPalette::WindowText, stale->isStale()             ? secondaryTextColor(p)
                                         : tone == CellTone::Positive ? positiveColor()
                                         : tone == CellTone::Negative
                                             ? negativeColor()
                                             : total->parentWidget()->palette().color(QPalette::WindowText));
        total->setPalette(p);
    };
    showTotal();
    connect(&model, &AccountModel::portfolioChanged, total, showTotal);
    connect(&model, &AccountModel::freshnessChanged, total, showTotal);
}

PositionsPanel::PositionsPanel(AccountModel& model, QWidget* parent) : PanelCard(parent) {
    const QString title = QStringLiteral("Open Trades");
    setObjectName(QStringLiteral("positionsPanel"));
    addTitle(title);
    RecordTableView* table = addRecordTable(QStringLiteral("positionsTable"), title, 200, positionColumns(), model,
                                            &AccountModel::positionsChanged, [&model] { return model.positions(); });
    markStale(*this, model, AccountRead::Positions, {table});
}

OrdersPanel::OrdersPanel(AccountModel& model, QWidget* parent) : PanelCard(parent) {
    const QString title = QStringLiteral("Orders");
    setObjectName(QStringLiteral("ordersPanel"));
    addTitle(title);
    RecordTableView* table = addRecordTable(QStringLiteral("ordersTable"), title, 200, orderColumns(), model,
                                            &AccountModel::ordersChanged, [&model] { return model.orders(); });
    markStale(*this, model, AccountRead::Orders, {table});
}

Rm1Panel::Rm1Panel(AccountModel& model, QWidget* parent) : PanelCard(parent) {
    const QString title = QStringLiteral("RM1 Feed");
    setObjectName(QStringLiteral("rm1Panel"));
    addTitle(title);
    RecordTableView* table = addRecordTable(QStringLiteral("rm1Table"), title, 200, rm1Columns(), model,
                                            &AccountModel::rm1Changed, [&model] { return model.rm1(); });
    markStale(*this, model, AccountRead::Rm1, {table});
}

FillsPanel::FillsPanel(AccountModel& model, QWidget* parent) : PanelCard(parent) {
    const QString title = QStringLiteral("Recent Fills");
    setObjectName(QStringLiteral("fillsPanel"));
    addTitle(title);
    RecordTableView* table = addRecordTable(QStringLiteral("fillsTable"), title, 180, fillColumns(), model,
                                            &AccountModel::fillsChanged, [&model] { return model.fills(); });
    markStale(*this, model, AccountRead::Fills, {table});
}

AnalyticsPanel::AnalyticsPanel(AccountModel& model, QWidget* parent) : PanelCard(parent) {
    const QString title = QStringLiteral("PnL Attribution");
    setObjectName(QStringLiteral("analyticsPanel"));
    addTitle(title);
    stretchAcross();
    RecordTableView* table = addRecordTable(QStringLiteral("pnlTable"), title, 200, pnlColumns(), model,
                                            &AccountModel::pnlChanged, [&model] { return model.pnlRows(); });
    markStale(*this, model, AccountRead::Pnl, {table});
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
    m_stale = markStale(*this, model, AccountRead::ExecQuality, {m_table});
    connect(&m_model, &AccountModel::execQualityChanged, this, &DiagnosticsPanel::refresh);
    connect(&m_model, &AccountModel::freshnessChanged, this, &DiagnosticsPanel::refresh);
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
        for (const LabelledValue& tile : tileRow) {
            m_tileList[i]->setStale(m_stale->isStale());
            m_tileList[i++]->setValue(tile.value);
        }
}

} // namespace zqt
