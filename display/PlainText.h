#pragma once

#include <QIdentityProxyModel>
#include <QString>
#include <QStringView>

class QLabel;

namespace zqt {

// Text from outside the program (engine replies, files, script output, settings) as the widgets show it: always as
// plain text, never guessed to be HTML, and bounded, so that no value can make a label load a file, draw styled
// text of the sender's choosing or lay out a megabyte on the UI thread.

// Longest shown value of a tile, a pill or a table cell, and of a message line, in characters; longer values are
// cut there, the last character an ellipsis.
inline constexpr int kShortTextChars = 64;
inline constexpr int kMessageTextChars = 300;
// Longest value a tooltip or an accessible description holds (characters): the whole of any sensible value.
inline constexpr int kWholeTextChars = 4096;

// `raw` made safe to lay out on a line: tab, line feed, carriage return and the Unicode line and paragraph
// separators become spaces; every other control character, a lone surrogate and the bidirectional marks,
// embeddings, overrides and isolates (which would reorder the text around them) become U+FFFD. When that is longer
// than `maxChars` (at least 1) it is cut to `maxChars` characters, the last of them "…"; a surrogate pair is never
// split. Reads at most `maxChars` characters of `raw`, however long it is.
QString shownText(QStringView raw, int maxChars);

// The whole value (shownText at kWholeTextChars) as tooltip text: rich text that shows every character of the value
// literally, tags and entities included (a plain tooltip would be guessed to be HTML like a label).
QString literalToolTip(QStringView raw);

// Shows `value` in `label` as plain text, cut at `maxChars` (see shownText). When the label shows less than the
// value or another text, the whole value goes into its tooltip and accessible description; otherwise both are empty.
void showPlainText(QLabel* label, QStringView value, int maxChars);

// A table model as the views show it: the text of every cell cut at `maxChars` (see shownText) for display and
// for assistive technology, and, where that is not the whole value, the whole value as the cell's tooltip and
// accessible description. Everything else passes through unchanged.
class PlainTextProxyModel final : public QIdentityProxyModel {
    Q_OBJECT

public:
    explicit PlainTextProxyModel(QAbstractItemModel* source, int maxChars = kShortTextChars, QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    int m_maxChars;
};

} // namespace zqt
