#include "terminal/views/ChartPanel.h"

#include "terminal/CellFormats.h"
#include "terminal/ChartSeries.h"
#include "terminal/ChartSettings.h"
#include "terminal/MarketModel.h"
#include "terminal/views/ChartWidgets.h"
#include "terminal/views/DisplayHelpers.h"
#include "terminal/views/FlowRow.h"
#include "terminal/views/SegmentedControl.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QImageWriter>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>

namespace zqt {

namespace {

constexpr double kMainChartHeight = 240;
constexpr double kHtfChartHeight = 160;
// Sharing out the card's height, each chart keeps a readable minimum and takes its share of the rest: the main
// chart's price plot stays at least 90 high (4 to 8 price labels); the HTF chart keeps room for its caption and the
// line under it (its plot of 32 shows 2 or 3 price labels); each sub-chart's labels stay a label apart (RSI's 30
// and 70 over 40% of its plot, MACD's top and zero over half of it) and the volume bars keep 20 pixels.
struct ChartShare {
    int fixed;
    int minimum;
    int stretch;
};
constexpr ChartShare kMainShare{int(kMainChartHeight), 122, 6};
constexpr ChartShare kHtfShare{int(kHtfChartHeight), 64, 3};
constexpr ChartShare kVolumeShare{int(VolumeChartView::kHeight), 44, 1};
constexpr ChartShare kRsiShare{int(RsiChartView::kHeight), 57, 1};
constexpr ChartShare kMacdShare{int(MacdChartView::kHeight), 50, 1};
// The card's padding and the space between its rows: on the page, and in a dock (tighter, the charts' room).
constexpr int kPagePadding = PanelCard::kPadding;
constexpr int kPageSpacing = 8;
constexpr int kFillPadding = 8;
constexpr int kFillSpacing = 4;
constexpr int kIntervalPickerWidth = 220;
constexpr int kSwitchSpacing = 12;
constexpr int kHeaderSpacing = 6;

// A caption on a rounded (radius 6) control-coloured pill, padded 6.
class Pill final : public QLabel {
public:
    explicit Pill(QWidget* parent) : QLabel(parent) {
        setContentsMargins(6, 6, 6, 6);
        setTextInteractionFlags(Qt::TextSelectableByMouse);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        {
            QPainter p(this);
            p.setRenderHint(QPainter::Antialiasing);
            QPainterPath path;
            path.addRoundedRect(QRectF(rect()), 6, 6);
            p.fillPath(path, palette().color(QPalette::Button));
        }
        QLabel::paintEvent(event);
    }
};

// A strip as wide as the card holding one line of text across its whole width, without a layout: the line's text
// changes with every tick, and a label in the card's column would ask the card for a new layout each time.
class LineStrip final : public QWidget {
public:
    LineStrip(QWidget* line, QWidget* parent) : QWidget(parent), m_line(line) {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed); // a long line never widens the card
        setFixedHeight(line->height());
        line->setParent(this);
        line->setGeometry(rect());
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        m_line->setGeometry(rect());
    }

private:
    QWidget* m_line;
};

// One display switch: its label and the model field it shows and writes.
struct Switch {
    const char* label;
    bool (ChartSettings::*get)() const;
    void (ChartSettings::*set)(bool);
};

using M = ChartSettings;
const Switch kSwitches[] = {
    {"EMA", &M::showEma, &M::setShowEma},
    {"VWAP", &M::showVwap, &M::setShowVwap},
    {"VWAP Bands", &M::showVwapBands, &M::setShowVwapBands},
    {"SMA50", &M::showSma50, &M::setShowSma50},
    {"SMA200", &M::showSma200, &M::setShowSma200},
    {"BBands", &M::showBbands, &M::setShowBbands},
    {"Vol", &M::showVolume, &M::setShowVolume},
    {"RSI", &M::showRsi, &M::setShowRsi},
    {"MACD", &M::showMacd, &M::setShowMacd},
    {"HTF", &M::showHtf, &M::setShowHtf},
    {"Grid", &M::showGrid, &M::setShowGrid},
};

enum Readout { kEma, kVwap, kAtr, kRsi, kMacd, kSma50, kSma200, kBbUpper, kBbLower, kReadoutCount };
const char* const kReadoutLabels[kReadoutCount] = {"EMA",   "VWAP",   "ATR",   "RSI",  "MACD",
                                                   "SMA50", "SMA200", "BB+2σ", "BB-2σ"};

QString fixed4(std::optional<double> v) {
    return fmtOptional(v, fmtPrice);
}

// The switches the candle charts share.
void applyCandleSwitches(const ChartSettings& m, CandleChartView& v) {
    v.showEma = m.showEma();
    v.showVwap = m.showVwap();
    v.showVwapBands = m.showVwapBands();
    v.showSma50 = m.showSma50();
    v.showSma200 = m.showSma200();
    v.showBbands = m.showBbands();
    v.showGrid = m.showGrid();
}

// A candle chart's bars and overlays from their series.
void showCandleSeries(ChartSeries series, CandleChartView& v) {
    v.candles = std::move(series.candles);
    v.ema = std::move(series.ema);
    v.vwap = std::move(series.vwap);
    v.vwapUpper = std::move(series.vwapBands.upper);
    v.vwapLower = std::move(series.vwapBands.lower);
    v.sma50 = std::move(series.sma50);
    v.sma200 = std::move(series.sma200);
    v.bbUpper = std::move(series.bollinger.upper);
    v.bbLower = std::move(series.bollinger.lower);
}

} // namespace

const QList<std::pair<QString, double>>& ChartPanel::intervalChoices() {
    static const QList<std::pair<QString, double>> choices = {{QStringLiteral("5s"), 5},
                                                              {QStringLiteral("15s"), 15},
                                                              {QStringLiteral("60s"), 60},
                                                              {QStringLiteral("5m"), 300},
                                                              {QStringLiteral("15m"), 900}};
    return choices;
}

const QList<std::pair<QString, double>>& ChartPanel::htfChoices() {
    static const QList<std::pair<QString, double>> choices = {
        {QStringLiteral("HTF 1m"), 60}, {QStringLiteral("HTF 5m"), 300}, {QStringLiteral("HTF 15m"), 900}};
    return choices;
}

ChartPanel::ChartPanel(MarketModel& market, ChartSettings& chart, QWidget* parent)
    : PanelCard(parent), m_model(market), m_chart(chart) {
    setObjectName(QStringLiteral("chartPanel"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    buildHeader();
    buildSwitches();

    m_readoutLine = new QLabel(this);
    m_readoutLine->setObjectName(QStringLiteral("chartReadoutLine"));
    m_readoutLine->setFont(captionFont(font()));
    m_readoutLine->setTextFormat(Qt::PlainText);
    m_readoutLine->setAccessibleDescription(
        QStringLiteral("Values of the bar under the crosshair, or of the last bar"));
    m_readoutLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_readoutLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed); // a long line never widens the card
    m_readoutLine->setFixedHeight(m_readoutLine->fontMetrics().height());
    column()->addWidget(new LineStrip(m_readoutLine, this));

    m_mainChart = new CandleChartWidget(kMainChartHeight, this);
    m_mainChart->setObjectName(QStringLiteral("mainChart"));
    m_mainChart->setAccessibleName(QStringLiteral("Price chart"));
    m_mainChart->setFocusPolicy(Qt::StrongFocus);
    column()->addWidget(m_mainChart);

    m_htfChart = new CandleChartWidget(kHtfChartHeight, this);
    m_htfChart->setObjectName(QStringLiteral("htfChart"));
    m_htfLabel = new Pill(m_htfChart);
    m_htfLabel->setObjectName(QStringLiteral("htfLabel"));
    m_htfLabel->setFont(caption2Font(font()));
    m_htfLabel->move(6, 6);
    m_htfEmpty = new QLabel(m_htfChart);
    m_htfEmpty->setObjectName(QStringLiteral("htfEmptyLabel"));
    m_htfEmpty->setFont(captionFont(font()));
    m_htfEmpty->setTextFormat(Qt::PlainText);
    m_htfEmpty->move(6, 40);
    m_htfEmpty->hide();
    column()->addWidget(m_htfChart);

    m_volumeChart = new VolumeChartWidget(this);
    m_volumeChart->setObjectName(QStringLiteral("volumeChart"));
    column()->addWidget(m_volumeChart);
    m_rsiChart = new RsiChartWidget(this);
    m_rsiChart->setObjectName(QStringLiteral("rsiChart"));
    column()->addWidget(m_rsiChart);
    m_macdChart = new MacdChartWidget(this);
    m_macdChart->setObjectName(QStringLiteral("macdChart"));
    column()->addWidget(m_macdChart);

    buildReadouts();

    m_lastPrice = new QLabel(this);
    m_lastPrice->setObjectName(QStringLiteral("lastPriceLabel"));
    m_lastPrice->setFont(captionFont(font()));
    m_lastPrice->setForegroundRole(QPalette::PlaceholderText); // secondary text, following the palette
    m_lastPrice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column()->addWidget(m_lastPrice);

    m_marketError = new QLabel(this);
    m_marketError->setObjectName(QStringLiteral("chartMarketErrorLabel"));
    m_marketError->setFont(captionFont(font()));
    m_marketError->setWordWrap(true);
    m_marketError->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette errorPalette = m_marketError->palette();
    errorPalette.setColor(QPalette::WindowText, warningColor());
    m_marketError->setPalette(errorPalette);
    column()->addWidget(m_marketError);

    m_exportOutcome = new QLabel(this);
    m_exportOutcome->setObjectName(QStringLiteral("chartImageOutcomeLabel"));
    m_exportOutcome->setFont(captionFont(font()));
    m_exportOutcome->setWordWrap(true);
    m_exportOutcome->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_exportOutcome->hide();
    column()->addWidget(m_exportOutcome);

    buildCrosshair();
    // A taller or shorter chart may need another price label column.
    connect(m_mainChart, &ChartCanvas::resized, this, &ChartPanel::applyGutter);
    connect(m_htfChart, &ChartCanvas::resized, this, &ChartPanel::applyGutter);

    connect(&m_model, &MarketModel::candlesChanged, this, &ChartPanel::updateMainCharts);
    connect(&m_model, &MarketModel::htfCandlesChanged, this, &ChartPanel::updateHtfChart);
    connect(&m_chart, &ChartSettings::chartTogglesChanged, this, &ChartPanel::updateToggles);
    connect(&m_chart, &ChartSettings::candleIntervalChanged, this, &ChartPanel::updateInterval);
    connect(&m_chart, &ChartSettings::htfIntervalChanged, this, &ChartPanel::updateHtfInterval);
    connect(&m_model, &MarketModel::selectedSymbolChanged, this, &ChartPanel::updateSymbol);
    connect(&m_model, &MarketModel::pricesChanged, this, &ChartPanel::updateLastPrice);
    connect(&m_model, &MarketModel::marketErrorChanged, this, &ChartPanel::updateMarketError);
    updateInterval();
    updateHtfInterval();
    updateSymbol();
    updateMarketError();
    updateToggles(); // draws both candle charts and the sub-charts
}

void ChartPanel::setFillsHeight(bool fill) {
    if (fill == fillsHeight())
        return;
    PanelCard::setFillsHeight(fill);
    const int padding = fill ? kFillPadding : kPagePadding;
    column()->setContentsMargins(padding, padding, padding, padding);
    column()->setSpacing(fill ? kFillSpacing : kPageSpacing);
    const std::pair<ChartCanvas*, ChartShare> charts[] = {{m_mainChart, kMainShare},
                                                          {m_htfChart, kHtfShare},
                                                          {m_volumeChart, kVolumeShare},
                                                          {m_rsiChart, kRsiShare},
                                                          {m_macdChart, kMacdShare}};
    for (const auto& [chart, share] : charts) {
        if (fill)
            chart->setFlexibleChartHeight(share.minimum);
        else
            chart->setFixedChartHeight(share.fixed);
        column()->setStretchFactor(chart, fill ? share.stretch : 0);
    }
    fitMainChart();
}

bool ChartPanel::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange) {
        if (m_holder)
            m_holder->removeEventFilter(this);
        m_holder = parentWidget();
        if (m_holder)
            m_holder->installEventFilter(this);
    }
    return PanelCard::event(event);
}

bool ChartPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_holder && event->type() == QEvent::Resize)
        fitMainChart();
    return PanelCard::eventFilter(watched, event);
}

void ChartPanel::resizeEvent(QResizeEvent* event) {
    PanelCard::resizeEvent(event);
    fitMainChart(); // the charts' places follow the card's width (the header and switches wrap)
}

// The main chart's least height: its own least while every chart fits the holder, else down to the holder's
// lower edge. It depends only on the holder's height and the card's width, so it settles in one pass.
void ChartPanel::fitMainChart() {
    if (!fillsHeight() || !m_holder)
        return;
    const int least = kMainShare.minimum;
    const int current = m_mainChart->minimumHeight();
    const int allAtLeast = heightForWidth(width()) - (current - least);
    const int visible = m_holder->height();
    const int main = allAtLeast > visible ? std::max(least, visible - m_mainChart->y() - column()->spacing()) : least;
    if (main != current)
        m_mainChart->setMinimumHeight(main);
}

void ChartPanel::buildHeader() {
    auto* header = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("Market Chart"), this);
    title->setObjectName(QStringLiteral("chartTitle"));
    title->setFont(headlineFont(font()));
    title->setAccessibleName(title->text());
    setWindowTitle(title->text());
    header->addWidget(title);
    header->addStretch(1);
    // The symbol and the pickers stay on the title's line while the card is wide enough and wrap under each other
    // in a narrow one, so the card never needs more width than its widest picker.
    auto* controls = new FlowRow(kHeaderSpacing);
    header->addLayout(controls);

    m_symbolPill = new Pill(this);
    m_symbolPill->setObjectName(QStringLiteral("chartSymbolPill"));
    m_symbolPill->setFont(captionFont(font()));
    controls->addWidget(m_symbolPill);

    auto* intervalLabel = new QLabel(QStringLiteral("Interval"), this);
    controls->addWidget(intervalLabel);
    QStringList labels;
    for (const auto& [label, seconds] : intervalChoices())
        labels << label;
    m_interval = new SegmentedControl(labels, QStringLiteral("Interval"), this);
    m_interval->setObjectName(QStringLiteral("intervalPicker"));
    m_interval->setFixedWidth(kIntervalPickerWidth);
    for (const QString& label : labels)
        m_interval->button(label)->setAccessibleName(label); // named as shown
    intervalLabel->setBuddy(m_interval->button(labels.front()));
    controls->addWidget(m_interval);
    connect(m_interval, &SegmentedControl::activated, this, [this](const QString& label) {
        for (const auto& [choice, seconds] : intervalChoices())
            if (choice == label)
                m_chart.setCandleInterval(seconds);
    });

    auto* htfLabel = new QLabel(QStringLiteral("HTF"), this);
    controls->addWidget(htfLabel);
    m_htf = new QComboBox(this);
    m_htf->setObjectName(QStringLiteral("htfPicker"));
    m_htf->setAccessibleName(QStringLiteral("HTF"));
    htfLabel->setBuddy(m_htf);
    controls->addWidget(m_htf);
    connect(m_htf, &QComboBox::activated, this,
            [this](int index) { m_chart.setHtfInterval(m_htf->itemData(index).toDouble()); });

    column()->addLayout(header);
}

void ChartPanel::buildSwitches() {
    auto* row = new FlowRow(kSwitchSpacing); // wraps in a narrow card
    for (const Switch& s : kSwitches) {
        const QString label = QString::fromUtf8(s.label);
        auto* box = new QCheckBox(label, this);
        box->setObjectName(QStringLiteral("chartSwitch_") + label);
        box->setAccessibleName(label);
        box->setFont(captionFont(font()));
        row->addWidget(box);
        m_switches.append(box);
        const auto set = s.set;
        connect(box, &QCheckBox::clicked, this, [this, set](bool on) { (m_chart.*set)(on); });
    }
    column()->addLayout(row);
}

void ChartPanel::buildReadouts() {
    for (int first : {0, int(kSma50)}) {
        auto* row = new FlowRow(kHeaderSpacing);
        const int last = first == 0 ? int(kSma50) : int(kReadoutCount);
        for (int i = first; i < last; ++i) {
            const QString label = QString::fromUtf8(kReadoutLabels[i]);
            MetricTile* tile = zqt::metric(label, QStringLiteral("-"), this);
            tile->setObjectName(QStringLiteral("chartReadout_") + label);
            row->addWidget(tile);
            m_readouts.append(tile);
        }
        column()->addLayout(row);
    }
}

void ChartPanel::updateMainCharts() {
    m_series = mainChartSeries(m_model.candles());
    const ChartReadouts r = chartReadouts(m_series);
    if (m_chart.showRsi())
        m_rsiChart->view().values = m_series.rsi;
    if (m_chart.showMacd()) {
        MacdChartView& v = m_macdChart->view();
        v.macd = m_series.macd.macd;
        v.signal = m_series.macd.signal;
        v.hist = m_series.macd.hist;
    }
    CandleChartView& main = m_mainChart->view();
    showCandleSeries(m_series, main);
    applyCandleSwitches(m_chart, main);
    main.interval = m_chart.candleInterval();
    if (m_chart.showVolume())
        m_volumeChart->view().candles = main.candles;
    applyGutter();
    if (m_crossIndex && *m_crossIndex >= main.candles.size())
        showCrosshair(std::nullopt, nullptr, std::nullopt, std::nullopt); // its bar is gone
    m_mainChart->refresh();
    if (m_chart.showRsi())
        m_rsiChart->refresh();
    if (m_chart.showMacd())
        m_macdChart->refresh();
    if (m_chart.showVolume())
        m_volumeChart->refresh();
    updateReadoutLine();

    const QString values[kReadoutCount] = {
        fixed4(r.ema),
        fixed4(r.vwap),
        fixed4(r.atr),
        fmtOptional(r.rsi, fmtOscillator),
        fixed4(r.macd),
        fixed4(r.sma50),
        fixed4(r.sma200),
        fixed4(r.bollingerUpper),
        fixed4(r.bollingerLower),
    };
    for (int i = 0; i < kReadoutCount; ++i)
        if (m_readouts[i]->value() != values[i])
            m_readouts[i]->setValue(values[i]);
}

void ChartPanel::updateHtfChart() {
    if (!m_chart.showHtf())
        return; // its series are computed only while it is shown
    CandleChartView& htf = m_htfChart->view();
    // Nothing above the bar interval: an empty chart under the label saying so.
    showCandleSeries(m_htf->count() == 0 ? ChartSeries{} : htfChartSeries(m_model.htfCandles()), htf);
    applyCandleSwitches(m_chart, htf);
    applyGutter();
    if (m_crossIndex && m_htfChart->crosshairIndex()) { // the HTF bar under the crosshair may have moved
        const Candle& bar = m_series.candles[*m_crossIndex];
        m_htfChart->setCrosshair(barAt(htf.candles, m_chart.htfInterval(), bar.bucket, m_chart.candleInterval()),
                                 m_htfChart->crosshairY());
    }
    m_htfChart->refresh();
}

void ChartPanel::applyGutter() {
    double gutter = candlePriceGutter(m_mainChart->view());
    if (m_chart.showHtf() && !m_htfChart->view().candles.empty())
        gutter = std::max(gutter, candlePriceGutter(m_htfChart->view()));
    if (gutter == m_gutter)
        return;
    m_gutter = gutter;
    m_mainChart->view().gutter = gutter;
    m_htfChart->view().gutter = gutter;
    m_volumeChart->view().gutter = gutter;
    m_rsiChart->view().gutter = gutter;
    m_macdChart->view().gutter = gutter;
    for (ChartCanvas* chart :
         std::initializer_list<ChartCanvas*>{m_mainChart, m_htfChart, m_volumeChart, m_rsiChart, m_macdChart})
        chart->refresh();
}

void ChartPanel::buildCrosshair() {
    m_copyImage = new QAction(QStringLiteral("Copy Chart Image"), this);
    m_copyImage->setObjectName(QStringLiteral("copyChartImageAction"));
    connect(m_copyImage, &QAction::triggered, this, &ChartPanel::copyChartImage);
    m_saveImage = new QAction(QStringLiteral("Save Chart Image..."), this);
    m_saveImage->setObjectName(QStringLiteral("saveChartImageAction"));
    connect(m_saveImage, &QAction::triggered, this, &ChartPanel::openSaveDialog);
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("chartImageMenu"));
    menu->addAction(m_copyImage);
    menu->addAction(m_saveImage);

    for (ChartCanvas* chart :
         std::initializer_list<ChartCanvas*>{m_mainChart, m_htfChart, m_volumeChart, m_rsiChart, m_macdChart}) {
        connect(chart, &ChartCanvas::pointerMoved, this,
                [this, chart](std::size_t index, double y) { onPointerMoved(chart, index, y); });
        connect(chart, &ChartCanvas::pointerLeft, this,
                [this] { showCrosshair(std::nullopt, nullptr, std::nullopt, std::nullopt); });
        chart->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(chart, &QWidget::customContextMenuRequested, menu,
                [menu, chart](const QPoint& at) { menu->popup(chart->mapToGlobal(at)); });
    }
    connect(m_mainChart, &ChartCanvas::crosshairKey, this, &ChartPanel::onCrosshairKey);
}

void ChartPanel::showCrosshair(std::optional<std::size_t> mainIndex, ChartCanvas* pointed, std::optional<double> y,
                               std::optional<std::size_t> htfIndex) {
    m_crossIndex = mainIndex;
    for (ChartCanvas* chart : std::initializer_list<ChartCanvas*>{m_mainChart, m_volumeChart, m_rsiChart, m_macdChart})
        chart->setCrosshair(mainIndex, chart == pointed ? y : std::nullopt);
    m_htfChart->setCrosshair(htfIndex, pointed == m_htfChart ? y : std::nullopt);
    updateReadoutLine();
}

void ChartPanel::onPointerMoved(ChartCanvas* chart, std::size_t index, double y) {
    const std::vector<Candle>& bars = m_series.candles;
    const std::vector<Candle>& htfBars = m_htfChart->view().candles;
    const double interval = m_chart.candleInterval();
    const double htfInterval = m_chart.htfInterval();
    if (chart == m_htfChart) {
        if (index >= htfBars.size())
            return;
        showCrosshair(barAt(bars, interval, htfBars[index].bucket, htfInterval), chart, y, index);
        return;
    }
    if (index >= bars.size())
        return;
    showCrosshair(index, chart, y, barAt(htfBars, htfInterval, bars[index].bucket, interval));
}

void ChartPanel::onCrosshairKey(int key) {
    const std::size_t n = m_series.candles.size();
    if (n == 0)
        return;
    std::optional<std::size_t> index;
    switch (key) {
    case Qt::Key_Left:
        index = m_crossIndex ? (*m_crossIndex > 0 ? *m_crossIndex - 1 : 0) : n - 1;
        break;
    case Qt::Key_Right:
        index = m_crossIndex ? std::min(*m_crossIndex + 1, n - 1) : n - 1;
        break;
    case Qt::Key_Home:
        index = 0;
        break;
    case Qt::Key_End:
        index = n - 1;
        break;
    default: // Escape: leave
        break;
    }
    std::optional<std::size_t> htf;
    if (index)
        htf = barAt(m_htfChart->view().candles, m_chart.htfInterval(), m_series.candles[*index].bucket,
                    m_chart.candleInterval());
    showCrosshair(index, nullptr, std::nullopt, htf);
}

void ChartPanel::updateReadoutLine() {
    const std::size_t n = m_series.candles.size();
    const QString text =
        n == 0 ? QString() : barReadout(m_series, m_crossIndex.value_or(n - 1), m_chart, QTimeZone::systemTimeZone());
    if (m_readoutLine->text() != text)
        m_readoutLine->setText(text);
}

void ChartPanel::copyChartImage() {
    QGuiApplication::clipboard()->setImage(grab().toImage());
    showExportOutcome(QStringLiteral("Chart image copied."), false);
}

bool ChartPanel::saveChartImage(const QString& path) {
    const QImage image = grab().toImage();
    QSaveFile file(path);
    QString error;
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
    } else {
        QImageWriter writer(&file, "png");
        if (!writer.write(image)) {
            error = writer.errorString();
            file.cancelWriting();
        } else if (!file.commit()) {
            error = file.errorString();
        }
    }
    if (!error.isEmpty()) {
        showExportOutcome(QStringLiteral("Could not save the chart image: ") + error, true);
        return false;
    }
    showExportOutcome(QStringLiteral("Chart image saved to ") + path, false);
    return true;
}

void ChartPanel::openSaveDialog() {
    auto* dialog = new QFileDialog(this, QStringLiteral("Save Chart Image"),
                                   QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
                                   QStringLiteral("PNG images (*.png)"));
    dialog->setObjectName(QStringLiteral("saveChartImageDialog"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setDefaultSuffix(QStringLiteral("png"));
    dialog->selectFile(QStringLiteral("chart.png"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) { saveChartImage(path); });
    dialog->open();
}

void ChartPanel::showExportOutcome(const QString& text, bool failed) {
    QPalette palette = m_exportOutcome->palette();
    palette.setColor(QPalette::WindowText, failed ? warningColor() : secondaryTextColor(this->palette()));
    m_exportOutcome->setPalette(palette);
    showPlainText(m_exportOutcome, text, kMessageTextChars);
    m_exportOutcome->show();
}

void ChartPanel::updateToggles() {
    for (int i = 0; i < m_switches.size(); ++i)
        m_switches[i]->setChecked((m_chart.*kSwitches[i].get)());
    m_htfChart->setVisible(m_chart.showHtf());
    m_volumeChart->setVisible(m_chart.showVolume());
    m_rsiChart->setVisible(m_chart.showRsi());
    m_macdChart->setVisible(m_chart.showMacd());
    updateMainCharts();
    updateHtfChart();
}

void ChartPanel::updateInterval() {
    QString chosen;
    for (const auto& [label, seconds] : intervalChoices())
        if (seconds == m_chart.candleInterval())
            chosen = label;
    m_interval->setValue(chosen);

    // The HTF picker offers only timeframes above the bars (the settings move a choice no longer above).
    const QList<double> above = htfIntervalsAbove(m_chart.candleInterval(), ChartSettings::htfChoices());
    m_htf->clear();
    for (const auto& [label, seconds] : htfChoices())
        if (above.contains(seconds))
            m_htf->addItem(label, seconds);
    m_htf->setEnabled(!above.isEmpty());
    m_htfEmpty->setText(above.isEmpty() ? QStringLiteral("No higher timeframe above %1 bars.").arg(chosen) : QString());
    m_htfEmpty->adjustSize();
    m_htfEmpty->setVisible(above.isEmpty());
    updateHtfInterval();
    updateHtfChart();
}

void ChartPanel::updateHtfInterval() {
    m_htf->setCurrentIndex(m_htf->findData(m_chart.htfInterval()));
    // Whole minutes, truncated.
    const auto minutes = static_cast<long long>(std::trunc(m_chart.htfInterval() / 60));
    m_htfLabel->setText(QStringLiteral("HTF %1m").arg(minutes));
    m_htfLabel->adjustSize();
}

void ChartPanel::updateSymbol() {
    showPlainText(m_symbolPill, m_model.selectedSymbol(), kShortTextChars);
    updateLastPrice();
}

void ChartPanel::updateLastPrice() {
    const QHash<QString, double>& prices = m_model.prices();
    const auto price = prices.constFind(m_model.selectedSymbol());
    const bool shown = price != prices.cend();
    const QString text = shown ? QStringLiteral("Last: ") + fmtPrice(*price) : QString();
    if (m_lastPrice->text() != text) {
        m_lastPrice->setText(text);
        holdGrownSize(m_lastPrice); // a new price lays out nothing while it fits
    }
    m_lastPrice->setVisible(shown);
}

void ChartPanel::updateMarketError() {
    showPlainText(m_marketError, m_model.marketError(), kMessageTextChars);
    m_marketError->setVisible(!m_model.marketError().isEmpty());
}

} // namespace zqt
