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

void ScriptRunner::finish(const QString& home, const QString& output) {
    setLastOutput(output);
    m_steps.adoptRuntimePorts(home);
    setIsRunning(ServiceManager::isRunning(home));
    m_steps.reloadLog(home);
    m_current.reset();
    if (m_pending.empty())
        emit busyChanged();
    else
        runNext();
}

} // namespace zqt
