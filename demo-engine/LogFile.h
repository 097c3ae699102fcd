#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace zqt::demo {

// An append-only text log, one line per entry prefixed with a UTC time stamp; control characters in an entry
// become '?'. Every line is flushed at once so the operator's log view (and a crash) sees it. Thread-safe.
class LogFile final {
public:
    explicit LogFile(const std::string& path);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    bool isOpen() const { return m_file != nullptr; }
    void write(const std::string& line);

private:
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
