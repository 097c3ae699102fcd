#include "terminal/views/MetricsPanel.h"

#include "terminal/AccountTables.h"
#include "terminal/CellFormats.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/DisplayHelpers.h"
#include "terminal/views/MetricTile.h"
#include "terminal/views/StaleMark.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace zqt {

namespace {

const QStringList kLabels{QStringLiteral("Stage"),    QStringLiteral("RM1"),         QStringLiteral("Exec"),
                          QStringLiteral("Broker"),   QStringLiteral("Balance"),     QStringLiteral("Equity"),
                          QStringLiteral("Profit %"), QStringLiteral("Daily Buffer")};

} // namespace

MetricsPanel::MetricsPanel(NativeTerminalModel& model, QWidget* parent) : PanelCard(parent), m_model(model) {
    setObjectName(QStringLiteral("metricsPanel"));
    auto* header = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("Account Metrics"), this);
    title->setFont(headlineFont(font()));
    setWindowTitle(title->text());
    auto* refresh = new QPushButton(QStringLiteral("Refresh"), this);
    refresh->setObjectName(QStringLiteral("metricsRefreshButton"));
    refresh->setAccessibleName(QStringLiteral("Refresh account data"));
    refresh->setAutoDefault(false);
    header->addWidget(title);
    header->addStretch(1);
    header->addSpacing(24);
    header->addWidget(refresh);
    column()->addLayout(header);

    m_tiles = new QWidget(this);
    m_tiles->setObjectName(QStringLiteral("metricTiles"));
    auto* row = new QHBoxLayout(m_tiles);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    for (const QString& label : kLabels) {
        MetricTile* t = zqt::metric(label, QString(), m_tiles);
        t->setObjectName(QStringLiteral("metric_") + label);
        m_tileList << t;
        row->addWidget(t);
    }
    column()->addWidget(m_tiles);

    m_empty =
        addEmptyHint(QStringLiteral("metricsEmptyLabel"), QStringLiteral("No metrics available. Log in to load."));

    AccountModel& account = m_model.account();
    m_stale = addStaleMark(*this, QStringLiteral("metricsStaleMark"),
                           [&account] { return account.freshness(AccountRead::Metrics); }, {});
    connect(&account, &AccountModel::freshnessChanged, this, [this](AccountRead read) {
        if (read == AccountRead::Metrics)
            update();
    });

    connect(refresh, &QPushButton::clicked, &m_model, &NativeTerminalModel::refreshAll);
    connect(&account, &AccountModel::metricsChanged, this, &MetricsPanel::update);
    update();
}

MetricTile* MetricsPanel::tile(const QString& label) const {
    for (MetricTile* t : m_tileList)
        if (t->label() == label)
            return t;
    return nullptr;
}

void MetricsPanel::update() {
    m_stale->refresh();
    const std::optional<MetricsResponse>& m = m_model.account().metrics();
    m_tiles->setVisible(m.has_value());
    m_empty->setVisible(!m.has_value());
    if (!m)
        return;
    const QStringList values{QString::number(m->stage),
                             m->rm1_access ? QStringLiteral("ON") : QStringLiteral("OFF"),
                             m->execution_mode,
                             m->broker,
                             fmtCurrency(m->balance),
                             fmtCurrency(m->equity),
                             fmtPercentHundredths(m->profit_pct),
                             fmtCurrency(m->daily_loss_buffer)};
    // Losses red, gains green: a negative balance or equity, the sign of the profit.
    const CellTone tones[] = {
        CellTone::Default,     CellTone::Default,    CellTone::Default,      CellTone::Default,
        debitTone(m->balance), debitTone(m->equity), pnlTone(m->profit_pct), debitTone(m->daily_loss_buffer)};
    const bool stale = m_stale->isStale();
    for (qsizetype i = 0; i < m_tileList.size(); ++i) {
        m_tileList[i]->setValue(values[i]);
        m_tileList[i]->setTone(tones[i]);
        m_tileList[i]->setStale(stale);
    }
    // No loss left for the day: the buffer's tile stands out.
    m_tileList.last()->setAlert(isLossBufferSpent(*m));
}

} // namespace zqt
