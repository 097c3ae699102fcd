#include "LogFile.h"

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zqt::demo {

LogFile::LogFile(const std::string& path, long long maxBytes) : m_path(path), m_maxBytes(maxBytes) {
    open();
}

void LogFile::open() {
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_file = nullptr;
        return;
    }
    ::fchmod(fd, 0600);
    m_file = ::fdopen(fd, "a");
    if (!m_file)
        ::close(fd);
}

LogFile::~LogFile() {
    if (m_file)
        std::fclose(m_file);
}

void LogFile::write(const std::string& line) {
    std::lock_guard lock(m_mutex);
    if (!m_file)
        return;
    std::string stamped = isoUtcMillis(nowMs()) + " " + line;
    // One entry, one line of text: a stray control character cannot split it or reach a terminal.
    for (char& c : stamped) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    stamped += '\n';
    std::fwrite(stamped.data(), 1, stamped.size(), m_file);
    std::fflush(m_file);
    // The size on disk, so text others appended (the engine's own standard error) counts too.
    struct stat st {};
    if (::fstat(::fileno(m_file), &st) == 0 && st.st_size >= m_maxBytes) {
        std::fclose(m_file);
        std::rename(m_path.c_str(), (m_path + ".1").c_str());
        open();
    }
}

std::string isoUtc(long long epochSeconds) {
    const std::time_t t = static_cast<std::time_t>(epochSeconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::string isoUtcMillis(long long epochMs) {
    long long sec = epochMs / 1000;
    long long ms = epochMs % 1000;
    if (ms < 0) {
        ms += 1000;
        --sec;
    }
    std::string s = isoUtc(sec);
    char frac[8];
    std::snprintf(frac, sizeof frac, ".%03lld", ms);
    s.insert(s.size() - 1, frac);
    return s;
}

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string printableText(const std::string& text, std::size_t max) {
    std::string out;
    for (char c : text) {
        if (out.size() == max) {
            out += "...";
            break;
        }
        out.push_back(c >= 0x20 && c < 0x7f ? c : '?');
    }
    return out;
}

} // namespace zqt::demo
