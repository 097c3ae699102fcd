// Soak run of the native terminal (not a test): the real NativeTerminalModel signed in to a running engine, its
// three ticks driven from timers of this program at sped-up periods in the model's own ratio (5 s : 10 s : 30 s),
// for a number of refresh ticks equal to some hours of the real 5 s tick. The model's clock runs sped up by the
// same factor, so live candles and the tape age as they would in those hours.
//
// Reports the resident memory growth after a warm-up, the HTTP replies still alive once the last requests have
// completed, and how late the ticks fired. Exits 1 when a goal is missed: growth of 5 MB or more, a reply left
// alive, or a tick missed (fired a whole period or more after it was due).
//
//   soak_terminal --base-url http://127.0.0.1:PORT [--hours 24] [--warmup-hours 1] [--refresh-ms 100]

#include "api/TokenStore.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/TerminalSources.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkReply>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <malloc.h>
#include <unistd.h>
#include <vector>

namespace {

using zqt::NativeTerminalModel;

// Resident set size of this process, in bytes, after handing freed heap pages back to the system (so what is
// measured is what is held, not what the allocator keeps cached).
qint64 residentBytes() {
    ::malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

double mib(qint64 bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// One of the three ticks: fires the model's handler and records how late each firing was against the time it was
// due. Like Qt's precise timers, a firing a whole period or more late counts the periods it skipped as missed and
// schedules the next one a period after itself.
class Tick {
public:
    Tick(const char* name, int periodMs, const QElapsedTimer& clock, std::function<void()> handler)
        : m_name(name), m_periodMs(periodMs), m_clock(clock), m_handler(std::move(handler)) {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(periodMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { fire(); });
    }

    void start() {
        m_dueNs = m_clock.nsecsElapsed() + periodNs();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    qint64 fired() const { return m_fired; }

    void report() const {
        std::vector<double> late = m_lateMs;
        std::sort(late.begin(), late.end());
        const auto at = [&](double q) {
            return late.empty() ? 0.0 : late[std::min(late.size() - 1, static_cast<size_t>(q * late.size()))];
        };
        std::printf("  %-8s period %4d ms: %7lld fired, %lld missed; late p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                    m_name, m_periodMs, static_cast<long long>(m_fired), static_cast<long long>(m_missed), at(0.5),
                    at(0.99), late.empty() ? 0.0 : late.back());
    }
    qint64 missed() const { return m_missed; }

private:
    qint64 periodNs() const { return static_cast<qint64>(m_periodMs) * 1'000'000; }

    void fire() {
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 lateNs = std::max<qint64>(0, now - m_dueNs);
        m_lateMs.push_back(static_cast<double>(lateNs) / 1e6);
        ++m_fired;
        if (lateNs >= periodNs()) {
            m_missed += lateNs / periodNs();
            m_dueNs = now + periodNs();
        } else {
            m_dueNs += periodNs();
        }
        m_handler();
    }

    const char* m_name;
    int m_periodMs;
    const QElapsedTimer& m_clock;
    std::function<void()> m_handler;
    QTimer m_timer;
    qint64 m_dueNs = 0;
    qint64 m_fired = 0;
    qint64 m_missed = 0;
    std::vector<double> m_lateMs;
};

// Every HTTP reply object of the terminal's clients that still exists (finished ones included until deleted).
int repliesAlive(NativeTerminalModel& model) {
    return static_cast<int>(model.findChildren<QNetworkReply*>().size() +
                            model.link().api().findChildren<QNetworkReply*>().size());
}

bool runUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption baseOption("base-url", "Engine API address.", "url");
    const QCommandLineOption hoursOption("hours", "Hours of the real 5 s tick to run (default 24).", "hours", "24");
    const QCommandLineOption warmupOption("warmup-hours", "Hours run before the memory baseline (default 1).", "hours",
                                          "1");
    const QCommandLineOption refreshOption("refresh-ms", "Sped-up refresh period in ms (default 100).", "ms", "100");
    parser.addOptions({baseOption, hoursOption, warmupOption, refreshOption});
    parser.process(app);
    const QUrl baseUrl(parser.value(baseOption));
    const double hours = parser.value(hoursOption).toDouble();
    const double warmupHours = parser.value(warmupOption).toDouble();
    const int refreshMs = parser.value(refreshOption).toInt();
    if (!baseUrl.isValid() || baseUrl.isEmpty() || hours <= 0 || warmupHours < 0 || warmupHours >= hours ||
        refreshMs <= 0) {
        parser.showHelp(2);
    }
    const double speedup = static_cast<double>(NativeTerminalModel::kRefreshPeriodMs) / refreshMs;
    const qint64 refreshTicksPerHour = 3600'000 / NativeTerminalModel::kRefreshPeriodMs;
    const auto totalTicks = static_cast<qint64>(std::llround(hours * refreshTicksPerHour));
    const auto warmupTicks = static_cast<qint64>(std::llround(warmupHours * refreshTicksPerHour));

    QElapsedTimer clock;
    clock.start();
    const QDateTime startWall = QDateTime::currentDateTimeUtc();
    zqt::TerminalSources sources = zqt::TerminalSources::system();
    sources.clock = [&clock, startWall, speedup] {
        return startWall.addMSecs(static_cast<qint64>(static_cast<double>(clock.nsecsElapsed()) / 1e6 * speedup));
    };
    zqt::MemoryTokenStore tokens;
    NativeTerminalModel model(baseUrl, tokens, sources, NativeTerminalModel::TimerStart::Later);
    const qint64 rssAtStart = residentBytes();

    model.session().setEmail(QStringLiteral("demo@zqt.local"));
    model.session().setPassword(QStringLiteral("demo-pass-1"));
    model.session().login();
    if (!runUntil([&] { return !model.session().token().isEmpty() || !model.session().loginError().isEmpty(); },
                  30000) ||
        model.session().token().isEmpty()) {
        std::fprintf(stderr, "Sign-in failed: %s\n", qPrintable(model.session().loginError()));
        return 2;
    }
    model.onShown();

    qint64 handled = 0;
    QObject::connect(&model.link(), &zqt::TerminalLink::replyHandled, [&handled] { ++handled; });
    int marketErrors = 0;
    QObject::connect(&model.market(), &zqt::MarketModel::marketErrorChanged, [&] {
        if (!model.market().marketError().isEmpty())
            ++marketErrors;
    });

    qint64 rssBaseline = -1;
    qint64 rssMax = 0;
    int maxInFlight = 0;
    int maxReplies = 0;
    std::vector<std::pair<double, qint64>> samples; // (equivalent hour, resident bytes)

    Tick refresh("refresh", refreshMs, clock, [&] { model.onRefreshTick(); });
    Tick candle("candle", refreshMs * 2, clock, [&] { model.onCandleTick(); });
    Tick htf("htf", refreshMs * 6, clock, [&] { model.onHtfTick(); });
    // The most requests in flight (seen after every reply), and a memory sample every equivalent hour.
    QObject::connect(&model.link(), &zqt::TerminalLink::replyHandled,
                     [&] { maxInFlight = std::max(maxInFlight, model.link().api().requestsInFlight()); });
    QTimer sampler;
    sampler.setInterval(static_cast<int>(refreshTicksPerHour * refreshMs));
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const qint64 rss = residentBytes();
        const double hour = static_cast<double>(refresh.fired()) / static_cast<double>(refreshTicksPerHour);
        samples.emplace_back(hour, rss);
        if (rssBaseline >= 0)
            rssMax = std::max(rssMax, rss);
        std::printf("  hour %5.1f: resident %.2f MiB, in flight %d, replies alive %d\n", hour, mib(rss),
                    model.link().api().requestsInFlight(), repliesAlive(model));
        std::fflush(stdout);
    });
    QTimer counter;
    counter.setInterval(refreshMs);
    QObject::connect(&counter, &QTimer::timeout, [&] { maxReplies = std::max(maxReplies, repliesAlive(model)); });

    std::printf("Soak: %.1f h of 5/10/30 s ticks at %d/%d/%d ms (x%.0f), warm-up %.1f h, engine %s\n", hours, refreshMs,
                refreshMs * 2, refreshMs * 6, speedup, warmupHours, qPrintable(baseUrl.toString()));
    std::fflush(stdout);
    QElapsedTimer wall;
    wall.start();
    refresh.start();
    candle.start();
    htf.start();
    sampler.start();
    counter.start();
    bool baselineTaken = warmupTicks == 0;
    if (baselineTaken)
        rssBaseline = rssMax = residentBytes();
    runUntil(
        [&] {
            if (!baselineTaken && refresh.fired() >= warmupTicks) {
                baselineTaken = true;
                rssBaseline = rssMax = residentBytes();
                std::printf("  baseline after the warm-up: %.2f MiB\n", mib(rssBaseline));
            }
            return refresh.fired() >= totalTicks;
        },
        std::numeric_limits<int>::max());
    refresh.stop();
    candle.stop();
    htf.stop();
    sampler.stop();
    counter.stop();
    const double wallSeconds = static_cast<double>(wall.elapsed()) / 1000.0;

    // The last requests complete; their reply objects are deleted on the next turn of the loop.
    const bool drained = runUntil([&] { return model.link().api().requestsInFlight() == 0; }, 120000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const int leftAlive = repliesAlive(model);
    const qint64 rssEnd = residentBytes();
    rssMax = std::max(rssMax, rssEnd);

    const double equivalentHours = static_cast<double>(refresh.fired()) / static_cast<double>(refreshTicksPerHour);
    const qint64 growth = rssEnd - rssBaseline;
    std::printf("\nRan %.2f equivalent hours in %.0f s of wall time; %lld replies handled; %d market errors\n",
                equivalentHours, wallSeconds, static_cast<long long>(handled), marketErrors);
    refresh.report();
    candle.report();
    htf.report();
    std::printf("  resident: %.2f MiB at start, %.2f MiB after the warm-up, %.2f MiB at the end, max %.2f MiB\n",
                mib(rssAtStart), mib(rssBaseline), mib(rssEnd), mib(rssMax));
    std::printf("  growth after the warm-up: %+.3f MiB (end), %+.3f MiB (max)\n", mib(growth),
                mib(rssMax - rssBaseline));
    std::printf("  requests in flight: max %d, %d at the end%s; reply objects alive: max %d, %d at the end\n",
                maxInFlight, model.link().api().requestsInFlight(), drained ? "" : " (did not drain)", maxReplies,
                leftAlive);
    const bool memoryOk = growth < 5 * 1024 * 1024 && rssMax - rssBaseline < 5 * 1024 * 1024;
    const bool repliesOk = leftAlive == 0 && drained;
    const bool ticksOk = refresh.missed() + candle.missed() + htf.missed() == 0;
    std::printf("Goals: memory growth < 5 MB %s; no reply left alive %s; no tick missed %s\n",
                memoryOk ? "met" : "MISSED", repliesOk ? "met" : "MISSED", ticksOk ? "met" : "MISSED");
    return memoryOk && repliesOk && ticksOk ? 0 : 1;
}
