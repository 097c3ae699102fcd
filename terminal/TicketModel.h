#pragma once

#include "api/Endpoints.h"
#include "core/TradingTerms.h"

#include <QObject>
#include <QString>

namespace zqt {

class MarketModel;
class TerminalLink;

// The order ticket and what is sent from it: the form's fields, the outcome of the latest order action, and the
// orders themselves, always on the market's selected symbol. The ticket's prices (limit, stop, SL, TP) belong to
// that symbol: a symbol change clears them, so none of them can be sent on another one. Main thread only.
class TicketModel final : public QObject {
    Q_OBJECT

public:
    // `link` and `market` must outlive the ticket.
    TicketModel(TerminalLink& link, MarketModel& market, QObject* parent = nullptr);

    OrderType orderType() const { return m_orderType; }
    Side side() const { return m_side; }
    const QString& qty() const { return m_qty; }
    const QString& sl() const { return m_sl; }
    const QString& tp() const { return m_tp; }
    const QString& limitPrice() const { return m_limitPrice; }
    const QString& stopPrice() const { return m_stopPrice; }
    const QString& orderMessage() const { return m_orderMessage; }

    // Field edits; setting the current value does nothing.
    void setOrderType(OrderType v);
    void setSide(Side v);
    void setQty(const QString& v) { setField(&TicketModel::m_qty, v); }
    void setSl(const QString& v) { setField(&TicketModel::m_sl, v); }
    void setTp(const QString& v) { setField(&TicketModel::m_tp, v); }
    void setLimitPrice(const QString& v) { setField(&TicketModel::m_limitPrice, v); }
    void setStopPrice(const QString& v) { setField(&TicketModel::m_stopPrice, v); }

    // Orders. Each post's outcome replaces orderMessage (see OrderOutcome.h): "Order submitted." when the engine
    // took an order, a reply it could not read as such, the refusal with its HTTP status and the engine's text, a
    // redirect, or the transport error's text when no reply came; a cancel-all or close-all says the same of
    // itself, its success included. Every reply is followed by accountTouched (cancel-all and close-all after a
    // transport failure too).
    void placeOrder();
    void quickOrder(Side side, OrderType type);
    void cancelAll();
    void closeAll();

    // A tap on the ladder row at `price`: selects it in the market, switches the ticket to a limit order and
    // writes the price with four decimals into the limit price.
    void selectLadderPrice(double price);

signals:
    void orderFormChanged(); // orderType, side, qty, sl, tp, limitPrice, stopPrice
    void orderMessageChanged();
    // An order action got its answer: what the engine holds may have changed and is worth reading again.
    void accountTouched();

private:
    void setField(QString TicketModel::*field, const QString& v);
    void setOrderMessage(const QString& v);
    void clearPrices();
    endpoints::OrderTicket ticket() const;
    void sendOrder(const endpoints::Post& form);

    TerminalLink& m_link;
    MarketModel& m_market;
    OrderType m_orderType = OrderType::Market;
    Side m_side = Side::Buy;
    QString m_qty = QStringLiteral("1");
    QString m_sl;
    QString m_tp;
    QString m_limitPrice;
    QString m_stopPrice;
    QString m_orderMessage;
};

} // namespace zqt
