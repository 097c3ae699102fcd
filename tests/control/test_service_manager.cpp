#include "control/ServiceManager.h"

#include "EngineHome.h"
#include "QtPrinters.h"
#include "TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using zqt::ServiceManager;
using zqt::test::EngineHome;
using zqt::test::TempEnv;
using zqt::test::waitUntil;
using zqt::test::writeFile;

namespace {

// Runs a command and waits for its completion.
QString runAndWait(ServiceManager& manager, const QString& command, const ServiceManager::Environment& env = {},
                   int timeoutMs = 10000) {
    std::optional<QString> result;
    manager.runShell(command, env, [&](const QString& out) { result = out; });
    EXPECT_FALSE(result.has_value()) << "completion ran inside runShell";
    EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, timeoutMs));
    return result.value_or(QString());
}

// What the log tail must be, computed the plain way: whole file, split at line feeds, blanks dropped, last 200.
// When those lines do not fit in the last MiB (or the file is larger and has fewer of them), the non-blank lines
// of the last MiB instead, from its first whole character on, under the note.
QString referenceTail(const QByteArray& content) {
    constexpr qsizetype budget = ServiceManager::kLogMaxBytes;
    QList<QByteArray> lines;
    qsizetype oldestKept = 0;
    QList<qsizetype> offsets;
    qsizetype from = 0;
    for (const QByteArray& l : content.split('\n')) {
        if (!l.isEmpty()) {
            lines.append(l);
            offsets.append(from);
        }
        from += l.size() + 1;
    }
    if (lines.size() > 200) {
        lines = lines.mid(lines.size() - 200);
        oldestKept = offsets.at(offsets.size() - 200);
    } else if (!offsets.isEmpty()) {
        oldestKept = offsets.front();
    }
    const bool fits = lines.size() >= 200 ? content.size() - oldestKept <= budget : content.size() <= budget;
    if (fits)
        return QString::fromUtf8(lines.join('\n'));
    QByteArray window = content.right(budget);
    while (!window.isEmpty() && (static_cast<unsigned char>(window[0]) & 0xC0) == 0x80)
        window.remove(0, 1);
    QByteArray shown = ServiceManager::kLogTruncatedNote;
    for (const QByteArray& l : window.split('\n'))
        if (!l.isEmpty())
            shown += '\n' + l;
    return QString::fromUtf8(shown);
}

class ServiceManagerTest : public ::testing::Test {
protected:
    TempEnv env;
    EngineHome engine{env.path("engine")};
    ServiceManager manager;
};

} // namespace

TEST(ServiceManagerParsePid, parsesOnlySignedDecimal32BitIntegers) {
    const struct {
        const char* text;
        std::optional<qint32> expected;
    } cases[] = {
        {"4242", 4242},
        {"  4242\n", 4242},
        {"\t\r\n4242 \r\n", 4242},
        {"+4242", 4242},
        {"004242", 4242},
        {"0", 0},
        {"-0", 0},
        {"-17", -17},
        {"2147483647", std::numeric_limits<qint32>::max()},
        {"-2147483648", std::numeric_limits<qint32>::min()},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {" \n\t", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"+-5", std::nullopt},
        {"abc", std::nullopt},
        {"42a", std::nullopt},
        {"4 2", std::nullopt},
        {"0x10", std::nullopt},
        {"1e3", std::nullopt},
        {"42.0", std::nullopt},
        {"\xd9\xa3", std::nullopt}, // an Arabic-Indic digit
    };
    for (const auto& c : cases)
        EXPECT_EQ(ServiceManager::parsePid(QByteArrayView(c.text)), c.expected) << '"' << c.text << '"';
}

TEST_F(ServiceManagerTest, isRunning_followsPidFileOfLiveProcess) {
    QProcess child;
    child.start("sleep", {"300"});
    ASSERT_TRUE(child.waitForStarted());
    const QByteArray pid = QByteArray::number(child.processId());
    const QString pidFile = engine.file("storage/web.pid");

    const struct {
        QByteArray text;
        bool running;
    } cases[] = {
        {pid, true},           {"  " + pid + "\n", true},
        {"+" + pid, true},     {"\n" + pid + "\n\n", true},
        {pid + "x", false},    {"-" + pid, false},
        {"0", false},          {"", false},
        {"  \n", false},       {"abc", false},
        {"4294967296", false}, {pid + " " + pid, false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(writeFile(pidFile, c.text));
        EXPECT_EQ(ServiceManager::isRunning(engine.path()), c.running) << '"' << c.text.toStdString() << '"';
    }

    child.kill();
    ASSERT_TRUE(child.waitForFinished());
    ASSERT_TRUE(writeFile(pidFile, pid));
    EXPECT_FALSE(ServiceManager::isRunning(engine.path())) << "process gone";
}

TEST_F(ServiceManagerTest, isRunning_missingPidFileOrHome_isFalse) {
    EXPECT_FALSE(ServiceManager::isRunning(engine.path()));
    EXPECT_FALSE(ServiceManager::isRunning(env.path("no-such-home")));
    QDir().mkpath(engine.file("storage/web.pid")); // a folder where the file should be
    EXPECT_FALSE(ServiceManager::isRunning(engine.path()));
}

TEST_F(ServiceManagerTest, runShell_capturesBothStreamsInTheOrderWritten) {
    const QString out = runAndWait(manager, "echo one; echo two >&2; echo three; echo four >&2");
    EXPECT_EQ(out, "one\ntwo\nthree\nfour\n");
}

TEST_F(ServiceManagerTest, runShell_onlyStderr_isCaptured) {
    EXPECT_EQ(runAndWait(manager, "echo 'only an error' >&2; exit 3"), "only an error\n");
}

TEST_F(ServiceManagerTest, runShell_envOverridesInheritedVariablesAndKeepsTheRest) {
    env.setVar("ZQT_PORT", "1111");
    env.setVar("ZQT_INHERITED_ONLY", "kept");
    const QString out = runAndWait(manager, "echo \"$ZQT_PORT $ZQT_INHERITED_ONLY $ZQT_NEW\"",
                                   {{"ZQT_PORT", "8000"}, {"ZQT_NEW", "a b \"c\""}});
    EXPECT_EQ(out, "8000 kept a b \"c\"\n");
}

TEST_F(ServiceManagerTest, runShell_runsBashAsLoginShellWithCommandAsOneArgument) {
    EXPECT_EQ(runAndWait(manager, "shopt -q login_shell && echo login; echo \"$0\""), "login\n/bin/bash\n");
}

TEST_F(ServiceManagerTest, runShell_invalidUtf8_isDecodedWithReplacementCharacters) {
    const QString out = runAndWait(manager, "printf 'caf\\xc3\\xa9 \\xff\\xfe ok\\n'");
    EXPECT_EQ(out, QString::fromUtf8("café \xEF\xBF\xBD\xEF\xBF\xBD ok\n"));
}

TEST_F(ServiceManagerTest, runShell_shellThatCannotStart_reportsFailedToRun) {
    manager.setShell(env.path("no-such-shell"));
    const QString out = runAndWait(manager, "echo never");
    EXPECT_TRUE(out.startsWith("Failed to run: ")) << out.toStdString();
    EXPECT_GT(out.size(), QString("Failed to run: ").size());
}

TEST_F(ServiceManagerTest, runShell_daemonHoldingThePipe_finishesWhenBashExits) {
    // The background sleep inherits the output pipe and would hold it open for 300 s.
    engine.writeDefaultUpScript();
    const QString out = runAndWait(manager, ServiceManager::startCommand(), {{"ZQT_HOME", engine.path()}});
    EXPECT_EQ(out, "up: to stdout\nup: to stderr\n");
    EXPECT_TRUE(ServiceManager::isRunning(engine.path()));
    EXPECT_EQ(zqt::test::readFile(engine.file("up.cwd")).trimmed(), QFile::encodeName(engine.path()));
}

TEST_F(ServiceManagerTest, destroyedWhileAScriptRuns_returnsAtOnceAndTheScriptGoesOnInItsOwnSession) {
    engine.makeGate();
    engine.writeScript("app_up.sh", "cd \"$(dirname \"$0\")/..\"\n"
                                    "echo $$ >> daemon.pids\n"
                                    "echo $$ > up.pid\n"
                                    "read -r _ < gate\n"
                                    "echo finished > up.after\n");
    auto scripts = std::make_unique<ServiceManager>();
    bool completed = false;
    scripts->runShell("'" + engine.file("scripts/app_up.sh") + "'", {}, [&](const QString&) { completed = true; });
    ASSERT_TRUE(waitUntil([&] { return zqt::test::readFile(engine.file("up.pid")).endsWith('\n'); }));
    const pid_t script = zqt::test::readFile(engine.file("up.pid")).trimmed().toInt();
    ASSERT_GT(script, 0);

    scripts.reset(); // returns without waiting for the gate
    EXPECT_NE(::getsid(script), ::getsid(0));
    EXPECT_NE(::getpgid(script), ::getpgid(0));

    // Neither killed nor cut off: let go, it finishes its work, and nobody is told.
    ASSERT_TRUE(waitUntil([&] { return engine.tryOpenGate(); }));
    EXPECT_TRUE(waitUntil([&] { return zqt::test::readFile(engine.file("up.after")) == "finished\n"; }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(completed);
}

TEST_F(ServiceManagerTest, startCommand_quotesHomeSoBlanksWork) {
    EngineHome spaced(env.path("engine with blanks"));
    spaced.writeScript("app_up.sh", "echo \"started in $(pwd)\"");
    const QString out = runAndWait(manager, ServiceManager::startCommand(), {{"ZQT_HOME", spaced.path()}});
    EXPECT_EQ(out, "started in " + spaced.path() + "\n");
}

TEST_F(ServiceManagerTest, stop_runsDownScriptWithOnlyZqtHomeAdded) {
    env.setVar("ZQT_PORT", std::nullopt);
    engine.writeScript("app_down.sh", "echo \"home=$ZQT_HOME port=${ZQT_PORT-unset} cwd=$(pwd)\"");
    std::optional<QString> out;
    manager.stop(engine.path(), [&](const QString& o) { out = o; });
    ASSERT_TRUE(waitUntil([&] { return out.has_value(); }));
    EXPECT_EQ(*out, "home=" + engine.path() + " port=unset cwd=" + engine.path() + "\n");
}

TEST_F(ServiceManagerTest, stop_missingHome_reportsNotFoundAfterReturning) {
    std::optional<QString> out;
    const QString home = env.path("missing-home");
    manager.stop(home, [&](const QString& o) { out = o; });
    EXPECT_FALSE(out.has_value());
    ASSERT_TRUE(waitUntil([&] { return out.has_value(); }));
    EXPECT_EQ(*out, "ZQT_HOME not found: " + home);
}

TEST_F(ServiceManagerTest, readLog_keepsLast200NonEmptyLines) {
    QByteArray content;
    for (int i = 1; i <= 500; ++i)
        content += "line " + QByteArray::number(i) + "\n";
    writeFile(engine.file("storage/logs/web.log"), content);
    const QString tail = ServiceManager::readLog(engine.path(), "web");
    const QStringList lines = tail.split('\n');
    ASSERT_EQ(lines.size(), 200);
    EXPECT_EQ(lines.front(), "line 301");
    EXPECT_EQ(lines.back(), "line 500");
}

TEST_F(ServiceManagerTest, readLog_blankLinesBetweenEntries_areDropped) {
    QByteArray content = "\n\n";
    for (int i = 1; i <= 300; ++i)
        content += "entry " + QByteArray::number(i) + "\n\n\n";
    writeFile(engine.file("storage/logs/worker.log"), content);
    const QStringList lines = ServiceManager::readLog(engine.path(), "worker").split('\n');
    ASSERT_EQ(lines.size(), 200);
    EXPECT_EQ(lines.front(), "entry 101");
    EXPECT_EQ(lines.back(), "entry 300");
}

TEST_F(ServiceManagerTest, readLog_smallFiles_matchThePlainReading) {
    const QByteArray cases[] = {"", "\n", "\n\n\n", "one", "one\n", "\none\n\ntwo", "a\r\nb\r\n", " \n \n"};
    for (const QByteArray& content : cases) {
        writeFile(engine.file("storage/logs/rm1.log"), content);
        EXPECT_EQ(ServiceManager::readLog(engine.path(), "rm1"), referenceTail(content))
            << '"' << content.toStdString() << '"';
    }
}

TEST_F(ServiceManagerTest, readLog_randomLogsAcrossBlockBoundaries_matchThePlainReading) {
    // Line lengths from 0 to well past the 64 KiB read block, so lines and runs of blanks straddle blocks.
    QRandomGenerator rng(20240611);
    for (int round = 0; round < 40; ++round) {
        QByteArray content;
        const int lineCount = rng.bounded(1, 600);
        const bool longLines = round % 4 == 0;
        for (int i = 0; i < lineCount; ++i) {
            const int len = rng.bounded(0, longLines ? 90000 : 400);
            content += QByteArray(len, char('a' + i % 26));
            content += '\n';
        }
        if (rng.bounded(2))
            content.chop(1);
        writeFile(engine.file("storage/logs/web.log"), content);
        const QString got = ServiceManager::readLog(engine.path(), "web");
        ASSERT_EQ(got, referenceTail(content)) << "round " << round << " size " << content.size();
    }
}

TEST_F(ServiceManagerTest, readLog_invalidUtf8_isDecodedLeniently) {
    writeFile(engine.file("storage/logs/portal.log"), "ok\n\xff\xfe broken\nend\n");
    EXPECT_EQ(ServiceManager::readLog(engine.path(), "portal"),
              QString::fromUtf8("ok\n\xEF\xBF\xBD\xEF\xBF\xBD broken\nend"));
}

TEST_F(ServiceManagerTest, readLog_missingOrUnreadable_reportsNoLogFoundWithPath) {
    EXPECT_EQ(ServiceManager::readLog(engine.path(), "marketing"),
              "No log found: " + engine.path() + "/storage/logs/marketing.log");
    QDir().mkpath(engine.file("storage/logs/portal.log")); // a folder cannot be read as a file
    EXPECT_EQ(ServiceManager::readLog(engine.path(), "portal"),
              "No log found: " + engine.path() + "/storage/logs/portal.log");
    const QString missingHome = env.path("nowhere");
    EXPECT_EQ(ServiceManager::readLog(missingHome, "web"), "No log found: " + missingHome + "/storage/logs/web.log");
}

namespace {

const QString kNote = QString::fromLatin1(ServiceManager::kLogTruncatedNote);
constexpr qint64 kMiB = 1024 * 1024;

// Makes `path` a sparse file of `size` bytes (zeros, no line feed) with `tail` written over its last bytes.
bool writeSparse(const QString& path, qint64 size, const QByteArray& tail = {}) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || !f.resize(size))
        return false;
    return tail.isEmpty() || (f.seek(size - tail.size()) && f.write(tail) == tail.size());
}

} // namespace

TEST_F(ServiceManagerTest, readLog_sparseMultiGigabyteLogWithoutLineFeeds_readsOnlyTheLastMiB) {
    const QString path = engine.file("storage/logs/web.log");
    const qint64 size = 3 * 1024 * kMiB;
    // A three-byte character straddles the start of the last MiB: its first byte lies before it.
    const QByteArray euro = "\xE2\x82\xAC";
    const QByteArray tail = "x" + euro + QByteArray(kMiB - 5, 'a') + "end"; // the last MiB and 2 bytes
    ASSERT_TRUE(writeSparse(path, size, tail));
    ASSERT_EQ(QFileInfo(path).size(), size);

    const QString got = ServiceManager::readLog(engine.path(), "web");
    ASSERT_TRUE(got.startsWith(kNote + "\n")) << got.left(80).toStdString();
    const QString shown = got.mid(kNote.size() + 1);
    EXPECT_LE(shown.toUtf8().size(), kMiB);
    // The window starts on the character's second byte; what is shown starts after it, with no replacement
    // character for the cut one.
    EXPECT_EQ(shown, QString(kMiB - 5, 'a') + "end") << shown.left(8).toStdString();
}

TEST_F(ServiceManagerTest, readLog_linesLongerThanTheBudget_showTheLastMiBUnderTheNote) {
    // 300 lines of 8 KiB: the last 200 need 1.6 MB, more than the 1 MiB read.
    QByteArray content;
    for (int i = 1; i <= 300; ++i)
        content += QByteArray::number(i).rightJustified(4, '0') + QByteArray(8 * 1024 - 5, '.') + "\n\n";
    writeFile(engine.file("storage/logs/worker.log"), content);

    const QStringList lines = ServiceManager::readLog(engine.path(), "worker").split('\n');
    ASSERT_GT(lines.size(), 3);
    EXPECT_EQ(lines.front(), kNote);
    EXPECT_EQ(lines.back(), "0300" + QString(8 * 1024 - 5, '.'));
    qint64 shownBytes = 0;
    for (const QString& l : lines.mid(1))
        shownBytes += l.size() + 2; // each line had its line feed and a blank line after it
    EXPECT_LE(shownBytes, kMiB);
    EXPECT_GT(shownBytes, kMiB - 2 * 8 * 1024);
    // The oldest shown line is the end of one cut by the window; all after it are whole.
    EXPECT_LT(lines.at(1).size(), 8 * 1024 - 1);
    for (const QString& l : lines.mid(2))
        EXPECT_EQ(l.size(), 8 * 1024 - 1);
}

TEST_F(ServiceManagerTest, readLog_last200LinesFillingExactlyTheBudget_areShownWithoutNote) {
    // 200 lines occupying exactly the last MiB, line feeds included, after older lines; then the same with the
    // first of them one byte longer, so the window begins inside it.
    for (const int extra : {0, 1}) {
        QByteArray content = "older line\nolder line\n";
        const qint64 lineBytes = kMiB / 200; // 5242, line feed included
        for (int i = 1; i <= 200; ++i) {
            qint64 bytes = i == 200 ? kMiB - 199 * lineBytes : lineBytes;
            if (i == 1)
                bytes += extra;
            content += QByteArray::number(i).rightJustified(3, '0') + QByteArray(bytes - 4, '-') + "\n";
        }
        writeFile(engine.file("storage/logs/rm1.log"), content);
        const QStringList lines = ServiceManager::readLog(engine.path(), "rm1").split('\n');
        if (extra == 0) {
            ASSERT_EQ(lines.size(), 200);
            EXPECT_TRUE(lines.front().startsWith("001-"));
            EXPECT_TRUE(lines.back().startsWith("200-"));
        } else {
            ASSERT_EQ(lines.size(), 201);
            EXPECT_EQ(lines.front(), kNote);
            EXPECT_TRUE(lines.at(1).startsWith("01-")) << "one byte of the first line is cut";
            EXPECT_TRUE(lines.back().startsWith("200-"));
        }
    }
}

TEST_F(ServiceManagerTest, readLog_notARegularFile_reportsNoLogFoundInsteadOfWaiting) {
    // Opening a FIFO for reading would wait for a writer for ever.
    const QString fifo = engine.file("storage/logs/web.log");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(ServiceManager::readLog(engine.path(), "web"), "No log found: " + fifo);
    ASSERT_TRUE(QFile::link("/dev/zero", engine.file("storage/logs/worker.log")));
    EXPECT_EQ(ServiceManager::readLog(engine.path(), "worker"),
              "No log found: " + engine.file("storage/logs/worker.log"));
}

namespace {

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

TEST_F(ServiceManagerTest, runShell_outputGoesToAnOwnerOnlyFilePerRunAndTheLastTenAreKept) {
    const QString folder = env.home() + "/.local/state/zqt-desktop/script-output";
    EXPECT_EQ(manager.outputFolder(), folder);
    for (int run = 1; run <= 12; ++run)
        EXPECT_EQ(runAndWait(manager, QStringLiteral("echo 'run %1'").arg(run)), QStringLiteral("run %1\n").arg(run));

    const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), ServiceManager::kKeptOutputs);
    for (int i = 0; i < files.size(); ++i) {
        const QString path = folder + "/" + files.at(i);
        EXPECT_TRUE(files.at(i).endsWith("-script.log")) << files.at(i).toStdString();
        EXPECT_EQ(zqt::test::readFile(path), QByteArray("run ") + QByteArray::number(i + 3) + "\n")
            << "oldest go first";
        EXPECT_EQ(modeOf(path), 0600u) << files.at(i).toStdString();
    }
    EXPECT_EQ(modeOf(folder), 0700u);

    // XDG_STATE_HOME moves it; the stop script's output is named so.
    env.setVar("XDG_STATE_HOME", QFile::encodeName(env.path("state")));
    engine.writeScript("app_down.sh", "echo stopped\n");
    std::optional<QString> out;
    manager.stop(engine.path(), [&](const QString& o) { out = o; });
    ASSERT_TRUE(waitUntil([&] { return out.has_value(); }));
    EXPECT_EQ(*out, "stopped\n");
    const QStringList stops = QDir(env.path("state/zqt-desktop/script-output")).entryList(QDir::Files);
    ASSERT_EQ(stops.size(), 1);
    EXPECT_TRUE(stops.front().endsWith("-stop.log")) << stops.front().toStdString();
}

TEST_F(ServiceManagerTest, runShell_hundredMegabytesOfOutput_showsOnlyTheLast64KiBAndKeepsAllOnDisk) {
    // 100 MB of letters, then characters of three bytes, so the 64 KiB tail starts inside one of them.
    const QString out = runAndWait(
        manager,
        "head -c 100000000 /dev/zero | tr '\\0' a; for i in $(seq 1 23000); do printf '\\xe2\\x82\\xac'; done;"
        " printf '\\nthe end\\n'",
        {}, 120000);
    const QStringList files = QDir(manager.outputFolder()).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const QString path = manager.outputFolder() + "/" + files.front();
    EXPECT_EQ(QFileInfo(path).size(), 100000000 + 3 * 23000 + 9);

    const QString note = QString::fromLatin1(ServiceManager::kOutputCutNote).arg(path);
    ASSERT_TRUE(out.startsWith(note + "\n")) << out.left(200).toStdString();
    const QString tail = out.mid(note.size() + 1);
    EXPECT_LE(tail.toUtf8().size(), ServiceManager::kOutputTailBytes);
    EXPECT_GT(tail.toUtf8().size(), ServiceManager::kOutputTailBytes - 3);
    EXPECT_TRUE(tail.endsWith("\nthe end\n"));
    const QString euros = tail.chopped(9);
    EXPECT_EQ(euros.count(QChar(0x20AC)), euros.size()) << "cut at a character boundary, nothing else shown";
}

TEST_F(ServiceManagerTest, destroyedWhileAScriptPrints_theScriptPrintsOnAndCompletes) {
    // The script is held until the manager is gone, then prints for about 3 s: with its output on a pipe whose
    // reader is gone, its next echo would kill it (SIGPIPE) before it wrote the marker.
    const QByteArray body = "echo $$ >> daemon.pids\n"
                            "echo $$ > script.pid\n"
                            "read -r _ < gate\n"
                            "for i in $(seq 1 30); do echo \"line $i\"; echo \"error $i\" >&2; sleep 0.1; done\n"
                            "rm -f storage/web.pid\n"
                            "echo finished > marker\n";
    for (const bool stopScript : {false, true}) {
        SCOPED_TRACE(stopScript ? "stop script" : "start script");
        QFile::remove(engine.file("marker"));
        QFile::remove(engine.file("script.pid"));
        QFile::remove(engine.file("gate"));
        engine.makeGate();
        engine.writeScript(stopScript ? "app_down.sh" : "app_up.sh", body);
        writeFile(engine.file("storage/web.pid"), "1\n");

        auto scripts = std::make_unique<ServiceManager>();
        bool completed = false;
        if (stopScript)
            scripts->stop(engine.path(), [&](const QString&) { completed = true; });
        else
            scripts->runShell(
                ServiceManager::startCommand(), {{"ZQT_HOME", engine.path()}},
                [&](const QString&) { completed = true; }, "start");
        ASSERT_TRUE(waitUntil([&] { return zqt::test::readFile(engine.file("script.pid")).endsWith('\n'); }));
        scripts.reset();

        ASSERT_TRUE(waitUntil([&] { return engine.tryOpenGate(); }));
        ASSERT_TRUE(waitUntil([&] { return zqt::test::readFile(engine.file("marker")) == "finished\n"; }, 60000))
            << "the script died before its end";
        EXPECT_FALSE(QFileInfo::exists(engine.file("storage/web.pid")));
        QCoreApplication::processEvents();
        EXPECT_FALSE(completed);
    }
    // Everything both printed is in their output files.
    const QString folder = ServiceManager().outputFolder();
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        const QByteArray text = zqt::test::readFile(folder + "/" + name);
        EXPECT_TRUE(text.startsWith("line 1\nerror 1\n")) << name.toStdString();
        EXPECT_TRUE(text.endsWith("line 30\nerror 30\n")) << name.toStdString();
    }
}

TEST_F(ServiceManagerTest, runShell_outputFolderUnusable_runsTheScriptAndSaysItsOutputWasNotKept) {
    ASSERT_TRUE(writeFile(env.path("a-file"), "x"));
    manager.setOutputFolder(env.path("a-file/output"));
    const QString out = runAndWait(manager, "echo ran > '" + env.path("ran") + "'; echo printed");
    EXPECT_TRUE(out.startsWith("[The script's output could not be kept: ")) << out.toStdString();
    EXPECT_EQ(zqt::test::readFile(env.path("ran")), "ran\n");
}

TEST_F(ServiceManagerTest, runShell_neverHandsTheOperatorPasscodeToTheScriptOrWhatItStarts) {
    engine.writeDefaultUpScript();
    const struct {
        const char* name;
        std::optional<QByteArray> inherited;
        bool inStartEnvironment;
    } cases[] = {
        {"set in the program's environment", QByteArray("operator secret"), false},
        {"set empty", QByteArray(), false},
        {"handed in the script's environment as well", QByteArray("operator secret"), true},
    };
    env.setVar("ZQT_OPERATOR_PASSCODE_HINT", "kept"); // a look-alike name is not touched
    for (const auto& c : cases) {
        env.setVar("ZQT_OPERATOR_PASS", c.inherited);
        ServiceManager::Environment scriptEnv{{"ZQT_HOME", engine.path()}};
        if (c.inStartEnvironment)
            scriptEnv.insert("ZQT_OPERATOR_PASS", "operator secret");
        runAndWait(manager, ServiceManager::startCommand(), scriptEnv);
        const QMap<QString, QString> recorded = engine.recordedEnv("up");
        EXPECT_FALSE(recorded.contains("ZQT_OPERATOR_PASS")) << c.name;
        EXPECT_EQ(recorded.value("ZQT_OPERATOR_PASSCODE_HINT"), "kept") << c.name;
        // The background process the script started (the engine, in real life): its /proc environ.
        const QByteArray daemon = zqt::test::readFile(engine.file("storage/web.pid")).trimmed();
        // The script may have ended while its child was still being replaced by the daemon's program, and a process
        // in the middle of that shows no environment yet.
        QByteArray daemonEnv;
        ASSERT_TRUE(zqt::test::waitUntil(
            [&] {
                daemonEnv = zqt::test::readFile("/proc/" + daemon + "/environ");
                return daemonEnv.contains("ZQT_HOME=");
            },
            10000))
            << c.name;
        EXPECT_FALSE(daemonEnv.contains("ZQT_OPERATOR_PASS=")) << c.name;
        EXPECT_FALSE(daemonEnv.contains("operator secret")) << c.name;
    }
}
