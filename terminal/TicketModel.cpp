#include "terminal/TicketModel.h"

#include "terminal/CellFormats.h"
#include "terminal/MarketModel.h"
#include "terminal/OrderOutcome.h"
#include "terminal/TerminalLink.h"

namespace zqt {

TicketModel::TicketModel(TerminalLink& link, MarketModel& market, QObject* parent)
    : QObject(parent), m_link(link), m_market(market) {
    connect(&m_market, &MarketModel::selectedSymbolChanged, this, &TicketModel::clearPrices);
}

void TicketModel::setField(QString TicketModel::*field, const QString& v) {
    if (this->*field == v)
        return;
    this->*field = v;
    emit orderFormChanged();
}

void TicketModel::setOrderType(OrderType v) {
    if (m_orderType == v)
        return;
    m_orderType = v;
    emit orderFormChanged();
}

void TicketModel::setSide(Side v) {
    if (m_side == v)
        return;
    m_side = v;
    emit orderFormChanged();
}

void TicketModel::setOrderMessage(const QString& v) {
    if (m_orderMessage == v)
        return;
    m_orderMessage = v;
    emit orderMessageChanged();
}

// Order type and quantity stay with a symbol change; the prices go.
void TicketModel::clearPrices() {
    bool cleared = false;
    for (QString TicketModel::*price :
         {&TicketModel::m_limitPrice, &TicketModel::m_stopPrice, &TicketModel::m_sl, &TicketModel::m_tp}) {
        if (!(this->*price).isEmpty()) {
            (this->*price).clear();
            cleared = true;
        }
    }
    if (cleared)
        emit orderFormChanged();
}

endpoints::OrderTicket TicketModel::ticket() const {
    return {m_market.selectedSymbol(), m_side, m_qty, m_sl, m_tp, m_orderType, m_limitPrice, m_stopPrice};
}

void TicketModel::placeOrder() {
    // All eight fields, as typed: hidden price fields keep and send their last text; the engine validates.
    sendOrder(endpoints::placeOrder(ticket()));
}

void TicketModel::quickOrder(Side side, OrderType type) {
    // The ladder price, when one is selected, goes with every quick order, market ones included.
    sendOrder(endpoints::quickOrder(side, type, ticket(), m_market.selectedLadderPrice()));
}

void TicketModel::sendOrder(const endpoints::Post& form) {
    m_link.post(form, [this](const APIClient::RawReply& r) {
        setOrderMessage(orderOutcomeMessage(r));
        // Whatever came back (a reply not understood, a refusal, a redirect), the refreshed orders and positions
        // show what the engine now holds; only without any reply is there nobody to ask.
        if (!r.error || r.error->kind != ApiError::Kind::Transport)
            emit accountTouched();
    });
}

// The outcome of the latest action replaces the line, a success included.
void TicketModel::cancelAll() {
    m_link.post(endpoints::cancelAll(), [this](const APIClient::RawReply& r) {
        setOrderMessage(bulkActionOutcome(QStringLiteral("Cancel all"), r));
        emit accountTouched();
    });
}

void TicketModel::closeAll() {
    m_link.post(endpoints::closeAll(), [this](const APIClient::RawReply& r) {
        setOrderMessage(bulkActionOutcome(QStringLiteral("Close all"), r));
        emit accountTouched();
    });
}

void TicketModel::selectLadderPrice(double price) {
    m_market.setSelectedLadderPrice(price);
    m_orderType = OrderType::Limit;
    m_limitPrice = fmtPrice(price);
    emit orderFormChanged();
}

} // namespace zqt
