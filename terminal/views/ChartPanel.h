#pragma once

#include "terminal/views/PanelCard.h"

#include <QList>

class QCheckBox;
class QComboBox;
class QLabel;

namespace zqt {

class CandleChartWidget;
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
class ChartPanel final : public PanelCard {
    Q_OBJECT

public:
    // `market` (whose bars it draws) and `chart` (what it shows) must outlive the panel.
    ChartPanel(MarketModel& market, ChartSettings& chart, QWidget* parent = nullptr);

    // Seconds per bar offered by the interval picker, and per HTF bar by the HTF picker, with their labels.
    static const QList<std::pair<QString, double>>& intervalChoices();
    static const QList<std::pair<QString, double>>& htfChoices();
    CandleChartWidget* mainChart() const { return m_mainChart; }

private:
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
    QList<MetricTile*> m_readouts; // EMA, VWAP, ATR, RSI, MACD, SMA50, SMA200, BB+2σ, BB-2σ
    QLabel* m_lastPrice = nullptr;
    QLabel* m_marketError = nullptr;
};

} // namespace zqt
