#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>

namespace zqt {

// Who holds the listening TCP sockets on a port of this machine. The sign-in token and passwords go to a port only
// while nobody else's program listens there: on a shared machine another account can listen on the engine's port
// while the engine is stopped, and would receive them.
enum class PortHolder {
    Nobody,    // no socket listens on the port
    ThisUser,  // every listening socket on the port belongs to the user running this program
    OtherUser, // at least one belongs to another user (root included, when this program runs as someone else)
    Unknown,   // the kernel's tables could not be read whole (missing, unreadable, or their listening part too long)
};

// Answers who holds a port; the program reads the kernel's tables (PortListeners::holder), tests pass their own.
using PortCheck = std::function<PortHolder(quint16 port)>;

// The listening sockets as Linux lists them in /proc/net/tcp and /proc/net/tcp6: a header line, then one line per
// socket, "sl local_address rem_address st ... uid ...", the local address as hex "ADDR:PORT", the state in hex
// (0A is LISTEN), the owner's numeric uid in the eighth column. The kernel lists every listening socket before any
// other, so only that leading part is read.
namespace PortListeners {

// Most bytes read from one table: its listening part in about 850 IPv4 or 700 IPv6 sockets (150 and 178 bytes a
// line). A longer listening part makes the answer Unknown rather than make the UI thread read on.
inline constexpr qsizetype kMaxReadBytes = 128 * 1024;

// What one table says about `port`.
struct TableScan {
    QList<uint> uids;       // owners of the listening sockets on the port, in table order
    bool complete = false;  // the whole listening part was seen: a line of another state followed, or the text ended
                            // with a full line (`atEnd`)
    bool wellFormed = true; // every socket line read parsed
};

// Scans the text of one table (whole or its start). `atEnd`: the text is the whole table.
TableScan scanTable(QByteArrayView text, quint16 port, bool atEnd);

// The verdict from the scans of both tables for a program run by `self`.
PortHolder verdict(const QList<TableScan>& tables, uint self);

// Reads the listening part of /proc/net/tcp and /proc/net/tcp6 (a missing tcp6, IPv6 being off, counts as empty)
// and gives the verdict for the current user. Reads at most kMaxReadBytes per table, and only from regular files of
// the proc file system (anything else there makes the answer Unknown). Cheap enough for the UI thread: the kernel
// writes the text from memory, a few KiB on a usual machine.
PortHolder holder(quint16 port);

// Whether the token or a password may be sent to a port with that holder: only when nobody or only this user's
// programs listen there.
inline bool maySendSecrets(PortHolder h) {
    return h == PortHolder::Nobody || h == PortHolder::ThisUser;
}

// The one line the terminal shows when it withholds them.
QString withheldNotice(quint16 port, PortHolder h);

} // namespace PortListeners

} // namespace zqt
