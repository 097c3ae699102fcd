#pragma once

#include "terminal/views/PanelCard.h"

class QLabel;
class QTableView;

namespace zqt {

class Badge;
class DepthHeatStrip;
class MarketModel;
class TicketModel;
class TextTableModel;

// Row 5, left (`ladderPanel`): "Order Ladder", the Imbalance, Pressure and Delta badges, the book as a table of
// bid size, price and ask size (at most 260 high, scrolling; the mid level tinted yellow, the picked price blue)
// or "No ladder data", and the depth heat strip under it. Clicking a row, or Return on it, picks its price for a
// limit order.
class LadderPanel final : public PanelCard {
    Q_OBJECT

public:
    // `market` (whose book it shows) and `ticket` (which a picked row fills) must outlive the panel.
    LadderPanel(MarketModel& market, TicketModel& ticket, QWidget* parent = nullptr);

    static constexpr int kContentWidth = 260;
    static constexpr int kMaxListHeight = 260;

private:
    void updateBook();
    void updateDelta();
    void pickRow(int row);

    MarketModel& m_model;
    TicketModel& m_ticket;
    Badge* m_imbalance = nullptr;
    Badge* m_pressure = nullptr;
    Badge* m_delta = nullptr;
    QLabel* m_empty = nullptr;
    TextTableModel* m_rows = nullptr;
    QTableView* m_table = nullptr;
    DepthHeatStrip* m_heat = nullptr;
    QList<double> m_prices; // of the rows shown
};

} // namespace zqt
