#pragma once

#include "control/LogReader.h"
#include "control/ScriptRunner.h"
#include "control/ServiceManager.h"
#include "control/Settings.h"
#include "control/StatusProbe.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>

#include <map>
#include <memory>
#include <optional>
#include <set>

namespace zqt {

class OperatorLock;
struct EngineAddresses;

// The control side's state as the window sees it: the operator's settings (owned by Settings), the engine's run
// state and the output of the last script (ScriptRunner), the log view (LogReader), the two status texts
// (StatusProbe) and the operator lock (OperatorLock). It keeps the names the window binds to and forwards to
// those parts. Everything lives on the thread that created the object (the UI thread).
//
// The constructor runs the startup sequence over settings the entry has just read: adopt the runtime ports
// file, write every setting back, check the pid file, and queue one start() when auto-start is on and the engine
// does not run. From then on the pid check runs again every kRunStateCheckMs while no script runs, so that an
// engine that dies (or comes back) by itself shows in isRunning.
class AppState final : public QObject {
    Q_OBJECT

public:
    // `settings` must outlive the state.
    explicit AppState(Settings& settings, QObject* parent = nullptr);
    ~AppState() override;

    Settings& settings() { return m_settings; }
    const Settings& settings() const { return m_settings; }
    ServiceManager& service() { return *m_service; }
    ScriptRunner& scripts() { return *m_runner; }
    LogReader& logs() { return *m_logs; }
    StatusProbe& status() { return *m_probe; }

    // The operator's edit of a setting, in memory (see Settings::set); savePreferences() stores it. The values are
    // read from settings(); a change of any of them is announced by settingChanged.
    void set(Setting setting, const QVariant& value);

    // Whether the operator edited a setting since the last save and its value now differs from the stored one.
    // Save Settings, Start and Stop save them (unsavedEditsChanged tells when this may have changed).
    bool hasUnsavedEdits() const;
    // A port the operator set (saved or not) that the engine's runtime ports file then replaced: the settings
    // follow the port the engine runs on, and the operator's value waits here for the next start(), which puts
    // it back before saving and running the start script. One sentence per port ("The engine reports port 8093;
    // your port 8001 applies at the next start."); empty when nothing waits.
    QString pendingPortsNote() const;
    // The operator's value waiting for the next start, if any.
    std::optional<QString> pendingPort(Setting setting) const;

    // The parts' fields, each announced by the signal of the same name below (see ScriptRunner, LogReader and
    // StatusProbe).
    QString lastOutput() const { return m_runner->lastOutput(); }
    QString lastOutcome() const { return m_runner->lastOutcome(); }
    bool lastRunFailed() const { return m_runner->lastRunFailed(); }
    bool isRunning() const { return m_runner->isRunning(); }
    bool busy() const { return m_runner->busy(); }
    QString busyText() const { return m_runner->busyText(); }
    // A stop script is running (its run is what changes isRunning now).
    bool stopping() const { return m_runner->isStopping(); }
    QString selectedLog() const { return m_logs->selectedLog(); }
    QString logOutput() const { return m_logs->logOutput(); }
    QString systemStatus() const { return m_probe->systemStatus(); }
    QString healthStatus() const { return m_probe->healthStatus(); }
    // Why the last runtime ports file's host was not followed (a host off this machine, see
    // EngineAddresses::followableHost); empty when it was followed or named none.
    QString runtimePortsNote() const { return m_runtimePortsNote; }
    // The logs view's segmented picker.
    void setSelectedLog(const QString& value) { m_logs->setSelectedLog(value); }

    // `host`, except that "0.0.0.0" is reached as "127.0.0.1".
    QString accessHost() const;
    static constexpr int kRunStateCheckMs = 2000;

    // The engine's addresses from the current settings and the stored sign-in token.
    EngineAddresses addresses() const;

public slots:
    // Writes the settings to the preferences store.
    void savePreferences();
    // Saves the settings, runs scripts/app_up.sh with the start environment, then applies its output, the
    // runtime ports, the pid check and the log tail, in that order.
    void start();
    // Saves the settings, runs scripts/app_down.sh, then applies the same four steps as start().
    void stop();
    // Reloads logOutput from the tail of the selected log; the file is read off this thread and the text lands
    // later (see LogReader).
    void refreshLogs();
    // Adopts host and ports from <zqtHome>/storage/runtime_ports.json when it is readable and well formed. A host
    // that is neither on loopback nor the configured one is not adopted (runtimePortsNote says so); the ports are.
    void syncRuntimePortsIfPresent();
    // The header's Refresh: runtime ports, then the pid check.
    void refreshRunState();
    // GETs the engine's status and health addresses; a reply with a body (any HTTP status) lands in
    // systemStatus / healthStatus, a redirect is not followed and shows as such there, a failed request changes
    // nothing. Returns at once.
    void refreshSystemStatus();
    // Opens the operator lock and saves when `passcode` is exactly the expected one.
    bool unlockOperator(const QString& passcode);
    // Closes the operator lock and saves.
    void lockOperator();

signals:
    void settingChanged(zqt::Setting setting);
    void lastOutputChanged();
    void lastOutcomeChanged();
    void isRunningChanged();
    void selectedLogChanged();
    void logOutputChanged();
    void systemStatusChanged();
    void healthStatusChanged();
    void busyChanged();
    void runtimePortsNoteChanged();
    void unsavedEditsChanged();
    void pendingPortsChanged();
    // A start (`start` true) or stop has finished, with what its script printed.
    void scriptFinished(bool start, const QString& output);

private:
    // The fourteen variables handed to the start script, from the current settings.
    ServiceManager::Environment startEnvironment() const;
    QString engineHome() const { return m_settings.text(Setting::Home); }
    void syncRuntimePorts(const QString& home);
    void setRuntimePortsNote(const QString& note);

    Settings& m_settings;
    ServiceManager* m_service = nullptr; // child
    ScriptRunner* m_runner = nullptr;    // child
    LogReader* m_logs = nullptr;         // child
    StatusProbe* m_probe = nullptr;      // child
    std::unique_ptr<OperatorLock> m_lock;
    QTimer m_runStateTimer;
    QString m_runtimePortsNote;
    std::set<Setting> m_edited;                // the operator's edits since the last save
    std::set<Setting> m_portEdits;             // ports the operator set since the last start
    std::map<Setting, QString> m_pendingPorts; // the operator's ports the runtime ports file replaced
};

} // namespace zqt
