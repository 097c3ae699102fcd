#include "control/AppState.h"

#include "control/Preferences.h"
#include "control/RuntimePorts.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace zqt {

namespace {

// Stall timeout of the status requests, in ms (no bytes for this long ends the request).
constexpr int kStatusTimeoutMs = 60000;

// Failures below the HTTP layer: no reply arrived, or it broke off. HTTP error statuses (4xx, 5xx) map to other
// codes and still carry their body.
bool isTransportFailure(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= 1 && code <= 199) || error == QNetworkReply::ProtocolFailure;
}

} // namespace

AppState::AppState(QObject* parent)
    : QObject(parent), m_selectedLog(QStringLiteral("web")), m_service(new ServiceManager(this)),
      m_network(new QNetworkAccessManager(this)) {
    m_prefs = std::make_unique<Preferences>();
    const Preferences& p = *m_prefs;
    auto text = [&p](const char* key) {
        return p.readText(key, Preferences::defaultValue(key).toString());
    };
    auto flag = [&p](const char* key) {
        return p.readBool(key, Preferences::defaultValue(key).toBool());
    };

    m_zqtHome =
        resolveHome(p.string(PrefKey::Home), Preferences::primaryDefaultHome(), Preferences::formerDefaultHome());
    m_host = text(PrefKey::Host);
    m_port = text(PrefKey::Port);
    m_demoMode = flag(PrefKey::DemoMode);
    m_executionMode = text(PrefKey::ExecutionMode);
    m_brokerMode = text(PrefKey::BrokerMode);
    m_startMarketing = flag(PrefKey::StartMarketing);
    m_marketingPort = text(PrefKey::MarketingPort);
    m_startPortal = flag(PrefKey::StartPortal);
    m_portalPort = text(PrefKey::PortalPort);
    m_autoStart = flag(PrefKey::AutoStart);
    m_operatorUnlocked = flag(PrefKey::OperatorUnlocked);

    syncRuntimePortsIfPresent();
    savePreferences();
    m_isRunning = ServiceManager::isRunning(m_zqtHome);
    if (m_autoStart && !m_isRunning)
        QTimer::singleShot(0, this, &AppState::start);
}

AppState::~AppState() = default;

void AppState::setZqtHome(const QString& value) {
    if (m_zqtHome == value)
        return;
    m_zqtHome = value;
    emit zqtHomeChanged();
}

void AppState::setHost(const QString& value) {
    if (m_host == value)
        return;
    m_host = value;
    emit hostChanged();
}

void AppState::setPort(const QString& value) {
    if (m_port == value)
        return;
    m_port = value;
    emit portChanged();
}

void AppState::setDemoMode(bool value) {
    if (m_demoMode == value)
        return;
    m_demoMode = value;
    emit demoModeChanged();
}

void AppState::setExecutionMode(const QString& value) {
    if (m_executionMode == value)
        return;
    m_executionMode = value;
    emit executionModeChanged();
}

void AppState::setBrokerMode(const QString& value) {
    if (m_brokerMode == value)
        return;
    m_brokerMode = value;
    emit brokerModeChanged();
}

void AppState::setStartMarketing(bool value) {
    if (m_startMarketing == value)
        return;
    m_startMarketing = value;
    emit startMarketingChanged();
}

void AppState::setMarketingPort(const QString& value) {
    if (m_marketingPort == value)
        return;
    m_marketingPort = value;
    emit marketingPortChanged();
}

void AppState::setStartPortal(bool value) {
    if (m_startPortal == value)
        return;
    m_startPortal = value;
    emit startPortalChanged();
}

void AppState::setPortalPort(const QString& value) {
    if (m_portalPort == value)
        return;
    m_portalPort = value;
    emit portalPortChanged();
}

void AppState::setAutoStart(bool value) {
    if (m_autoStart == value)
        return;
    m_autoStart = value;
    emit autoStartChanged();
}

void AppState::setOperatorUnlocked(bool value) {
    if (m_operatorUnlocked == value)
        return;
    m_operatorUnlocked = value;
    emit operatorUnlockedChanged();
}

void AppState::setLastOutput(const QString& value) {
    if (m_lastOutput == value)
        return;
    m_lastOutput = value;
    emit lastOutputChanged();
}

void AppState::setIsRunning(bool value) {
    if (m_isRunning == value)
        return;
    m_isRunning = value;
    emit isRunningChanged();
}

void AppState::setSelectedLog(const QString& value) {
    if (m_selectedLog == value)
        return;
    m_selectedLog = value;
    emit selectedLogChanged();
}

void AppState::setLogOutput(const QString& value) {
    if (m_logOutput == value)
        return;
    m_logOutput = value;
    emit logOutputChanged();
}

void AppState::setSystemStatus(const QString& value) {
    if (m_systemStatus == value)
        return;
    m_systemStatus = value;
    emit systemStatusChanged();
}

void AppState::setHealthStatus(const QString& value) {
    if (m_healthStatus == value)
        return;
    m_healthStatus = value;
    emit healthStatusChanged();
}
QString AppState::busyText() const {
    if (!m_current)
        return {};
    return *m_current == Operation::Start ? QStringLiteral("Starting…") : QStringLiteral("Stopping…");
}

QString AppState::accessHost() const {
    return m_host == QLatin1String("0.0.0.0") ? QStringLiteral("127.0.0.1") : m_host;
}

ServiceManager::Environment AppState::startEnvironment() const {
    const auto onOff = [](bool on) {
        return on ? QStringLiteral("1") : QStringLiteral("0");
    };
    return {
        {QStringLiteral("ZQT_HOME"), m_zqtHome},
        {QStringLiteral("ZQT_STORAGE"), m_zqtHome + QStringLiteral("/storage")},
        {QStringLiteral("ZQT_DB"), m_zqtHome + QStringLiteral("/storage/db.sqlite")},
        {QStringLiteral("ZQT_HOST"), m_host},
        {QStringLiteral("ZQT_PORT"), m_port},
        {QStringLiteral("ZQT_DEMO"), onOff(m_demoMode)},
        {QStringLiteral("ZQT_EXECUTION_MODE"), m_executionMode},
        {QStringLiteral("ZQT_BROKER_MODE"), m_brokerMode},
        {QStringLiteral("ZQT_PUBLIC_PRICES"), QStringLiteral("1")},
        {QStringLiteral("ZQT_SEED_DEMO"), onOff(m_demoMode)},
        {QStringLiteral("ZQT_START_MARKETING"), onOff(m_startMarketing)},
        {QStringLiteral("ZQT_MARKETING_PORT"), m_marketingPort},
        {QStringLiteral("ZQT_START_PORTAL"), onOff(m_startPortal)},
        {QStringLiteral("ZQT_PORTAL_PORT"), m_portalPort},
    };
}

QString AppState::resolveHome(const std::optional<QString>& stored, const QString& primaryDefault,
                              const QString& formerDefault) {
    const QString script = QStringLiteral("/scripts/app_up.sh");
    if (stored && QFileInfo::exists(*stored + script)) {
        if (*stored == formerDefault && QFileInfo::exists(primaryDefault + script))
            return primaryDefault;
        return *stored;
    }
    return primaryDefault;
}

QString AppState::builtInPasscode() {
    // Joined at run time so the whole passcode is not one literal in the binary.
    return QStringLiteral("zqt-") + QStringLiteral("operator");
}

QString AppState::expectedPasscode() {
    if (qEnvironmentVariableIsSet("ZQT_OPERATOR_PASS"))
        return qEnvironmentVariable("ZQT_OPERATOR_PASS");
    return builtInPasscode();
}

void AppState::savePreferences() {
    Preferences& p = *m_prefs;
    p.setString(PrefKey::Home, m_zqtHome);
    p.setString(PrefKey::Host, m_host);
    p.setString(PrefKey::Port, m_port);
    p.setBool(PrefKey::DemoMode, m_demoMode);
    p.setString(PrefKey::ExecutionMode, m_executionMode);
    p.setString(PrefKey::BrokerMode, m_brokerMode);
    p.setBool(PrefKey::StartMarketing, m_startMarketing);
    p.setString(PrefKey::MarketingPort, m_marketingPort);
    p.setBool(PrefKey::StartPortal, m_startPortal);
    p.setString(PrefKey::PortalPort, m_portalPort);
    p.setBool(PrefKey::AutoStart, m_autoStart);
    p.setBool(PrefKey::OperatorUnlocked, m_operatorUnlocked);
    // Written through at once: the file must not lag behind a script that is about to run.
    p.sync();
}

void AppState::start() {
    enqueue(Operation::Start);
}

void AppState::stop() {
    enqueue(Operation::Stop);
}

void AppState::enqueue(Operation op) {
    m_pending.push_back(op);
    if (!m_current)
        runNext();
}

void AppState::runNext() {
    if (m_current || m_pending.empty())
        return;
    const Operation op = m_pending.front();
    m_pending.pop_front();
    m_current = op;
    emit busyChanged();

    savePreferences();
    // The later steps use the home this run was started with, whatever the settings form does meanwhile.
    const QString home = m_zqtHome;
    auto done = [this, home](const QString& output) {
        finishOperation(home, output);
    };
    if (op == Operation::Stop) {
        m_service->stop(home, done);
    } else if (!QFileInfo::exists(home)) {
        done(QStringLiteral("ZQT_HOME not found: ") + home);
    } else {
        m_service->runShell(ServiceManager::startCommand(home), startEnvironment(), done);
    }
}

void AppState::finishOperation(const QString& home, const QString& output) {
    setLastOutput(output);
    syncRuntimePorts(home);
    setIsRunning(ServiceManager::isRunning(home));
    setLogOutput(ServiceManager::readLog(home, m_selectedLog));
    m_current.reset();
    if (m_pending.empty())
        emit busyChanged();
    else
        runNext();
}

void AppState::refreshLogs() {
    setLogOutput(ServiceManager::readLog(m_zqtHome, m_selectedLog));
}

void AppState::syncRuntimePortsIfPresent() {
    syncRuntimePorts(m_zqtHome);
}

void AppState::syncRuntimePorts(const QString& home) {
    const std::optional<RuntimePorts> ports = RuntimePorts::load(home);
    if (!ports)
        return;
    if (ports->host && !ports->host->isEmpty())
        setHost(*ports->host);
    if (ports->port)
        setPort(*ports->port);
    if (ports->marketingPort)
        setMarketingPort(*ports->marketingPort);
    if (ports->portalPort)
        setPortalPort(*ports->portalPort);
}

void AppState::refreshRunState() {
    syncRuntimePortsIfPresent();
    setIsRunning(ServiceManager::isRunning(m_zqtHome));
}

void AppState::refreshSystemStatus() {
    const QString base = QStringLiteral("http://") + accessHost() + QLatin1Char(':') + m_port;
    const QUrl statusUrl(base + QStringLiteral("/api/system/status"), QUrl::StrictMode);
    if (!statusUrl.isValid())
        return;
    probe(statusUrl, &AppState::setSystemStatus);
    const QUrl healthUrl(base + QStringLiteral("/health"), QUrl::StrictMode);
    if (healthUrl.isValid())
        probe(healthUrl, &AppState::setHealthStatus);
}

void AppState::probe(const QUrl& url, void (AppState::*store)(const QString&)) {
    QNetworkRequest request(url);
    request.setTransferTimeout(kStatusTimeoutMs);
    QNetworkReply* reply = m_network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply, store] {
        reply->deleteLater();
        const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        if (answered && !isTransportFailure(reply->error())) {
            // Stored as received whatever the HTTP status. Bytes that are not UTF-8 become replacement
            // characters, so the rest of a partly garbled reply stays readable.
            (this->*store)(QString::fromUtf8(reply->readAll()));
        }
        emit statusProbeFinished();
    });
}

bool AppState::unlockOperator(const QString& passcode) {
    if (passcode != expectedPasscode())
        return false;
    setOperatorUnlocked(true);
    savePreferences();
    return true;
}

void AppState::lockOperator() {
    setOperatorUnlocked(false);
    savePreferences();
}

} // namespace zqt
