#include "terminal/views/TradingLabels.h"

#include "display/Palette.h"

namespace zqt {

QString sideLabel(Side side) {
    return side == Side::Buy ? QStringLiteral("BUY") : QStringLiteral("SELL");
}

QString orderTypeLabel(OrderType type) {
    switch (type) {
    case OrderType::Market:
        return QStringLiteral("MARKET");
    case OrderType::Limit:
        return QStringLiteral("LIMIT");
    case OrderType::Stop:
        break;
    }
    return QStringLiteral("STOP");
}

QString pressureLabel(BookPressure pressure) {
    switch (pressure) {
    case BookPressure::Bid:
        return QStringLiteral("Bid");
    case BookPressure::Ask:
        return QStringLiteral("Ask");
    case BookPressure::Neutral:
        break;
    }
    return QStringLiteral("Neutral");
}

const QList<Side>& allSides() {
    static const QList<Side> sides{Side::Buy, Side::Sell};
    return sides;
}

const QList<OrderType>& allOrderTypes() {
    static const QList<OrderType> types{OrderType::Market, OrderType::Limit, OrderType::Stop};
    return types;
}

std::optional<Side> sideForLabel(const QString& label) {
    for (Side s : allSides())
        if (sideLabel(s) == label)
            return s;
    return std::nullopt;
}

std::optional<OrderType> orderTypeForLabel(const QString& label) {
    for (OrderType t : allOrderTypes())
        if (orderTypeLabel(t) == label)
            return t;
    return std::nullopt;
}

BadgeTone pressureTone(BookPressure pressure) {
    switch (pressure) {
    case BookPressure::Bid:
        return BadgeTone::positive;
    case BookPressure::Ask:
        return BadgeTone::negative;
    case BookPressure::Neutral:
        break;
    }
    return BadgeTone::neutral;
}

BadgeTone imbalanceTone(double imbalance) {
    if (imbalance > 0.08)
        return BadgeTone::positive;
    if (imbalance < -0.08)
        return BadgeTone::negative;
    return BadgeTone::neutral;
}

BadgeTone deltaTone(double delta) {
    return delta >= 0.0 ? BadgeTone::positive : BadgeTone::negative;
}

QColor inkColor(Ink ink, double opacity) {
    switch (ink) {
    case Ink::Buy:
        return withOpacity(positiveColor(), opacity);
    case Ink::Sell:
        return withOpacity(negativeColor(), opacity);
    case Ink::Neutral:
        break;
    }
    return withOpacity(neutralColor(), opacity);
}

} // namespace zqt
