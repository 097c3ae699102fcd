#pragma once

#include <functional>

class QWidget;

namespace zqt {

class TicketModel;

// Sends an order the way the trader asked for it, after one check: when the ticket's notional is above the
// notional limit, a question comes first ("Send an order of ≈ 12,345.00 USD?" with the limit), window-modal over
// `parent` and returning at once; Yes runs `send`, No (the default, and Escape) sends nothing. Within the limit, or
// with no limit or no notional, `send` runs at once.
void sendWithinNotionalLimit(QWidget* parent, const TicketModel& ticket, std::function<void()> send);

} // namespace zqt
