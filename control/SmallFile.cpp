#include "control/SmallFile.h"

#include <QFile>
#include <QScopeGuard>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zqt {

namespace {

SmallFile refused(SmallFile::Status status) {
    SmallFile file;
    file.status = status;
    return file;
}

SmallFile::Status statusOfMissing(int error) {
    return error == ENOENT || error == ENOTDIR ? SmallFile::Status::Missing : SmallFile::Status::Unreadable;
}

} // namespace

SmallFile SmallFile::read(const QString& path, qint64 maxBytes) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    // Looked at before opening: opening a named pipe or some devices can wait or have effects of its own.
    if (::stat(native.constData(), &st) != 0)
        return refused(statusOfMissing(errno));
    if (!S_ISREG(st.st_mode))
        return refused(Status::NotRegular);
    if (st.st_size > maxBytes)
        return refused(Status::TooLarge);

    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return refused(statusOfMissing(errno));
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    // What was opened is what is read: the entry may have been replaced since it was looked at.
    if (::fstat(fd, &st) != 0)
        return refused(Status::Unreadable);
    if (!S_ISREG(st.st_mode))
        return refused(Status::NotRegular);
    if (st.st_size > maxBytes)
        return refused(Status::TooLarge);

    // Read to the end rather than trusting the size: the file may grow meanwhile, and /proc files report 0.
    QByteArray bytes;
    char block[16 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return refused(Status::Unreadable);
        if (n == 0)
            break;
        if (bytes.size() + n > maxBytes)
            return refused(Status::TooLarge);
        bytes.append(block, n);
    }

    SmallFile file;
    file.status = Status::Read;
    file.bytes = std::move(bytes);
    file.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return file;
}

} // namespace zqt
