#pragma once

#include "api/Records.h"

#include <QList>
#include <QString>

namespace zqt {

// What a price mark stands for: a working order to buy or sell, or an open long or short position.
enum class PriceMarkKind { BuyOrder, SellOrder, Long, Short };

// A price of the trader's own on one symbol: a working order's limit or stop price, or an open position's entry.
struct PriceMark {
    double price = 0.0;
    PriceMarkKind kind = PriceMarkKind::BuyOrder;
    QString label;      // "BUY LMT 1 @ 1.0800", "SELL STP 2 @ 1.0750", "LONG 2 @ 1.0831"
    QString shortLabel; // the label without its price: "BUY LMT 1", "LONG 2"
    friend bool operator==(const PriceMark&, const PriceMark&) = default;
};

// Whether an order still works in the market (any status but a finished one: filled, cancelled, rejected,
// expired or closed).
bool isWorkingOrder(const OrderRow& order);

// The marks of `symbol` only, orders first (in list order), then positions: each working order's limit and stop
// prices, each open position's entry. Prices that are not finite are left out.
QList<PriceMark> priceMarks(const QString& symbol, const QList<OrderRow>& orders, const QList<PositionRow>& positions);

// Whether a mark is on the buying side (a buy order or a long position).
inline bool isBuyingMark(PriceMarkKind kind) {
    return kind == PriceMarkKind::BuyOrder || kind == PriceMarkKind::Long;
}

} // namespace zqt
