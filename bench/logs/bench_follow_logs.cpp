// Follows a fast-growing log in the real logs view and reports what it costs the program.
//
//   bench_follow_logs --write <log> [--rate 10000] [--seconds 60]
//       appends `rate` lines a second to <log> for `seconds`, in 100 batches a second, then the line "END".
//   bench_follow_logs --view <engine home> [--seconds 60] [--filter TEXT]
//       shows the Logs tab's view (offscreen works) over <engine home>/storage/logs/web.log with Follow on and the
//       filter set, for `seconds`, then waits for "END" and prints the figures: the longest stretch the UI thread
//       did not come back to its event loop (the gap between two ticks of a 2 ms timer, less 2 ms) and the most CPU
//       time the UI thread itself spent within one such gap (apart from other processes' turns), the resident
//       memory at the start, its peak and its end, and the CPU time the whole process used (all threads) as a
//       share of one core.
//
// bench/logs/follow-bench.sh runs both, and `tail -f | grep` beside them.

#include "control/AppState.h"
#include "control/LogLines.h"
#include "control/LogReader.h"
#include "control/Preferences.h"
#include "control/Settings.h"
#include "window/LogsView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

QString argument(const QStringList& args, const QString& name, const QString& fallback = {}) {
    const qsizetype i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
}

qint64 residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The writer: its own process, so its work is not counted as the program's.
int write(const QString& path, int rate, int seconds) {
    QFile log(path);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) {
        std::fprintf(stderr, "cannot open %s\n", qUtf8Printable(path));
        return 1;
    }
    constexpr int kBatchesPerSecond = 100;
    const int perBatch = std::max(1, rate / kBatchesPerSecond);
    QElapsedTimer clock;
    clock.start();
    qint64 n = 0;
    QByteArray batch;
    for (qint64 b = 0; b < static_cast<qint64>(seconds) * kBatchesPerSecond; ++b) {
        batch.clear();
        for (int i = 0; i < perBatch; ++i, ++n) {
            const char* level = n % 50 == 0 ? "ERROR" : n % 20 == 0 ? "WARN " : "INFO ";
            const char* what = n % 4 == 0 ? "oms: order" : "web: GET /api/prices 200 in";
            char line[160];
            const int size =
                std::snprintf(line, sizeof line, "2026-01-05 09:%02lld:%02lld.%03lld %s %s %lld EURUSD 1.08%03lld\n",
                              (n / 600000) % 60, (n / 10000) % 60, n % 1000, level, what, n, n % 1000);
            batch.append(line, std::min<int>(size, sizeof line - 1));
        }
        log.write(batch);
        log.flush();
        // Paced by the clock, not by sleeps of a fixed length, so slow batches do not lower the rate.
        const qint64 due = (b + 1) * 1000 / kBatchesPerSecond;
        const qint64 left = due - clock.elapsed();
        if (left > 0)
            QThread::msleep(static_cast<unsigned long>(left));
    }
    log.write("END\n");
    log.flush();
    std::printf("writer: %lld lines in %.1f s\n", n, clock.elapsed() / 1000.0);
    return 0;
}

int view(const QString& home, int seconds, const QString& filter) {
    zqt::Preferences preferences;
    preferences.setString(zqt::Settings::key(zqt::Setting::Home), home);
    preferences.setBool(zqt::Settings::key(zqt::Setting::AutoStart), false);
    preferences.sync();
    zqt::Settings settings(preferences);
    zqt::AppState state(settings);
    zqt::LogsView logs(state);
    logs.resize(1200, 700);
    logs.show();
    auto* field = logs.findChild<QLineEdit*>(QStringLiteral("logsFilterField"));
    auto* output = logs.findChild<QPlainTextEdit*>(QStringLiteral("logOutputView"));
    if (!field || !output)
        return 1;
    field->setText(filter);
    emit field->returnPressed();

    constexpr int kTickMs = 2;
    QElapsedTimer sinceTick;
    qint64 worstGapMs = 0;
    // The UI thread's own CPU time between two ticks: a gap that other processes caused (the machine is shared)
    // has little of it, a gap this thread spent working has all of it.
    double lastThreadCpu = 0;
    double worstBusyMs = 0;
    int gapsOver16 = 0;
    int busyOver16 = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(kTickMs);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const double threadCpu = threadCpuSeconds();
        if (sinceTick.isValid()) {
            const qint64 gap = sinceTick.elapsed();
            const double busy = (threadCpu - lastThreadCpu) * 1000.0;
            worstGapMs = std::max(worstGapMs, gap);
            worstBusyMs = std::max(worstBusyMs, busy);
            gapsOver16 += gap - kTickMs > 16 ? 1 : 0;
            busyOver16 += busy > 16 ? 1 : 0;
        }
        lastThreadCpu = threadCpu;
        sinceTick.start();
    });

    qint64 startKiB = 0;
    qint64 peakKiB = 0;
    double startCpu = 0;
    QElapsedTimer wall;
    QTimer sampler;
    sampler.setInterval(250);
    QObject::connect(&sampler, &QTimer::timeout, [&] { peakKiB = std::max(peakKiB, residentKiB()); });

    // A second to settle (the first read of the tail, the first paint), then the measured run.
    QTimer::singleShot(1000, [&] {
        startKiB = peakKiB = residentKiB();
        startCpu = cpuSeconds();
        wall.start();
        heartbeat.start();
        sampler.start();
    });
    QElapsedTimer endWait;
    QTimer::singleShot((seconds + 1) * 1000, [&] {
        endWait.start();
        auto* check = new QTimer(&logs);
        check->setInterval(10);
        QObject::connect(check, &QTimer::timeout, [&, check] {
            if (state.logs().lines().count() > 0 &&
                state.logs().lines().at(state.logs().lines().count() - 1).text == QLatin1String("END")) {
                check->stop();
                QApplication::quit();
            } else if (endWait.elapsed() > 30000) {
                std::printf("the last line did not arrive within 30 s\n");
                check->stop();
                QApplication::quit();
            }
        });
        check->start();
    });
    QApplication::exec();

    const double cpu = cpuSeconds() - startCpu;
    const double elapsed = wall.elapsed() / 1000.0;
    const qint64 endKiB = residentKiB();
    peakKiB = std::max(peakKiB, endKiB);
    std::printf("view: ui_block_max_ms=%lld (%d ms timer), gaps over 16 ms: %d; ui_thread_busy_max_ms=%.1f, busy "
                "stretches over 16 ms: %d\n",
                std::max<qint64>(0, worstGapMs - kTickMs), kTickMs, gapsOver16, worstBusyMs, busyOver16);
    std::printf("view: rss_start_MiB=%.1f rss_peak_MiB=%.1f rss_end_MiB=%.1f growth_peak_MiB=%.1f\n", startKiB / 1024.0,
                peakKiB / 1024.0, endKiB / 1024.0, (peakKiB - startKiB) / 1024.0);
    std::printf("view: cpu_s=%.2f over %.1f s = %.1f %% of one core\n", cpu, elapsed, 100.0 * cpu / elapsed);
    std::printf("view: END shown %lld ms after the writer's run; lines held %lld (%lld matching the filter), "
                "view lines %d\n",
                endWait.isValid() ? endWait.elapsed() : -1LL, static_cast<long long>(state.logs().lines().count()),
                static_cast<long long>(state.logs().lines().matchCount()), output->document()->blockCount());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--write") == 0) {
        QCoreApplication app(argc, argv);
        const QStringList args = app.arguments();
        return write(args[2], argument(args, "--rate", "10000").toInt(), argument(args, "--seconds", "60").toInt());
    }
    if (argc >= 3 && std::strcmp(argv[1], "--view") == 0) {
        QApplication app(argc, argv);
        const QStringList args = app.arguments();
        return view(args[2], argument(args, "--seconds", "60").toInt(), argument(args, "--filter", "order"));
    }
    std::fprintf(stderr,
                 "usage: %s --write <log> [--rate N] [--seconds S] | --view <engine home> [--seconds S] "
                 "[--filter TEXT]\n",
                 argv[0]);
    return 2;
}
