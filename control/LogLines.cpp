#include "control/LogLines.h"

#include <algorithm>

namespace zqt {

LogLines::LogLines(QObject* parent) : QObject(parent) {}

namespace {

// A character QTextDocument takes as the end of a paragraph.
bool breaksParagraph(QChar c) {
    return c == u'\r' || c == QChar::ParagraphSeparator || c == QChar(0xfdd0) || c == QChar(0xfdd1);
}

QString piece(QStringView text) {
    QString out = text.toString();
    for (QChar& c : out) {
        if (breaksParagraph(c))
            c = QChar::ReplacementCharacter;
    }
    return out;
}

} // namespace

QStringList LogLines::displayLines(QStringView text, qsizetype maxLength) {
    maxLength = std::max<qsizetype>(maxLength, 2);
    QStringList out;
    for (qsizetype from = 0; from <= text.size();) {
        qsizetype next = text.indexOf(u'\n', from);
        if (next < 0)
            next = text.size();
        qsizetype to = next;
        if (to > from && text[to - 1] == u'\r')
            --to;
        while (to - from > maxLength) {
            qsizetype cut = from + maxLength;
            if (text[cut - 1].isHighSurrogate())
                --cut;
            out.append(piece(text.sliced(from, cut - from)));
            from = cut;
        }
        if (to > from)
            out.append(piece(text.sliced(from, to - from)));
        from = next + 1;
    }
    return out;
}

void LogLines::reset(const QStringList& lines, int openPieces) {
    m_lines.clear();
    m_matchCount = 0;
    m_characters = 0;
    for (const QString& line : lines)
        push(line);
    m_openPieces = std::min(openPieces, static_cast<int>(lines.size()));
    trim();
    emit linesReset();
}

void LogLines::append(const QStringList& lines, int openPieces, bool replaceOpen) {
    if (replaceOpen) {
        for (; m_openPieces > 0 && !m_lines.empty(); --m_openPieces)
            popBack();
    }
    m_openPieces = 0;
    for (const QString& line : lines)
        push(line);
    m_openPieces = std::min(openPieces, static_cast<int>(lines.size()));
    trim();
    emit linesChanged();
}

void LogLines::setFilterText(const QString& text) {
    if (text == m_filter.text())
        return;
    m_filter = LogFilter(text);
    m_matchCount = 0;
    for (Line& line : m_lines) {
        line.matched = m_filter.matches(line.text);
        m_matchCount += line.matched;
    }
    emit filterChanged();
    emit linesReset();
}

qsizetype LogLines::indexOf(quint64 seq) const {
    if (m_lines.empty() || seq < m_lines.front().seq || seq > m_lines.back().seq)
        return -1;
    const auto it = std::lower_bound(m_lines.begin(), m_lines.end(), seq,
                                     [](const Line& line, quint64 value) { return line.seq < value; });
    return it != m_lines.end() && it->seq == seq ? static_cast<qsizetype>(it - m_lines.begin()) : -1;
}

qsizetype LogLines::firstAfter(quint64 seq) const {
    const auto it = std::upper_bound(m_lines.begin(), m_lines.end(), seq,
                                     [](quint64 value, const Line& line) { return value < line.seq; });
    return static_cast<qsizetype>(it - m_lines.begin());
}

void LogLines::push(const QString& text) {
    Line line{m_nextSeq++, text, m_filter.matches(text)};
    m_matchCount += line.matched;
    m_characters += text.size();
    m_lines.push_back(std::move(line));
}

void LogLines::popFront() {
    m_matchCount -= m_lines.front().matched;
    m_characters -= m_lines.front().text.size();
    m_lines.pop_front();
}

void LogLines::popBack() {
    m_matchCount -= m_lines.back().matched;
    m_characters -= m_lines.back().text.size();
    m_lines.pop_back();
}

void LogLines::trim() {
    // The unfinished line is never dropped: it is at the end, and at most kMaxReadBytes long.
    while (static_cast<qsizetype>(m_lines.size()) > std::max<qsizetype>(kMaxLines, m_openPieces) ||
           (m_characters > kMaxCharacters && static_cast<qsizetype>(m_lines.size()) > m_openPieces))
        popFront();
}

} // namespace zqt
