#pragma once

#include "terminal/ChartSeries.h"
#include "terminal/views/PanelCard.h"

#include <QList>

#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QResizeEvent;

namespace zqt {

class CandleChartWidget;
class ChartCanvas;
class MacdChartWidget;
class MetricTile;
class ChartSettings;
class MarketModel;
class RsiChartWidget;
class SegmentedControl;
class VolumeChartWidget;

// Row 4 (`chartPanel`): the market chart of the selected symbol. Header with the symbol pill and the interval
// and HTF pickers, the eleven display switches, the main candle chart, the HTF chart, the volume, RSI and MACD
// sub-charts, two rows of indicator readouts, the last price and the market error.
//
// Each model signal updates only the widgets that read it: a candle change recomputes the main series and
// repaints the main chart, the sub-charts and the readouts; an HTF bar change only the HTF chart; a price only
// the "Last: " line. Pickers write the chart settings' intervals (the market then reloads its bars); switches
// only redraw.
//
// A crosshair follows the pointer over any chart, or the keys over the focused main chart (Left, Right, Home, End,
// Escape): a vertical line through that bar on every chart (on the HTF chart through the HTF bar holding it), a
// horizontal line and value tag on the chart under the pointer, and that bar's values in the readout line above the
// main chart (the last bar's when no crosshair is shown). The charts' context menu copies or saves an image of
// the card as shown.
class ChartPanel final : public PanelCard {
    Q_OBJECT

public:
    // `market` (whose bars it draws) and `chart` (what it shows) must outlive the panel.
    ChartPanel(MarketModel& market, ChartSettings& chart, QWidget* parent = nullptr);

    // Seconds per bar offered by the interval picker, and per HTF bar by the HTF picker, with their labels.
    static const QList<std::pair<QString, double>>& intervalChoices();
    static const QList<std::pair<QString, double>>& htfChoices();
    CandleChartWidget* mainChart() const { return m_mainChart; }

    // Whether the charts share out the card's height (the main chart the most, each down to a readable minimum;
    // the card then needs no more height than those minimums) or keep their fixed heights (the default). Sharing,
    // in a holder too low for every chart at its least, the main chart reaches down to the holder's lower edge and
    // the charts under it follow at their least, to be scrolled to.
    // In the workspace the card's own spacing and padding are smaller, so more of the height goes to the charts.
    void setFillsHeight(bool fill) override;

    // Writes a PNG of the card as shown (at the screen's pixel ratio) to `path`, replacing it only once complete;
    // the outcome is shown under the charts. False when it could not be written.
    bool saveChartImage(const QString& path);
    // Puts that image on the clipboard.
    void copyChartImage();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitMainChart();
    void buildCrosshair();
    void showCrosshair(std::optional<std::size_t> mainIndex, ChartCanvas* pointed, std::optional<double> y,
                       std::optional<std::size_t> htfIndex);
    void onPointerMoved(ChartCanvas* chart, std::size_t index, double y);
    void onCrosshairKey(int key);
    void updateReadoutLine();
    void applyGutter();
    void showExportOutcome(const QString& text, bool failed);
    void openSaveDialog();
    void buildHeader();
    void buildSwitches();
    void buildReadouts();
    void updateMainCharts();
    void updateHtfChart();
    void updateToggles();
    void updateInterval();
    void updateHtfInterval();
    void updateSymbol();
    void updateLastPrice();
    void updateMarketError();

    MarketModel& m_model;
    ChartSettings& m_chart;
    QLabel* m_symbolPill = nullptr;
    SegmentedControl* m_interval = nullptr;
    QComboBox* m_htf = nullptr;
    QList<QCheckBox*> m_switches;
    CandleChartWidget* m_mainChart = nullptr;
    CandleChartWidget* m_htfChart = nullptr;
    QLabel* m_htfLabel = nullptr;
    QLabel* m_htfEmpty = nullptr; // why the HTF chart is empty when no timeframe lies above the bars
    VolumeChartWidget* m_volumeChart = nullptr;
    RsiChartWidget* m_rsiChart = nullptr;
    MacdChartWidget* m_macdChart = nullptr;
    QList<MetricTile*> m_readouts;     // EMA, VWAP, ATR, RSI, MACD, SMA50, SMA200, BB+2σ, BB-2σ
    QLabel* m_readoutLine = nullptr;   // the hovered bar's values (the last bar's without a crosshair)
    QLabel* m_exportOutcome = nullptr; // the last image export's outcome
    QAction* m_copyImage = nullptr;
    QAction* m_saveImage = nullptr;
    ChartSeries m_series;                    // the main chart's series as drawn, for the readout line
    std::optional<std::size_t> m_crossIndex; // the main chart's bar under the crosshair
    double m_gutter = 0;                     // the price label column shared by every chart, so slots line up
    QWidget* m_holder = nullptr;             // the parent whose height the card fits while sharing
    QLabel* m_lastPrice = nullptr;
    QLabel* m_marketError = nullptr;
};

} // namespace zqt
