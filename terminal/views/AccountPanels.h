#pragma once

class QWidget;

namespace zqt {

class NativeTerminalModel;
class PanelCard;

// The account and analytics cards of the terminal page, each over the terminal model's state and refreshed by
// its change signals. They only show state: no requests, no edits.
//
// "Portfolio Summary": "Total UPL: " in the money format, then the exposure table (180 high).
PanelCard* portfolioPanel(NativeTerminalModel& model, QWidget* parent = nullptr);
// "Open Trades" (200 high).
PanelCard* positionsPanel(NativeTerminalModel& model, QWidget* parent = nullptr);
// "Orders" (200 high).
PanelCard* ordersPanel(NativeTerminalModel& model, QWidget* parent = nullptr);
// "RM1 Feed" (200 high).
PanelCard* rm1Panel(NativeTerminalModel& model, QWidget* parent = nullptr);
// "Recent Fills" (180 high).
PanelCard* fillsPanel(NativeTerminalModel& model, QWidget* parent = nullptr);
// "PnL Attribution": the attribution table (200 high) over the exposure heat grid; takes the width it is given.
PanelCard* analyticsPanel(NativeTerminalModel& model, QWidget* parent = nullptr);
// "Execution Diagnostics": "No execution data.", or two rows of tiles over the recent orders (180 high); takes
// the width it is given.
PanelCard* diagnosticsPanel(NativeTerminalModel& model, QWidget* parent = nullptr);

} // namespace zqt
