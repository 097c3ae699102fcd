#include "terminal/PanelRows.h"

#include "terminal/CellFormats.h"

#include <algorithm>
#include <cmath>

namespace zqt {

namespace {

// A size the book holds as the readouts count it (an impossible one as 0); empty when absent.
QString sizeText(const std::optional<double>& size) {
    return size ? fmtAmount(countedSize(size)) : QString();
}

constexpr double kBarHeight = 6.0;
constexpr double kStripLineHeight = 10.0; // the divider's height
constexpr double kStripLineGap = 6.0;
constexpr double kStripPartGap = 6.0;
constexpr double kDividerWidth = 2.0;
constexpr double kProfileBarGap = 3.0;
constexpr double kProfileScaleWidth = 120.0;
constexpr double kProfileMinWidth = 4.0;

} // namespace

QList<LadderRow> ladderRows(const QList<DepthLevel>& levels, std::optional<double> selectedLadderPrice) {
    // The picked row: the one nearest the picked price among those within reach of it, so that neighbouring
    // levels a tick apart (whose gap may come out a hair under the reach) never show as picked together.
    qsizetype picked = -1;
    for (qsizetype i = 0; i < levels.size(); ++i) {
        if (!isLadderPriceSelected(selectedLadderPrice, levels[i].price))
            continue;
        if (picked < 0 ||
            std::abs(levels[i].price - *selectedLadderPrice) < std::abs(levels[picked].price - *selectedLadderPrice))
            picked = i;
    }
    QList<LadderRow> rows;
    rows.reserve(levels.size());
    for (qsizetype i = 0; i < levels.size(); ++i) {
        const DepthLevel& l = levels[i];
        LadderRow r;
        r.price = l.price;
        r.bidText = sizeText(l.bid_size);
        r.priceText = fmtPrice(l.price);
        r.askText = sizeText(l.ask_size);
        const bool mid = l.mid.value_or(false);
        if (i == picked)
            r.tint = mid ? RowTint::MidPicked : RowTint::Picked;
        else if (mid)
            r.tint = RowTint::Mid;
        rows.append(std::move(r));
    }
    return rows;
}

void markLadderRows(QList<LadderRow>& rows, const QList<PriceMark>& marks, double tick) {
    const double reach = std::isfinite(tick) && tick > 0 ? tick / 2 * (1 + 1e-9) : 1e-12;
    QList<QList<const PriceMark*>> onRow(rows.size());
    for (const PriceMark& m : marks) {
        qsizetype nearest = -1;
        for (qsizetype i = 0; i < rows.size(); ++i)
            if (nearest < 0 || std::abs(rows[i].price - m.price) < std::abs(rows[nearest].price - m.price))
                nearest = i;
        if (nearest >= 0 && std::abs(rows[nearest].price - m.price) <= reach)
            onRow[nearest].append(&m);
    }
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QStringList texts;
        bool buying = false;
        bool selling = false;
        for (const PriceMark* m : onRow[i]) {
            texts << m->shortLabel;
            (isBuyingMark(m->kind) ? buying : selling) = true;
        }
        rows[i].markText = texts.join(QStringLiteral(", "));
        rows[i].markTone = buying == selling ? CellTone::Default : buying ? CellTone::Positive : CellTone::Negative;
    }
}

QList<TableColumn<LadderRow>> ladderColumns() {
    constexpr Qt::Alignment middle = Qt::AlignVCenter;
    return {{QStringLiteral("Bid"), [](const LadderRow& r) { return r.bidText; }, Qt::AlignLeft | middle,
             [](const LadderRow&) {
                 return CellTone::Positive;
             }},
            {QStringLiteral("Price"), [](const LadderRow& r) { return r.priceText; }, Qt::AlignHCenter | middle},
            {QStringLiteral("Ask"), [](const LadderRow& r) { return r.askText; }, Qt::AlignRight | middle,
             [](const LadderRow&) {
                 return CellTone::Negative;
             }},
            {QStringLiteral("Own"), [](const LadderRow& r) { return r.markText; }, Qt::AlignLeft | middle,
             [](const LadderRow& r) { return r.markTone; }, CellFont::Small}};
}

QList<TapeRow> tapeRowsForDisplay(const QList<TapePrint>& prints) {
    QList<TapeRow> rows;
    rows.reserve(prints.size());
    for (const TapePrint& p : prints)
        rows.append(TapeRow{p.id, p.time, fmtPrice(p.price), fmtAmount(p.size), p.side});
    return rows;
}

HeatStrip heatStrip(const QList<DepthHeatRow>& rows, double width) {
    HeatStrip strip;
    double y = 0.0;
    for (const DepthHeatRow& row : rows) {
        const double lineWidth = row.bidWidth + kStripPartGap + kDividerWidth + kStripPartGap + row.askWidth;
        double x = (width - lineWidth) / 2.0;
        const double barY = y + (kStripLineHeight - kBarHeight) / 2.0;
        strip.shapes.append(Capsule{QRectF(x, barY, row.bidWidth, kBarHeight), Ink::Buy, 0.2, 0.85});
        x += row.bidWidth + kStripPartGap;
        strip.shapes.append(Capsule{QRectF(x, y, kDividerWidth, kStripLineHeight), Ink::Neutral, 0.4, 0.4});
        x += kDividerWidth + kStripPartGap;
        strip.shapes.append(Capsule{QRectF(x, barY, row.askWidth, kBarHeight), Ink::Sell, 0.85, 0.2});
        strip.height = y + kStripLineHeight;
        y += kStripLineHeight + kStripLineGap;
    }
    return strip;
}

QList<ProfileRow> profileRows(const QList<ProfileBin>& bins) {
    const qsizetype shown = std::min<qsizetype>(bins.size(), kProfileRowsShown);
    double scale = 1.0;
    for (qsizetype i = 0; i < shown; ++i)
        scale = std::max(scale, bins[i].total);
    QList<ProfileRow> rows;
    rows.reserve(shown);
    for (qsizetype i = 0; i < shown; ++i) {
        const ProfileBin& b = bins[i];
        const double buyWidth = b.buy / scale * kProfileScaleWidth + kProfileMinWidth;
        const double sellWidth = b.sell / scale * kProfileScaleWidth + kProfileMinWidth;
        rows.append(
            ProfileRow{fmtPrice(b.price),
                       {Capsule{QRectF(0, 0, buyWidth, kBarHeight), Ink::Buy, 0.8, 0.8},
                        Capsule{QRectF(buyWidth + kProfileBarGap, 0, sellWidth, kBarHeight), Ink::Sell, 0.8, 0.8}}});
    }
    return rows;
}

QList<ClusterRow> clusterRows(const QList<FlowCluster>& clusters) {
    double largest = 1.0;
    for (const FlowCluster& c : clusters)
        largest = std::max(largest, c.total);
    QList<ClusterRow> rows;
    rows.reserve(clusters.size());
    for (const FlowCluster& c : clusters)
        rows.append(ClusterRow{fmtPrice(c.price), fmtInteger(c.count) + QLatin1Char('x'),
                               QStringLiteral("B ") + fmtAmount(c.buy), QStringLiteral("S ") + fmtAmount(c.sell),
                               fmtAmount(c.total / largest)});
    return rows;
}

} // namespace zqt
