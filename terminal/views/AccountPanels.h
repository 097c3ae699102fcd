#pragma once

class QWidget;

namespace zqt {

class AccountModel;
class PanelCard;

// The account and analytics cards of the terminal page, each over the account model and refreshed by
// its change signals. They only show state: no requests, no edits.
//
// "Portfolio Summary": "Total UPL: " in the money format, then the exposure table (180 high).
PanelCard* portfolioPanel(AccountModel& model, QWidget* parent = nullptr);
// "Open Trades" (200 high).
PanelCard* positionsPanel(AccountModel& model, QWidget* parent = nullptr);
// "Orders" (200 high).
PanelCard* ordersPanel(AccountModel& model, QWidget* parent = nullptr);
// "RM1 Feed" (200 high).
PanelCard* rm1Panel(AccountModel& model, QWidget* parent = nullptr);
// "Recent Fills" (180 high).
PanelCard* fillsPanel(AccountModel& model, QWidget* parent = nullptr);
// "PnL Attribution": the attribution table (200 high) over the exposure heat grid; takes the width it is given.
PanelCard* analyticsPanel(AccountModel& model, QWidget* parent = nullptr);
// "Execution Diagnostics": "No execution data.", or two rows of tiles over the recent orders (180 high); takes
// the width it is given.
PanelCard* diagnosticsPanel(AccountModel& model, QWidget* parent = nullptr);

} // namespace zqt
