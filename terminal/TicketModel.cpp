#include "terminal/TicketModel.h"

#include "terminal/CellFormats.h"
#include "terminal/MarketModel.h"
#include "terminal/OrderOutcome.h"
#include "terminal/TerminalLink.h"

#include <QLocale>

#include <cmath>

namespace zqt {

TicketModel::TicketModel(TerminalLink& link, MarketModel& market, QObject* parent)
    : QObject(parent), m_link(link), m_market(market) {
    connect(&m_market, &MarketModel::selectedSymbolChanged, this, &TicketModel::clearPrices);
    connect(&m_link, &TerminalLink::tokenChanged, this, &TicketModel::canTradeChanged);
    for (auto changed : {&MarketModel::selectedSymbolChanged, &MarketModel::pricesChanged})
        connect(&m_market, changed, this, &TicketModel::notionalChanged);
    connect(this, &TicketModel::orderFormChanged, this, &TicketModel::notionalChanged);
    for (auto changed : {&MarketModel::selectedSymbolChanged, &MarketModel::selectedLadderPriceChanged})
        connect(&m_market, changed, this, &TicketModel::quickOrderChanged);
    connect(this, &TicketModel::orderFormChanged, this, &TicketModel::quickOrderChanged);
}

bool TicketModel::canTrade() const {
    return !m_link.token().isEmpty();
}

std::optional<double> TicketModel::notional() const {
    bool ok = false;
    const double qty = m_qty.trimmed().toDouble(&ok);
    const auto price = m_market.prices().constFind(m_market.selectedSymbol());
    if (!ok || price == m_market.prices().cend())
        return std::nullopt;
    const double value = qty * *price;
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

QString TicketModel::moneyText(double value) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    if (std::abs(value) >= 1e12)
        return english.toString(value, 'e', 2);
    return english.toString(value, 'f', 2);
}

QString TicketModel::notionalText() const {
    const std::optional<double> value = notional();
    if (!value)
        return {};
    return QStringLiteral("≈ ") + moneyText(*value) + QLatin1Char(' ') + quoteCurrency();
}

std::optional<double> TicketModel::notionalLimitFrom(const QString& text) {
    bool ok = false;
    const double limit = text.trimmed().toDouble(&ok);
    if (ok && std::isfinite(limit) && limit > 0)
        return limit;
    return std::nullopt;
}

void TicketModel::setNotionalLimit(const QString& text) {
    const std::optional<double> next = notionalLimitFrom(text);
    if (next == m_notionalLimit)
        return;
    m_notionalLimit = next;
    emit notionalChanged();
}

bool TicketModel::exceedsNotionalLimit() const {
    const std::optional<double> value = notional();
    return m_notionalLimit && value && std::abs(*value) > *m_notionalLimit;
}

QString TicketModel::quickOrderSummary() const {
    const QString none = QStringLiteral("none");
    auto orNone = [&none](const QString& v) {
        return v.isEmpty() ? none : v;
    };
    QString price;
    if (const std::optional<double> ladder = m_market.selectedLadderPrice())
        price = fmtPrice(*ladder) + QStringLiteral(" (ladder)");
    else
        price = orNone(m_limitPrice);
    const QString dot = QStringLiteral(" · ");
    return QStringLiteral("Qty ") + orNone(m_qty) + dot + QStringLiteral("SL ") + orNone(m_sl) + dot +
           QStringLiteral("TP ") + orNone(m_tp) + dot + QStringLiteral("Price ") + price + dot +
           QStringLiteral("Limit side ") + (m_side == Side::Buy ? QStringLiteral("BUY") : QStringLiteral("SELL"));
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

void TicketModel::setQuickMessage(const QString& v) {
    if (m_quickMessage == v)
        return;
    m_quickMessage = v;
    emit quickMessageChanged();
}

std::function<void(const QString&)> TicketModel::quickOutcome() {
    return [this, sent = ++m_quickSent](const QString& outcome) {
        if (sent < m_quickShown)
            return;
        m_quickShown = sent;
        setQuickMessage(outcome);
    };
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
    sendOrder(endpoints::quickOrder(side, type, ticket(), m_market.selectedLadderPrice()), quickOutcome());
}

void TicketModel::sendOrder(const endpoints::Post& form, std::function<void(const QString&)> quick) {
    m_link.post(form, [this, quick = std::move(quick)](const APIClient::RawReply& r) {
        const QString outcome = orderOutcomeMessage(r);
        setOrderMessage(outcome);
        if (quick)
            quick(outcome);
        // Whatever came back (a reply not understood, a refusal, a redirect), the refreshed orders and positions
        // show what the engine now holds; only without any reply is there nobody to ask.
        if (!r.error || r.error->kind != ApiError::Kind::Transport)
            emit accountTouched();
    });
}

// The outcome of the latest action replaces the line, a success included.
void TicketModel::cancelAll() {
    m_link.post(endpoints::cancelAll(), [this, quick = quickOutcome()](const APIClient::RawReply& r) {
        const QString outcome = bulkActionOutcome(QStringLiteral("Cancel all"), r);
        setOrderMessage(outcome);
        quick(outcome);
        emit accountTouched();
    });
}

void TicketModel::closeAll() {
    m_link.post(endpoints::closeAll(), [this, quick = quickOutcome()](const APIClient::RawReply& r) {
        const QString outcome = bulkActionOutcome(QStringLiteral("Close all"), r);
        setOrderMessage(outcome);
        quick(outcome);
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
