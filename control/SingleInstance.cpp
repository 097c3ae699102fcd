#include "control/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace zqt {

namespace {

// The one message of the protocol; anything else on the socket is ignored.
constexpr char kRaise[] = "raise\n";
constexpr qsizetype kRaiseSize = sizeof(kRaise) - 1;

QString runtimeFolder() {
    // Qt creates the folder with mode 0700 when it has to (XDG_RUNTIME_DIR unset) and checks its owner.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
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
    QDir().mkpath(m_folder);
    m_lock = std::make_unique<QLockFile>(lockPath());
    // A lock whose process no longer runs counts as stale at once, however recent.
    if (m_lock->tryLock(0)) {
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
    m_lock.reset();

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
