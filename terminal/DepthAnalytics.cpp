#include "terminal/DepthAnalytics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zqt {

double countedSize(std::optional<double> size) {
    return size && std::isfinite(*size) && *size > 0.0 ? *size : 0.0;
}

DepthSummary depthSummary(const QList<DepthLevel>& levels) {
    double bids = 0.0;
    double asks = 0.0;
    for (const DepthLevel& l : levels) {
        bids += countedSize(l.bid_size);
        asks += countedSize(l.ask_size);
    }
    DepthSummary s;
    if (std::isinf(bids) || std::isinf(asks)) // sums past the largest double: the side that overflowed outweighs
        s.imbalance = std::isinf(bids) == std::isinf(asks) ? 0.0 : (std::isinf(bids) ? 1.0 : -1.0);
    else if (bids + asks > 0.0)
        s.imbalance = std::clamp((bids - asks) / (bids + asks), -1.0, 1.0);
    if (s.imbalance > 0.08)
        s.pressure = BookPressure::Bid;
    else if (s.imbalance < -0.08)
        s.pressure = BookPressure::Ask;
    return s;
}

double inferredTickSize(const QList<DepthLevel>& levels, std::optional<double> symbolPrice) {
    if (levels.size() >= 3) {
        QList<double> prices;
        prices.reserve(levels.size());
        for (const DepthLevel& l : levels)
            if (!std::isnan(l.price)) // NaN has no place in an ordering
                prices.append(l.price);
        std::sort(prices.begin(), prices.end());
        std::optional<double> best;
        for (qsizetype i = 1; i < prices.size(); ++i) {
            const double gap = std::abs(prices[i] - prices[i - 1]);
            if (gap > 0.0 && std::isfinite(gap) && (!best || gap < *best))
                best = gap;
        }
        if (best)
            return *best;
        // All levels at one price: no gap to read, so the price-based step below applies, as for a thin book.
    }
    const double p = symbolPrice.value_or(0.0);
    if (p > 25.0)
        return 0.01;
    if (p > 2.0)
        return 0.001;
    return 0.0001;
}

QList<DepthHeatRow> depthHeatRows(const QList<DepthLevel>& levels) {
    QList<DepthHeatRow> rows;
    double largest = 1.0;
    for (const DepthLevel& l : levels) {
        const double bid = countedSize(l.bid_size);
        const double ask = countedSize(l.ask_size);
        if (!(bid > 0.0 || ask > 0.0))
            continue;
        rows.append(DepthHeatRow{l.price, bid, ask, 6.0, 6.0});
        largest = std::max({largest, bid, ask});
    }
    for (DepthHeatRow& r : rows) {
        r.bidWidth = r.bidSize / largest * 90.0 + 6.0;
        r.askWidth = r.askSize / largest * 90.0 + 6.0;
    }
    return rows;
}

bool isLadderPriceSelected(std::optional<double> selectedLadderPrice, double price) {
    return selectedLadderPrice && std::abs(*selectedLadderPrice - price) < 0.0001;
}

QList<ProfileBin> volumeProfileBins(const QList<Candle>& source, int bins) {
    if (source.isEmpty() || bins < 1)
        return {};
    double lo = source.first().low;
    double hi = source.first().high;
    for (const Candle& c : source) {
        lo = std::min(lo, c.low);
        hi = std::max(hi, c.high);
    }
    const double range = hi - lo;
    const double step = (range > 0.0001 ? range : 0.0001) / bins;

    QList<ProfileBin> out(bins);
    for (int k = 0; k < bins; ++k)
        out[k].price = hi - step * k - step * 0.5;

    for (const Candle& c : source) {
        const double typical = (c.high + c.low + c.close) / 3.0;
        double slot = std::trunc((typical - lo) / step);
        // Clamp in floating point first: a NaN or huge quotient must not reach the integer conversion.
        if (!(slot >= 0.0))
            slot = 0.0;
        if (slot > bins - 1)
            slot = bins - 1;
        ProfileBin& bin = out[bins - 1 - static_cast<int>(slot)];
        const double v = countedSize(c.volume);
        if (c.open <= c.close) {
            bin.buy += v;
        } else {
            bin.buy += v * 0.42;
            bin.sell += v - v * 0.42;
        }
        bin.total += v;
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const ProfileBin& a, const ProfileBin& b) { return a.total > b.total; });
    return out;
}

QList<FlowCluster> orderflowClusters(const QList<TapePrint>& tapeRows, double tick, int limit) {
    if (tapeRows.isEmpty() || limit < 1)
        return {};
    // At most 24 prints: a linear search keeps first-seen order and needs no ordering of the keys.
    QList<FlowCluster> clusters;
    for (const TapePrint& p : tapeRows) {
        const double key = tick * std::round(p.price / tick);
        auto it = std::find_if(clusters.begin(), clusters.end(), [&](const FlowCluster& c) { return c.price == key; });
        if (it == clusters.end()) {
            clusters.append(FlowCluster{key, 0, 0.0, 0.0, 0.0});
            it = clusters.end() - 1;
        }
        it->count += 1;
        const double size = countedSize(p.size);
        if (p.side == Side::Buy)
            it->buy += size;
        else
            it->sell += size;
        it->total += size;
    }
    std::stable_sort(clusters.begin(), clusters.end(),
                     [](const FlowCluster& a, const FlowCluster& b) { return a.total > b.total; });
    if (clusters.size() > limit)
        clusters.resize(limit);
    return clusters;
}

} // namespace zqt
