#include "terminal/Tape.h"

#include <QRandomGenerator>
#include <QUuid>

namespace zqt {

double tapeSizeFromDraw(std::uint64_t draw) {
    if (draw >= kTapeSizeDrawMax)
        return 2.5;
    return 0.5 + 2.0 * static_cast<double>(draw) / static_cast<double>(kTapeSizeDrawMax);
}

std::uint64_t systemTapeSizeDraw() {
    // bounded() excludes its argument, so one more than the top value makes the range inclusive.
    return QRandomGenerator::global()->bounded(quint64{kTapeSizeDrawMax + 1});
}

QString tapeTimeText(const QDateTime& t) {
    return t.toLocalTime().toString(QStringLiteral("HH:mm:ss"));
}

double signedPrintSize(const TapePrint& print) {
    return print.side == Side::Buy ? print.size : -print.size;
}

void updateTape(QList<TapePrint>& tapeRows, double& tapeDelta, std::optional<double>& lastTradePrice, double price,
                const QDateTime& now, std::uint64_t sizeDraw) {
    const double previous = lastTradePrice.value_or(price);
    TapePrint print;
    print.id = QUuid::createUuid();
    print.time = tapeTimeText(now);
    print.price = price;
    print.size = tapeSizeFromDraw(sizeDraw);
    print.side = previous <= price ? Side::Buy : Side::Sell;
    tapeDelta += signedPrintSize(print);
    tapeRows.prepend(std::move(print));
    while (tapeRows.size() > kMaxTapePrints) {
        tapeDelta -= signedPrintSize(tapeRows.last());
        tapeRows.removeLast();
    }
    lastTradePrice = price;
}

QString aggressorLabel(const QList<TapePrint>& tapeRows) {
    double buy = 0.0;
    double sell = 0.0;
    for (const TapePrint& p : tapeRows) {
        if (p.side == Side::Buy)
            buy += p.size;
        else
            sell += p.size;
    }
    if (sell * 1.08 < buy)
        return QStringLiteral("Buyer-led");
    if (buy * 1.08 < sell)
        return QStringLiteral("Seller-led");
    return QStringLiteral("Neutral");
}

} // namespace zqt
