#pragma once

#include <QFrame>

class QLabel;
class QVBoxLayout;

namespace zqt {

// The frame of every panel on the terminal page: a rounded card (radius 10) in the window colour with a hairline
// edge, holding a leading-aligned column (8 apart unless told otherwise) padded 12 on every side. A width limit
// applies to the content column, inside the padding.
class PanelCard : public QFrame {
    Q_OBJECT

public:
    explicit PanelCard(QWidget* parent = nullptr, int spacing = 8);

    QVBoxLayout* column() const { return m_column; }
    // Caps the content column's width (device-independent pixels); the card adds its padding.
    void setContentMaximumWidth(int width);
    // Holds the content column at exactly `width`: for cards whose texts change with every tick, so that a wider
    // number never moves the cards beside them.
    void setContentWidth(int width);
    // A title label in the headline style, added to the column.
    QLabel* addTitle(const QString& text);

    static constexpr int kPadding = 12;
    static constexpr int kRadius = 10;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* m_column = nullptr;
};

} // namespace zqt
