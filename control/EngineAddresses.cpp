#include "control/EngineAddresses.h"

#include "control/Settings.h"

#include <QHostAddress>

#include <algorithm>

namespace zqt {

namespace {

// An IPv6 literal may come in the brackets of an address ("[::1]"); the host itself is without them.
QString withoutBrackets(const QString& host) {
    if (host.size() > 2 && host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        return host.mid(1, host.size() - 2);
    return host;
}

} // namespace

EngineAddresses EngineAddresses::compute(const QString& host, const QString& port, const QString& marketingPort,
                                         const QString& portalPort, const QString& token) {
    EngineAddresses a;
    a.marketing = baseUrl(host, marketingPort);
    a.external = withSegment(a.marketing, QStringLiteral("external"));
    a.portal = baseUrl(host, portalPort);
    a.engine = baseUrl(host, port);
    a.admin = withSegment(a.engine, QStringLiteral("admin"));
    a.webTerminal = webTerminalUrl(a.engine, token);
    a.status = withSegment(a.engine, QStringLiteral("api/system/status"));
    a.health = withSegment(a.engine, QStringLiteral("health"));
    return a;
}

EngineAddresses EngineAddresses::compute(const Settings& settings) {
    return compute(settings.text(Setting::Host), settings.text(Setting::Port), settings.text(Setting::MarketingPort),
                   settings.text(Setting::PortalPort), settings.token());
}

QList<QUrl> EngineAddresses::origins() const {
    QList<QUrl> list;
    for (const QUrl& url : {engine, marketing, portal})
        if (url.isValid())
            list << url;
    return list;
}

bool EngineAddresses::dependsOn(Setting setting) {
    return setting == Setting::Host || setting == Setting::Port || setting == Setting::MarketingPort ||
           setting == Setting::PortalPort;
}

QString EngineAddresses::accessHost(const QString& host) {
    if (host == QLatin1String("0.0.0.0"))
        return QStringLiteral("127.0.0.1");
    const QString bare = withoutBrackets(host);
    if (bare.contains(QLatin1Char(':'))) {
        const QHostAddress address(bare);
        if (address == QHostAddress(QHostAddress::AnyIPv6))
            return QStringLiteral("::1");
        if (!address.isNull())
            return bare;
    }
    return host;
}

QUrl EngineAddresses::baseUrl(const QString& host, const QString& port) {
    const QString access = accessHost(host);
    // The port text must be a decimal number from 1 to 65535, nothing else (no sign, no blank).
    const bool digitsOnly = !port.isEmpty() && port.size() <= 5 &&
                            std::all_of(port.begin(), port.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    const int portNumber = digitsOnly ? port.toInt() : 0;
    if (access.isEmpty() || portNumber < 1 || portNumber > 65535)
        return {};
    // setHost writes an IPv6 literal in brackets ("http://[::1]:8000"); text joined by hand would not.
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(access, QUrl::StrictMode);
    url.setPort(portNumber);
    // The host must come back as exactly a host: anything else (a path, user info, a query, blanks) means the
    // field did not hold one.
    const QUrl reparsed(url.toString(QUrl::FullyEncoded), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !reparsed.isValid() || reparsed != url)
        return {};
    return url;
}

std::optional<QString> EngineAddresses::followableHost(const QString& host, const QString& configuredHost) {
    if (host.isEmpty())
        return std::nullopt;
    if (host == configuredHost)
        return host;
    const QString access = accessHost(host);
    // QHostAddress reads past blanks around an address; a host holding one is no address the engine bound.
    if (std::any_of(access.begin(), access.end(), [](QChar c) { return c.isSpace() || !c.isPrint(); }))
        return std::nullopt;
    if (access.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return host;
    const QHostAddress address(access);
    if (address.isNull() || !address.isLoopback())
        return std::nullopt;
    // Kept as the engine wrote it, except an IPv6 literal without brackets (the way a bind host is typed).
    return withoutBrackets(host);
}

bool EngineAddresses::sameOrigin(const QUrl& a, const QUrl& b) {
    if (!a.isValid() || !b.isValid() || a.host().isEmpty())
        return false;
    const auto defaultPort = [](const QUrl& u) {
        return u.scheme() == QLatin1String("https") ? 443 : (u.scheme() == QLatin1String("http") ? 80 : -1);
    };
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port(defaultPort(a)) == b.port(defaultPort(b));
}

QUrl EngineAddresses::withSegment(const QUrl& base, const QString& segment) {
    if (!base.isValid())
        return {};
    QUrl url = base;
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    url.setPath(path + segment);
    return url;
}

QUrl EngineAddresses::webTerminalUrl(const QUrl& engine, const QString& token) {
    QUrl url = withSegment(engine, QStringLiteral("terminal"));
    if (!url.isValid() || token.isEmpty())
        return url;
    QUrl withToken = url;
    // Encoded here rather than through QUrlQuery, which leaves '+' as it stands (a space to most servers).
    withToken.setQuery(QStringLiteral("token=") + QString::fromLatin1(QUrl::toPercentEncoding(token)),
                       QUrl::StrictMode);
    return withToken.isValid() ? withToken : url;
}

} // namespace zqt
