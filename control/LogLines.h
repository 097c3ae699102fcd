#pragma once

#include "control/LogFilter.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>

namespace zqt {

// The lines the logs view holds: the tail last read and what following the file has added since, at most kMaxLines
// of them and kMaxCharacters in all (the oldest go first), each tagged with a sequence number that only grows and
// with whether it passes the filter. The last `openPieces` lines may be an unfinished line of the file, which the
// next read replaces. Main thread only.
class LogLines final : public QObject {
    Q_OBJECT

public:
    struct Line {
        quint64 seq = 0;
        QString text;
        bool matched = true;
    };

    explicit LogLines(QObject* parent = nullptr);

    // Replaces every line (a refresh).
    void reset(const QStringList& lines, int openPieces = 0);
    // Adds lines at the end. With `replaceOpen`, the unfinished line held so far gives way to `lines`, which begin
    // with its longer version; without, it stays as it is.
    void append(const QStringList& lines, int openPieces, bool replaceOpen);

    // The filter text (see LogFilter); every line's match is worked out again.
    void setFilterText(const QString& text);
    const LogFilter& filter() const { return m_filter; }

    qsizetype count() const { return static_cast<qsizetype>(m_lines.size()); }
    // Lines that pass the filter.
    qsizetype matchCount() const { return m_matchCount; }
    const Line& at(qsizetype index) const { return m_lines[static_cast<size_t>(index)]; }
    // The index of the line numbered `seq`, or -1 when it is no longer held.
    qsizetype indexOf(quint64 seq) const;
    // The index of the first line numbered above `seq` (count() when there is none).
    qsizetype firstAfter(quint64 seq) const;
    // Characters held in all lines.
    qsizetype characterCount() const { return m_characters; }
    int openPieces() const { return m_openPieces; }

    // `text` split at line feeds without its empty lines, and every line longer than `maxLength` characters broken
    // into pieces of at most that many (never inside a surrogate pair), for a text view that lays out a line at a
    // time. A carriage return before a line feed goes; characters a text document would take as the end of a
    // paragraph (another carriage return, U+2029, U+FDD0, U+FDD1) become U+FFFD, so one line stays one line.
    static QStringList displayLines(QStringView text, qsizetype maxLength = kDisplayLineLength);

    static constexpr qsizetype kMaxLines = 10000;
    static constexpr qsizetype kMaxCharacters = 4 * 1024 * 1024;
    static constexpr qsizetype kDisplayLineLength = 1000;

signals:
    // Every line was replaced (reset, or a new filter): views build their text anew.
    void linesReset();
    // Lines were added at the end, dropped at the start, or the unfinished line replaced.
    void linesChanged();
    void filterChanged();

private:
    void push(const QString& text);
    void popFront();
    void popBack();
    void trim();

    std::deque<Line> m_lines;
    quint64 m_nextSeq = 1;
    qsizetype m_matchCount = 0;
    qsizetype m_characters = 0;
    int m_openPieces = 0;
    LogFilter m_filter;
};

} // namespace zqt
