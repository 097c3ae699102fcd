#pragma once

#include <QtGlobal>

namespace zqt {

// How far a followed log has been read: which file (device and inode, so that a file put in its place is told
// apart), the offset just after the last line feed taken, and the file's size when it was last looked at. Bytes
// between `offset` and `size` are an unfinished last line, read again once it grows. No file: inode 0.
struct LogPosition {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 offset = 0;
    qint64 size = 0;

    bool hasFile() const { return inode != 0; }
    friend bool operator==(const LogPosition&, const LogPosition&) = default;
};

} // namespace zqt
