#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace zqt::demo {

// An append-only text log, one line per entry prefixed with a UTC time stamp; control characters in an entry
// become '?'. Every line is flushed at once so the operator's log view (and a crash) sees it. The file is the
// owner's alone (0600, also when an older one was looser). Once it reaches `maxBytes` it is renamed to
// "<path>.1", replacing the previous one, and a new file is begun: at most one old file is kept. Thread-safe.
class LogFile final {
public:
    static constexpr long long kDefaultMaxBytes = 10LL * 1024 * 1024;

    explicit LogFile(const std::string& path, long long maxBytes = kDefaultMaxBytes);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    bool isOpen() const { return m_file != nullptr; }
    void write(const std::string& line);

private:
    // Opens m_path for appending, owner-only.
    void open();

    const std::string m_path;
    const long long m_maxBytes;
    std::mutex m_mutex;
    std::FILE* m_file = nullptr;
};

// "2024-03-05T14:30:00Z" for seconds since the epoch.
std::string isoUtc(long long epochSeconds);
// "2024-03-05T14:30:00.123Z" for milliseconds since the epoch (log time stamps only).
std::string isoUtcMillis(long long epochMs);
long long nowMs();
// Client text echoed into logs, records and messages: printable ASCII only (others become '?'), at most `max`
// characters, then "...".
std::string printableText(const std::string& text, std::size_t max = 32);

} // namespace zqt::demo
