#include "control/AppState.h"

#include "control/EngineAddresses.h"
#include "control/OperatorLock.h"
#include "control/RuntimePorts.h"

#include <QTimer>

#include <optional>
#include <utility>

namespace zqt {

namespace {

// The note for a host the runtime ports file names and the program does not follow. The host is the file's text:
// shown shortened and with its control characters replaced, so it stays one short line.
QString ignoredHostNote(const QString& host) {
    constexpr qsizetype kMaxShown = 64;
    QString shown = host.left(kMaxShown);
    for (QChar& c : shown)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            c = QChar(0xFFFD);
    if (host.size() > kMaxShown)
        shown += QChar(0x2026);
    return QStringLiteral("Runtime ports: host \"%1\" ignored (only this machine's addresses or the configured host "
                          "are followed).")
        .arg(shown);
}

bool isPort(Setting setting) {
    return setting == Setting::Port || setting == Setting::MarketingPort || setting == Setting::PortalPort;
}

QString portName(Setting setting) {
    switch (setting) {
    case Setting::MarketingPort:
        return QStringLiteral("marketing port");
    case Setting::PortalPort:
        return QStringLiteral("portal port");
    default:
        return QStringLiteral("port");
    }
}

} // namespace

AppState::AppState(Settings& settings, QObject* parent)
    : QObject(parent), m_settings(settings), m_service(new ServiceManager(this)), m_logs(new LogReader(this)),
      m_probe(new StatusProbe(this)), m_lock(std::make_unique<OperatorLock>(settings)) {
    m_runner = new ScriptRunner(*m_service,
                                {[this] { savePreferences(); }, [this] { return engineHome(); },
                                 [this] { return startEnvironment(); },
                                 [this](const QString& home) { syncRuntimePorts(home); },
                                 [this](const QString& home) {
                                     m_logs->refresh(home);
                                 }},
                                this);

    connect(&m_settings, &Settings::changed, this, &AppState::settingChanged);
    connect(m_runner, &ScriptRunner::lastOutputChanged, this, &AppState::lastOutputChanged);
    connect(m_runner, &ScriptRunner::lastOutcomeChanged, this, &AppState::lastOutcomeChanged);
    connect(m_runner, &ScriptRunner::isRunningChanged, this, &AppState::isRunningChanged);
    connect(m_runner, &ScriptRunner::busyChanged, this, &AppState::busyChanged);
    connect(m_logs, &LogReader::selectedLogChanged, this, &AppState::selectedLogChanged);
    connect(m_logs, &LogReader::logOutputChanged, this, &AppState::logOutputChanged);
    connect(m_probe, &StatusProbe::systemStatusChanged, this, &AppState::systemStatusChanged);
    connect(m_probe, &StatusProbe::healthStatusChanged, this, &AppState::healthStatusChanged);
    connect(m_runner, &ScriptRunner::finished, this, &AppState::scriptFinished);
    // A script's run sets isRunning itself when it is done.
    m_runStateTimer.setInterval(kRunStateCheckMs);
    connect(&m_runStateTimer, &QTimer::timeout, this, [this] {
        if (!busy())
            m_runner->setIsRunning(ServiceManager::isRunning(engineHome()));
    });
    m_runStateTimer.start();

    syncRuntimePortsIfPresent();
    savePreferences();
    m_runner->setIsRunning(ServiceManager::isRunning(engineHome()));
    if (m_settings.flag(Setting::AutoStart) && !isRunning())
        QTimer::singleShot(0, this, &AppState::start);
}

AppState::~AppState() = default;

QString AppState::accessHost() const {
    return EngineAddresses::accessHost(m_settings.text(Setting::Host));
}

EngineAddresses AppState::addresses() const {
    return EngineAddresses::compute(m_settings);
}

ServiceManager::Environment AppState::startEnvironment() const {
    ServiceManager::Environment env;
    for (const SettingSpec& row : Settings::table()) {
        if (!row.environmentName)
            continue;
        const QString value = row.type == QMetaType::Bool
                                  ? (m_settings.flag(row.setting) ? QStringLiteral("1") : QStringLiteral("0"))
                                  : m_settings.text(row.setting);
        env.insert(QString::fromLatin1(row.environmentName), value);
    }
    // Beside the settings' own variables: the storage folder and database under the home, the demo seed that
    // follows the demo switch, and the public prices, always on.
    const QString home = engineHome();
    env.insert(QStringLiteral("ZQT_STORAGE"), home + QStringLiteral("/storage"));
    env.insert(QStringLiteral("ZQT_DB"), home + QStringLiteral("/storage/db.sqlite"));
    env.insert(QStringLiteral("ZQT_SEED_DEMO"), env.value(QStringLiteral("ZQT_DEMO")));
    env.insert(QStringLiteral("ZQT_PUBLIC_PRICES"), QStringLiteral("1"));
    return env;
}

void AppState::set(Setting setting, const QVariant& value) {
    const QVariant before = m_settings.value(setting);
    m_settings.set(setting, value);
    if (m_settings.value(setting) == before && m_settings.value(setting).typeId() == before.typeId())
        return;
    m_edited.insert(setting);
    if (isPort(setting)) {
        m_portEdits.insert(setting);
        // A new value of the operator's replaces the one that waited.
        if (m_pendingPorts.erase(setting) > 0)
            emit pendingPortsChanged();
    }
    emit unsavedEditsChanged();
}

bool AppState::hasUnsavedEdits() const {
    for (Setting s : m_edited) {
        const QVariant now = m_settings.value(s);
        const QVariant stored = m_settings.storedValue(s);
        if (now.typeId() != stored.typeId() || now != stored)
            return true;
    }
    return false;
}

QString AppState::pendingPortsNote() const {
    QStringList lines;
    for (const auto& [s, value] : m_pendingPorts)
        lines << QStringLiteral("The engine reports %1 %2; your %1 %3 applies at the next start.")
                     .arg(portName(s), m_settings.text(s), value);
    return lines.join(QLatin1Char(' '));
}

std::optional<QString> AppState::pendingPort(Setting setting) const {
    const auto it = m_pendingPorts.find(setting);
    if (it == m_pendingPorts.end())
        return std::nullopt;
    return it->second;
}

void AppState::savePreferences() {
    m_settings.save();
    if (!m_edited.empty()) {
        m_edited.clear();
        emit unsavedEditsChanged();
    }
}

void AppState::start() {
    // The operator's ports that waited for this start go back into the settings: the save and the start script's
    // environment carry them. Ports set until now are this start's; the engine's answer to it is adopted as is.
    m_portEdits.clear();
    if (!m_pendingPorts.empty()) {
        const std::map<Setting, QString> pending = std::exchange(m_pendingPorts, {});
        for (const auto& [setting, value] : pending)
            m_settings.set(setting, value);
        emit pendingPortsChanged();
    }
    m_runner->start();
}

void AppState::stop() {
    m_runner->stop();
}

void AppState::refreshLogs() {
    m_logs->refresh(engineHome());
}

void AppState::syncRuntimePortsIfPresent() {
    syncRuntimePorts(engineHome());
}

void AppState::syncRuntimePorts(const QString& home) {
    const std::optional<RuntimePorts> ports = RuntimePorts::load(home);
    if (!ports) {
        setRuntimePortsNote(QString());
        return;
    }
    QString note;
    if (ports->host && !ports->host->isEmpty()) {
        if (const std::optional<QString> host =
                EngineAddresses::followableHost(*ports->host, m_settings.text(Setting::Host)))
            m_settings.set(Setting::Host, *host);
        else
            note = ignoredHostNote(*ports->host);
    }
    setRuntimePortsNote(note);
    const std::pair<const std::optional<QString>&, Setting> portFields[] = {
        {ports->port, Setting::Port},
        {ports->marketingPort, Setting::MarketingPort},
        {ports->portalPort, Setting::PortalPort},
    };
    bool pendingChanged = false;
    for (const auto& [value, setting] : portFields) {
        if (!value)
            continue;
        const QString current = m_settings.text(setting);
        if (m_portEdits.count(setting) > 0 && *value != current) {
            // The operator's port is not where the engine runs: the settings follow the engine, and the
            // operator's value waits for the next start.
            m_portEdits.erase(setting);
            m_pendingPorts[setting] = current;
            pendingChanged = true;
        } else if (const auto it = m_pendingPorts.find(setting); it != m_pendingPorts.end() && it->second == *value) {
            m_pendingPorts.erase(it); // the engine runs on it already
            pendingChanged = true;
        }
        m_settings.set(setting, *value);
    }
    if (pendingChanged)
        emit pendingPortsChanged();
}

void AppState::setRuntimePortsNote(const QString& note) {
    if (m_runtimePortsNote == note)
        return;
    m_runtimePortsNote = note;
    emit runtimePortsNoteChanged();
}

void AppState::refreshRunState() {
    syncRuntimePortsIfPresent();
    m_runner->setIsRunning(ServiceManager::isRunning(engineHome()));
}

void AppState::refreshSystemStatus() {
    m_probe->refresh(addresses());
}

bool AppState::unlockOperator(const QString& passcode) {
    return m_lock->unlock(passcode);
}

void AppState::lockOperator() {
    m_lock->lock();
}

} // namespace zqt
