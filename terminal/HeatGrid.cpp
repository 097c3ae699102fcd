#include "terminal/HeatGrid.h"

#include "terminal/CellFormats.h"

#include <algorithm>
#include <cmath>

namespace zqt {

double heatOpacity(double notional) {
    const double share = std::abs(notional) / 50000.0;
    // A notional too large to be finite still weighs as much as 50,000.
    return 0.2 + 0.6 * (share < 1.0 ? share : 1.0);
}

HeatTile heatTile(const PnlExposureRow& row) {
    return {row.symbol.toUpper(), fmtMoney(row.upl), row.upl >= 0 ? CellTone::Positive : CellTone::Negative,
            heatOpacity(row.notional)};
}

HeatGridLayout layoutHeatGrid(double width, const QList<QSizeF>& tileSizes) {
    constexpr int columns = HeatGridLayout::kColumns;
    constexpr double gap = HeatGridLayout::kGap;
    HeatGridLayout layout;
    const double columnWidth = std::max(0.0, (width - gap * (columns - 1)) / columns);
    double top = 0;
    for (qsizetype first = 0; first < tileSizes.size(); first += columns) {
        const qsizetype end = std::min<qsizetype>(first + columns, tileSizes.size());
        double rowHeight = 0;
        for (qsizetype i = first; i < end; ++i)
            rowHeight = std::max(rowHeight, tileSizes[i].height());
        for (qsizetype i = first; i < end; ++i) {
            const double w = std::min(tileSizes[i].width(), columnWidth);
            const double h = tileSizes[i].height();
            const double left = static_cast<double>(i - first) * (columnWidth + gap);
            layout.tiles.append(QRectF(left + (columnWidth - w) / 2, top + (rowHeight - h) / 2, w, h));
        }
        if (first > 0)
            layout.height += gap;
        layout.height += rowHeight;
        top = layout.height + gap;
    }
    return layout;
}

double heatGridMinimumWidth(const QList<QSizeF>& tileSizes) {
    double widest = 0;
    for (const QSizeF& s : tileSizes)
        widest = std::max(widest, s.width());
    return tileSizes.isEmpty()
               ? 0
               : widest * HeatGridLayout::kColumns + HeatGridLayout::kGap * (HeatGridLayout::kColumns - 1);
}

} // namespace zqt
