#include "control/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace zqt {

namespace {

// The one message of the protocol; anything else on the socket is ignored.
constexpr char kRaise[] = "raise\n";
constexpr qsizetype kRaiseSize = sizeof(kRaise) - 1;

QString runtimeFolder() {
    // Qt creates the folder with mode 0700 when it has to (XDG_RUNTIME_DIR unset) and checks its owner; it gives
    // nothing when the folder is unusable.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString lockErrorText(QLockFile::LockError error) {
    switch (error) {
    case QLockFile::NoError:
        break;
    case QLockFile::LockFailedError:
        return QStringLiteral("the lock file cannot be read");
    case QLockFile::PermissionError:
        return QStringLiteral("the lock file cannot be created");
    case QLockFile::UnknownError:
        return QStringLiteral("the lock file cannot be used");
    }
    return QStringLiteral("unknown error");
}

} // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), m_folder(folder.isEmpty() ? runtimeFolder() : std::move(folder)) {}

SingleInstance::~SingleInstance() {
    if (m_server)
        m_server->close();
}

QString SingleInstance::socketPath() const {
    return QDir(m_folder).filePath(QStringLiteral("zqt-desktop.socket"));
}

QString SingleInstance::lockPath() const {
    return QDir(m_folder).filePath(QStringLiteral("zqt-desktop.lock"));
}

SingleInstance::Role SingleInstance::claim(int timeoutMs) {
    QString problem;
    if (m_folder.isEmpty()) {
        problem = QStringLiteral("no runtime folder");
    } else if (!QDir().mkpath(m_folder) || !QFileInfo(m_folder).isDir()) {
        problem = QStringLiteral("%1 cannot be created").arg(m_folder);
    } else {
        m_lock = std::make_unique<QLockFile>(lockPath());
        // A lock whose process no longer runs counts as stale at once, however recent.
        if (m_lock->tryLock(0))
            return becomePrimary();
        qint64 pid = 0;
        QString host;
        QString application;
        // QLockFile has checked that the process the lock names still runs this program on this machine.
        const bool heldByLiveInstance =
            m_lock->error() == QLockFile::LockFailedError && m_lock->getLockInfo(&pid, &host, &application);
        if (!heldByLiveInstance)
            problem = QStringLiteral("%1: %2").arg(lockPath(), lockErrorText(m_lock->error()));
        m_lock.reset();
    }

    if (!problem.isEmpty()) {
        // Better two windows than none: the program starts, with a lock and socket nobody else can touch.
        m_privateFolder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/zqt-desktop-XXXXXX"));
        m_folder = m_privateFolder->path();
        qWarning("zqt-desktop: cannot use the single-instance lock (%s); starting anyway, with the lock and socket "
                 "in %s",
                 qPrintable(problem), qPrintable(m_folder));
        m_lock = std::make_unique<QLockFile>(lockPath());
        m_lock->tryLock(0);
        return becomePrimary();
    }

    // The lock holder listens right after taking the lock, so one bounded attempt reaches it. If it cannot be
    // reached (its socket failed), this launch still leaves: an instance is running.
    QLocalSocket socket;
    socket.connectToServer(socketPath(), QIODevice::WriteOnly);
    if (socket.waitForConnected(timeoutMs)) {
        socket.write(kRaise, kRaiseSize);
        socket.waitForBytesWritten(timeoutMs);
        socket.disconnectFromServer();
    }
    return Role::Secondary;
}

SingleInstance::Role SingleInstance::becomePrimary() {
    // Whatever socket is left belongs to a crashed instance.
    QLocalServer::removeServer(socketPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    if (!m_server->listen(socketPath()))
        qWarning("Single instance: cannot listen on %s: %s", qPrintable(socketPath()),
                 qPrintable(m_server->errorString()));
    return Role::Primary;
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // Bounded: one short message per connection, then the connection is dropped.
            const QByteArray message = socket->read(kRaiseSize);
            if (message == QByteArray(kRaise, kRaiseSize))
                emit activationRequested();
            socket->disconnectFromServer();
        });
    }
}

} // namespace zqt
