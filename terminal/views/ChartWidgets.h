#pragma once

#include "charts/CandleChartView.h"
#include "charts/ChartPlan.h"
#include "charts/MacdChartView.h"
#include "charts/PriceLines.h"
#include "charts/RsiChartView.h"
#include "charts/VolumeChartView.h"

#include <QImage>
#include <QWidget>

#include <optional>
#include <vector>

namespace zqt {

// A chart on the terminal page: it keeps its inputs, the plan made from them at its current size, and an image
// of that plan at the screen's pixel ratio; its paintEvent paints the plan into the image when the plan changed
// and then only copies the image. After changing the inputs, call refresh(): it re-plans and schedules one
// repaint of this widget alone. The full width of the container; a fixed height, or any height from a minimum
// up when its container shares out its height (a resize re-plans at the new size).
//
// The crosshair is a layer of its own over that image: setting it re-plans nothing and repaints only the old and
// the new crosshair's strips. The canvas reports the pointer's slot (pointerMoved, pointerLeft) and, when it has
// the focus, the crosshair keys (Left, Right, Home, End, Escape: crosshairKey); whoever owns the crosshair of a
// group of charts decides where it goes.
class ChartCanvas : public QWidget {
    Q_OBJECT

public:
    explicit ChartCanvas(QWidget* parent = nullptr);

    const ChartPlan& plan() const { return m_plan; }
    void refresh();

    // Held at `height`, or free to take any height from `minimum` up (growing with its container).
    void setFixedChartHeight(int height);
    void setFlexibleChartHeight(int minimum);

    // The crosshair: a vertical line through slot `index`, a horizontal line with its value's tag at `y`.
    void setCrosshair(std::optional<std::size_t> index, std::optional<double> y);
    std::optional<std::size_t> crosshairIndex() const { return m_crossIndex; }
    std::optional<double> crosshairY() const { return m_crossY; }
    const std::vector<ChartPrimitive>& crosshair() const { return m_crosshair; }

signals:
    void pointerMoved(std::size_t index, double y);
    void pointerLeft();
    void crosshairKey(int key);
    // The canvas took another size and re-planned for it.
    void resized();

protected:
    virtual void replan(double width, ChartPlan& plan) const = 0;
    // Takes the canvas's height into the inputs, for the plans that follow.
    virtual void fitHeight(double height) = 0;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void replanCrosshair();
    void updateOpaque();
    QRegion crosshairBounds() const;

    ChartPlan m_plan;
    QImage m_image;
    bool m_imageStale = true;
    std::optional<std::size_t> m_crossIndex;
    std::optional<double> m_crossY;
    std::vector<ChartPrimitive> m_crosshair;
};

// The candle chart (`height` high until resized), with labelled price lines over its bars.
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
    void fitHeight(double height) override { m_view.height = height; }

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
    void fitHeight(double height) override { m_view.height = height; }

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
    void fitHeight(double height) override { m_view.height = height; }

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
    void fitHeight(double height) override { m_view.height = height; }

private:
    MacdChartView m_view;
};

} // namespace zqt
