#pragma once

#include "terminal/views/PanelCard.h"

#include <QList>

class QLabel;

namespace zqt {

class MetricTile;
class StaleMark;
class NativeTerminalModel;

// Row 2: "Account Metrics" with Refresh, then eight metric tiles, or a hint while no metrics arrived. A negative
// balance, equity or buffer is red, the profit green or red by its sign; a daily loss buffer at or below zero
// tints its tile red. While the metrics read fails, "as of" the last good one, the values grey.
class MetricsPanel final : public PanelCard {
    Q_OBJECT

public:
    explicit MetricsPanel(NativeTerminalModel& model, QWidget* parent = nullptr);

    // The tile labelled `label`, or nullptr.
    MetricTile* tile(const QString& label) const;

private:
    void update();

    NativeTerminalModel& m_model;
    QWidget* m_tiles = nullptr;
    QList<MetricTile*> m_tileList;
    QLabel* m_empty = nullptr;
    StaleMark* m_stale = nullptr;
};

} // namespace zqt
