#pragma once

#include "control/ServiceManager.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <deque>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QUrl;

namespace zqt {

class Preferences;

// The control side's state: the operator's engine settings (persisted), the engine's run state, the output of
// the last script, the log view and the two status texts. Every field notifies on change; everything lives on
// the thread that created the object (the UI thread).
//
// The constructor runs the startup sequence: read the preferences (resolving the engine home), adopt the runtime
// ports file, write every setting back, check the pid file, and queue one start() when auto-start is on and the
// engine does not run.
//
// Scripts run asynchronously. start() and stop() are queued: each runs after the one before it has finished, in
// the order they were asked for, never two at once; `busy` is true from the first request until the queue is
// empty.
class AppState final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString zqtHome READ zqtHome WRITE setZqtHome NOTIFY zqtHomeChanged)
    Q_PROPERTY(QString host READ host WRITE setHost NOTIFY hostChanged)
    Q_PROPERTY(QString port READ port WRITE setPort NOTIFY portChanged)
    Q_PROPERTY(bool demoMode READ demoMode WRITE setDemoMode NOTIFY demoModeChanged)
    Q_PROPERTY(QString executionMode READ executionMode WRITE setExecutionMode NOTIFY executionModeChanged)
    Q_PROPERTY(QString brokerMode READ brokerMode WRITE setBrokerMode NOTIFY brokerModeChanged)
    Q_PROPERTY(bool startMarketing READ startMarketing WRITE setStartMarketing NOTIFY startMarketingChanged)
    Q_PROPERTY(QString marketingPort READ marketingPort WRITE setMarketingPort NOTIFY marketingPortChanged)
    Q_PROPERTY(bool startPortal READ startPortal WRITE setStartPortal NOTIFY startPortalChanged)
    Q_PROPERTY(QString portalPort READ portalPort WRITE setPortalPort NOTIFY portalPortChanged)
    Q_PROPERTY(bool autoStart READ autoStart WRITE setAutoStart NOTIFY autoStartChanged)
    Q_PROPERTY(bool operatorUnlocked READ operatorUnlocked WRITE setOperatorUnlocked NOTIFY operatorUnlockedChanged)
    Q_PROPERTY(QString lastOutput READ lastOutput WRITE setLastOutput NOTIFY lastOutputChanged)
    Q_PROPERTY(bool isRunning READ isRunning WRITE setIsRunning NOTIFY isRunningChanged)
    Q_PROPERTY(QString selectedLog READ selectedLog WRITE setSelectedLog NOTIFY selectedLogChanged)
    Q_PROPERTY(QString logOutput READ logOutput WRITE setLogOutput NOTIFY logOutputChanged)
    Q_PROPERTY(QString systemStatus READ systemStatus WRITE setSystemStatus NOTIFY systemStatusChanged)
    Q_PROPERTY(QString healthStatus READ healthStatus WRITE setHealthStatus NOTIFY healthStatusChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(QString busyText READ busyText NOTIFY busyChanged)
    Q_PROPERTY(QString accessHost READ accessHost NOTIFY hostChanged)

public:
    explicit AppState(QObject* parent = nullptr);
    ~AppState() override;

    QString zqtHome() const { return m_zqtHome; }
    QString host() const { return m_host; }
    QString port() const { return m_port; }
    bool demoMode() const { return m_demoMode; }
    QString executionMode() const { return m_executionMode; }
    QString brokerMode() const { return m_brokerMode; }
    bool startMarketing() const { return m_startMarketing; }
    QString marketingPort() const { return m_marketingPort; }
    bool startPortal() const { return m_startPortal; }
    QString portalPort() const { return m_portalPort; }
    bool autoStart() const { return m_autoStart; }
    bool operatorUnlocked() const { return m_operatorUnlocked; }
    QString lastOutput() const { return m_lastOutput; }
    bool isRunning() const { return m_isRunning; }
    QString selectedLog() const { return m_selectedLog; }
    QString logOutput() const { return m_logOutput; }
    QString systemStatus() const { return m_systemStatus; }
    QString healthStatus() const { return m_healthStatus; }
    // A start or stop is running or waiting.
    bool busy() const { return m_current.has_value(); }
    // "Starting…" or "Stopping…" for the script that runs now; empty when idle.
    QString busyText() const;
    // Start and stop requests waiting behind the running one.
    int pendingOperations() const { return static_cast<int>(m_pending.size()); }

    void setZqtHome(const QString& value);
    void setHost(const QString& value);
    void setPort(const QString& value);
    void setDemoMode(bool value);
    void setExecutionMode(const QString& value);
    void setBrokerMode(const QString& value);
    void setStartMarketing(bool value);
    void setMarketingPort(const QString& value);
    void setStartPortal(bool value);
    void setPortalPort(const QString& value);
    void setAutoStart(bool value);
    void setOperatorUnlocked(bool value);
    void setLastOutput(const QString& value);
    void setIsRunning(bool value);
    void setSelectedLog(const QString& value);
    void setLogOutput(const QString& value);
    void setSystemStatus(const QString& value);
    void setHealthStatus(const QString& value);

    ServiceManager& service() { return *m_service; }
    Preferences& preferences() { return *m_prefs; }

    // `host`, except that "0.0.0.0" is reached as "127.0.0.1".
    QString accessHost() const;
    // The fourteen variables handed to the start script, from the current fields.
    ServiceManager::Environment startEnvironment() const;

    // The engine home for a stored value (nothing when absent): the stored path when it holds
    // scripts/app_up.sh, except that the former default home yields to the primary one once that holds the
    // script too; the primary default home otherwise.
    static QString resolveHome(const std::optional<QString>& stored, const QString& primaryDefault,
                               const QString& formerDefault);
    // The passcode expected by unlockOperator: ZQT_OPERATOR_PASS when the environment holds it (even empty),
    // else the built-in default.
    static QString expectedPasscode();
    static QString builtInPasscode();

public slots:
    // Writes the twelve settings to the preferences store.
    void savePreferences();
    // Saves the settings, runs scripts/app_up.sh with the start environment, then applies its output, the
    // runtime ports, the pid check and the log tail, in that order.
    void start();
    // Saves the settings, runs scripts/app_down.sh, then applies the same four steps as start().
    void stop();
    // logOutput = the tail of the selected log.
    void refreshLogs();
    // Adopts host and ports from <zqtHome>/storage/runtime_ports.json when it is readable and well formed.
    void syncRuntimePortsIfPresent();
    // The header's Refresh: runtime ports, then the pid check.
    void refreshRunState();
    // GETs /api/system/status and /health on accessHost:port; a reply with a body (any HTTP status) lands in
    // systemStatus / healthStatus, a failed request changes nothing. Returns at once.
    void refreshSystemStatus();
    // Opens the operator lock and saves when `passcode` is exactly the expected one.
    bool unlockOperator(const QString& passcode);
    // Closes the operator lock and saves.
    void lockOperator();

signals:
    void zqtHomeChanged();
    void hostChanged();
    void portChanged();
    void demoModeChanged();
    void executionModeChanged();
    void brokerModeChanged();
    void startMarketingChanged();
    void marketingPortChanged();
    void startPortalChanged();
    void portalPortChanged();
    void autoStartChanged();
    void operatorUnlockedChanged();
    void lastOutputChanged();
    void isRunningChanged();
    void selectedLogChanged();
    void logOutputChanged();
    void systemStatusChanged();
    void healthStatusChanged();
    void busyChanged();
    // One status or health request has finished, whatever its outcome (after its field was updated).
    void statusProbeFinished();

private:
    enum class Operation { Start, Stop };

    void enqueue(Operation op);
    void runNext();
    void finishOperation(const QString& home, const QString& output);
    void syncRuntimePorts(const QString& home);
    void probe(const QUrl& url, void (AppState::*store)(const QString&));

    QString m_zqtHome;
    QString m_host;
    QString m_port;
    bool m_demoMode{};
    QString m_executionMode;
    QString m_brokerMode;
    bool m_startMarketing{};
    QString m_marketingPort;
    bool m_startPortal{};
    QString m_portalPort;
    bool m_autoStart{};
    bool m_operatorUnlocked{};
    QString m_lastOutput;
    bool m_isRunning{};
    QString m_selectedLog;
    QString m_logOutput;
    QString m_systemStatus;
    QString m_healthStatus;

    std::unique_ptr<Preferences> m_prefs;
    ServiceManager* m_service = nullptr;
    QNetworkAccessManager* m_network = nullptr;
    std::deque<Operation> m_pending;
    std::optional<Operation> m_current;
};

} // namespace zqt
