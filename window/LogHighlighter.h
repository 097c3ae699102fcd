#pragma once

#include <QSyntaxHighlighter>

namespace zqt {

class LogLines;

// Colours the logs view's lines as plain text is laid out: error lines in the error colour, warning lines in the
// warning colour (see LogFilter::severity), and every match of the current filter on a marker background.
class LogHighlighter final : public QSyntaxHighlighter {
    Q_OBJECT

public:
    // `lines` (whose filter is used) must outlive the highlighter.
    LogHighlighter(const LogLines& lines, QTextDocument* document);

    static QColor matchBackground();

protected:
    void highlightBlock(const QString& text) override;

private:
    const LogLines& m_lines;
};

} // namespace zqt
