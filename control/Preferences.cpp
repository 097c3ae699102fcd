#include "control/Preferences.h"

#include "control/SmallFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>
#include <QSaveFile>
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
    // The file was looked at before QSettings opened it (see holdsNonObject); should it have grown since, only
    // the limit's worth is read and the read fails.
    const QByteArray data = device.read(Preferences::kMaxBytes + 1);
    if (data.size() > Preferences::kMaxBytes)
        return false;
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

QByteArray toJson(const QSettings::SettingsMap& map) {
    QJsonObject object;
    for (auto it = map.begin(); it != map.end(); ++it)
        object.insert(it.key(), QJsonValue::fromVariant(it.value()));
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

// Writes all of `data`, going on after a short write; false at the first write that fails (its reason is then in
// the device's errorString()).
bool writeAll(QIODevice& device, const QByteArray& data) {
    for (qsizetype done = 0; done < data.size();) {
        const qint64 n = device.write(data.constData() + done, data.size() - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool writeJson(QIODevice& device, const QSettings::SettingsMap& map) {
    // QSaveFile (which QSettings writes through) tells of a buffer it failed to write out only from flush(), not
    // from commit(): flushed here, a full disk fails the save instead of replacing the file with an empty one.
    auto* file = qobject_cast<QFileDevice*>(&device);
    return writeAll(device, toJson(map)) && (!file || file->flush());
}

QSettings::Format jsonFormat() {
    static const QSettings::Format format = QSettings::registerFormat("json", readJson, writeJson);
    return format;
}

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Whether the entry at `path` is something the store cannot keep: not a regular file (a named pipe, a device, a
// folder), over Preferences::kMaxBytes, or not a JSON object. Missing, unreadable or blank files do not count:
// there is nothing in them to keep.
bool holdsNonObject(const QString& path) {
    const SmallFile file = SmallFile::read(path, Preferences::kMaxBytes);
    if (file.status == SmallFile::Status::NotRegular || file.status == SmallFile::Status::TooLarge)
        return true;
    if (!file.ok() || file.bytes.trimmed().isEmpty())
        return false;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.bytes, &error);
    return error.error != QJsonParseError::NoError || !doc.isObject();
}

// Moves the file aside under the first free name of <path>.corrupt, <path>.corrupt.1, ...; leaves it in place when
// it could not be moved.
void quarantine(const QString& path) {
    for (int i = 0; i < 10000; ++i) {
        const QString target = i == 0 ? path + QStringLiteral(".corrupt") : path + QStringLiteral(".corrupt.%1").arg(i);
        if (QFileInfo::exists(target))
            continue;
        if (QFile::rename(path, target))
            return;
    }
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

// Writes `data` to `path` the way QSettings does (a temporary file, then a rename); empty on success, else why
// it failed.
QString saveDirectly(const QString& path, const QByteArray& data) {
    QSaveFile file(path);
    // Unbuffered: every write reaches the file at once, and its failure with it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // QSaveFile words some refusals its own way ("Existing file ... is not writable"); the system's reason
        // ("Read-only file system", "Permission denied") comes from opening the file itself, which changes nothing.
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Append))
            return probe.errorString();
        return file.errorString();
    }
    file.setPermissions(kOwnerOnly);
    if (!writeAll(file, data)) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return {};
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
        quarantine(m_path);
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
    if (m_settings->status() == QSettings::NoError) {
        m_lastError.clear();
        return true;
    }

    // QSettings tells only that the write failed, not why, and keeps telling so for the rest of its life. Write
    // the same content directly to learn the reason (or succeed after all), then carry every value over to a
    // fresh QSettings so a later save is judged on its own.
    QSettings::SettingsMap values;
    for (const QString& key : m_settings->allKeys())
        values.insert(key, m_settings->value(key));
    m_lastError = saveDirectly(m_path, toJson(values));
    m_settings = std::make_unique<QSettings>(m_path, jsonFormat());
    for (const QString& key : m_settings->allKeys())
        if (!values.contains(key))
            m_settings->remove(key);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        if (m_settings->value(it.key()) != it.value() || m_settings->value(it.key()).typeId() != it.value().typeId())
            m_settings->setValue(it.key(), it.value());
    if (m_lastError.isEmpty())
        m_settings->sync();
    return m_lastError.isEmpty();
}

} // namespace zqt
