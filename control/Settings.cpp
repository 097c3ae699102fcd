#include "control/Settings.h"

#include "control/Preferences.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace zqt {

namespace {

constexpr auto kText = QMetaType::QString;
constexpr auto kSwitch = QMetaType::Bool;

constexpr const char* kExecutionModes[] = {"DRY_RUN", "LIVE"};
constexpr const char* kBrokerModes[] = {"SIM_BROKER", "OANDA", "IBKR", "TRADOVATE", "COINBASE"};
constexpr std::span<const char* const> kFree;

constexpr std::array<SettingSpec, kSettingCount> kTable{{
    // setting, key, type, text default, switch default, form row, label, choices, start script variable
    {Setting::Home, "zqtHome", kText, nullptr, false, 0, "ZQT Home Path", kFree, "ZQT_HOME"},
    {Setting::Host, "zqtHost", kText, "127.0.0.1", false, 1, "Bind Host", kFree, "ZQT_HOST"},
    {Setting::Port, "zqtPort", kText, "8000", false, 2, "Port", kFree, "ZQT_PORT"},
    {Setting::DemoMode, "zqtDemoMode", kSwitch, nullptr, true, 8, "Demo Mode", kFree, "ZQT_DEMO"},
    {Setting::ExecutionMode, "zqtExecutionMode", kText, "DRY_RUN", false, 9, "Execution Mode", kExecutionModes,
     "ZQT_EXECUTION_MODE"},
    {Setting::BrokerMode, "zqtBrokerMode", kText, "SIM_BROKER", false, 10, "Broker Mode", kBrokerModes,
     "ZQT_BROKER_MODE"},
    {Setting::StartMarketing, "zqtStartMarketing", kSwitch, nullptr, true, 4, "Start Marketing Site", kFree,
     "ZQT_START_MARKETING"},
    {Setting::MarketingPort, "zqtMarketingPort", kText, "3000", false, 5, "Marketing Port", kFree,
     "ZQT_MARKETING_PORT"},
    {Setting::StartPortal, "zqtStartPortal", kSwitch, nullptr, true, 6, "Start Trader Portal", kFree,
     "ZQT_START_PORTAL"},
    {Setting::PortalPort, "zqtPortalPort", kText, "3001", false, 7, "Portal Port", kFree, "ZQT_PORTAL_PORT"},
    {Setting::AutoStart, "zqtAutoStart", kSwitch, nullptr, true, 3, "Auto-start Services", kFree, nullptr},
    {Setting::OperatorUnlocked, "zqtOperatorUnlocked", kSwitch, nullptr, false, -1, nullptr, kFree, nullptr},
    {Setting::DesktopNotifications, "zqtDesktopNotifications", kSwitch, nullptr, true, 11, "Desktop Notifications",
     kFree, nullptr},
    // The largest order (quantity x last price) the terminal sends without asking; empty is no limit.
    {Setting::NotionalLimit, "zqtNotionalLimit", kText, "", false, 12, "Notional Limit", kFree, nullptr},
}};

constexpr bool tableFollowsEnum() {
    for (int i = 0; i < kSettingCount; ++i)
        if (static_cast<int>(kTable[i].setting) != i)
            return false;
    return true;
}
static_assert(tableFollowsEnum(), "the table lists the settings in the order of the enum");

// The form's rows are numbered 0, 1, 2, ... without gaps or repeats, and only a text setting has choices.
constexpr bool formRowsAreAPermutation() {
    int shown = 0;
    for (const SettingSpec& row : kTable) {
        if (row.formRow < 0)
            continue;
        ++shown;
        if (!row.label)
            return false;
        for (const SettingSpec& other : kTable)
            if (&other != &row && other.formRow == row.formRow)
                return false;
    }
    for (const SettingSpec& row : kTable)
        if (row.formRow >= shown || (!row.choices.empty() && row.type != kText))
            return false;
    return true;
}
static_assert(formRowsAreAPermutation(), "the form's rows are numbered from 0 without gaps");

} // namespace

Settings::Settings(Preferences& store, QObject* parent) : QObject(parent), m_store(store) {
    for (const SettingSpec& row : kTable) {
        QVariant& v = m_values[index(row.setting)];
        if (row.setting == Setting::Home)
            v = resolveHome(store.string(row.key), primaryDefaultHome(), formerDefaultHome());
        else if (row.type == kSwitch)
            v = store.readBool(row.key, row.boolDefault);
        else
            v = store.readText(row.key, QString::fromLatin1(row.textDefault));
    }
}

Settings::~Settings() = default;

std::span<const SettingSpec> Settings::table() {
    return kTable;
}

QList<const SettingSpec*> Settings::formRows() {
    QList<const SettingSpec*> rows;
    for (const SettingSpec& row : kTable)
        if (row.formRow >= 0)
            rows.append(&row);
    std::sort(rows.begin(), rows.end(),
              [](const SettingSpec* a, const SettingSpec* b) { return a->formRow < b->formRow; });
    return rows;
}

QStringList Settings::choices(Setting setting) {
    QStringList list;
    for (const char* choice : spec(setting).choices)
        list.append(QString::fromLatin1(choice));
    return list;
}

const SettingSpec& Settings::spec(Setting setting) {
    return kTable[index(setting)];
}

QVariant Settings::defaultValue(Setting setting) {
    const SettingSpec& row = spec(setting);
    if (row.type == kSwitch)
        return row.boolDefault;
    if (!row.textDefault)
        return primaryDefaultHome();
    return QString::fromLatin1(row.textDefault);
}

QString Settings::primaryDefaultHome() {
    return QDir::homePath() + QStringLiteral("/.local/share/zqt/engine");
}

QString Settings::formerDefaultHome() {
    return QDir::homePath() + QStringLiteral("/zqt");
}

QString Settings::resolveHome(const std::optional<QString>& stored, const QString& primaryDefault,
                              const QString& formerDefault) {
    const QString script = QStringLiteral("/scripts/app_up.sh");
    if (stored && QFileInfo::exists(*stored + script)) {
        if (*stored == formerDefault && QFileInfo::exists(primaryDefault + script))
            return primaryDefault;
        return *stored;
    }
    return primaryDefault;
}

void Settings::set(Setting setting, const QVariant& value) {
    QVariant& current = m_values[index(setting)];
    // Types are compared first: Qt takes the text "true" as equal to the switch value true.
    if (value.typeId() != spec(setting).type || value == current)
        return;
    current = value;
    emit changed(setting);
}

QVariant Settings::storedValue(Setting setting) const {
    const SettingSpec& row = spec(setting);
    if (row.type == kSwitch)
        return m_store.readBool(row.key, row.boolDefault);
    return m_store.readText(row.key, defaultValue(setting).toString());
}

void Settings::save() {
    for (const SettingSpec& row : kTable) {
        const QVariant& v = m_values[index(row.setting)];
        if (row.type == kSwitch)
            m_store.setBool(row.key, v.toBool());
        else
            m_store.setString(row.key, v.toString());
    }
    // Written through at once: the file must not lag behind a script that is about to run.
    flush();
}

void Settings::flush() {
    const QString error =
        m_store.sync() ? QString() : QStringLiteral("Settings could not be saved: ") + m_store.lastError();
    if (error == m_saveError)
        return;
    m_saveError = error;
    emit saveErrorChanged();
}

QByteArray Settings::windowGeometry() const {
    return storedBytes(kWindowGeometryKey, kWindowGeometryMaxText);
}

QByteArray Settings::storedBytes(const char* key, qsizetype maxText) const {
    const std::optional<QString> text = m_store.string(key);
    if (!text || text->size() > maxText)
        return {};
    QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(text->toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    // toLatin1() turns characters beyond Latin-1 into '?', which the strict decoding refuses like any other.
    return decoded ? std::move(*decoded) : QByteArray();
}

void Settings::setWindowGeometry(const QByteArray& geometry) {
    m_store.setString(kWindowGeometryKey, QString::fromLatin1(geometry.toBase64()));
    flush();
}

bool Settings::workspaceLayout() const {
    return m_store.string(kTerminalLayoutKey) == QStringLiteral("workspace");
}

void Settings::setWorkspaceLayout(bool workspace) {
    m_store.setString(kTerminalLayoutKey, workspace ? QStringLiteral("workspace") : QStringLiteral("page"));
    flush();
}

QByteArray Settings::workspaceState() const {
    return storedBytes(kWorkspaceStateKey, kWorkspaceStateMaxText);
}

void Settings::setWorkspaceState(const QByteArray& state) {
    m_store.setString(kWorkspaceStateKey, QString::fromLatin1(state.toBase64()));
    flush();
}

QString Settings::theme() const {
    const std::optional<QString> stored = m_store.string(kThemeKey);
    for (const char* name : kThemeNames) {
        if (stored && *stored == QLatin1String(name))
            return *stored;
    }
    return QString::fromLatin1(kThemeNames[0]);
}

void Settings::setTheme(const QString& theme) {
    if (std::none_of(kThemeNames.begin(), kThemeNames.end(),
                     [&theme](const char* name) { return theme == QLatin1String(name); }))
        return;
    m_store.setString(kThemeKey, theme);
    flush();
}

QString Settings::token() const {
    return m_store.string(kTokenKey).value_or(QString());
}

void Settings::setToken(const QString& token) {
    m_store.setString(kTokenKey, token);
    flush();
}

} // namespace zqt
