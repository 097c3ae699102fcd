#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace zqt {

// The engine's record of the host and ports it really bound (<home>/storage/runtime_ports.json). Every member is
// optional; null counts as absent. Ports are kept as the decimal text of the integer, the way the control state
// holds them.
struct RuntimePorts {
    std::optional<QString> host;
    std::optional<QString> accessHost;
    std::optional<QString> port;
    std::optional<QString> marketingPort;
    std::optional<QString> portalPort;

    // Decodes the file's bytes. Nothing when they are not a JSON object, or when a listed member has the wrong
    // JSON type (a host that is not a string, a port that is not an integer): then the whole file is unusable.
    // Unlisted members are ignored.
    static std::optional<RuntimePorts> decode(const QByteArray& json);
    // Reads and decodes <home>/storage/runtime_ports.json; nothing when it is missing or unreadable too, or when
    // it is not a regular file of at most kMaxBytes (a named pipe or a device is never opened for reading).
    static std::optional<RuntimePorts> load(const QString& home);
    static constexpr qint64 kMaxBytes = 64 * 1024;

    bool operator==(const RuntimePorts&) const = default;
};

} // namespace zqt
