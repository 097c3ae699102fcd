#pragma once

#include "terminal/PanelRows.h"
#include "terminal/RecordTableModel.h"
#include "terminal/views/PanelCard.h"

class QLabel;

namespace zqt {

class AccountModel;
class Badge;
class CompactTable;
class DepthHeatStrip;
class MarketModel;
class StaleMark;
class TicketModel;

// Row 5, left (`ladderPanel`): "Order Ladder", the Imbalance, Pressure and Delta badges, the book as a table of
// bid size, price and ask size (at most 260 high, scrolling; the mid level tinted yellow, the one picked row
// blue with a blue bar) or "No ladder data", and the depth heat strip under it. Clicking a row, or Return on the
// keyboard's row, picks its price for a limit order. Rows are known by their price, so a new book keeps the
// keyboard's row on its price; Up and Down start from the picked row when the keyboard has none. Once shown the
// account, the last column marks the rows at the selected symbol's working order prices and open position entries
// ("BUY LMT 1", "LONG 2"). While the book's read fails, the last good book stays, greyed, "as of" its time.
class LadderPanel final : public PanelCard {
    Q_OBJECT

public:
    // `market` (whose book it shows) and `ticket` (which a picked row fills) must outlive the panel.
    LadderPanel(MarketModel& market, TicketModel& ticket, QWidget* parent = nullptr);

    // Marks the rows at the prices of `account`'s orders and positions of the selected symbol (which must outlive
    // the panel), now and on every change of either.
    void showOwnMarks(const AccountModel& account);

    static constexpr int kContentWidth = 260;
    static constexpr int kMaxListHeight = 260;
    static constexpr int kFillBookRows = 8;

private:
    void updateBook();
    void updateDelta();
    void pickRow(int row);
    int pickedRow() const; // -1: none

    MarketModel& m_model;
    TicketModel& m_ticket;
    Badge* m_imbalance = nullptr;
    Badge* m_pressure = nullptr;
    Badge* m_delta = nullptr;
    QLabel* m_empty = nullptr;
    RecordTableModel<LadderRow>* m_rows = nullptr;
    CompactTable* m_table = nullptr;
    DepthHeatStrip* m_heat = nullptr;
    StaleMark* m_stale = nullptr;
    const AccountModel* m_account = nullptr;
};

} // namespace zqt
