#pragma once

#include "TestEnv.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zqt::test {

// A throw-away engine home with real scripts. The default start script records its environment and working
// folder, prints to both streams, appends to the web log, writes the runtime ports file it is told to, and starts
// a background `sleep` that inherits the output pipe, whose pid it writes to storage/web.pid (and daemon.pid,
// which the destructor uses to end it).
class EngineHome final {
public:
    explicit EngineHome(const QString& path) : m_path(path) {
        QDir().mkpath(m_path + "/scripts");
        QDir().mkpath(m_path + "/storage/logs");
    }
    ~EngineHome() {
        for (const QByteArray& line : readFile(m_path + "/daemon.pids").split('\n')) {
            bool ok = false;
            const int pid = line.trimmed().toInt(&ok);
            if (ok && pid > 0)
                ::kill(pid, SIGKILL);
        }
    }
    EngineHome(const EngineHome&) = delete;
    EngineHome& operator=(const EngineHome&) = delete;

    QString path() const { return m_path; }
    QString file(const QString& relative) const { return m_path + "/" + relative; }

    void writeScript(const QString& name, const QByteArray& body) const {
        const QString p = file("scripts/" + name);
        writeFile(p, "#!/bin/bash\n" + body);
        QFile::setPermissions(p, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // The start script described above. `extra` runs last.
    void writeDefaultUpScript(const QByteArray& extra = {}) const {
        writeScript("app_up.sh", "env > up.env\n"
                                 "pwd > up.cwd\n"
                                 "echo 'up: to stdout'\n"
                                 "echo 'up: to stderr' >&2\n"
                                 "echo \"web started on $ZQT_PORT\" >> storage/logs/web.log\n"
                                 "if [ -f ports.next ]; then cp ports.next storage/runtime_ports.json; fi\n"
                                 "sleep 300 &\n"
                                 "echo $! >> daemon.pids\n"
                                 "echo $! > storage/web.pid\n" +
                                     extra);
    }
    // A stop script that records its environment, prints, and removes the pid file after ending the daemon.
    void writeDefaultDownScript(const QByteArray& extra = {}) const {
        writeScript("app_down.sh", "env > down.env\n"
                                   "echo \"down: stopping $(cat storage/web.pid 2>/dev/null)\"\n"
                                   "kill $(cat storage/web.pid 2>/dev/null) 2>/dev/null\n"
                                   "rm -f storage/web.pid\n"
                                   "echo 'web stopped' >> storage/logs/web.log\n" +
                                       extra);
    }

    // The recorded environment of a script run ("up" or "down") as name -> value.
    QMap<QString, QString> recordedEnv(const QString& which) const {
        QMap<QString, QString> env;
        for (const QByteArray& line : readFile(file(which + ".env")).split('\n')) {
            const qsizetype eq = line.indexOf('=');
            if (eq > 0)
                env.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
        }
        return env;
    }

    // A FIFO a script can block on with `read -r _ < gate`, so a test decides when the script goes on.
    void makeGate() const { ::mkfifo(QFile::encodeName(file("gate")).constData(), 0600); }
    // Lets one blocked reader of the gate go on; false while nobody has the gate open for reading yet.
    bool tryOpenGate() const {
        const int fd = ::open(QFile::encodeName(file("gate")).constData(), O_WRONLY | O_NONBLOCK);
        if (fd < 0)
            return false;
        const bool ok = ::write(fd, "go\n", 3) == 3;
        ::close(fd);
        return ok;
    }

private:
    QString m_path;
};

} // namespace zqt::test
