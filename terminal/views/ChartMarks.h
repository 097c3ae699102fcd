#pragma once

#include "charts/PriceLines.h"
#include "terminal/PriceMarks.h"

#include <vector>

namespace zqt {

class AccountModel;
class ChartPanel;
class MarketModel;

// The chart's lines for the trader's own prices: buying ones green, selling ones red; working orders dashed,
// position entries solid; each labelled as its mark.
std::vector<PriceLine> priceLinesOf(const QList<PriceMark>& marks);

// Draws on `panel`'s main chart the selected symbol's working orders and open positions (never another symbol's)
// as labelled lines, kept current with the account and the symbol; and under the panel's header "as of ..." while
// its bars or prices are stale, greying the last price. `market` and `account` must outlive the panel.
void showChartMarks(ChartPanel& panel, const MarketModel& market, const AccountModel& account);

} // namespace zqt
