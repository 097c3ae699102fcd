#pragma once

// The fault engine (tests/support/fault_engine_main.cpp) as a child process, driven over its stdin. Every wait runs
// the Qt event loop, so the thread that drives it keeps serving its timers.

#include "TestEnv.h"

#include <QProcess>
#include <QString>

namespace zqt::test {

class FaultEngine final {
public:
    FaultEngine() { m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel); }
    ~FaultEngine() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!waitUntil([&] { return m_process.state() == QProcess::NotRunning; }, 10000)) {
            m_process.kill();
            m_process.waitForFinished(1000);
        }
    }
    FaultEngine(const FaultEngine&) = delete;
    FaultEngine& operator=(const FaultEngine&) = delete;

    // Starts `program` and waits until it listens. False when it did not come up.
    bool start(const QString& program) {
        m_process.start(program, {});
        const QString line = readLine();
        if (!line.startsWith(QLatin1String("port ")))
            return false;
        m_port = line.mid(5).toInt();
        return m_port > 0;
    }

    int port() const { return m_port; }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

    // Sends one command line and returns the engine's one-line answer ("error" when it gave none).
    QString command(const QString& line) {
        m_process.write(line.toUtf8() + '\n');
        return readLine();
    }
    bool setFault(const char* faultName) { return command(QStringLiteral("fault ") + faultName) == "ok"; }
    int faultedRequests() { return command(QStringLiteral("faulted")).toInt(); }

private:
    QString readLine() {
        if (!waitUntil([&] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; }, 30000) ||
            !m_process.canReadLine())
            return QStringLiteral("error");
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }

    QProcess m_process;
    int m_port = -1;
};

} // namespace zqt::test
