#include "terminal/views/AccountPanels.h"

#include "terminal/AccountModel.h"
#include "terminal/AccountTables.h"
#include "terminal/RecordTableModel.h"
#include "terminal/views/DisplayHelpers.h"
#include "terminal/views/ExposureHeatGrid.h"
#include "terminal/views/PanelCard.h"
#include "terminal/views/RecordTableView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace zqt {

namespace {

PanelCard* card(const char* name, const QString& title, QWidget* parent) {
    auto* c = new PanelCard(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->addTitle(title);
    return c;
}

// A card that takes all the width its row gives it, its content stretched across.
void stretchAcross(PanelCard* c) {
    c->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    c->column()->setAlignment(Qt::AlignTop);
}

// A table over the rows that `rows()` reads from the account model, read again on every `changed`; added to the
// card's column and named by `label` for assistive technology.
template <class Row, class Signal, class Rows>
RecordTableView* addTable(PanelCard* c, const char* name, const QString& label, int height,
                          QList<TableColumn<Row>> columns, AccountModel& model, Signal changed, Rows rows) {
    auto* table = new RecordTableModel<Row>(std::move(columns), c);
    feedRows(*table, model, changed, rows);
    auto* view = new RecordTableView(table, label, height, c);
    view->setObjectName(QString::fromLatin1(name));
    c->column()->addWidget(view);
    return view;
}

// "Execution Diagnostics": a hint while there are no figures, else two rows of tiles and the recent orders.
class DiagnosticsCard final : public PanelCard {
public:
    DiagnosticsCard(AccountModel& model, QWidget* parent) : PanelCard(parent), m_model(model) {
        const QString title = QStringLiteral("Execution Diagnostics");
        setObjectName(QStringLiteral("diagnosticsPanel"));
        addTitle(title);
        stretchAcross(this);

        m_empty = new QLabel(QStringLiteral("No execution data."), this);
        m_empty->setObjectName(QStringLiteral("diagnosticsEmptyLabel"));
        m_empty->setForegroundRole(QPalette::PlaceholderText); // secondary text, following the palette
        column()->addWidget(m_empty);

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

        m_recent = new RecordTableModel<ExecRecentRow>(execRecentColumns(), this);
        m_table = new RecordTableView(m_recent, title, 180, this);
        m_table->setObjectName(QStringLiteral("execRecentTable"));
        column()->addWidget(m_table);

        connect(&m_model, &AccountModel::execQualityChanged, this, [this] { refresh(); });
        refresh();
    }

private:
    void refresh() {
        const std::optional<ExecutionQualityResponse>& q = m_model.execQuality();
        m_empty->setVisible(!q);
        m_tiles->setVisible(q.has_value());
        m_table->setVisible(q.has_value());
        m_recent->setRows(q ? q->recent : QList<ExecRecentRow>());
        if (!q)
            return;
        qsizetype i = 0;
        for (const QList<LabelledValue>& tileRow : diagnosticsTiles(*q))
            for (const LabelledValue& tile : tileRow)
                m_tileList[i++]->setValue(tile.value);
    }

    AccountModel& m_model;
    QLabel* m_empty = nullptr;
    QWidget* m_tiles = nullptr;
    QList<MetricTile*> m_tileList;
    RecordTableModel<ExecRecentRow>* m_recent = nullptr;
    RecordTableView* m_table = nullptr;
};

} // namespace

PanelCard* portfolioPanel(AccountModel& model, QWidget* parent) {
    const QString title = QStringLiteral("Portfolio Summary");
    PanelCard* c = card("portfolioPanel", title, parent);
    auto* total = new QLabel(c);
    total->setObjectName(QStringLiteral("totalUplLabel"));
    total->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const auto showTotal = [total, &model] {
        total->setText(QStringLiteral("Total UPL: ") + fmtCurrency(model.totalUpl()));
    };
    showTotal();
    QObject::connect(&model, &AccountModel::portfolioChanged, total, showTotal);
    c->column()->addWidget(total);
    addTable(c, "exposureTable", title, 180, exposureColumns(), model, &AccountModel::portfolioChanged,
             [&model] { return model.exposure(); });
    return c;
}

PanelCard* positionsPanel(AccountModel& model, QWidget* parent) {
    const QString title = QStringLiteral("Open Trades");
    PanelCard* c = card("positionsPanel", title, parent);
    addTable(c, "positionsTable", title, 200, positionColumns(), model, &AccountModel::positionsChanged,
             [&model] { return model.positions(); });
    return c;
}

PanelCard* ordersPanel(AccountModel& model, QWidget* parent) {
    const QString title = QStringLiteral("Orders");
    PanelCard* c = card("ordersPanel", title, parent);
    addTable(c, "ordersTable", title, 200, orderColumns(), model, &AccountModel::ordersChanged,
             [&model] { return model.orders(); });
    return c;
}

PanelCard* rm1Panel(AccountModel& model, QWidget* parent) {
    const QString title = QStringLiteral("RM1 Feed");
    PanelCard* c = card("rm1Panel", title, parent);
    addTable(c, "rm1Table", title, 200, rm1Columns(), model, &AccountModel::rm1Changed,
             [&model] { return model.rm1(); });
    return c;
}

PanelCard* fillsPanel(AccountModel& model, QWidget* parent) {
    const QString title = QStringLiteral("Recent Fills");
    PanelCard* c = card("fillsPanel", title, parent);
    addTable(c, "fillsTable", title, 180, fillColumns(), model, &AccountModel::fillsChanged,
             [&model] { return model.fills(); });
    return c;
}

PanelCard* analyticsPanel(AccountModel& model, QWidget* parent) {
    const QString title = QStringLiteral("PnL Attribution");
    PanelCard* c = card("analyticsPanel", title, parent);
    stretchAcross(c);
    addTable(c, "pnlTable", title, 200, pnlColumns(), model, &AccountModel::pnlChanged,
             [&model] { return model.pnlRows(); });
    auto* grid = new ExposureHeatGrid(c);
    grid->setRows(model.exposureRows());
    QObject::connect(&model, &AccountModel::pnlChanged, grid, [grid, &model] { grid->setRows(model.exposureRows()); });
    c->column()->addWidget(grid);
    return c;
}

PanelCard* diagnosticsPanel(AccountModel& model, QWidget* parent) {
    return new DiagnosticsCard(model, parent);
}

} // namespace zqt
