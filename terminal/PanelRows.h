#pragma once

#include "api/Records.h"
#include "core/TradingTerms.h"
#include "terminal/DepthAnalytics.h"
#include "terminal/PriceMarks.h"
#include "terminal/RecordTableModel.h"
#include "terminal/TapePrint.h"

#include <QList>
#include <QRectF>
#include <QString>

#include <optional>

// What the ladder, tape and microstructure panels show, as plain data: the texts of each row and the shapes of
// the drawn strips, in points. The panels only lay these out and paint them, so everything here is checked
// without a widget.
namespace zqt {

// ---- depth ladder ----------------------------------------------------------------------------------------------

// A ladder row, known by its price: a new book at the same prices only changes the rows' values.
struct LadderRow {
    double price = 0.0;
    QString bidText;   // "%.2f", empty when the level has no bid size
    QString priceText; // "%.4f"
    QString askText;   // "%.2f", empty when the level has no ask size
    RowTint tint = RowTint::None;
    QString markText;                      // the trader's own orders and positions at this price ("BUY LMT 1")
    CellTone markTone = CellTone::Default; // positive when they all buy, negative when they all sell
    double identity() const { return price; }
    friend bool operator==(const LadderRow&, const LadderRow&) = default;
};

// One row per level, in book order. The book's mid level is tinted Mid; the one row nearest the picked price,
// within 0.0001 of it, Picked (MidPicked when it is the mid level).
QList<LadderRow> ladderRows(const QList<DepthLevel>& levels, std::optional<double> selectedLadderPrice);
// Marks the rows at the prices of `marks` (see priceMarks): each mark goes to the row nearest its price when that
// row lies within half a `tick` of it (prices off the book mark nothing); several marks on one row are joined with
// ", ".
void markLadderRows(QList<LadderRow>& rows, const QList<PriceMark>& marks, double tick);
// The ladder's columns: bid size (green), price, ask size (red) and the trader's own marks.
QList<TableColumn<LadderRow>> ladderColumns();

// ---- time and sales --------------------------------------------------------------------------------------------

// A print of the tape, known by its id.
struct TapeRow {
    QUuid id;
    QString timeText;
    QString priceText; // "%.4f"
    QString sizeText;  // "%.2f"
    Side side = Side::Buy;
    QUuid identity() const { return id; }
    friend bool operator==(const TapeRow&, const TapeRow&) = default;
};

// One row per print, newest first (the tape's own order).
QList<TapeRow> tapeRowsForDisplay(const QList<TapePrint>& prints);

// ---- drawn strips ----------------------------------------------------------------------------------------------

// Which colour a shape takes from the palette; the shade is given by its opacity.
enum class Ink { Buy, Sell, Neutral };

// A fully rounded bar filled left to right from `fromOpacity` to `toOpacity` of its ink (one opacity: solid).
struct Capsule {
    QRectF rect;
    Ink ink = Ink::Neutral;
    double fromOpacity = 1.0;
    double toOpacity = 1.0;
    friend bool operator==(const Capsule&, const Capsule&) = default;
};

// The depth heat strip under the ladder, laid out in a strip `width` points wide: one line per heat row, 10 high
// and 6 apart, each centred: the bid bar (6 high, green from 20 % to 85 %), 6 points, a divider (2 by 10, grey at
// 40 %), 6 points, the ask bar (6 high, red from 85 % to 20 %).
struct HeatStrip {
    QList<Capsule> shapes;
    double height = 0.0;
};
HeatStrip heatStrip(const QList<DepthHeatRow>& rows, double width);

// ---- volume profile and order-flow clusters ------------------------------------------------------------------

inline constexpr int kProfileBins = 16;
inline constexpr int kProfileRowsShown = 12;
inline constexpr int kFlowClusters = 12;

// One shown profile bin: its price and its pair of bars, green then red, 3 points apart, 6 high, each
// (volume / scale) x 120 + 4 points long, the scale being the largest shown total but at least 1.
struct ProfileRow {
    QString priceText; // "%.4f"
    QList<Capsule> bars;
    friend bool operator==(const ProfileRow&, const ProfileRow&) = default;
};

// The first 12 of `bins` (the heaviest, as volumeProfileBins sorts them), heaviest first.
QList<ProfileRow> profileRows(const QList<ProfileBin>& bins);

struct ClusterRow {
    QString priceText; // "%.4f"
    QString countText; // "12x"
    QString buyText;   // "B 3.50"
    QString sellText;  // "S 1.25"
    QString shareText; // total against the largest total (at least 1), "%.2f": "1.00" for the largest
    friend bool operator==(const ClusterRow&, const ClusterRow&) = default;
};

// One row per cluster, in the order given.
QList<ClusterRow> clusterRows(const QList<FlowCluster>& clusters);

} // namespace zqt
