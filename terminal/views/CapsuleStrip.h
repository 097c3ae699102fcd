#pragma once

#include "terminal/PanelRows.h"

#include <QWidget>

namespace zqt {

// Paints a list of capsules computed elsewhere (PanelRows): the widget only draws them. Its size follows the
// shapes' bounding box unless the owner sets one.
class CapsuleStrip : public QWidget {
    Q_OBJECT

public:
    explicit CapsuleStrip(QWidget* parent = nullptr);

    const QList<Capsule>& shapes() const { return m_shapes; }
    // Replaces the shapes; repaints only when they differ.
    void setShapes(const QList<Capsule>& shapes);

    QSize sizeHint() const override;

    // Draws `shapes` with antialiasing: a rounded bar each, a left-to-right gradient when its two opacities differ.
    static void paintCapsules(QPainter& painter, const QList<Capsule>& shapes);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<Capsule> m_shapes;
};

// The depth heat strip under the ladder: its lines are laid out for the strip's own width.
class DepthHeatStrip final : public CapsuleStrip {
    Q_OBJECT

public:
    explicit DepthHeatStrip(QWidget* parent = nullptr);
    void setRows(const QList<DepthHeatRow>& rows);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();

    QList<DepthHeatRow> m_rows;
};

} // namespace zqt
