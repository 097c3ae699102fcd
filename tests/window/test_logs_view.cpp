#include "window/LogsView.h"

#include "control/AppState.h"
#include "control/LogLines.h"
#include "control/Preferences.h"
#include "control/Settings.h"

#include "EngineHome.h"
#include "QtPrinters.h"
#include "TestEnv.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>

using zqt::AppState;
using zqt::LogsView;
using zqt::test::EngineHome;
using zqt::test::TempEnv;
using zqt::test::waitUntil;

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
    ASSERT_TRUE(waitUntil([&] { return !state.logReading(); }, 30000));
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
