#pragma once

#include "terminal/Candle.h"

#include <QList>
#include <QString>

#include <cstdint>

namespace zqt {

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

// Volume of `source` binned by typical price ((high + low + close) / 3) into `bins` equal bins between the lowest
// low and the highest high (a range of at least 0.0001), sorted by total volume, largest first; equal totals keep
// their top-down price order. A down bar counts 42 % of its volume as buying and the rest as selling; an up or
// unchanged bar counts all of it as buying. Empty for no bars or fewer than one bin.
QList<ProfileBin> volumeProfileBins(const QList<Candle>& source, int bins);

// Tape prints grouped by price rounded to the nearest multiple of `tick` (halves away from zero), largest total
// first, at most `limit` of them. Clusters of equal total keep the order in which the tape (newest first) first
// reached them. Empty for an empty tape or a limit below one.
QList<FlowCluster> orderflowClusters(const QList<TapePrint>& tapeRows, double tick, int limit);

} // namespace zqt
