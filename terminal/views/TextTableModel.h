#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QList>

#include <optional>

namespace zqt {

// A read-only table of texts for the small lists of the trading panels (ladder, tape): fixed columns with a
// header and an alignment each, rows of cells with an optional colour and font, and an optional row tint. The
// panel builds the rows from plain data and hands them over whole; equal rows change nothing.
class TextTableModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    struct Column {
        QString header;
        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    };
    struct Cell {
        QString text;
        std::optional<QColor> color;
        std::optional<QFont> font;
        friend bool operator==(const Cell&, const Cell&) = default;
    };
    struct Row {
        QList<Cell> cells;
        std::optional<QColor> tint;
        friend bool operator==(const Row&, const Row&) = default;
    };

    explicit TextTableModel(QList<Column> columns, QObject* parent = nullptr);

    // Replaces the rows; resets the model only when they differ.
    void setRows(QList<Row> rows);
    const QList<Row>& rows() const { return m_rows; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<Column> m_columns;
    QList<Row> m_rows;
};

} // namespace zqt
