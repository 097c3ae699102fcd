#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringView>

namespace zqt {

// How a log line reads at a glance: an error line holds ERROR, FATAL or CRITICAL, a warning line WARN or WARNING,
// as whole words in any case. A line with both is an error line.
enum class LogSeverity { Plain, Warning, Error };

// The logs view's filter. Text written between two slashes (/like this/) is a regular expression (Perl syntax,
// case as written; "(?i)" makes it ignore case); any other text is looked for as it stands, in any case. Empty
// text, and an expression that does not compile, let every line through; the latter says why in error().
class LogFilter final {
public:
    // One match in a line, in UTF-16 code units.
    struct Match {
        qsizetype start = 0;
        qsizetype length = 0;
        friend bool operator==(const Match&, const Match&) = default;
    };

    LogFilter() = default;
    explicit LogFilter(const QString& text);

    QString text() const { return m_text; }
    // Empty, or one line saying what is wrong with the expression.
    QString error() const { return m_error; }

    bool matches(QStringView line) const;
    // Where the filter matches in `line`, left to right and not overlapping; empty matches are left out. Empty
    // when the filter lets every line through.
    QList<Match> matchesIn(QStringView line) const;

    static LogSeverity severity(QStringView line);

private:
    QString m_text;
    QString m_needle;
    QRegularExpression m_expression;
    bool m_isExpression = false;
    bool m_passesAll = true;
    QString m_error;
};

} // namespace zqt
