#pragma once

#include "terminal/views/PanelCard.h"

#include <QList>

class QLabel;

namespace zqt {

class AccountModel;
class MetricTile;
class StaleMark;

// The account and analytics cards of the terminal page, each over the account model and refreshed by
// its change signals. They only show state: no requests, no edits. While a card's read fails, the card keeps the
// last good data, greyed, with "as of" its time under the title.

// "Portfolio Summary" (`portfolioPanel`): "Total UPL: " in the money format (green or red by its sign), then the
// exposure table (180 high).
class PortfolioPanel final : public PanelCard {
    Q_OBJECT

public:
    explicit PortfolioPanel(AccountModel& model, QWidget* parent = nullptr);
};

// "Open Trades" (`positionsPanel`, 200 high).
class PositionsPanel final : public PanelCard {
    Q_OBJECT

public:
    explicit PositionsPanel(AccountModel& model, QWidget* parent = nullptr);
};

// "Orders" (`ordersPanel`, 200 high).
class OrdersPanel final : public PanelCard {
    Q_OBJECT

public:
    explicit OrdersPanel(AccountModel& model, QWidget* parent = nullptr);
};

// "RM1 Feed" (`rm1Panel`, 200 high).
class Rm1Panel final : public PanelCard {
    Q_OBJECT

public:
    explicit Rm1Panel(AccountModel& model, QWidget* parent = nullptr);
};

// "Recent Fills" (`fillsPanel`, 180 high).
class FillsPanel final : public PanelCard {
    Q_OBJECT

public:
    explicit FillsPanel(AccountModel& model, QWidget* parent = nullptr);
};

// "PnL Attribution" (`analyticsPanel`): the attribution table (200 high) over the exposure heat grid; takes the
// width it is given.
class AnalyticsPanel final : public PanelCard {
    Q_OBJECT

public:
    explicit AnalyticsPanel(AccountModel& model, QWidget* parent = nullptr);
};

// "Execution Diagnostics" (`diagnosticsPanel`): "No execution data.", or two rows of tiles over the recent orders
// (180 high); takes the width it is given.
class DiagnosticsPanel final : public PanelCard {
    Q_OBJECT

public:
    explicit DiagnosticsPanel(AccountModel& model, QWidget* parent = nullptr);

private:
    void refresh();

    AccountModel& m_model;
    QLabel* m_empty = nullptr;
    QWidget* m_tiles = nullptr;
    QList<MetricTile*> m_tileList;
    RecordTableView* m_table = nullptr;
    StaleMark* m_stale = nullptr;
};

} // namespace zqt
