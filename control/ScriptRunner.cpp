#include "control/ScriptRunner.h"

#include "control/Observable.h"

#include <QFileInfo>

#include <utility>

namespace zqt {

ScriptRunner::ScriptRunner(ServiceManager& service, Steps steps, QObject* parent)
    : QObject(parent), m_service(service), m_steps(std::move(steps)) {}

QString ScriptRunner::busyText() const {
    if (!m_current)
        return {};
    return *m_current == Operation::Start ? QStringLiteral("Starting…") : QStringLiteral("Stopping…");
}

void ScriptRunner::setLastOutput(const QString& value) {
    assignAndNotify(this, m_lastOutput, value, &ScriptRunner::lastOutputChanged);
}

void ScriptRunner::setIsRunning(bool value) {
    assignAndNotify(this, m_isRunning, value, &ScriptRunner::isRunningChanged);
}

void ScriptRunner::start() {
    enqueue(Operation::Start);
}

void ScriptRunner::stop() {
    enqueue(Operation::Stop);
}

void ScriptRunner::enqueue(Operation op) {
    m_pending.push_back(op);
    if (!m_current)
        runNext();
}

void ScriptRunner::runNext() {
    if (m_current || m_pending.empty())
        return;
    const Operation op = m_pending.front();
    m_pending.pop_front();
    m_current = op;
    emit busyChanged();

    m_steps.saveSettings();
    // The later steps use the home this run was started with, whatever the settings form does meanwhile.
    const QString home = m_steps.home();
    auto done = [this, home](const QString& output) {
        finish(home, output);
    };
    if (op == Operation::Stop) {
        m_service.stop(home, done);
    } else if (!QFileInfo::exists(home)) {
        done(QStringLiteral("ZQT_HOME not found: ") + home);
    } else {
        // The command changes to $ZQT_HOME: make it the home checked above.
        ServiceManager::Environment env = m_steps.startEnvironment();
        env.insert(QStringLiteral("ZQT_HOME"), home);
        m_service.runShell(ServiceManager::startCommand(), env, done, QStringLiteral("start"));
    }
}

QString ScriptRunner::lastLine(const QString& output) {
    const QStringList lines = output.split(QLatin1Char('\n'));
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString line = it->trimmed();
        if (!line.isEmpty())
            return line.size() > kOutcomeLineChars ? line.first(kOutcomeLineChars - 1) + QChar(0x2026) : line;
    }
    return {};
}

void ScriptRunner::finish(const QString& home, const QString& output) {
    const bool started = *m_current == Operation::Start;
    setLastOutput(output);
    m_steps.adoptRuntimePorts(home);
    setIsRunning(ServiceManager::isRunning(home));
    m_lastRunFailed = started ? !m_isRunning : m_isRunning;
    QString outcome;
    if (!m_lastRunFailed) {
        outcome = started ? QStringLiteral("Started.") : QStringLiteral("Stopped.");
    } else {
        QString why = lastLine(output);
        if (why.isEmpty())
            why = started ? QStringLiteral("the engine is not running") : QStringLiteral("the engine is still running");
        outcome = (started ? QStringLiteral("Start failed: ") : QStringLiteral("Stop failed: ")) + why;
    }
    // Announced even when the text repeats: the same failure again is a new outcome.
    m_lastOutcome = outcome;
    emit lastOutcomeChanged();
    m_steps.reloadLog(home);
    m_current.reset();
    emit finished(started, output);
    if (m_pending.empty())
        emit busyChanged();
    else
        runNext();
}

} // namespace zqt
