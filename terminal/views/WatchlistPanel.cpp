#include "terminal/views/WatchlistPanel.h"

#include "terminal/CellFormats.h"
#include "terminal/MarketModel.h"
#include "terminal/views/StaleMark.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include <functional>
#include <utility>

namespace zqt {

// One watchlist row: padded 6, rounded 6, tinted with the highlight colour at 20 % while selected. A click
// anywhere on it (symbol, price or the space between) picks it, as do Return, Enter and Space while its symbol
// button has the focus; one press is one pick, a held key's repeats pick nothing more.
class WatchRow final : public QWidget {
public:
    WatchRow(std::function<void()> pick, QWidget* parent) : QWidget(parent), m_pick(std::move(pick)) {
        setCursor(Qt::PointingHandCursor);
    }
    void attach(QPushButton* button) {
        m_button = button;
        m_button->installEventFilter(this);
    }
    void setSelected(bool selected) {
        if (m_selected == selected)
            return;
        m_selected = selected;
        update();
    }

protected:
    void mousePressEvent(QMouseEvent* event) override { event->setAccepted(event->button() == Qt::LeftButton); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            m_pick();
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A plain push button clicks on Space only; Return and Enter pick the row too.
        if (watched == m_button && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
                if (!key->isAutoRepeat())
                    m_pick();
                return true;
            }
        }
        return QWidget::eventFilter(watched, event);
    }
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
    QPushButton* m_button = nullptr;
    std::function<void()> m_pick;
    bool m_selected = false;
};

WatchlistPanel::WatchlistPanel(MarketModel& model, QWidget* parent) : PanelCard(parent), m_model(model) {
    setObjectName(QStringLiteral("watchlistPanel"));
    setContentWidth(kContentWidth); // prices change width with every tick; the ticket beside stays put
    addTitle(QStringLiteral("Watchlist"));
    column()->setSpacing(8);

    for (const QString& symbol : m_model.watchlist()) {
        auto* row = new WatchRow([this, symbol] { m_model.setSelectedSymbol(symbol); }, this);
        row->setObjectName(QStringLiteral("watchRow_") + symbol);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(6, 6, 6, 6);
        auto* button = new QPushButton(symbol, row);
        row->attach(button);
        button->setObjectName(QStringLiteral("watchSymbol_") + symbol);
        button->setFlat(true);
        button->setAccessibleName(QStringLiteral("Select ") + symbol);
        button->setCursor(Qt::PointingHandCursor);
        button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
        button->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; text-align: left; }"));
        auto* price = new QLabel(QStringLiteral("-"), row);
        price->setObjectName(QStringLiteral("watchPrice_") + symbol);
        price->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        price->setAttribute(Qt::WA_TransparentForMouseEvents); // a click on the price picks the row
        layout->addWidget(button);
        layout->addStretch(1);
        layout->addWidget(price);
        column()->addWidget(row);
        m_rows.insert(symbol, row);
        m_prices.insert(symbol, price);
        connect(button, &QPushButton::clicked, this, [this, symbol] { m_model.setSelectedSymbol(symbol); });
    }

    QList<QWidget*> prices;
    for (QLabel* price : std::as_const(m_prices))
        prices << price;
    StaleMark* stale = addStaleMark(
        *this, QStringLiteral("watchlistStaleMark"), [this] { return m_model.pricesFreshness(); }, prices);
    connect(&m_model, &MarketModel::freshnessChanged, stale, &StaleMark::refresh);

    connect(&m_model, &MarketModel::pricesChanged, this, &WatchlistPanel::updatePrices);
    connect(&m_model, &MarketModel::selectedSymbolChanged, this, &WatchlistPanel::updateSelection);
    updatePrices();
    updateSelection();
}

void WatchlistPanel::updatePrices() {
    const QHash<QString, double>& prices = m_model.prices();
    for (auto it = m_prices.begin(); it != m_prices.end(); ++it) {
        const auto price = prices.constFind(it.key());
        it.value()->setText(price == prices.cend() ? QStringLiteral("-") : fmtPrice(*price));
    }
}

void WatchlistPanel::updateSelection() {
    for (auto it = m_rows.begin(); it != m_rows.end(); ++it)
        it.value()->setSelected(it.key() == m_model.selectedSymbol());
}

} // namespace zqt
