#include "api/PortListeners.h"

#include <QList>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace zqt::PortListeners {

namespace {

constexpr QByteArrayView kListenState = "0A";
constexpr qsizetype kUidColumn = 7;

// Feeds a table's text line by line, however it is cut into reads.
class TableScanner {
public:
    explicit TableScanner(quint16 port) : m_port(port) {}

    // Takes more text; true once the listening part was seen whole (nothing more needs reading).
    bool feed(QByteArrayView text) {
        while (!m_scan.complete && !text.isEmpty()) {
            const qsizetype newline = text.indexOf('\n');
            if (newline < 0) {
                m_partial += text;
                return false;
            }
            m_partial += text.first(newline);
            text = text.sliced(newline + 1);
            takeLine(m_partial);
            m_partial.clear();
        }
        return m_scan.complete;
    }
    // The text ended: a last line without its line break still counts.
    void finish() {
        if (!m_scan.complete && !m_partial.trimmed().isEmpty())
            takeLine(m_partial);
        m_partial.clear();
        m_scan.complete = true;
    }
    const TableScan& result() const { return m_scan; }

private:
    void takeLine(QByteArrayView line) {
        const QList<QByteArray> fields = line.toByteArray().simplified().split(' ');
        if (fields.size() == 1 && fields[0].isEmpty())
            return;
        if (!m_headerSeen) {
            m_headerSeen = true;
            if (fields[0] == "sl")
                return;
        }
        // "<n>: <local> <remote> <state> <tx:rx> <tr:when> <retrnsmt> <uid> ..."
        if (fields.size() <= kUidColumn || !fields[0].endsWith(':') || fields[3].size() != 2) {
            m_scan.wellFormed = false;
            return;
        }
        bool portOk = false;
        bool uidOk = false;
        const qsizetype colon = fields[1].lastIndexOf(':');
        const uint port = colon > 0 ? fields[1].mid(colon + 1).toUInt(&portOk, 16) : 0;
        const uint uid = fields[kUidColumn].toUInt(&uidOk, 10);
        if (!portOk || !uidOk || port > 0xFFFF) {
            m_scan.wellFormed = false;
            return;
        }
        if (fields[3] != kListenState) {
            m_scan.complete = true;
            return;
        }
        if (port == m_port)
            m_scan.uids << uid;
    }

    quint16 m_port;
    bool m_headerSeen = false;
    QByteArray m_partial;
    TableScan m_scan;
};

// Whether `fd` is a regular file of the proc file system (a bind mount or a stand-in there is not).
bool isProcFile(int fd) {
    struct stat st = {};
    struct statfs fs = {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::fstatfs(fd, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

// Reads the listening part of one table; `missingIsEmpty` for a table whose absence means no sockets of its kind.
TableScan readTable(const char* path, quint16 port, bool missingIsEmpty) {
    TableScanner scanner(port);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        if (missingIsEmpty && errno == ENOENT)
            scanner.finish();
        return scanner.result();
    }
    if (!isProcFile(fd)) {
        ::close(fd);
        return scanner.result(); // not the kernel's table: the scan stays incomplete
    }
    char buffer[16 * 1024];
    qsizetype total = 0;
    while (total < kMaxReadBytes) {
        const ssize_t n = ::read(fd, buffer, size_t(std::min<qsizetype>(sizeof buffer, kMaxReadBytes - total)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break; // unreadable: the scan stays incomplete
        if (n == 0) {
            scanner.finish();
            break;
        }
        total += n;
        if (scanner.feed(QByteArrayView(buffer, n)))
            break;
    }
    ::close(fd);
    return scanner.result();
}

} // namespace

TableScan scanTable(QByteArrayView text, quint16 port, bool atEnd) {
    TableScanner scanner(port);
    if (!scanner.feed(text) && atEnd)
        scanner.finish();
    return scanner.result();
}

PortHolder verdict(const QList<TableScan>& tables, uint self) {
    bool known = true;
    bool anyListener = false;
    for (const TableScan& t : tables) {
        for (uint uid : t.uids) {
            if (uid != self)
                return PortHolder::OtherUser;
            anyListener = true;
        }
        known = known && t.complete && t.wellFormed;
    }
    if (!known)
        return PortHolder::Unknown;
    return anyListener ? PortHolder::ThisUser : PortHolder::Nobody;
}

PortHolder holder(quint16 port) {
    const QList<TableScan> tables{readTable("/proc/net/tcp", port, false), readTable("/proc/net/tcp6", port, true)};
    return verdict(tables, ::geteuid());
}

QString withheldNotice(quint16 port, PortHolder h) {
    if (h == PortHolder::OtherUser)
        return QStringLiteral("Port %1 is held by another user's program: sign-in and token withheld.").arg(port);
    return QStringLiteral("Port %1: who listens there could not be checked: sign-in and token withheld.").arg(port);
}

} // namespace zqt::PortListeners
