#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace zqt {

class Settings;
enum class Setting;

// Every address of the engine the program uses, the one place they are built: the pages the window shows, the
// terminal's API base and the status probes. Computed from the bind host, the three port texts and the stored
// sign-in token. An IPv6 host is written in brackets ("http://[::1]:8000"). An address that cannot be formed (a
// host with blanks, a port that is not a number from 1 to 65535, ...) is an invalid QUrl; the addresses derived
// from it are invalid too.
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

    // The engine's own origins (scheme, host and port of the marketing site, the trader portal and the API), the
    // valid ones only: where its web pages may take a tab.
    QList<QUrl> origins() const;

    // `host`, except that the any-interface hosts are reached on loopback: "0.0.0.0" as "127.0.0.1" and "::" as
    // "::1". An IPv6 literal given in brackets comes back without them.
    static QString accessHost(const QString& host);
    // "http://" + access host + ":" + port, with an IPv6 host in brackets, or an invalid QUrl when the host and
    // port text do not form such an address.
    static QUrl baseUrl(const QString& host, const QString& port);
    // Whether the engine's runtime ports file may move the engine to `host`: a loopback address (127.0.0.0/8,
    // ::1, "localhost"), an any-interface host (reached on loopback), or exactly the host configured now. Any
    // other host would send the program's requests, and with them the sign-in token, off this machine or to a
    // name nobody checked. The host as it is to be kept (an IPv6 literal without brackets), or nothing.
    static std::optional<QString> followableHost(const QString& host, const QString& configuredHost);
    // Whether `a` and `b` have the same scheme, host and port (the default port of the scheme when none is given).
    static bool sameOrigin(const QUrl& a, const QUrl& b);
    // `base` with one path segment appended; invalid when `base` is.
    static QUrl withSegment(const QUrl& base, const QString& segment);
    // engine + /terminal, with the query token=<token> (percent-encoded as a query value, '+' included) when
    // `token` is not empty.
    static QUrl webTerminalUrl(const QUrl& engine, const QString& token);
};

} // namespace zqt
