#include "control/LogFilter.h"
#include "control/LogLines.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <vector>

using zqt::LogFilter;
using zqt::LogLines;
using zqt::LogSeverity;

namespace {

// A fixed log the filter table runs against.
const QStringList kLog = {
    "2026-01-05 09:00:01 INFO web started on 8000",     // 0
    "2026-01-05 09:00:02 WARN slow reply from broker",  // 1
    "2026-01-05 09:00:03 ERROR order 17 rejected: qty", // 2
    "2026-01-05 09:00:04 info Order 18 filled EURUSD",  // 3
    "2026-01-05 09:00:05 FATAL worker lost (a+b)*",     // 4
    "2026-01-05 09:00:06 debug heartbeat /health 200",  // 5
};

std::vector<int> matchedRows(const LogFilter& filter) {
    std::vector<int> rows;
    for (int i = 0; i < kLog.size(); ++i) {
        if (filter.matches(kLog[i]))
            rows.push_back(i);
    }
    return rows;
}

} // namespace

TEST(LogFilterTest, table_ofTextsAndExpressionsAgainstAFixedLog) {
    const std::vector<int> all = {0, 1, 2, 3, 4, 5};
    const struct {
        const char* name;
        QString text;
        std::vector<int> rows;
        bool invalid;
    } cases[] = {
        {"empty", "", all, false},
        {"plain word", "order", {2, 3}, false},
        {"plain, any case", "ORDER", {2, 3}, false},
        {"plain with blanks", "order 1", {2, 3}, false},
        {"plain text with expression characters", "(a+b)*", {4}, false},
        {"plain path, one slash only", "/health", {5}, false},
        {"plain, no line", "nothing like it", {}, false},
        {"expression", "/order \\d+ (rejected|filled)/", {2}, false},
        {"expression keeps case", "/Order/", {3}, false},
        {"expression ignoring case inline", "/(?i)order/", {2, 3}, false},
        {"expression anchored", "/200$/", {5}, false},
        {"expression of levels", "/\\b(WARN|ERROR)\\b/", {1, 2}, false},
        {"empty expression", "//", all, false},
        {"invalid expression", "/order (/", all, true},
        {"invalid expression, bad repeat", "/*x/", all, true},
        {"a lone slash is text", "/", {5}, false},
    };
    for (const auto& c : cases) {
        const LogFilter filter(c.text);
        EXPECT_EQ(matchedRows(filter), c.rows) << c.name;
        EXPECT_EQ(!filter.error().isEmpty(), c.invalid) << c.name;
        if (c.invalid) {
            EXPECT_TRUE(filter.error().startsWith("Invalid regular expression: ")) << c.name;
            EXPECT_FALSE(filter.error().contains('\n')) << c.name;
        }
    }
}

TEST(LogFilterTest, matchesIn_marksEveryMatchLeftToRight) {
    using M = LogFilter::Match;
    const struct {
        QString filter;
        QString line;
        QList<M> expected;
    } cases[] = {
        {"ab", "xAbyaBzab", {{1, 2}, {4, 2}, {7, 2}}},
        {"aa", "aaaa", {{0, 2}, {2, 2}}},
        {"/\\d+/", "id 17 and 2048", {{3, 2}, {10, 4}}},
        {"/x*/", "abc", {}}, // only empty matches
        {"", "anything", {}},
        {"/(/", "(((", {}}, // invalid: filters and marks nothing
        {"missing", "not here", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LogFilter(c.filter).matchesIn(c.line), c.expected) << c.filter.toStdString();
}

TEST(LogFilterTest, severity_wholeWordsInAnyCase_errorBeforeWarning) {
    const struct {
        const char* line;
        LogSeverity expected;
    } cases[] = {
        {"2026 ERROR order rejected", LogSeverity::Error},
        {"level=error msg=x", LogSeverity::Error},
        {"[fatal] worker lost", LogSeverity::Error},
        {"Critical: disk full", LogSeverity::Error},
        {"WARN slow", LogSeverity::Warning},
        {"warning: retry", LogSeverity::Warning},
        {"Warn and then ERROR", LogSeverity::Error},
        {"ERRORS counted: 0", LogSeverity::Plain},
        {"NO_ERROR", LogSeverity::Plain},
        {"forewarned", LogSeverity::Plain},
        {"warnings", LogSeverity::Plain},
        {"criticality", LogSeverity::Plain},
        {"INFO all good", LogSeverity::Plain},
        {"", LogSeverity::Plain},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LogFilter::severity(QString::fromUtf8(c.line)), c.expected) << c.line;
}

TEST(LogLinesTest, displayLines_dropsEmptyLinesAndBreaksOverlongOnesNeverInsideASurrogatePair) {
    const QString pair = QString::fromUtf8("\xF0\x9F\x98\x80"); // one character, two UTF-16 units
    const QChar bad = QChar::ReplacementCharacter;
    const struct {
        QString text;
        QStringList expected;
    } cases[] = {
        {"", {}},
        {"short\n\nlines\n", {"short", "lines"}},
        {QString(5, 'a'), {QString(5, 'a')}},
        {QString(6, 'a'), {QString(5, 'a'), "a"}},
        {QString(12, 'b') + "\n", {"bbbbb", "bbbbb", "bb"}},
        {"ok\n" + QString(10, 'c') + "\nend", {"ok", "ccccc", "ccccc", "end"}},
        {"abcd" + pair + "e", {"abcd", pair + "e"}}, // the pair would straddle the cut
        {"abc" + pair + "de", {"abc" + pair, "de"}},
        // Windows line ends lose their CR; whatever a text document takes as a paragraph end is replaced.
        {"one\r\ntwo\r\n\r\n", {"one", "two"}},
        {QString("a\rb") + QChar::ParagraphSeparator + "c", {QString("a") + bad + "b" + bad + "c"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LogLines::displayLines(c.text, 5), c.expected) << c.text.toStdString();

    const QString megabyteLine(1024 * 1024, 'x');
    const QStringList pieces = LogLines::displayLines(megabyteLine);
    EXPECT_EQ(pieces.size(), (megabyteLine.size() + 999) / 1000);
    EXPECT_EQ(pieces.join(QString()), megabyteLine);
    for (const QString& p : pieces)
        EXPECT_LE(p.size(), LogLines::kDisplayLineLength);
}

TEST(LogLinesTest, append_keepsTheNewestLinesWithinTheLineAndCharacterLimits) {
    LogLines lines;
    lines.setFilterText("7");
    QStringList batch;
    for (int i = 0; i < 25000; ++i)
        batch << QStringLiteral("line %1").arg(i);
    lines.append(batch, 0, false);
    ASSERT_EQ(lines.count(), LogLines::kMaxLines);
    EXPECT_EQ(lines.at(0).text, "line 15000");
    EXPECT_EQ(lines.at(lines.count() - 1).text, "line 24999");
    qsizetype matched = 0;
    for (qsizetype i = 0; i < lines.count(); ++i)
        matched += lines.at(i).text.contains('7');
    EXPECT_EQ(lines.matchCount(), matched);

    // Lines of a thousand characters: the character budget binds before the line count.
    lines.append(QStringList(6000, QString(1000, 'y')), 0, false);
    EXPECT_LE(lines.characterCount(), LogLines::kMaxCharacters);
    EXPECT_EQ(lines.count(), LogLines::kMaxCharacters / 1000);
    EXPECT_EQ(lines.matchCount(), 0);
}

TEST(LogLinesTest, unfinishedLine_isReplacedByItsLongerVersion_orKeptWhenReadingStartsAfresh) {
    LogLines lines;
    lines.reset({"first", "sec"}, 1);
    QSignalSpy changed(&lines, &LogLines::linesChanged);
    const quint64 openSeq = lines.at(1).seq;

    lines.append({"second", "thi"}, 1, true);
    ASSERT_EQ(changed.count(), 1);
    ASSERT_EQ(lines.count(), 3);
    EXPECT_EQ(lines.at(1).text, "second");
    EXPECT_EQ(lines.indexOf(openSeq), -1) << "the replaced line is gone";
    EXPECT_GT(lines.at(1).seq, openSeq) << "numbers only grow";
    EXPECT_EQ(lines.openPieces(), 1);

    // A fresh start (the file was replaced): the unfinished line stays as it was read.
    lines.append({"[marker]", "new"}, 0, false);
    EXPECT_EQ(QStringList({lines.at(2).text, lines.at(3).text, lines.at(4).text}),
              QStringList({"thi", "[marker]", "new"}));
    EXPECT_EQ(lines.openPieces(), 0);
    EXPECT_EQ(lines.firstAfter(lines.at(2).seq), 3);
    EXPECT_EQ(lines.firstAfter(lines.at(4).seq), 5);
}
