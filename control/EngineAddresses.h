#pragma once

#include <QString>
#include <QUrl>

namespace zqt {

class Settings;
enum class Setting;

// Every address of the engine the program uses, the one place they are built: the pages the window shows, the
// terminal's API base and the status probes. Computed from the bind host, the three port texts and the stored
// sign-in token. An address that cannot be formed (a host with blanks, a port that is not a number from 1 to
// 65535, ...) is an invalid QUrl; the addresses derived from it are invalid too.
struct EngineAddresses {
    QUrl marketing;   // http://<access host>:<marketing port>
    QUrl external;    // marketing address + /external
    QUrl portal;      // http://<access host>:<portal port>
    QUrl engine;      // http://<access host>:<port>, also the API client's base address
    QUrl admin;       // engine address + /admin
    QUrl webTerminal; // engine address + /terminal, with ?token=<token> when a token is stored
    QUrl status;      // engine address + /api/system/status
    QUrl health;      // engine address + /health

    static EngineAddresses compute(const QString& host, const QString& port, const QString& marketingPort,
                                   const QString& portalPort, const QString& token);
    // The same from the current settings and the token they store.
    static EngineAddresses compute(const Settings& settings);
    // Whether the addresses are formed from `setting` (the host and the three ports).
    static bool dependsOn(Setting setting);

    // `host`, except that "0.0.0.0" (listen on every interface) is reached as "127.0.0.1".
    static QString accessHost(const QString& host);
    // "http://" + access host + ":" + port text, or an invalid QUrl when that text is not such an address.
    static QUrl baseUrl(const QString& host, const QString& port);
    // `base` with one path segment appended; invalid when `base` is.
    static QUrl withSegment(const QUrl& base, const QString& segment);
    // engine + /terminal, with the query token=<token> (percent-encoded as a query value, '+' included) when
    // `token` is not empty.
    static QUrl webTerminalUrl(const QUrl& engine, const QString& token);
};

} // namespace zqt
