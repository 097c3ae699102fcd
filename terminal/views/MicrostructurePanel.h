#pragma once

#include "terminal/views/PanelCard.h"

class QLabel;
class QVBoxLayout;

namespace zqt {

class CapsuleStrip;
class MarketModel;

// Row 6 (`microstructurePanel`, the whole width): "Microstructure" with two halves side by side. Left, the
// volume profile of the bars: the 12 heaviest of 16 price bins, each a price and a pair of bars (buying green,
// selling red) scaled against the heaviest, or "No profile data". Right, the order-flow clusters of the tape:
// price, prints ("3x"), buy and sell sizes and the share of the largest cluster, or "No flow clusters".
class MicrostructurePanel final : public PanelCard {
    Q_OBJECT

public:
    explicit MicrostructurePanel(MarketModel& model, QWidget* parent = nullptr);

private:
    struct ProfileLine {
        QWidget* row = nullptr;
        QLabel* price = nullptr;
        CapsuleStrip* bars = nullptr;
    };
    struct ClusterLine {
        QWidget* row = nullptr;
        QList<QLabel*> texts; // price, count, buy, sell, share
    };

    void updateProfile();
    void updateClusters();

    MarketModel& m_model;
    QLabel* m_noProfile = nullptr;
    QLabel* m_noClusters = nullptr;
    QList<ProfileLine> m_profile;
    QList<ClusterLine> m_clusters;
};

} // namespace zqt
