#pragma once

#include <QString>

#include <functional>

namespace zqt {

// How a cell's text is coloured; the views turn a tone into a palette colour.
enum class CellTone { Default, Positive, Negative, Secondary };
// The size of a column's text: the body text, or the caption and smaller caption styles of dense lists.
enum class CellFont { Body, Caption, Small };
// How a whole row is tinted: not at all, as the book's mid level, as the row the user picked, or both.
enum class RowTint { None, Mid, Picked, MidPicked };

// One column of a record table: its header, the text of a cell, the cell alignment, optionally the tone of a
// cell's text (no function: the default colour) and the size of its text.
template <class Row> struct TableColumn {
    QString header;
    std::function<QString(const Row&)> text;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    // Braces, not "= {}": g++ 12 stops with an internal compiler error on the latter in this template.
    std::function<CellTone(const Row&)> tone{};
    CellFont font = CellFont::Body;
};

// The roles under which a cell's CellTone, CellFont and its row's RowTint (each as int) are read.
inline constexpr int kCellToneRole = Qt::UserRole + 1;
inline constexpr int kCellFontRole = Qt::UserRole + 2;
inline constexpr int kRowTintRole = Qt::UserRole + 3;

} // namespace zqt
