#include "window/LogHighlighter.h"

#include "control/LogLines.h"
#include "display/Palette.h"

#include <QTextCharFormat>

namespace zqt {

LogHighlighter::LogHighlighter(const LogLines& lines, QTextDocument* document)
    : QSyntaxHighlighter(document), m_lines(lines) {}

QColor LogHighlighter::matchBackground() {
    return withOpacity(QColor(0xff, 0xd6, 0x00), 0.45);
}

void LogHighlighter::highlightBlock(const QString& text) {
    const LogSeverity severity = LogFilter::severity(text);
    if (severity != LogSeverity::Plain) {
        QTextCharFormat line;
        line.setForeground(severity == LogSeverity::Error ? negativeColor() : warningColor());
        setFormat(0, static_cast<int>(text.size()), line);
    }
    for (const LogFilter::Match& m : m_lines.filter().matchesIn(text)) {
        QTextCharFormat match = format(static_cast<int>(m.start));
        match.setBackground(matchBackground());
        setFormat(static_cast<int>(m.start), static_cast<int>(m.length), match);
    }
}

} // namespace zqt
