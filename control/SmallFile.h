#pragma once

#include <QByteArray>
#include <QString>

namespace zqt {

// A small file of outside origin (the engine's pid and runtime ports files, the preferences) read whole without
// ever waiting on it: only a regular file is read (a named pipe, a device, a socket or a folder is refused before
// it is opened, and again after, should one have been swapped in between), it is opened without blocking, and
// nothing over `maxBytes` is read (a longer file is refused, not cut). A symbolic link counts as what it points to:
// a link to a regular file is read, a link to /dev/zero is refused.
struct SmallFile {
    enum class Status {
        Read,       // `bytes` holds the whole file
        Missing,    // no entry at the path (or a path component that is not a folder)
        NotRegular, // a named pipe, a device, a socket or a folder
        TooLarge,   // over the limit
        Unreadable, // exists but could not be opened or read (permissions, I/O error)
    };

    Status status = Status::Missing;
    QByteArray bytes;
    // Last modification of the file that was read, in nanoseconds since the epoch (UTC); 0 unless Read.
    qint64 modifiedNs = 0;

    static SmallFile read(const QString& path, qint64 maxBytes);

    bool ok() const { return status == Status::Read; }
};

} // namespace zqt
