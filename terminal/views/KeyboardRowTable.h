#pragma once

#include <QTableView>

namespace zqt {

// A table view whose keyboard row (its current index) RecordCellDelegate frames across all its cells while the
// table has the focus: a change of the current row or of the focus repaints whole rows, not only the cell that
// changed.
class KeyboardRowTable : public QTableView {
    Q_OBJECT

public:
    using QTableView::QTableView;

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

} // namespace zqt
