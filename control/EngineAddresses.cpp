#include "control/EngineAddresses.h"

#include "control/Settings.h"

namespace zqt {

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

bool EngineAddresses::dependsOn(Setting setting) {
    return setting == Setting::Host || setting == Setting::Port || setting == Setting::MarketingPort ||
           setting == Setting::PortalPort;
}

QString EngineAddresses::accessHost(const QString& host) {
    return host == QLatin1String("0.0.0.0") ? QStringLiteral("127.0.0.1") : host;
}

QUrl EngineAddresses::baseUrl(const QString& host, const QString& port) {
    const QUrl url(QStringLiteral("http://") + accessHost(host) + QLatin1Char(':') + port, QUrl::StrictMode);
    // The text must come back as exactly host and port: anything else (a path, user info, an empty or
    // out-of-range port) means the two fields did not form an address.
    if (!url.isValid() || url.host().isEmpty() || url.port() < 1 || !url.path().isEmpty() ||
        !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment())
        return {};
    return url;
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
