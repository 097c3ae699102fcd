#pragma once

#include "charts/CandleChartView.h"
#include "charts/ChartPlan.h"
#include "charts/MacdChartView.h"
#include "charts/PriceLines.h"
#include "charts/RsiChartView.h"
#include "charts/VolumeChartView.h"

#include <QImage>
#include <QWidget>

namespace zqt {

// A chart on the terminal page: it keeps its inputs, the plan made from them at its current width, and an image
// of that plan at the screen's pixel ratio; its paintEvent paints the plan into the image when the plan changed
// and then only copies the image. After changing the inputs, call refresh(): it re-plans and schedules one
// repaint of this widget alone. The full width of the container, a fixed height.
class ChartCanvas : public QWidget {
    Q_OBJECT

public:
    explicit ChartCanvas(QWidget* parent = nullptr);

    const ChartPlan& plan() const { return m_plan; }
    void refresh();

protected:
    virtual void replan(double width, ChartPlan& plan) const = 0;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    ChartPlan m_plan;
    QImage m_image;
    bool m_imageStale = true;
};

// The candle chart (height from its inputs), with labelled price lines over its bars.
class CandleChartWidget final : public ChartCanvas {
    Q_OBJECT

public:
    explicit CandleChartWidget(double height, QWidget* parent = nullptr);
    CandleChartView& view() { return m_view; }
    const CandleChartView& view() const { return m_view; }
    // Lines drawn over the bars (none without bars); call refresh() after.
    std::vector<PriceLine>& priceLines() { return m_priceLines; }
    const std::vector<PriceLine>& priceLines() const { return m_priceLines; }

protected:
    void replan(double width, ChartPlan& plan) const override;

private:
    CandleChartView m_view;
    std::vector<PriceLine> m_priceLines;
};

class VolumeChartWidget final : public ChartCanvas {
    Q_OBJECT

public:
    explicit VolumeChartWidget(QWidget* parent = nullptr);
    VolumeChartView& view() { return m_view; }

protected:
    void replan(double width, ChartPlan& plan) const override;

private:
    VolumeChartView m_view;
};

class RsiChartWidget final : public ChartCanvas {
    Q_OBJECT

public:
    explicit RsiChartWidget(QWidget* parent = nullptr);
    RsiChartView& view() { return m_view; }

protected:
    void replan(double width, ChartPlan& plan) const override;

private:
    RsiChartView m_view;
};

class MacdChartWidget final : public ChartCanvas {
    Q_OBJECT

public:
    explicit MacdChartWidget(QWidget* parent = nullptr);
    MacdChartView& view() { return m_view; }

protected:
    void replan(double width, ChartPlan& plan) const override;

private:
    MacdChartView m_view;
};

} // namespace zqt
