#include "control/Preferences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>
#include <QSettings>

namespace zqt {

namespace {

QVariant fromJson(const QJsonValue& v) {
    switch (v.type()) {
    case QJsonValue::Bool:
        return v.toBool();
    case QJsonValue::String:
        return v.toString();
    case QJsonValue::Double:
        return v.toDouble();
    case QJsonValue::Array:
    case QJsonValue::Object:
        return v.toVariant();
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return {};
}

bool readJson(QIODevice& device, QSettings::SettingsMap& map) {
    const QByteArray data = device.readAll();
    if (data.trimmed().isEmpty())
        return true;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject object = doc.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        // A null member reads as absent.
        if (QVariant value = fromJson(it.value()); value.isValid())
            map.insert(it.key(), std::move(value));
    }
    return true;
}

bool writeJson(QIODevice& device, const QSettings::SettingsMap& map) {
    QJsonObject object;
    for (auto it = map.begin(); it != map.end(); ++it)
        object.insert(it.key(), QJsonValue::fromVariant(it.value()));
    const QByteArray data = QJsonDocument(object).toJson(QJsonDocument::Indented);
    return device.write(data) == data.size();
}

QSettings::Format jsonFormat() {
    static const QSettings::Format format = QSettings::registerFormat("json", readJson, writeJson);
    return format;
}

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Whether the file at `path` holds something other than a JSON object. Missing, unreadable or blank files do
// not count: there is nothing in them to keep.
bool holdsNonObject(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = file.readAll();
    if (data.trimmed().isEmpty())
        return false;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    return error.error != QJsonParseError::NoError || !doc.isObject();
}

// Moves the file aside under the first free name of <path>.corrupt, <path>.corrupt.1, ... Returns the new name,
// or an empty string when it could not be moved.
QString quarantine(const QString& path) {
    for (int i = 0; i < 10000; ++i) {
        const QString target = i == 0 ? path + QStringLiteral(".corrupt") : path + QStringLiteral(".corrupt.%1").arg(i);
        if (QFileInfo::exists(target))
            continue;
        if (QFile::rename(path, target))
            return target;
    }
    return {};
}

// Creates the file empty and owner-only when missing, so the first save (which keeps the mode of an existing
// file) never leaves the token readable by others; tightens the mode of an existing one.
void ensureOwnerOnlyFile(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.exists())
        file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly);
    else if (file.permissions() != kOwnerOnly)
        file.setPermissions(kOwnerOnly);
}

} // namespace

Preferences::Preferences() : Preferences(filePath()) {}

Preferences::Preferences(const QString& path) : m_path(path) {
    open();
}

Preferences::~Preferences() {
    if (m_settings)
        sync();
}

QString Preferences::filePath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/zqt/desktop-control.json");
}

void Preferences::open() {
    if (holdsNonObject(m_path))
        m_quarantinedTo = quarantine(m_path);
    ensureOwnerOnlyFile(m_path);
    m_settings = std::make_unique<QSettings>(m_path, jsonFormat());
}

bool Preferences::contains(const QString& key) const {
    return m_settings->contains(key);
}

QVariant Preferences::value(const QString& key) const {
    return m_settings->value(key);
}

std::optional<QString> Preferences::string(const QString& key) const {
    const QVariant v = m_settings->value(key);
    if (v.typeId() != QMetaType::QString)
        return std::nullopt;
    return v.toString();
}

std::optional<bool> Preferences::boolean(const QString& key) const {
    const QVariant v = m_settings->value(key);
    if (v.typeId() != QMetaType::Bool)
        return std::nullopt;
    return v.toBool();
}

bool Preferences::readBool(const QString& key, bool fallback) const {
    const QVariant v = m_settings->value(key);
    switch (v.typeId()) {
    case QMetaType::UnknownType:
        return fallback;
    case QMetaType::Bool:
        return v.toBool();
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::LongLong:
        return v.toDouble() != 0.0;
    case QMetaType::QString: {
        const QString s = v.toString();
        qsizetype i = 0;
        while (i < s.size() && s.at(i).isSpace())
            ++i;
        if (i < s.size() && (s.at(i) == u'+' || s.at(i) == u'-'))
            ++i;
        while (i < s.size() && s.at(i) == u'0')
            ++i;
        if (i >= s.size())
            return false;
        const QChar c = s.at(i);
        return c == u't' || c == u'T' || c == u'y' || c == u'Y' || (c >= u'1' && c <= u'9');
    }
    default:
        return false;
    }
}

QString Preferences::readText(const QString& key, const QString& fallback) const {
    const QVariant v = m_settings->value(key);
    switch (v.typeId()) {
    case QMetaType::QString:
        return v.toString();
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::LongLong:
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    default:
        return fallback;
    }
}

void Preferences::setString(const QString& key, const QString& value) {
    m_settings->setValue(key, value);
}

void Preferences::setBool(const QString& key, bool value) {
    m_settings->setValue(key, value);
}

void Preferences::remove(const QString& key) {
    m_settings->remove(key);
}

bool Preferences::sync() {
    // Something outside the program may have replaced the file since it was opened: keep that copy too.
    if (holdsNonObject(m_path))
        quarantine(m_path);
    ensureOwnerOnlyFile(m_path);
    m_settings->sync();
    QFile::setPermissions(m_path, kOwnerOnly);
    return m_settings->status() == QSettings::NoError;
}

} // namespace zqt
