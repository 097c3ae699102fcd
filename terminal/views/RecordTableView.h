#pragma once

#include "terminal/views/KeyboardRowTable.h"

namespace zqt {

// A read-only table of the terminal page: fixed height (it scrolls inside it), no sorting, no selection, no row
// numbers. Its columns share its width; it prefers every column at the header's default width and shrinks, down to
// kMinimumColumnWidth a column, in a narrow window. Its accessible name is the label it is shown under. Cells are
// drawn by RecordCellDelegate from the model's roles; everything else is the style's default.
class RecordTableView final : public KeyboardRowTable {
    Q_OBJECT

public:
    RecordTableView(QAbstractItemModel* model, const QString& accessibleName, int height, QWidget* parent = nullptr);

    static constexpr int kMinimumColumnWidth = 60;

    // Every column at the header's default width, and its own height (its least while it fills its card).
    QSize sizeHint() const override;
    // Takes any height its card gives, at least its header and `rows` rows (true), or its own height again.
    void setFillsHeight(bool fill, int rows);

private:
    int m_preferredWidth = 0;
    int m_height = 0;
};

} // namespace zqt
