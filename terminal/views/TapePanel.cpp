#include "terminal/views/TapePanel.h"

#include "terminal/MarketModel.h"
#include "terminal/PanelRows.h"
#include "terminal/views/CompactTable.h"
#include "terminal/views/DisplayHelpers.h"
#include "terminal/views/FlowRow.h"
#include "terminal/views/TextTableModel.h"
#include "terminal/views/TradingLabels.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTableView>

namespace zqt {

TapePanel::TapePanel(MarketModel& model, QWidget* parent) : PanelCard(parent), m_model(model) {
    setObjectName(QStringLiteral("tapePanel"));
    setContentWidth(kContentWidth);
    addTitle(QStringLiteral("Time & Sales"));

    auto* badges = new FlowRow(10);
    m_delta = badge(QStringLiteral("Delta"), QString(), BadgeTone::positive, this);
    m_delta->setObjectName(QStringLiteral("tapeDeltaBadge"));
    m_aggressor = badge(QStringLiteral("Aggressor"), QString(), BadgeTone::positive, this);
    m_aggressor->setObjectName(QStringLiteral("aggressorBadge"));
    m_last = badge(QStringLiteral("Last"), QString(), BadgeTone::neutral, this);
    m_last->setObjectName(QStringLiteral("lastBadge"));
    for (Badge* b : {m_delta, m_aggressor, m_last})
        badges->addWidget(b);
    column()->addLayout(badges);

    m_empty = new QLabel(QStringLiteral("No tape yet"), this);
    m_empty->setObjectName(QStringLiteral("tapeEmptyLabel"));
    m_empty->setForegroundRole(QPalette::PlaceholderText);
    column()->addWidget(m_empty);

    m_rows = new TextTableModel({{QStringLiteral("Time")},
                                 {QStringLiteral("Price")},
                                 {QStringLiteral("Size")},
                                 {QStringLiteral("Side"), Qt::AlignRight | Qt::AlignVCenter}},
                                this);
    m_table = compactTable(m_rows, {58, 80, 50, 40}, QStringLiteral("Time and sales"), this);
    m_table->setObjectName(QStringLiteral("tapeTable"));
    column()->addWidget(m_table);

    connect(&m_model, &MarketModel::tapeChanged, this, &TapePanel::updateTape);
    connect(&m_model, &MarketModel::pricesChanged, this, &TapePanel::updateLast);
    connect(&m_model, &MarketModel::selectedSymbolChanged, this, &TapePanel::updateLast);
    updateTape();
    updateLast();
}

void TapePanel::updateTape() {
    const double delta = m_model.tapeDelta();
    // Both badges follow the sign of the delta, whatever the verdict's words.
    m_delta->setValue(QString::asprintf("%.2f", delta), deltaTone(delta));
    m_aggressor->setValue(m_model.aggressorLabel(), deltaTone(delta));

    const QFont small = caption2Font(font());
    const QFont caption = captionFont(font());
    const QColor secondary = secondaryTextColor(palette());
    QList<TextTableModel::Row> cells;
    for (const TapeRow& r : tapeRowsForDisplay(m_model.tapeRows()))
        cells.append({{{r.timeText, std::nullopt, small},
                       {r.priceText, sideColor(r.side), caption},
                       {r.sizeText, std::nullopt, caption},
                       {sideLabel(r.side), secondary, small}},
                      std::nullopt});
    m_rows->setRows(std::move(cells));
    fitTableHeight(m_table, kMaxListHeight);
    const bool empty = m_model.tapeRows().isEmpty();
    m_empty->setVisible(empty);
    m_table->setVisible(!empty);
}

void TapePanel::updateLast() {
    const auto it = m_model.prices().constFind(m_model.selectedSymbol());
    const bool priced = it != m_model.prices().constEnd();
    if (priced)
        m_last->setValue(QString::asprintf("%.4f", *it), BadgeTone::neutral);
    m_last->setVisible(priced);
}

} // namespace zqt
