#include "terminal/views/MicrostructurePanel.h"

#include "terminal/MarketModel.h"
#include "terminal/PanelRows.h"
#include "terminal/views/CapsuleStrip.h"
#include "terminal/views/DisplayHelpers.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace zqt {

namespace {

QLabel* text(const QString& name, const QFont& font, std::optional<QColor> color, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText); // figures from the engine's prints
    label->setFont(font);
    if (color) {
        label->setForegroundRole(QPalette::WindowText);
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, *color);
        label->setPalette(p);
    }
    return label;
}

// Clusters and profile rows change with every print: a new text lays out nothing while it fits its label.
void setText(QLabel* label, const QString& value) {
    if (label->text() == value)
        return;
    label->setText(value);
    holdGrownSize(label);
}

} // namespace

MicrostructurePanel::MicrostructurePanel(MarketModel& model, QWidget* parent) : PanelCard(parent, 10), m_model(model) {
    setObjectName(QStringLiteral("microstructurePanel"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addTitle(QStringLiteral("Microstructure"));

    auto* halves = new QHBoxLayout;
    halves->setSpacing(14);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    for (QVBoxLayout* half : {left, right}) {
        half->setSpacing(6);
        half->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        halves->addLayout(half, 1);
    }
    column()->addLayout(halves);

    const QFont caption = captionFont(font());
    const QFont small = caption2Font(font());
    const QColor secondary = secondaryTextColor(palette());

    auto* profileCaption = text(QStringLiteral("profileCaption"), caption, secondary, this);
    profileCaption->setText(QStringLiteral("Volume Profile"));
    left->addWidget(profileCaption);
    m_noProfile = text(QStringLiteral("profileEmptyLabel"), font(), secondary, this);
    m_noProfile->setText(QStringLiteral("No profile data"));
    left->addWidget(m_noProfile);
    for (int i = 0; i < kProfileRowsShown; ++i) {
        ProfileLine line;
        line.row = new QWidget(this);
        line.row->setObjectName(QStringLiteral("profileRow_%1").arg(i));
        auto* layout = new QHBoxLayout(line.row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(8);
        line.price = text(QStringLiteral("profilePrice_%1").arg(i), small, secondary, line.row);
        line.price->setFixedWidth(76);
        line.bars = new CapsuleStrip(line.row);
        line.bars->setObjectName(QStringLiteral("profileBars_%1").arg(i));
        layout->addWidget(line.price, 0, Qt::AlignVCenter);
        layout->addWidget(line.bars, 0, Qt::AlignVCenter);
        layout->addStretch(1);
        left->addWidget(line.row);
        m_profile.append(line);
    }

    auto* clusterCaption = text(QStringLiteral("clustersCaption"), caption, secondary, this);
    clusterCaption->setText(QStringLiteral("Orderflow Clusters"));
    right->addWidget(clusterCaption);
    m_noClusters = text(QStringLiteral("clustersEmptyLabel"), font(), secondary, this);
    m_noClusters->setText(QStringLiteral("No flow clusters"));
    right->addWidget(m_noClusters);
    for (int i = 0; i < kFlowClusters; ++i) {
        ClusterLine line;
        line.row = new QWidget(this);
        line.row->setObjectName(QStringLiteral("clusterRow_%1").arg(i));
        auto* layout = new QHBoxLayout(line.row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(8);
        const struct {
            const char* name;
            std::optional<QColor> color;
            int width;
        } parts[] = {{"clusterPrice", std::nullopt, 76},
                     {"clusterCount", secondary, 34},
                     {"clusterBuy", positiveColor(), 0},
                     {"clusterSell", negativeColor(), 0},
                     {"clusterShare", secondary, 0}};
        for (const auto& part : parts) {
            QLabel* label =
                text(QStringLiteral("%1_%2").arg(QLatin1String(part.name)).arg(i), small, part.color, line.row);
            if (part.width > 0)
                label->setFixedWidth(part.width);
            if (QLatin1String(part.name) == QLatin1String("clusterShare"))
                layout->addStretch(1);
            layout->addWidget(label, 0, Qt::AlignVCenter);
            line.texts.append(label);
        }
        right->addWidget(line.row);
        m_clusters.append(line);
    }

    connect(&m_model, &MarketModel::candlesChanged, this, &MicrostructurePanel::updateProfile);
    // Clusters are rounded to the book's tick, which falls back on the symbol's price.
    connect(&m_model, &MarketModel::tapeChanged, this, &MicrostructurePanel::updateClusters);
    connect(&m_model, &MarketModel::depthChanged, this, &MicrostructurePanel::updateClusters);
    connect(&m_model, &MarketModel::pricesChanged, this, &MicrostructurePanel::updateClusters);
    updateProfile();
    updateClusters();
}

void MicrostructurePanel::updateProfile() {
    const QList<ProfileRow> rows = profileRows(m_model.volumeProfileBins(m_model.candles(), kProfileBins));
    m_noProfile->setVisible(rows.isEmpty());
    for (qsizetype i = 0; i < m_profile.size(); ++i) {
        const ProfileLine& line = m_profile[i];
        const bool shown = i < rows.size();
        if (shown) {
            setText(line.price, rows[i].priceText);
            line.bars->setShapes(rows[i].bars);
            holdGrownSize(line.bars);
        }
        line.row->setVisible(shown);
    }
}

void MicrostructurePanel::updateClusters() {
    const QList<ClusterRow> rows = clusterRows(m_model.orderflowClusters(kFlowClusters));
    m_noClusters->setVisible(rows.isEmpty());
    for (qsizetype i = 0; i < m_clusters.size(); ++i) {
        const ClusterLine& line = m_clusters[i];
        const bool shown = i < rows.size();
        if (shown) {
            const ClusterRow& r = rows[i];
            const QString values[] = {r.priceText, r.countText, r.buyText, r.sellText, r.shareText};
            for (qsizetype k = 0; k < line.texts.size(); ++k)
                setText(line.texts[k], values[k]);
        }
        line.row->setVisible(shown);
    }
}

} // namespace zqt
