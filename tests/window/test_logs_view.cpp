#include "window/LogsView.h"

#include "control/AppState.h"
#include "control/LogLines.h"
#include "control/Preferences.h"
#include "control/Settings.h"

#include "EngineHome.h"
#include "QtPrinters.h"
#include "TestEnv.h"

#include "control/LogFollower.h"
#include "control/LogReader.h"
#include "display/Palette.h"
#include "window/LogHighlighter.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>

using zqt::AppState;
using zqt::LogLines;
using zqt::LogsView;
using zqt::test::EngineHome;
using zqt::test::TempEnv;
using zqt::test::waitUntil;
using zqt::test::writeFile;

namespace {

// The longest time between two ticks of a 5 ms timer on the UI thread, from start() on.
class Watchdog final {
public:
    Watchdog() {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }
    void start() {
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    int ticks() const { return m_ticks; }
    qint64 maxGap() {
        tick();
        return m_maxGap;
    }

private:
    void tick() {
        const qint64 now = m_clock.elapsed();
        m_maxGap = std::max(m_maxGap, now - m_last);
        m_last = now;
        ++m_ticks;
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_maxGap = 0;
    int m_ticks = 0;
};

// Runs a shell command in another process, to completion.
bool runShell(const QString& command) {
    QProcess p;
    p.start("/bin/bash", {"-c", command});
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Records the addresses the desktop is asked to open.
class UrlRecorder final : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

// The logs view over a throw-away engine home, shown at 1200 x 700.
class LogsViewFixture : public ::testing::Test {
protected:
    void SetUp() override {
        engine.writeScript("app_up.sh", "echo up\n"); // a home without it is not taken
        preferences.setString(zqt::Settings::key(zqt::Setting::Home), engine.path());
        preferences.setBool(zqt::Settings::key(zqt::Setting::AutoStart), false);
        ASSERT_TRUE(preferences.sync());
        settings = std::make_unique<zqt::Settings>(preferences);
        state = std::make_unique<AppState>(*settings);
    }

    // Shows the view and waits for the log's text.
    void show() {
        view = std::make_unique<LogsView>(*state);
        view->resize(1200, 700);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        ASSERT_TRUE(waitUntil([&] { return !state->logs().isReading() && state->logs().follower().isFollowing(); }));
        output = view->findChild<QPlainTextEdit*>("logOutputView");
        ASSERT_NE(output, nullptr);
    }

    QStringList shownLines() const { return output->toPlainText().split('\n', Qt::SkipEmptyParts); }
    QString lastShown() const { return output->document()->lastBlock().text(); }
    // The line at the top of the visible text.
    QString topLine() const { return output->cursorForPosition(QPoint(4, 4)).block().text(); }
    QScrollBar* bar() const { return output->verticalScrollBar(); }
    QString countText() const { return view->findChild<QLabel*>("logsCountLabel")->text(); }
    QPushButton* jump() const { return view->findChild<QPushButton*>("logsJumpToEndButton"); }
    void setFilter(const QString& text) {
        auto* field = view->findChild<QLineEdit*>("logsFilterField");
        field->clear();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }

    TempEnv env;
    EngineHome engine{env.path("engine")};
    QString logPath = engine.file("storage/logs/web.log");
    zqt::Preferences preferences;
    std::unique_ptr<zqt::Settings> settings;
    std::unique_ptr<AppState> state;
    std::unique_ptr<LogsView> view;
    QPlainTextEdit* output = nullptr;
};

QByteArray numberedLines(const char* prefix, int from, int to) {
    QByteArray out;
    for (int i = from; i <= to; ++i)
        out += QByteArray(prefix) + " " + QByteArray::number(i) + "\n";
    return out;
}

} // namespace

TEST(LogsViewTest, shownOverAMultiGigabyteLogWithoutLineFeeds_showsItsLastMiBInPiecesAndKeepsEventsFlowing) {
    TempEnv env;
    EngineHome engine(env.path("engine"));
    engine.writeScript("app_up.sh", "echo up\n");
    // One line of 4 GiB, sparse, ending in readable text.
    const QByteArray tail = QByteArray("log line without end ").repeated(60000);
    {
        QFile f(engine.file("storage/logs/web.log"));
        const qint64 size = 4LL * 1024 * 1024 * 1024;
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(size) && f.seek(size - tail.size()));
        ASSERT_EQ(f.write(tail), tail.size());
    }
    zqt::Preferences prefs;
    prefs.setString(zqt::Settings::key(zqt::Setting::Home), engine.path());
    prefs.setBool(zqt::Settings::key(zqt::Setting::AutoStart), false);
    prefs.sync();
    zqt::Settings settings(prefs);
    AppState state(settings);

    LogsView view(state);
    view.resize(1200, 700);
    Watchdog watchdog;
    watchdog.start();
    view.show(); // reads the selected log
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_TRUE(waitUntil([&] { return !state.logs().isReading(); }, 30000));
    auto* output = view.findChild<QPlainTextEdit*>("logOutputView");
    ASSERT_NE(output, nullptr);
    // The end of the text is where an operator looks: scroll there and paint it.
    output->verticalScrollBar()->setValue(output->verticalScrollBar()->maximum());
    output->horizontalScrollBar()->setValue(output->horizontalScrollBar()->maximum());
    const int after = watchdog.ticks();
    ASSERT_TRUE(waitUntil([&] { return watchdog.ticks() >= after + 3; }));
    const QImage shot = view.grab().toImage();
    const qint64 gap = watchdog.maxGap();
    std::cout << "[ figures  ] logs view over a 4 GiB log without line feeds: longest UI gap " << gap << " ms, "
              << output->document()->blockCount() << " display lines\n";

    const QString text = state.logOutput();
    ASSERT_TRUE(text.startsWith(QString::fromLatin1(zqt::ServiceManager::kLogTruncatedNote) + "\n"));
    EXPECT_TRUE(text.endsWith("log line without end "));
    // The view shows the same text, with the one huge line broken into display lines.
    EXPECT_EQ(output->toPlainText().remove('\n'), QString(text).remove('\n'));
    EXPECT_GT(output->document()->blockCount(), 1000);
    for (QTextBlock b = output->document()->begin(); b.isValid(); b = b.next())
        ASSERT_LE(b.length() - 1, zqt::LogLines::kDisplayLineLength);
    EXPECT_FALSE(shot.isNull());
    // Not a timing target: laying out a MiB-long line at once stalls the thread for seconds.
    EXPECT_LT(gap, 2000);
}

TEST_F(LogsViewFixture, followOn_linesAppendedByAnotherProcessAppearWithoutRefresh_atTheBottom) {
    ASSERT_TRUE(writeFile(logPath, numberedLines("line", 1, 50)));
    ASSERT_NO_FATAL_FAILURE(show());
    EXPECT_TRUE(view->findChild<QCheckBox*>("logsFollowSwitch")->isChecked()) << "on at first";
    ASSERT_EQ(shownLines().size(), 50);

    ASSERT_TRUE(runShell(QString("for i in $(seq 51 600); do echo \"line $i\" >> '%1'; done").arg(logPath)));
    ASSERT_TRUE(waitUntil([&] { return lastShown() == "line 600"; }));
    QStringList expected;
    for (int i = 1; i <= 600; ++i)
        expected << QString("line %1").arg(i);
    EXPECT_EQ(shownLines(), expected);
    EXPECT_EQ(bar()->value(), bar()->maximum()) << "kept to the newest line";
    EXPECT_GT(bar()->maximum(), 0);
    EXPECT_EQ(countText(), "600 of 600 lines");
    EXPECT_FALSE(jump()->isVisible());
}

TEST_F(LogsViewFixture, scrolledUpOrSelecting_theTextStandsStillUntilTheUserComesBack) {
    ASSERT_TRUE(writeFile(logPath, numberedLines("line", 1, 300)));
    ASSERT_NO_FATAL_FAILURE(show());
    ASSERT_TRUE(waitUntil([&] { return bar()->maximum() > 100 && bar()->value() == bar()->maximum(); }));

    // Five wheel notches up, as the user scrolls.
    QWheelEvent wheel(QPointF(100, 100), output->viewport()->mapToGlobal(QPointF(100, 100)), QPoint(), QPoint(0, 600),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(output->viewport(), &wheel);
    const int value = bar()->value();
    ASSERT_LT(value, bar()->maximum());
    const QString top = topLine();
    EXPECT_TRUE(jump()->isVisible());
    EXPECT_TRUE(view->isPaused());

    ASSERT_TRUE(runShell(QString("for i in $(seq 301 400); do echo \"line $i\" >> '%1'; done").arg(logPath)));
    ASSERT_TRUE(waitUntil([&] { return state->logs().lines().count() == 300; }));
    // The follow has brought the lines in; the text the user reads has not moved.
    EXPECT_EQ(bar()->value(), value);
    EXPECT_EQ(topLine(), top);
    EXPECT_EQ(shownLines().size(), 200) << "the refresh's last 200 lines";
    EXPECT_EQ(countText(), "300 of 300 lines");

    QTest::mouseClick(jump(), Qt::LeftButton);
    EXPECT_EQ(shownLines().size(), 300);
    EXPECT_EQ(lastShown(), "line 400");
    EXPECT_EQ(bar()->value(), bar()->maximum());
    EXPECT_FALSE(jump()->isVisible());
    EXPECT_FALSE(view->isPaused());

    // Selecting the last line with the keyboard at the bottom holds the text too, until the selection goes.
    output->setFocus();
    QTest::keyClick(output, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(output, Qt::Key_Home, Qt::ShiftModifier);
    ASSERT_TRUE(output->textCursor().hasSelection());
    const QString selected = output->textCursor().selectedText();
    ASSERT_TRUE(runShell(QString("echo 'line 401' >> '%1'").arg(logPath)));
    ASSERT_TRUE(waitUntil([&] { return state->logs().lines().count() == 301; }));
    EXPECT_EQ(lastShown(), "line 400");
    EXPECT_EQ(output->textCursor().selectedText(), selected);
    EXPECT_TRUE(jump()->isVisible());
    QTest::keyClick(output, Qt::Key_End, Qt::ControlModifier); // the selection goes
    ASSERT_TRUE(waitUntil([&] { return lastShown() == "line 401"; }));
    EXPECT_EQ(bar()->value(), bar()->maximum());
}

TEST_F(LogsViewFixture, filter_keepsMatchingLinesMarksMatchesAndCountsThem_anInvalidExpressionSaysSo) {
    ASSERT_TRUE(writeFile(logPath, "09:00:01 INFO web started\n"
                                   "09:00:02 WARN slow reply from broker\n"
                                   "09:00:03 ERROR order 17 rejected\n"
                                   "09:00:04 info Order 18 filled\n"));
    ASSERT_NO_FATAL_FAILURE(show());
    auto* error = view->findChild<QLabel*>("logsFilterError");
    const struct {
        const char* name;
        QString filter;
        QStringList lines;
        QString count;
        bool invalid;
    } cases[] = {
        {"plain text, any case",
         "order",
         {"09:00:03 ERROR order 17 rejected", "09:00:04 info Order 18 filled"},
         "2 of 4 lines",
         false},
        {"expression", "/Order \\d+/", {"09:00:04 info Order 18 filled"}, "1 of 4 lines", false},
        {"invalid expression", "/order (/", shownLines(), "4 of 4 lines", true},
        {"nothing", "zzz", {}, "0 of 4 lines", false},
        {"empty", "", shownLines(), "4 of 4 lines", false},
    };
    for (const auto& c : cases) {
        setFilter(c.filter);
        EXPECT_EQ(shownLines(), c.lines) << c.name;
        EXPECT_EQ(countText(), c.count) << c.name;
        EXPECT_EQ(error->isVisible(), c.invalid) << c.name;
        if (c.invalid)
            EXPECT_TRUE(error->text().startsWith("Invalid regular expression: ")) << c.name;
    }

    // Marks: the match on a marker background, the error and warning lines in their colours.
    setFilter("order");
    const auto formatsOf = [&](const QString& line) {
        for (QTextBlock b = output->document()->begin(); b.isValid(); b = b.next())
            if (b.text() == line)
                return b.layout()->formats();
        return QList<QTextLayout::FormatRange>();
    };
    bool marked = false;
    bool red = false;
    for (const QTextLayout::FormatRange& r : formatsOf("09:00:03 ERROR order 17 rejected")) {
        marked |=
            r.start == 15 && r.length == 5 && r.format.background().color() == zqt::LogHighlighter::matchBackground();
        red |= r.format.foreground().color() == zqt::negativeColor();
    }
    EXPECT_TRUE(marked);
    EXPECT_TRUE(red);
    setFilter("");
    bool orange = false;
    for (const QTextLayout::FormatRange& r : formatsOf("09:00:02 WARN slow reply from broker"))
        orange |= r.start == 0 && r.format.foreground().color() == zqt::warningColor();
    EXPECT_TRUE(orange);
    EXPECT_TRUE(formatsOf("09:00:01 INFO web started").isEmpty());
}

TEST_F(LogsViewFixture, hundredMegabytesAppendedAtOnce_theViewHoldsAtMostTheNewestTenThousandLines) {
    ASSERT_TRUE(writeFile(logPath, "before\n"));
    ASSERT_NO_FATAL_FAILURE(show());
    // 100 MB of 100-byte lines from another process, then one last line.
    ASSERT_TRUE(runShell(
        QString("yes '%1' | head -n 1000000 >> '%2' && echo 'the very end' >> '%2'").arg(QString(99, 'x'), logPath)));
    ASSERT_TRUE(waitUntil([&] { return lastShown() == "the very end"; }, 60000));
    const LogLines& lines = state->logs().lines();
    std::cout << "[ figures  ] after a 100 MB append: " << lines.count() << " lines held, " << lines.characterCount()
              << " characters; the view shows " << output->document()->blockCount() << " lines, "
              << output->document()->characterCount() << " characters\n";
    EXPECT_LE(lines.count(), LogLines::kMaxLines);
    EXPECT_LE(lines.characterCount(), LogLines::kMaxCharacters);
    EXPECT_LE(output->document()->blockCount(), LogLines::kMaxLines);
    EXPECT_LE(output->document()->characterCount(), LogLines::kMaxCharacters + LogLines::kMaxLines);
    EXPECT_GE(output->document()->blockCount(), 5000) << "the last MiB of lines is shown";
}

TEST_F(LogsViewFixture, followSwitchAndVisibility_decideWhetherTheLogIsFollowed) {
    ASSERT_TRUE(writeFile(logPath, "one\n"));
    ASSERT_NO_FATAL_FAILURE(show());
    auto* follow = view->findChild<QCheckBox*>("logsFollowSwitch");
    EXPECT_TRUE(state->logs().following());
    follow->click();
    EXPECT_FALSE(state->logs().following());
    follow->click();
    EXPECT_TRUE(state->logs().following());
    view->hide();
    EXPECT_FALSE(state->logs().following());
    view->show();
    EXPECT_TRUE(state->logs().following());
    view.reset();
    EXPECT_FALSE(state->logs().following());
}

TEST_F(LogsViewFixture, openFolder_handsTheEnginesLogsFolderToTheDesktop) {
    ASSERT_NO_FATAL_FAILURE(show());
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    QTest::mouseClick(view->findChild<QPushButton*>("logsOpenFolderButton"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(recorder.urls, QList<QUrl>{QUrl::fromLocalFile(QDir::cleanPath(engine.path() + "/storage/logs"))});
    EXPECT_FALSE(view->findChild<QLabel*>("logsFolderError")->isVisible());
}

// The picture of the README: a followed log, filtered.
TEST_F(LogsViewFixture, screenshot_aFilteredFollowedLog) {
    ASSERT_TRUE(writeFile(logPath, "2026-01-05 09:00:01 INFO  web: listening on 127.0.0.1:8000\n"
                                   "2026-01-05 09:00:01 INFO  worker: 4 threads started\n"
                                   "2026-01-05 09:00:02 INFO  oms: order 101 BUY 1 EURUSD MARKET filled at 1.0841\n"
                                   "2026-01-05 09:00:03 WARN  broker: reply took 840 ms\n"
                                   "2026-01-05 09:00:04 INFO  oms: order 102 SELL 2 GBPUSD LIMIT working\n"));
    ASSERT_NO_FATAL_FAILURE(show());
    setFilter("/order|broker/");
    ASSERT_TRUE(runShell(QString("{ echo '2026-01-05 09:00:05 ERROR oms: order 103 rejected: qty must be positive';"
                                 "  echo '2026-01-05 09:00:06 INFO  web: GET /health 200';"
                                 "  echo '2026-01-05 09:00:07 INFO  oms: order 104 BUY 1 XAUUSD MARKET filled';"
                                 "  echo '2026-01-05 09:00:08 WARNING broker: reconnecting';"
                                 "} >> '%1'")
                             .arg(logPath)));
    ASSERT_TRUE(waitUntil([&] { return lastShown().endsWith("reconnecting"); }));
    EXPECT_EQ(countText(), "6 of 9 lines");
    const QString artifacts = QStringLiteral(ZQT_TEST_ARTIFACTS_DIR);
    QDir().mkpath(artifacts);
    EXPECT_TRUE(view->grab().save(artifacts + "/logs-view.png"));
}

#include "test_logs_view.moc"
