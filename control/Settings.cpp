#include "control/Settings.h"

#include "control/Preferences.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

namespace zqt {

namespace {

constexpr auto kText = QMetaType::QString;
constexpr auto kSwitch = QMetaType::Bool;

constexpr std::array<SettingSpec, kSettingCount> kTable{{
    {Setting::Home, "zqtHome", kText, nullptr, false},
    {Setting::Host, "zqtHost", kText, "127.0.0.1", false},
    {Setting::Port, "zqtPort", kText, "8000", false},
    {Setting::DemoMode, "zqtDemoMode", kSwitch, nullptr, true},
    {Setting::ExecutionMode, "zqtExecutionMode", kText, "DRY_RUN", false},
    {Setting::BrokerMode, "zqtBrokerMode", kText, "SIM_BROKER", false},
    {Setting::StartMarketing, "zqtStartMarketing", kSwitch, nullptr, true},
    {Setting::MarketingPort, "zqtMarketingPort", kText, "3000", false},
    {Setting::StartPortal, "zqtStartPortal", kSwitch, nullptr, true},
    {Setting::PortalPort, "zqtPortalPort", kText, "3001", false},
    {Setting::AutoStart, "zqtAutoStart", kSwitch, nullptr, true},
    {Setting::OperatorUnlocked, "zqtOperatorUnlocked", kSwitch, nullptr, false},
    {Setting::DesktopNotifications, "zqtDesktopNotifications", kSwitch, nullptr, true},
}};

constexpr bool tableFollowsEnum() {
    for (int i = 0; i < kSettingCount; ++i)
        if (static_cast<int>(kTable[i].setting) != i)
            return false;
    return true;
}
static_assert(tableFollowsEnum(), "the table lists the settings in the order of the enum");

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
    const std::optional<QString> text = m_store.string(kWindowGeometryKey);
    if (!text || text->size() > kWindowGeometryMaxText)
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

QString Settings::token() const {
    return m_store.string(kTokenKey).value_or(QString());
}

void Settings::setToken(const QString& token) {
    m_store.setString(kTokenKey, token);
    flush();
}

} // namespace zqt
