#pragma once

#include "charts/ChartPlan.h"

#include <QColor>
#include <QPalette>

class QImage;
class QPainter;

namespace zqt {

// The colour behind a chart colour role, readable on light and dark palettes.
QColor chartColor(ChartColor role, const QPalette& palette);

// Paints `plan` with `painter` (antialiased) onto a device with an alpha channel (an image): the text-background
// colour, every primitive in order, and then everything outside the rounded frame cleared to transparent, so the
// result is clipped to the frame. The painter's state is restored afterwards.
void paintChartPlan(QPainter& painter, const ChartPlan& plan, const QPalette& palette, bool fillBackground = true);
// Paints `primitives` (a layer over a painted plan, such as the crosshair) clipped to the plan's canvas, without
// background or corner cut.
void paintChartOverlay(QPainter& painter, const ChartPlan& plan, const std::vector<ChartPrimitive>& primitives,
                       const QPalette& palette);
// The same into `image` (ARGB32 premultiplied, at least the plan's size times its pixel ratio), which it fills.
void renderChartPlan(QImage& image, const ChartPlan& plan, const QPalette& palette);

} // namespace zqt
