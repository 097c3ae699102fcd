#pragma once

#include "api/Endpoints.h"
#include "core/TradingTerms.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

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
    // The outcome of the latest quick action (a quick order, cancel-all or close-all), in the words of
    // orderMessage; a ticket order leaves it alone. A reply that arrives after the reply to a later quick action
    // does not replace it. Empty until a quick action has its answer.
    const QString& quickMessage() const { return m_quickMessage; }

    // Whether orders can go out: a sign-in token is held (without one the engine answers 401).
    bool canTrade() const;

    // The order's size in money at the last price of the ticket's symbol: quantity x price. Nothing while the
    // quantity is not a number or no price of that symbol has arrived (never a price of another symbol).
    std::optional<double> notional() const;
    // "≈ 1,083.30 USD": the notional with thousands separators and the quote currency; empty without a notional.
    QString notionalText() const;
    // The quote currency of the notional. The engine's records name none, and the demo engine quotes in USD.
    static QString quoteCurrency() { return QStringLiteral("USD"); }
    // The largest notional an order may have before the trader is asked: the setting's text, off when it is empty
    // or not a positive number.
    void setNotionalLimit(const QString& text);
    // The limit a setting's text stands for: nothing when it is empty or not a positive, finite number.
    static std::optional<double> notionalLimitFrom(const QString& text);
    std::optional<double> notionalLimit() const { return m_notionalLimit; }
    // Whether the order's notional (in absolute value) is above the limit.
    bool exceedsNotionalLimit() const;
    // A figure as the notional and the limit are shown: "1,083.30"; from a trillion up, with an exponent
    // ("1.08E+15"), so that a mistyped size shows a short, plainly absurd figure rather than hundreds of digits.
    static QString moneyText(double value);

    // What a quick order sends besides its side and type: "Qty 1 · SL 1.0700 · TP 1.0900 · Price 1.0850 (ladder)
    // · Limit side SELL" (an empty SL or TP shows "none", a price missing too); the price is the picked ladder
    // price, else the ticket's limit price.
    QString quickOrderSummary() const;

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
    void quickMessageChanged();
    void canTradeChanged();
    // notional (quantity, symbol or its price) or the limit changed.
    void notionalChanged();
    // quickOrderSummary may read differently.
    void quickOrderChanged();
    // An order action got its answer: what the engine holds may have changed and is worth reading again.
    void accountTouched();

private:
    void setField(QString TicketModel::*field, const QString& v);
    void setOrderMessage(const QString& v);
    void setQuickMessage(const QString& v);
    // The completion of the quick action being sent now: its outcome goes to quickMessage unless the outcome of a
    // quick action sent after it is already there.
    std::function<void(const QString&)> quickOutcome();
    void clearPrices();
    endpoints::OrderTicket ticket() const;
    void sendOrder(const endpoints::Post& form, std::function<void(const QString&)> quick = {});

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
    QString m_quickMessage;
    quint64 m_quickSent = 0;  // quick actions sent so far
    quint64 m_quickShown = 0; // the quick action whose outcome quickMessage shows
    std::optional<double> m_notionalLimit;
};

} // namespace zqt
