#pragma once

#include "api/Records.h"
#include "terminal/RecordTableModel.h"

#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>

namespace zqt {

// One tile of the exposure heat grid: the symbol in upper case over the UPL, on a background whose tone follows
// the sign of the UPL (0 counts as positive) and whose opacity follows the size of the notional.
struct HeatTile {
    QString symbol;
    QString upl;
    CellTone tone = CellTone::Positive;
    double opacity = 0.2;
    friend bool operator==(const HeatTile&, const HeatTile&) = default;
};

// 0.2 + 0.6 * min(|notional| / 50000, 1): 0.2 for no notional up to 0.8 from 50,000 on, either sign.
double heatOpacity(double notional);
HeatTile heatTile(const PnlExposureRow& row);

// Where the tiles sit: three equally wide columns and rows 6 apart, filled row by row; each tile keeps its own
// size (capped at the column width) and is centred in its cell; a row is as tall as its tallest tile.
struct HeatGridLayout {
    static constexpr int kColumns = 3;
    static constexpr double kGap = 6;

    QList<QRectF> tiles;
    double height = 0;
};
HeatGridLayout layoutHeatGrid(double width, const QList<QSizeF>& tileSizes);
// The narrowest grid in which no tile is capped.
double heatGridMinimumWidth(const QList<QSizeF>& tileSizes);

} // namespace zqt
