#include "TestEnv.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTimer>

namespace zqt::test {

TempEnv::TempEnv() {
    const QString r = m_dir.path();
    for (const char* sub : {"home", "home/.config", "home/.local/share", "home/.cache", "home/.local/state", "runtime"})
        QDir().mkpath(r + "/" + sub);
    QFile::setPermissions(r + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    setVar("HOME", QFile::encodeName(home()));
    setVar("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    setVar("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    setVar("XDG_CACHE_HOME", QFile::encodeName(home() + "/.cache"));
    setVar("XDG_STATE_HOME", QFile::encodeName(home() + "/.local/state"));
    setVar("XDG_RUNTIME_DIR", QFile::encodeName(r + "/runtime"));
}

TempEnv::~TempEnv() {
    for (const auto& [name, value] : m_saved) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }
}

QString TempEnv::home() const {
    return m_dir.path() + "/home";
}
QString TempEnv::configHome() const {
    return home() + "/.config";
}
QString TempEnv::dataHome() const {
    return home() + "/.local/share";
}
QString TempEnv::path(const QString& relative) const {
    return m_dir.path() + "/" + relative;
}

void TempEnv::remember(const char* name) {
    const QByteArray key(name);
    if (m_saved.count(key))
        return;
    if (qEnvironmentVariableIsSet(name))
        m_saved[key] = qgetenv(name);
    else
        m_saved[key] = std::nullopt;
}

void TempEnv::setVar(const char* name, std::optional<QByteArray> value) {
    remember(name);
    if (value)
        qputenv(name, *value);
    else
        qunsetenv(name);
}

int freePort() {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return -1;
    return server.serverPort();
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    // The ticking timer wakes the blocking event wait, so conditions changed by other threads are seen too.
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(content) == content.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace zqt::test
