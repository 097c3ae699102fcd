// readLog on a generated 1 GiB log with blank lines mixed in, against `tail -n 200` on the same file, plus the
// peak memory readLog adds on a 1 MiB and a 1 GiB log (it must not grow with the file).
//
// Run: cmake --preset bench && cmake --build --preset bench --target bench_read_log &&
//      build-bench/bench/control/bench_read_log
// The log is written once to a temporary folder (ZQT_BENCH_DIR, else the system's temp folder) and deleted at
// the end; it needs 1 GiB of free space.

#include "control/ServiceManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

extern char** environ;

namespace {

constexpr qint64 kMiB = 1024 * 1024;

std::unique_ptr<QTemporaryDir> g_dir;

QString homeFor(qint64 size) { return g_dir->path() + QStringLiteral("/home-%1").arg(size); }

// Writes <home>/storage/logs/web.log of `size` bytes: log lines of 60-140 bytes, every fourth followed by a
// blank line, every tenth by two.
void generate(qint64 size) {
    const QString dir = homeFor(size) + QStringLiteral("/storage/logs");
    QDir().mkpath(dir);
    QFile file(dir + QStringLiteral("/web.log"));
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    QByteArray chunk;
    chunk.reserve(4 * kMiB + 256);
    qint64 written = 0;
    for (qint64 n = 0; written < size; ++n) {
        chunk += "2024-06-11T12:";
        chunk += QByteArray::number(n % 60).rightJustified(2, '0');
        chunk += ":00.000Z INFO web request id=";
        chunk += QByteArray::number(n);
        chunk += " path=/api/prices status=200 ";
        chunk += QByteArray(static_cast<int>(n % 80), 'x');
        chunk += '\n';
        if (n % 4 == 0)
            chunk += '\n';
        if (n % 10 == 0)
            chunk += "\n\n";
        if (chunk.size() >= 4 * kMiB || written + chunk.size() >= size) {
            const qint64 take = std::min<qint64>(chunk.size(), size - written);
            file.write(chunk.constData(), take);
            written += take;
            chunk.clear();
        }
    }
}

long statusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size()));
    return -1;
}

// Resets the peak resident set size to the current one (Linux 4.0+).
void resetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_readLog(benchmark::State& state) {
    const QString home = homeFor(state.range(0));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const QString tail = zqt::ServiceManager::readLog(home, QStringLiteral("web"));
        bytes = static_cast<std::size_t>(tail.size());
        benchmark::DoNotOptimize(tail);
    }
    // Peak memory of one more call, over the resident size before it.
    resetPeakRss();
    const long before = statusKiB("VmRSS");
    {
        const QString tail = zqt::ServiceManager::readLog(home, QStringLiteral("web"));
        benchmark::DoNotOptimize(tail);
    }
    state.counters["peak_rss_growth_KiB"] = static_cast<double>(statusKiB("VmHWM") - before);
    state.counters["tail_chars"] = static_cast<double>(bytes);
}

// `tail -n 200 <file>` as a process, its output read to the end through a pipe.
void BM_tailProcess(benchmark::State& state) {
    const QByteArray path = QFile::encodeName(homeFor(state.range(0)) + QStringLiteral("/storage/logs/web.log"));
    char tail[] = "tail";
    char n[] = "-n";
    char count[] = "200";
    char* argv[] = {tail, n, count, const_cast<char*>(path.constData()), nullptr};
    std::vector<char> buffer(64 * 1024);
    for (auto _ : state) {
        int fds[2];
        if (::pipe(fds) != 0)
            std::abort();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        pid_t pid = 0;
        if (posix_spawnp(&pid, "tail", &actions, nullptr, argv, environ) != 0)
            std::abort();
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        std::size_t total = 0;
        for (ssize_t r; (r = ::read(fds[0], buffer.data(), buffer.size())) > 0;)
            total += static_cast<std::size_t>(r);
        ::close(fds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        benchmark::DoNotOptimize(total);
    }
}

} // namespace

BENCHMARK(BM_readLog)->Arg(kMiB)->Arg(1024 * kMiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_tailProcess)->Arg(1024 * kMiB)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString base = qEnvironmentVariableIsSet("ZQT_BENCH_DIR") ? qEnvironmentVariable("ZQT_BENCH_DIR")
                                                                    : QDir::tempPath();
    g_dir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/zqt-bench-XXXXXX"));
    if (!g_dir->isValid())
        return 1;
    std::fprintf(stderr, "Generating a 1 MiB and a 1 GiB log in %s ...\n", qPrintable(g_dir->path()));
    generate(kMiB);
    generate(1024 * kMiB);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_dir.reset(); // deletes the logs
    return 0;
}
