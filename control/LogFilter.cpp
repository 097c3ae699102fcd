#include "control/LogFilter.h"

namespace zqt {

LogFilter::LogFilter(const QString& text) : m_text(text) {
    if (text.size() >= 2 && text.startsWith(u'/') && text.endsWith(u'/')) {
        m_isExpression = true;
        m_expression.setPattern(text.mid(1, text.size() - 2));
        if (!m_expression.isValid()) {
            m_error = QStringLiteral("Invalid regular expression: %1 (at character %2)")
                          .arg(m_expression.errorString())
                          .arg(m_expression.patternErrorOffset() + 1);
            return;
        }
        m_expression.optimize();
        m_passesAll = m_expression.pattern().isEmpty();
        return;
    }
    m_needle = text;
    m_passesAll = text.isEmpty();
}

bool LogFilter::matches(QStringView line) const {
    if (m_passesAll)
        return true;
    if (m_isExpression)
        return m_expression.match(line).hasMatch();
    return line.contains(m_needle, Qt::CaseInsensitive);
}

QList<LogFilter::Match> LogFilter::matchesIn(QStringView line) const {
    QList<Match> out;
    if (m_passesAll)
        return out;
    if (m_isExpression) {
        for (QRegularExpressionMatchIterator it = m_expression.globalMatch(line); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (m.capturedLength() > 0)
                out.append({m.capturedStart(), m.capturedLength()});
        }
        return out;
    }
    for (qsizetype from = line.indexOf(m_needle, 0, Qt::CaseInsensitive); from >= 0;
         from = line.indexOf(m_needle, from + m_needle.size(), Qt::CaseInsensitive))
        out.append({from, m_needle.size()});
    return out;
}

LogSeverity LogFilter::severity(QStringView line) {
    // \b is an ASCII word boundary here: "ERROR:" and "level=error" count, "ERRORS" and "NO_ERROR" do not.
    static const QRegularExpression error(QStringLiteral("\\b(?:ERROR|FATAL|CRITICAL)\\b"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression warning(QStringLiteral("\\bWARN(?:ING)?\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (error.match(line).hasMatch())
        return LogSeverity::Error;
    if (warning.match(line).hasMatch())
        return LogSeverity::Warning;
    return LogSeverity::Plain;
}

} // namespace zqt
