#include "terminal/views/ChartMarks.h"

#include "terminal/AccountModel.h"
#include "terminal/MarketModel.h"
#include "terminal/views/ChartPanel.h"
#include "terminal/views/ChartWidgets.h"
#include "terminal/views/StaleMark.h"

#include <QLabel>

namespace zqt {

std::vector<PriceLine> priceLinesOf(const QList<PriceMark>& marks) {
    std::vector<PriceLine> lines;
    lines.reserve(marks.size());
    for (const PriceMark& m : marks) {
        const bool order = m.kind == PriceMarkKind::BuyOrder || m.kind == PriceMarkKind::SellOrder;
        lines.push_back({m.price, m.label, isBuyingMark(m.kind) ? ChartColor::Green : ChartColor::Red, order});
    }
    return lines;
}

void showChartMarks(ChartPanel& panel, const MarketModel& market, const AccountModel& account) {
    CandleChartWidget* chart = panel.mainChart();
    const auto update = [chart, &market, &account] {
        std::vector<PriceLine> lines =
            priceLinesOf(priceMarks(market.selectedSymbol(), account.orders(), account.positions()));
        if (lines == chart->priceLines())
            return;
        chart->priceLines() = std::move(lines);
        chart->refresh();
    };
    QObject::connect(&account, &AccountModel::ordersChanged, chart, update);
    QObject::connect(&account, &AccountModel::positionsChanged, chart, update);
    QObject::connect(&market, &MarketModel::selectedSymbolChanged, chart, update);
    update();

    QList<QWidget*> greyed;
    if (auto* last = panel.findChild<QLabel*>(QStringLiteral("lastPriceLabel")))
        greyed << last;
    StaleMark* stale = addStaleMark(
        panel, QStringLiteral("chartStaleMark"),
        [&market] { return stalerOf(market.candlesFreshness(), market.pricesFreshness()); }, greyed);
    QObject::connect(&market, &MarketModel::freshnessChanged, stale, &StaleMark::refresh);
}

} // namespace zqt
