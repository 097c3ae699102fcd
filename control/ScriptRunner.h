#pragma once

#include "control/ServiceManager.h"

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <optional>

namespace zqt {

// Runs the engine's start and stop scripts one after another and keeps what they leave behind: the output of the
// last run and whether the engine runs. start() and stop() are queued: each runs after the one before it has
// finished, in the order they were asked for, never two at once; `busy` is true from the first request until the
// queue is empty.
//
// A run saves the settings, runs the script on the home it began with, then sets `lastOutput`, adopts the
// runtime ports, sets `isRunning` from the pid check, sets `lastOutcome` and reloads the log, in that order.
class ScriptRunner final : public QObject {
    Q_OBJECT

public:
    // What a run asks of the rest of the control state.
    struct Steps {
        std::function<void()> saveSettings;
        std::function<QString()> home;
        std::function<ServiceManager::Environment()> startEnvironment;
        std::function<void(const QString& home)> adoptRuntimePorts;
        std::function<void(const QString& home)> reloadLog;
    };

    // `service` must outlive the runner.
    ScriptRunner(ServiceManager& service, Steps steps, QObject* parent = nullptr);

    void start();
    void stop();

    // A start or stop is running or waiting.
    bool busy() const { return m_current.has_value(); }
    // "Starting…" or "Stopping…" for the script that runs now; empty when idle.
    QString busyText() const;
    // The script running now is the stop script.
    bool isStopping() const { return m_current == Operation::Stop; }

    QString lastOutput() const { return m_lastOutput; }
    // One line on the last finished run, judged by the pid check that followed it (the scripts' exit status is
    // not looked at): "Started." / "Stopped." when the engine then runs / no longer runs; otherwise "Start
    // failed: " / "Stop failed: " and the last non-blank line of the output (at most kOutcomeLineChars
    // characters), or "the engine is not running" / "the engine is still running" when it printed nothing. Empty
    // before the first run.
    QString lastOutcome() const { return m_lastOutcome; }
    // Whether lastOutcome tells of a failure.
    bool lastRunFailed() const { return m_lastRunFailed; }
    static constexpr int kOutcomeLineChars = 200;
    // The last non-blank line of `output`, blanks around it trimmed, cut at kOutcomeLineChars characters.
    static QString lastLine(const QString& output);
    bool isRunning() const { return m_isRunning; }
    void setIsRunning(bool value);

signals:
    void lastOutputChanged();
    void isRunningChanged();
    void busyChanged();
    void lastOutcomeChanged();
    // A start (`start` true) or stop run has applied all its steps; `output` is what its script printed.
    void finished(bool start, const QString& output);

private:
    enum class Operation { Start, Stop };

    void enqueue(Operation op);
    void runNext();
    void finish(const QString& home, const QString& output);
    void setLastOutput(const QString& value);

    ServiceManager& m_service;
    Steps m_steps;
    QString m_lastOutput;
    QString m_lastOutcome;
    bool m_lastRunFailed = false;
    bool m_isRunning = false;
    std::deque<Operation> m_pending;
    std::optional<Operation> m_current;
};

} // namespace zqt
