#include "window/AppIcons.h"

#include <QStringList>

// Outside any namespace, as Q_INIT_RESOURCE requires; the resources live in this static library.
static void initBundledIcons() {
    Q_INIT_RESOURCE(icons);
}

namespace zqt {

namespace {

struct IconSpec {
    QStringList themeNames; // freedesktop names, first match wins
    const char* bundledFile;
};

IconSpec specFor(AppIcons::Kind kind) {
    using K = AppIcons::Kind;
    switch (kind) {
    case K::Globe:
        return {{QStringLiteral("web-browser"), QStringLiteral("applications-internet")}, "globe"};
    case K::Sparkles:
        return {{QStringLiteral("starred"), QStringLiteral("emblem-favorite")}, "sparkles"};
    case K::Person:
        return {{QStringLiteral("avatar-default"), QStringLiteral("system-users")}, "person"};
    case K::Bolt:
        return {{QStringLiteral("utilities-terminal")}, "bolt"};
    case K::Chart:
        return {{QStringLiteral("utilities-system-monitor"), QStringLiteral("x-office-spreadsheet")}, "chart"};
    case K::Shield:
        return {{QStringLiteral("security-high"), QStringLiteral("system-lock-screen")}, "shield"};
    case K::Pulse:
        return {{QStringLiteral("network-transmit-receive"), QStringLiteral("utilities-system-monitor")}, "pulse"};
    case K::Document:
        return {{QStringLiteral("text-x-generic")}, "document"};
    case K::Gear:
        return {{QStringLiteral("preferences-system"), QStringLiteral("emblem-system")}, "gear"};
    }
    return {{}, "document"};
}

} // namespace

QIcon AppIcons::bundled(Kind kind) {
    static const bool initialised = (initBundledIcons(), true);
    Q_UNUSED(initialised);
    return QIcon(QStringLiteral(":/zqt/icons/") + QLatin1String(specFor(kind).bundledFile) + QStringLiteral(".svg"));
}

QIcon AppIcons::icon(Kind kind) {
    // Without a desktop session Qt knows no theme; Adwaita is the one the install list brings.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor")) {
        if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
            QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    }
    for (const QString& name : specFor(kind).themeNames) {
        if (QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    }
    return bundled(kind);
}

} // namespace zqt

namespace zqt {

QIcon AppIcons::application() {
    static const bool initialised = (initBundledIcons(), true);
    Q_UNUSED(initialised);
    return QIcon::fromTheme(QStringLiteral("org.zqt.DesktopControl"), QIcon(QStringLiteral(":/zqt/icons/app.svg")));
}

} // namespace zqt
