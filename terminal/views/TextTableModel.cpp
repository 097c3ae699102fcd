#include "terminal/views/TextTableModel.h"

namespace zqt {

TextTableModel::TextTableModel(QList<Column> columns, QObject* parent)
    : QAbstractTableModel(parent), m_columns(std::move(columns)) {}

void TextTableModel::setRows(QList<Row> rows) {
    if (rows == m_rows)
        return;
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int TextTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TextTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant TextTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= m_columns.size())
        return {};
    const Row& row = m_rows[index.row()];
    if (index.column() >= row.cells.size())
        return {};
    const Cell& cell = row.cells[index.column()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return cell.text;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(m_columns[index.column()].alignment);
    case Qt::ForegroundRole:
        return cell.color ? QVariant(*cell.color) : QVariant();
    case Qt::FontRole:
        return cell.font ? QVariant(*cell.font) : QVariant();
    case Qt::BackgroundRole:
        return row.tint ? QVariant(*row.tint) : QVariant();
    default:
        return {};
    }
}

QVariant TextTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return m_columns[section].header;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_columns[section].alignment);
    return {};
}

} // namespace zqt
