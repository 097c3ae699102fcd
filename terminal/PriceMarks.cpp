#include "terminal/PriceMarks.h"

#include "terminal/CellFormats.h"

#include <cmath>

namespace zqt {

namespace {

// A quantity as a trader writes it: whole numbers without decimals, others to the hundredth.
QString quantityText(double qty) {
    return QString::number(qty, 'f', qty == std::floor(qty) ? 0 : 2);
}

void addMark(QList<PriceMark>& marks, double price, PriceMarkKind kind, const QString& what) {
    if (!std::isfinite(price))
        return;
    marks.append({price, kind, what + QStringLiteral(" @ ") + fmtPrice(price), what});
}

} // namespace

bool isWorkingOrder(const OrderRow& order) {
    static const QStringList finished{QStringLiteral("FILLED"),   QStringLiteral("CANCELLED"),
                                      QStringLiteral("CANCELED"), QStringLiteral("REJECTED"),
                                      QStringLiteral("EXPIRED"),  QStringLiteral("CLOSED")};
    return !finished.contains(order.status.trimmed(), Qt::CaseInsensitive);
}

QList<PriceMark> priceMarks(const QString& symbol, const QList<OrderRow>& orders, const QList<PositionRow>& positions) {
    QList<PriceMark> marks;
    for (const OrderRow& o : orders) {
        if (o.symbol != symbol || !isWorkingOrder(o))
            continue;
        const bool buy = o.side.compare(QLatin1String("BUY"), Qt::CaseInsensitive) == 0;
        const PriceMarkKind kind = buy ? PriceMarkKind::BuyOrder : PriceMarkKind::SellOrder;
        const QString side = buy ? QStringLiteral("BUY") : QStringLiteral("SELL");
        const QString qty = quantityText(o.qty);
        if (o.limit_price)
            addMark(marks, *o.limit_price, kind, side + QStringLiteral(" LMT ") + qty);
        if (o.stop_price)
            addMark(marks, *o.stop_price, kind, side + QStringLiteral(" STP ") + qty);
    }
    for (const PositionRow& p : positions) {
        if (p.symbol != symbol)
            continue;
        const bool buy = p.side.compare(QLatin1String("BUY"), Qt::CaseInsensitive) == 0 ||
                         p.side.compare(QLatin1String("LONG"), Qt::CaseInsensitive) == 0;
        addMark(marks, p.entry, buy ? PriceMarkKind::Long : PriceMarkKind::Short,
                (buy ? QStringLiteral("LONG ") : QStringLiteral("SHORT ")) + quantityText(p.units));
    }
    return marks;
}

} // namespace zqt
