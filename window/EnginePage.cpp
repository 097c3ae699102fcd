#include "window/EnginePage.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWebEngineDownloadRequest>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineSettings>

#include <algorithm>
#include <memory>
#include <utility>

namespace zqt {

namespace {

bool isWebScheme(const QUrl& url) {
    return (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) && !url.host().isEmpty();
}

int effectivePort(const QUrl& url) {
    return url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
}

// A page's text for a one-line notice: blanks and line breaks folded, control characters dropped, bounded.
QString oneLine(const QString& text) {
    QString out;
    out.reserve(std::min<qsizetype>(text.size(), EnginePage::kMaxMessageChars + 1));
    for (const QChar c : text) {
        if (out.size() > EnginePage::kMaxMessageChars)
            break;
        if (c.isSpace())
            out += QLatin1Char(' ');
        else if (c.category() != QChar::Other_Control && c.category() != QChar::Other_Format)
            out += c;
    }
    out = out.simplified();
    if (out.size() > EnginePage::kMaxMessageChars)
        out = out.left(EnginePage::kMaxMessageChars - 1) + QChar(0x2026);
    return out;
}

QString featureName(QWebEnginePage::Feature feature) {
    switch (feature) {
    case QWebEnginePage::Notifications:
        return QStringLiteral("notifications");
    case QWebEnginePage::Geolocation:
        return QStringLiteral("location access");
    case QWebEnginePage::MediaAudioCapture:
        return QStringLiteral("microphone access");
    case QWebEnginePage::MediaVideoCapture:
        return QStringLiteral("camera access");
    case QWebEnginePage::MediaAudioVideoCapture:
        return QStringLiteral("camera and microphone access");
    case QWebEnginePage::MouseLock:
        return QStringLiteral("pointer lock");
    case QWebEnginePage::DesktopVideoCapture:
    case QWebEnginePage::DesktopAudioVideoCapture:
        return QStringLiteral("screen sharing");
    }
    return QStringLiteral("a permission");
}

} // namespace

EnginePage::EnginePage(QWebEngineProfile* profile, Opener openExternally, QObject* parent)
    : QWebEnginePage(profile, parent), m_open(std::move(openExternally)) {
    // Addresses of schemes the browser engine does not handle (mailto:, custom ones) would otherwise go straight to
    // the desktop after a click; they are refused instead.
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    connect(this, &QWebEnginePage::newWindowRequested, this, &EnginePage::onNewWindow);
    connect(this, &QWebEnginePage::featurePermissionRequested, this, &EnginePage::onPermission);
    connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
            [this](QWebEngineRegisterProtocolHandlerRequest request) {
                request.reject();
                emit notice(QStringLiteral("Blocked: link handler from %1").arg(pageOrigin()), false);
            });
    connect(this, &QWebEnginePage::fileSystemAccessRequested, this, [this](QWebEngineFileSystemAccessRequest request) {
        request.reject();
        emit notice(QStringLiteral("Blocked: file access from %1").arg(pageOrigin()), false);
    });
    // The profile is shared by every tab: each page takes the downloads started from itself.
    connect(profile, &QWebEngineProfile::downloadRequested, this, [this](QWebEngineDownloadRequest* download) {
        if (download->page() == this)
            onDownload(download);
    });
}

void EnginePage::setAllowedOrigins(const QList<QUrl>& origins) {
    m_allowed.clear();
    for (const QUrl& origin : origins)
        if (isWebScheme(origin))
            m_allowed << origin;
}

bool EnginePage::isAllowed(const QUrl& url) const {
    if (!isWebScheme(url))
        return false;
    for (const QUrl& origin : m_allowed) {
        if (origin.scheme() == url.scheme() && origin.host() == url.host() &&
            effectivePort(origin) == effectivePort(url))
            return true;
    }
    return false;
}

void EnginePage::setDivert(std::function<bool(const QUrl&)> divert) {
    m_divert = std::move(divert);
}

void EnginePage::blockDialogs() {
    m_dialogsBlocked = true;
}

QString EnginePage::originOf(const QUrl& url) {
    if (url.host().isEmpty())
        return url.scheme().isEmpty() ? QStringLiteral("an unknown address") : url.scheme() + QLatin1Char(':');
    // QUrl brackets an IPv6 host itself when it writes the authority.
    QUrl origin;
    origin.setScheme(url.scheme());
    origin.setHost(url.host());
    origin.setPort(isWebScheme(url) ? effectivePort(url) : url.port());
    return origin.toString(QUrl::FullyEncoded);
}

QString EnginePage::safeFileName(const QString& suggested) {
    // Only the last part of a path; folders and separators of either kind go.
    const qsizetype cut = std::max(suggested.lastIndexOf(QLatin1Char('/')), suggested.lastIndexOf(QLatin1Char('\\')));
    QString name;
    for (const QChar c : suggested.mid(cut + 1)) {
        if (c.category() != QChar::Other_Control && c.category() != QChar::Other_Format)
            name += c;
    }
    qsizetype start = 0;
    while (start < name.size() && (name.at(start) == QLatin1Char('.') || name.at(start).isSpace()))
        ++start;
    name = name.mid(start, 120).trimmed();
    return name.isEmpty() ? QStringLiteral("download") : name;
}

QString EnginePage::pageOrigin(const QUrl& fallback) const {
    const QUrl current = url();
    return originOf(current.isEmpty() || current.scheme() == QLatin1String("about") ? fallback : current);
}

bool EnginePage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    Q_UNUSED(type);
    // Frames inside an engine page are the page's own business; the tab's address is what stays put.
    if (!isMainFrame)
        return true;
    if (m_divert && m_divert(url)) {
        emit diverted(url);
        return false;
    }
    if (isAllowed(url)) {
        // A new page: its dialogs and browser openings are counted afresh.
        m_dialogsInRow = 0;
        m_dialogsBlocked = false;
        m_externalOpens = 0;
        return true;
    }
    refuse(url);
    return false;
}

void EnginePage::refuse(const QUrl& url) {
    const QString from = pageOrigin();
    if (!isWebScheme(url)) {
        emit notice(QStringLiteral("Blocked: %1 address from %2").arg(originOf(url), from), false);
    } else if (m_externalOpens >= kMaxExternalOpens) {
        emit notice(QStringLiteral("Blocked: more addresses from %1 (%2)").arg(from, originOf(url)), false);
    } else {
        ++m_externalOpens;
        m_open(url);
        emit notice(QStringLiteral("Opened in the web browser: %1").arg(originOf(url)), false);
    }
}

void EnginePage::onNewWindow(QWebEngineNewWindowRequest& request) {
    const QUrl target = request.requestedUrl();
    if (request.isUserInitiated() && m_divert && m_divert(target)) {
        emit diverted(target);
    } else if (isAllowed(target) && request.isUserInitiated()) {
        // The tab shows the engine's page itself instead of a window of its own.
        load(target);
    } else if (isAllowed(target) || target.isEmpty() || target.scheme() == QLatin1String("about")) {
        emit notice(QStringLiteral("Blocked: pop-up window from %1").arg(pageOrigin()), false);
    } else {
        refuse(target);
    }
    // Not opened in a page: createWindow() then refuses it.
}

QWebEnginePage* EnginePage::createWindow(WebWindowType) {
    return nullptr;
}

void EnginePage::reportDialog(const QUrl& securityOrigin, const QString& kind, const QString& msg) {
    if (m_dialogsBlocked)
        return;
    ++m_dialogsInRow;
    emit notice(kind.arg(pageOrigin(securityOrigin), oneLine(msg)), m_dialogsInRow >= kDialogsBeforeBlockOffer);
}

void EnginePage::javaScriptAlert(const QUrl& securityOrigin, const QString& msg) {
    reportDialog(securityOrigin, QStringLiteral("Message from %1: %2"), msg);
}

bool EnginePage::javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) {
    // Qt asks the "leave this page?" question of a beforeunload handler through here, with its own text: the
    // answer is always Leave, so no page can hold the tab or the window.
    static const QString leaveQuestion = QCoreApplication::translate(
        "QWebEnginePage", "Are you sure you want to leave this page? Changes that you made may not be saved.");
    if (msg == leaveQuestion)
        return true;
    reportDialog(securityOrigin, QStringLiteral("Question from %1, answered Cancel: %2"), msg);
    return false;
}

bool EnginePage::javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString&, QString*) {
    reportDialog(securityOrigin, QStringLiteral("Question from %1, answered Cancel: %2"), msg);
    return false;
}

void EnginePage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) {
    // Dropped: the default writes the page's text to the log with its full address, the token with it.
}

void EnginePage::onPermission(const QUrl& securityOrigin, Feature feature) {
    setFeaturePermission(securityOrigin, feature, PermissionDeniedByUser);
    emit notice(QStringLiteral("Blocked: %1 from %2").arg(featureName(feature), originOf(securityOrigin)), false);
}

void EnginePage::onDownload(QWebEngineDownloadRequest* download) {
    // A download made by the page's script (blob: or data:) comes from the page's own origin.
    const QUrl source = isWebScheme(download->url()) ? download->url() : url();
    const QString fileName = safeFileName(download->suggestedFileName());
    if (!isAllowed(source) || !isAllowed(url())) {
        download->cancel();
        emit notice(QStringLiteral("Blocked: download of \"%1\" from %2").arg(oneLine(fileName), originOf(source)),
                    false);
        return;
    }
    // The download must be taken before this returns: it goes to a private folder while the tab asks where to
    // keep it, and is moved there when both are done.
    auto staging = std::make_shared<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/zqt-download-XXXXXX"));
    if (!staging->isValid()) {
        download->cancel();
        emit notice(QStringLiteral("Download failed: no temporary folder for \"%1\"").arg(fileName), false);
        return;
    }
    download->setDownloadDirectory(staging->path());
    download->setDownloadFileName(fileName);
    download->accept();
    // The folder lives as long as the download.
    connect(download, &QObject::destroyed, download, [staging] {});
    emit downloadStaged(download, fileName);
}

} // namespace zqt
