#pragma once

#include "terminal/PanelRows.h"
#include "terminal/RecordTableModel.h"
#include "terminal/views/PanelCard.h"

class QLabel;

namespace zqt {

class Badge;
class CompactTable;
class MarketModel;

// Row 5, middle (`tapePanel`): "Time & Sales", the Delta and Aggressor badges (both coloured by the sign of the
// delta) and the Last badge while the selected symbol has a price, then the tape newest first as a table of
// time, price (green for a buy, red for a sell), size and side, at most 260 high, or "No tape yet".
class TapePanel final : public PanelCard {
    Q_OBJECT

public:
    explicit TapePanel(MarketModel& model, QWidget* parent = nullptr);

    static constexpr int kContentWidth = 260;
    static constexpr int kMaxListHeight = 260;

private:
    void updateTape();
    void updateLast();

    MarketModel& m_model;
    Badge* m_delta = nullptr;
    Badge* m_aggressor = nullptr;
    Badge* m_last = nullptr;
    QLabel* m_empty = nullptr;
    RecordTableModel<TapeRow>* m_rows = nullptr;
    CompactTable* m_table = nullptr;
};

} // namespace zqt
