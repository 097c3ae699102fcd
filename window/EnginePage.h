#pragma once

#include <QList>
#include <QUrl>
#include <QWebEnginePage>

#include <functional>

class QWebEngineDownloadRequest;
class QWebEngineNewWindowRequest;

namespace zqt {

// The page inside a web tab. It keeps the tab on the engine's own origins and keeps the page from acting on the
// window:
// - a main-frame navigation (link, script, redirect) or a new-window request to any other address is refused; an
//   http(s) address goes to the desktop's web browser instead (at most kMaxExternalOpens per page load, so a
//   script cannot flood the browser), any other scheme (mailto:, file:, custom ones) goes nowhere;
// - JavaScript dialogs never block: each is reported as a notice in the tab, confirm() and prompt() are answered
//   Cancel at once (the API wants an answer before returning), and a page that raised kDialogsBeforeBlockOffer in
//   a row may have the rest dropped until it navigates; a "leave this page?" question is answered Leave;
// - permission requests (location, camera, microphone, notifications, ...) are denied, and a download is taken
//   only from the engine's own origins.
// Whatever it refuses it reports through `notice`, one line naming origins only (scheme://host:port), never a
// path or query, where the web terminal's token would be.
class EnginePage final : public QWebEnginePage {
    Q_OBJECT

public:
    // Opens an address outside the program (QDesktopServices::openUrl in the program; a recorder in tests).
    using Opener = std::function<void(const QUrl&)>;

    static constexpr int kDialogsBeforeBlockOffer = 3;
    static constexpr int kMaxExternalOpens = 3;
    // Longest message of a page shown in a notice, in characters.
    static constexpr int kMaxMessageChars = 300;

    EnginePage(QWebEngineProfile* profile, Opener openExternally, QObject* parent = nullptr);

    // The origins the page may show (each address is reduced to scheme, host and port).
    void setAllowedOrigins(const QList<QUrl>& origins);
    bool isAllowed(const QUrl& url) const;

    // Main-frame navigations and user-opened windows for which `divert` says true are not taken: `diverted`
    // reports them instead (another tab shows that page). Unset, nothing is diverted.
    void setDivert(std::function<bool(const QUrl&)> divert);

    // Drops the page's further dialogs until it navigates.
    void blockDialogs();
    bool dialogsBlocked() const { return m_dialogsBlocked; }

    // "scheme://host:port" of `url` (the port always written), or the scheme alone for an address without a host.
    static QString originOf(const QUrl& url);
    // A file name a page suggested, made safe to offer: its last path part only (no separators), no leading dots
    // or blanks, no control characters, at most 120 characters; "download" when nothing is left.
    static QString safeFileName(const QString& suggested);

signals:
    // One line for the tab. `offerDialogBlock`: the line reports a dialog and the page may have its next ones
    // dropped (blockDialogs()).
    void notice(const QString& text, bool offerDialogBlock);
    // A download from the engine's own origin was accepted into `stagingFolder` and paused there; the tab asks
    // where to keep it. `fileName` is safe (see safeFileName).
    void downloadStaged(QWebEngineDownloadRequest* download, const QString& fileName);
    // A navigation to `url` was held back for another tab (see setDivert).
    void diverted(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                          QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                  const QString& sourceID) override;

private:
    void onNewWindow(QWebEngineNewWindowRequest& request);
    void onPermission(const QUrl& securityOrigin, Feature feature);
    void onDownload(QWebEngineDownloadRequest* download);
    // Sends a refused address to the desktop's browser when it may go there, and says what happened.
    void refuse(const QUrl& url);
    void reportDialog(const QUrl& securityOrigin, const QString& kind, const QString& msg);
    // The origin named in notices: the page's own address, or `fallback` before it has one.
    QString pageOrigin(const QUrl& fallback = {}) const;

    Opener m_open;
    std::function<bool(const QUrl&)> m_divert;
    QList<QUrl> m_allowed;
    int m_dialogsInRow = 0;
    bool m_dialogsBlocked = false;
    int m_externalOpens = 0;
};

} // namespace zqt
