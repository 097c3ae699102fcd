#pragma once

#include "api/Records.h"
#include "core/Candle.h"
#include "core/TradingTerms.h"
#include "terminal/TapePrint.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace zqt {

// Book imbalance, -1 (all asks) to 1 (all bids), and its verdict: Bid above 0.08, Ask below -0.08, otherwise
// Neutral (the thresholds themselves are Neutral).
struct DepthSummary {
    double imbalance = 0.0;
    BookPressure pressure = BookPressure::Neutral;
    friend bool operator==(const DepthSummary&, const DepthSummary&) = default;
};

// One price bin of the volume profile.
struct ProfileBin {
    double price = 0.0; // bin centre
    double buy = 0.0;
    double sell = 0.0;
    double total = 0.0;
    friend bool operator==(const ProfileBin&, const ProfileBin&) = default;
};

// Tape prints gathered at one tick-rounded price.
struct FlowCluster {
    double price = 0.0;
    std::int64_t count = 0;
    double buy = 0.0;
    double sell = 0.0;
    double total = 0.0;
    friend bool operator==(const FlowCluster&, const FlowCluster&) = default;
};

// One row of the depth heat strip, for a level with some size on either side. Widths are in points: a bar is
// 6 points at zero size and 96 at the strip's largest size (sizes are scaled against at least 1).
struct DepthHeatRow {
    double price = 0.0;
    double bidSize = 0.0; // an absent size is 0
    double askSize = 0.0;
    double bidWidth = 6.0;
    double askWidth = 6.0;
    friend bool operator==(const DepthHeatRow&, const DepthHeatRow&) = default;
};

// A book or print size as every readout, bar and cluster counts it: an absent, negative or non-finite size is 0
// (no such size can be traded, so none may tip a readout).
double countedSize(std::optional<double> size);

// Summed bid and ask sizes of the book (sizes as countedSize takes them) as an imbalance, always within -1 .. 1,
// with its verdict.
DepthSummary depthSummary(const QList<DepthLevel>& levels);

// The book's price step: with three or more levels, the smallest non-zero finite gap between neighbouring
// sorted prices. Otherwise, and also when every level sits at one price, a step from the symbol's last price:
// 0.01 above 25, 0.001 above 2, else (or without a price) 0.0001.
double inferredTickSize(const QList<DepthLevel>& levels, std::optional<double> symbolPrice);

// The heat strip under the ladder: one row per level with a bid or ask size above 0, in book order (sizes as
// countedSize takes them).
QList<DepthHeatRow> depthHeatRows(const QList<DepthLevel>& levels);

// Whether a ladder row at `price` shows as selected: a price is selected and lies within 0.0001 of it.
bool isLadderPriceSelected(std::optional<double> selectedLadderPrice, double price);

// Volume of `source` binned by typical price ((high + low + close) / 3) into `bins` equal bins between the lowest
// low and the highest high (a range of at least 0.0001), sorted by total volume, largest first; equal totals keep
// their top-down price order. A down bar counts 42 % of its volume as buying and the rest as selling; an up or
// unchanged bar counts all of it as buying; a negative or non-finite volume counts as 0. Empty for no bars or fewer
// than one bin.
QList<ProfileBin> volumeProfileBins(const QList<Candle>& source, int bins);

// Tape prints grouped by price rounded to the nearest multiple of `tick` (halves away from zero), largest total
// first, at most `limit` of them; a print's size counts as countedSize takes it. Clusters of equal total keep the order
// in which the tape (newest first) first reached them. Empty for an empty tape or a limit below one.
QList<FlowCluster> orderflowClusters(const QList<TapePrint>& tapeRows, double tick, int limit);

} // namespace zqt
