#include "terminal/views/ExposureHeatGrid.h"

#include "terminal/HeatGrid.h"
#include "terminal/views/DisplayHelpers.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <cmath>

namespace zqt {

namespace {

constexpr int kTilePadding = 6;
constexpr qreal kTileRadius = 8;

} // namespace

HeatTileWidget::HeatTileWidget(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kTilePadding, kTilePadding, kTilePadding, kTilePadding);
    column->setSpacing(2);
    column->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_symbol = new QLabel(this);
    m_symbol->setObjectName(QStringLiteral("heatTileSymbol"));
    m_symbol->setFont(captionFont(font()));
    m_upl = new QLabel(this);
    m_upl->setObjectName(QStringLiteral("heatTileUpl"));
    m_upl->setFont(headlineFont(font()));
    column->addWidget(m_symbol);
    column->addWidget(m_upl);
}

void HeatTileWidget::setRow(const PnlExposureRow& row) {
    const HeatTile tile = heatTile(row);
    // The symbol is the engine's text: plain, cut to the tile.
    showPlainText(m_symbol, tile.symbol, kShortTextChars);
    showPlainText(m_upl, tile.upl, kShortTextChars);
    setAccessibleName(shownText(tile.symbol, kWholeTextChars));
    setAccessibleDescription(tile.upl);
    const bool negative = tile.tone == CellTone::Negative;
    if (negative != m_negative || tile.opacity != m_opacity) {
        m_negative = negative;
        m_opacity = tile.opacity;
        update();
    }
}

QColor HeatTileWidget::background() const {
    return withOpacity(m_negative ? negativeColor() : positiveColor(), m_opacity);
}

QString HeatTileWidget::symbol() const {
    return m_symbol->text();
}

QString HeatTileWidget::upl() const {
    return m_upl->text();
}

void HeatTileWidget::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kTileRadius, kTileRadius);
    p.fillPath(path, background());
}

ExposureHeatGrid::ExposureHeatGrid(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("exposureHeatGrid"));
    // As tall as its rows for the width it gets, never stretched.
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void ExposureHeatGrid::setRows(const QList<PnlExposureRow>& rows) {
    if (rows == m_rows)
        return;
    m_rows = rows;
    while (m_tiles.size() > rows.size())
        delete m_tiles.takeLast();
    while (m_tiles.size() < rows.size()) {
        auto* tile = new HeatTileWidget(this);
        tile->setObjectName(QStringLiteral("heatTile"));
        tile->show();
        m_tiles << tile;
    }
    for (qsizetype i = 0; i < rows.size(); ++i)
        m_tiles[i]->setRow(rows[i]);
    updateGeometry();
    placeTiles();
}

QList<QSizeF> ExposureHeatGrid::tileSizes() const {
    QList<QSizeF> sizes;
    sizes.reserve(m_tiles.size());
    for (const HeatTileWidget* tile : m_tiles)
        sizes << QSizeF(tile->sizeHint());
    return sizes;
}

int ExposureHeatGrid::heightForWidth(int width) const {
    return static_cast<int>(std::ceil(layoutHeatGrid(width, tileSizes()).height));
}

QSize ExposureHeatGrid::sizeHint() const {
    const QList<QSizeF> sizes = tileSizes();
    const int width = static_cast<int>(std::ceil(heatGridMinimumWidth(sizes)));
    return {width, static_cast<int>(std::ceil(layoutHeatGrid(width, sizes).height))};
}

QSize ExposureHeatGrid::minimumSizeHint() const {
    return {static_cast<int>(std::ceil(heatGridMinimumWidth(tileSizes()))), 0};
}

void ExposureHeatGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeTiles();
}

void ExposureHeatGrid::placeTiles() {
    const HeatGridLayout layout = layoutHeatGrid(width(), tileSizes());
    for (qsizetype i = 0; i < m_tiles.size(); ++i)
        m_tiles[i]->setGeometry(layout.tiles[i].toAlignedRect());
}

} // namespace zqt
