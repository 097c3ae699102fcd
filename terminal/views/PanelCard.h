#pragma once

#include "terminal/RecordTableModel.h"
#include "terminal/views/Badge.h"
#include "terminal/views/RecordTableView.h"

#include <QFrame>

class QLabel;
class QSpacerItem;
class QVBoxLayout;

namespace zqt {

class CompactTable;
class FlowRow;

// The frame of every panel on the terminal page: a rounded card (radius 10) in the window colour with a hairline
// edge, holding a leading-aligned column (8 apart unless told otherwise) padded 12 on every side. A width limit
// applies to the content column, inside the padding. Every panel is a subclass that names itself and adds its
// pieces to the column with the helpers below, in the order they are shown.
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
    // A title label in the headline style, added to the column. The card's window title becomes the same text
    // (what a dock holding the card is titled); a card that makes its own title label sets it itself.
    QLabel* addTitle(const QString& text);
    // The card takes all the width its row gives it, its content stretched across.
    void stretchAcross();
    // A row of badges `spacing` apart that wraps in a narrow card, added to the column; addBadge fills it.
    FlowRow* addBadgeRow(int spacing);
    Badge* addBadge(FlowRow* row, const QString& objectName, const QString& label, BadgeTone tone);
    // A hint in the secondary text colour (following the palette) for while there is nothing to show.
    QLabel* addEmptyHint(const QString& objectName, const QString& text);
    // A record table `height` high over `columns`, named `label` for assistive technology, showing the rows that
    // `rows()` reads from `source`, read again on every `changed`.
    template <class Row, class Source, class Signal, class Rows>
    RecordTableView* addRecordTable(const QString& objectName, const QString& label, int height,
                                    QList<TableColumn<Row>> columns, const Source& source, Signal changed, Rows rows) {
        auto* table = new RecordTableModel<Row>(std::move(columns), this);
        feedRows(*table, source, changed, rows);
        return addTable(new RecordTableView(table, label, height, this), objectName);
    }

    // A compact table over `model` (which the table's parent then owns) with fixed column widths, named `label`.
    CompactTable* addCompactTable(const QString& objectName, QAbstractItemModel* model, const QList<int>& columnWidths,
                                  const QString& label);

    // Whether the card fills the height its holder gives (in a dock of the workspace) or keeps its own (on the
    // page, the default). Filling, the card's table (the last one added) takes the height left over and scrolls
    // inside itself, down to its header and fillRows() rows.
    virtual void setFillsHeight(bool fill);
    bool fillsHeight() const { return m_fillsHeight; }
    // How many rows the table keeps in view at least while filling (kFillRows unless told).
    void setFillRows(int rows) { m_fillRows = rows; }
    int fillRows() const { return m_fillRows; }

    static constexpr int kPadding = 12;
    static constexpr int kRadius = 10;
    static constexpr int kFillRows = 3;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    RecordTableView* addTable(RecordTableView* view, const QString& objectName);

    QVBoxLayout* m_column = nullptr;
    QTableView* m_body = nullptr;  // the table that takes the height left over while filling
    QSpacerItem* m_foot = nullptr; // while filling, under the rows
    bool m_fillsHeight = false;
    int m_fillRows = kFillRows;
};

} // namespace zqt
