#include "control/RuntimePorts.h"

#include "control/SmallFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace zqt {

namespace {

// Sets `out` from a string member; false when the member is there with another JSON type.
bool readString(const QJsonObject& o, QLatin1StringView key, std::optional<QString>& out) {
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return true;
    if (!v.isString())
        return false;
    out = v.toString();
    return true;
}

// Sets `out` to the decimal text of an integer member; false when the member is there but is not a number with
// an integral value that fits in 64 bits (8010.5, "8010", true, 1e30).
bool readInteger(const QJsonObject& o, QLatin1StringView key, std::optional<QString>& out) {
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return true;
    if (!v.isDouble())
        return false;
    // toInteger returns its fallback for a non-integral or out-of-range value: two different fallbacks tell.
    const qint64 a = v.toInteger(0);
    const qint64 b = v.toInteger(1);
    if (a != b)
        return false;
    out = QString::number(a);
    return true;
}

} // namespace

std::optional<RuntimePorts> RuntimePorts::decode(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    RuntimePorts ports;
    if (!readString(o, QLatin1StringView("host"), ports.host) ||
        !readString(o, QLatin1StringView("access_host"), ports.accessHost) ||
        !readInteger(o, QLatin1StringView("port"), ports.port) ||
        !readInteger(o, QLatin1StringView("marketing_port"), ports.marketingPort) ||
        !readInteger(o, QLatin1StringView("portal_port"), ports.portalPort))
        return std::nullopt;
    return ports;
}

std::optional<RuntimePorts> RuntimePorts::load(const QString& home) {
    const SmallFile file = SmallFile::read(home + QStringLiteral("/storage/runtime_ports.json"), kMaxBytes);
    if (!file.ok())
        return std::nullopt;
    return decode(file.bytes);
}

} // namespace zqt
