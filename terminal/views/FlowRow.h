#pragma once

#include <QLayout>
#include <QList>

namespace zqt {

// A row of widgets at their preferred sizes, `spacing` apart and vertically centred, that continues on the next
// line (`spacing` below) when the width runs out: a row of badges stays whole and readable in a narrow card.
class FlowRow final : public QLayout {
public:
    explicit FlowRow(int spacing, QWidget* parent = nullptr);
    ~FlowRow() override;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

private:
    // Lays the items out in `rect` (only measures when `apply` is false); returns the height used.
    int arrange(const QRect& rect, bool apply) const;

    QList<QLayoutItem*> m_items;
    int m_gap = 0;
};

} // namespace zqt
