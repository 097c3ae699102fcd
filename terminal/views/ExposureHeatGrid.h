#pragma once

#include "api/Records.h"

#include <QColor>
#include <QList>
#include <QWidget>

class QLabel;

namespace zqt {

class HeatTileWidget;

// The exposure heat grid: one tile per exposure row, in list order, three to a row (see layoutHeatGrid). It is as
// tall as its rows need for the width it gets. Tiles are kept while the rows stay the same.
class ExposureHeatGrid final : public QWidget {
    Q_OBJECT

public:
    explicit ExposureHeatGrid(QWidget* parent = nullptr);

    void setRows(const QList<PnlExposureRow>& rows);
    const QList<HeatTileWidget*>& tiles() const { return m_tiles; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QList<QSizeF> tileSizes() const;
    void placeTiles();

    QList<PnlExposureRow> m_rows;
    QList<HeatTileWidget*> m_tiles;
};

// One tile: the symbol (caption, upper case) over the UPL (headline), padded 6, on a rounded (radius 8) background
// of the tile's tone at the tile's opacity.
class HeatTileWidget final : public QWidget {
    Q_OBJECT

public:
    explicit HeatTileWidget(QWidget* parent = nullptr);

    void setRow(const PnlExposureRow& row);
    QString symbol() const;
    QString upl() const;
    // The background as drawn: the tone's colour in the current theme at the tile's opacity.
    QColor background() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_symbol = nullptr;
    QLabel* m_upl = nullptr;
    bool m_negative = false;
    double m_opacity = 0.0;
};

} // namespace zqt
