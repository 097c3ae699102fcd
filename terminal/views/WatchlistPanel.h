#pragma once

#include "terminal/views/PanelCard.h"

#include <QMap>

class QLabel;
class QPushButton;

namespace zqt {

class MarketModel;
class WatchRow;

// Row 3, left: one row per watchlist symbol with its last price ("%.4f", or "-" before a price arrived); the
// selected symbol's row is highlighted; a click anywhere on a row, or Return, Enter or Space on its symbol, selects
// it.
class WatchlistPanel final : public PanelCard {
    Q_OBJECT

public:
    explicit WatchlistPanel(MarketModel& model, QWidget* parent = nullptr);

    static constexpr int kContentWidth = 240;

private:
    void updatePrices();
    void updateSelection();

    MarketModel& m_model;
    QMap<QString, WatchRow*> m_rows;
    QMap<QString, QLabel*> m_prices;
};

} // namespace zqt
