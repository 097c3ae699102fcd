#include "terminal/views/WatchlistPanel.h"

#include "terminal/MarketModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace zqt {

namespace {

// One watchlist row: padded 6, rounded 6, tinted with the highlight colour at 20 % while selected.
class WatchRow final : public QWidget {
public:
    explicit WatchRow(QWidget* parent) : QWidget(parent) {}
    void setSelected(bool selected) {
        if (m_selected == selected)
            return;
        m_selected = selected;
        update();
    }
    bool isSelected() const { return m_selected; }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        if (!m_selected)
            return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor tint = palette().color(QPalette::Highlight);
        tint.setAlphaF(0.2);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 6, 6);
        p.fillPath(path, tint);
    }

private:
    bool m_selected = false;
};

} // namespace

WatchlistPanel::WatchlistPanel(MarketModel& model, QWidget* parent) : PanelCard(parent), m_model(model) {
    setObjectName(QStringLiteral("watchlistPanel"));
    setContentWidth(kContentWidth); // prices change width with every tick; the ticket beside stays put
    addTitle(QStringLiteral("Watchlist"));
    column()->setSpacing(8);

    for (const QString& symbol : m_model.watchlist()) {
        auto* row = new WatchRow(this);
        row->setObjectName(QStringLiteral("watchRow_") + symbol);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(6, 6, 6, 6);
        auto* button = new QPushButton(symbol, row);
        button->setObjectName(QStringLiteral("watchSymbol_") + symbol);
        button->setFlat(true);
        button->setAccessibleName(QStringLiteral("Select ") + symbol);
        button->setCursor(Qt::PointingHandCursor);
        button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
        button->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; text-align: left; }"));
        auto* price = new QLabel(QStringLiteral("-"), row);
        price->setObjectName(QStringLiteral("watchPrice_") + symbol);
        price->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        price->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(button);
        layout->addStretch(1);
        layout->addWidget(price);
        column()->addWidget(row);
        m_rows.insert(symbol, row);
        m_prices.insert(symbol, price);
        connect(button, &QPushButton::clicked, this, [this, symbol] { m_model.setSelectedSymbol(symbol); });
    }

    connect(&m_model, &MarketModel::pricesChanged, this, &WatchlistPanel::updatePrices);
    connect(&m_model, &MarketModel::selectedSymbolChanged, this, &WatchlistPanel::updateSelection);
    updatePrices();
    updateSelection();
}

void WatchlistPanel::updatePrices() {
    const QHash<QString, double>& prices = m_model.prices();
    for (auto it = m_prices.begin(); it != m_prices.end(); ++it) {
        const auto price = prices.constFind(it.key());
        it.value()->setText(price == prices.cend() ? QStringLiteral("-") : QString::asprintf("%.4f", *price));
    }
}

void WatchlistPanel::updateSelection() {
    for (auto it = m_rows.begin(); it != m_rows.end(); ++it)
        static_cast<WatchRow*>(it.value())->setSelected(it.key() == m_model.selectedSymbol());
}

} // namespace zqt
