#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QTemporaryDir;

namespace zqt {

// Keeps the program to one instance per user. The first instance holds a lock file and listens on a local socket,
// both in the user's runtime folder (mode 0700; the socket itself is user-only). A later launch finds the lock
// held, asks the running instance over the socket to raise its window, and is told to exit. A lock left by a
// crashed instance is taken over (QLockFile sees that its process is gone) and its stale socket removed.
//
// Only a lock held by a live instance sends a launch away. When the lock cannot be used at all (no runtime folder,
// a folder that cannot be written, a lock file that cannot be read), the launch goes on as the primary instance
// with a warning on standard error, and its lock and socket live in a private folder of its own (0700, under the
// temporary folder, removed at exit).
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    enum class Role { Primary, Secondary };

    // folder: where the lock and socket live; empty means the user's runtime folder.
    explicit SingleInstance(QString folder = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the primary instance, or, when another instance runs, asks it to raise its window (waiting at most
    // timeoutMs for it to answer) and returns Secondary. Call once, before any window exists.
    Role claim(int timeoutMs = 3000);

    QString socketPath() const;
    QString lockPath() const;
    // The folder the lock and socket are in: the one asked for, or the private one claim() fell back to.
    QString folder() const { return m_folder; }

signals:
    // A later launch asked this (primary) instance to show and raise its window.
    void activationRequested();

private:
    void onNewConnection();
    // Takes the lock just made and listens on the socket beside it.
    Role becomePrimary();

    QString m_folder;
    std::unique_ptr<QTemporaryDir> m_privateFolder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace zqt
