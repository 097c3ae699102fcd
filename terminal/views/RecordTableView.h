#pragma once

#include <QTableView>

namespace zqt {

// A read-only table of the terminal page: fixed height (it scrolls inside it), no sorting, no selection, no row
// numbers, and at least as wide as its columns. Its accessible name is the label it is shown under. Cell text
// follows the model's CellTone; everything else is the style's default.
class RecordTableView final : public QTableView {
    Q_OBJECT

public:
    RecordTableView(QAbstractItemModel* model, const QString& accessibleName, int height, QWidget* parent = nullptr);

    // Its minimum width (every column) and its fixed height.
    QSize sizeHint() const override;
};

} // namespace zqt
