#include "terminal/views/TapePanel.h"

#include "terminal/CellFormats.h"
#include "terminal/MarketModel.h"
#include "terminal/PanelRows.h"
#include "terminal/views/CompactTable.h"
#include "terminal/views/DisplayHelpers.h"
#include "terminal/views/FlowRow.h"
#include "terminal/views/TradingLabels.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTableView>

namespace zqt {

namespace {

// Time and side small, the side grey; price and size in the caption size, the price green for a buy and red for a
// sell.
QList<TableColumn<TapeRow>> tapeColumns() {
    const auto sideTone = [](const TapeRow& r) {
        return r.side == Side::Buy ? CellTone::Positive : CellTone::Negative;
    };
    const auto secondary = [](const TapeRow&) {
        return CellTone::Secondary;
    };
    const Qt::Alignment leading = Qt::AlignLeft | Qt::AlignVCenter;
    return {
        {QStringLiteral("Time"), [](const TapeRow& r) { return r.timeText; }, leading, {}, CellFont::Small},
        {QStringLiteral("Price"), [](const TapeRow& r) { return r.priceText; }, leading, sideTone, CellFont::Caption},
        {QStringLiteral("Size"), [](const TapeRow& r) { return r.sizeText; }, leading, {}, CellFont::Caption},
        {QStringLiteral("Side"), [](const TapeRow& r) { return sideLabel(r.side); }, Qt::AlignRight | Qt::AlignVCenter,
         secondary, CellFont::Small}};
}

} // namespace

TapePanel::TapePanel(MarketModel& model, QWidget* parent) : PanelCard(parent), m_model(model) {
    setObjectName(QStringLiteral("tapePanel"));
    setContentWidth(kContentWidth);
    addTitle(QStringLiteral("Time & Sales"));

    FlowRow* badges = addBadgeRow(10);
    m_delta = addBadge(badges, QStringLiteral("tapeDeltaBadge"), QStringLiteral("Delta"), BadgeTone::positive);
    m_aggressor = addBadge(badges, QStringLiteral("aggressorBadge"), QStringLiteral("Aggressor"), BadgeTone::positive);
    m_last = addBadge(badges, QStringLiteral("lastBadge"), QStringLiteral("Last"), BadgeTone::neutral);
    m_empty = addEmptyHint(QStringLiteral("tapeEmptyLabel"), QStringLiteral("No tape yet"));
    m_rows = new RecordTableModel<TapeRow>(tapeColumns(), this);
    m_table = addCompactTable(QStringLiteral("tapeTable"), m_rows, {58, 80, 50, 40}, QStringLiteral("Time and sales"));

    connect(&m_model, &MarketModel::tapeChanged, this, &TapePanel::updateTape);
    connect(&m_model, &MarketModel::pricesChanged, this, &TapePanel::updateLast);
    connect(&m_model, &MarketModel::selectedSymbolChanged, this, &TapePanel::updateLast);
    updateTape();
    updateLast();
}

void TapePanel::updateTape() {
    const double delta = m_model.tapeDelta();
    // Both badges follow the sign of the delta, whatever the verdict's words.
    m_delta->setValue(fmtAmount(delta), deltaTone(delta));
    m_aggressor->setValue(m_model.aggressorLabel(), deltaTone(delta));

    m_rows->setRows(tapeRowsForDisplay(m_model.tapeRows()));
    m_table->fitHeight(kMaxListHeight);
    const bool empty = m_model.tapeRows().isEmpty();
    m_empty->setVisible(empty);
    m_table->setVisible(!empty);
}

void TapePanel::updateLast() {
    const auto it = m_model.prices().constFind(m_model.selectedSymbol());
    const bool priced = it != m_model.prices().constEnd();
    if (priced)
        m_last->setValue(fmtPrice(*it), BadgeTone::neutral);
    m_last->setVisible(priced);
}

} // namespace zqt
