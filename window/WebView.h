#pragma once

#include "display/KeyRepeatWatch.h"

#include <QList>
#include <QUrl>
#include <QWidget>

#include <functional>

class QLabel;
class QStackedLayout;
class QToolButton;
class QVBoxLayout;
class QWebEngineDownloadRequest;
class QWebEngineProfile;
class QWebEngineView;

namespace zqt {

class EnginePage;

// One of the engine's web pages in a tab. The browser is created the first time the tab is shown, in the
// program's one persistent web profile, and loads `url`. Handing the view the address it already has does
// nothing; a different address loads it. An invalid address shows a one-line message instead of a page.
//
// The page stays on the origins it is allowed (see EnginePage); what it asks for or is refused (dialogs, other
// addresses, pop-ups, permissions, downloads) shows as one-line notices above it, the latest kMaxNotices kept.
// After a page loaded an address with a `token` in its query, the address is taken out of the page's back and
// forward history.
//
// A bar above the page has Back, Forward and Reload (also Alt+Left, Alt+Right and F5 while the focus is in the
// tab). Reload on the tab's own page loads the tab's address again (the web terminal's carries its sign-in).
class WebView final : public QWidget {
    Q_OBJECT

public:
    // Gives the profile the browser is created in, when it is first needed; it must outlive this view.
    using ProfileSource = std::function<QWebEngineProfile*()>;
    // Opens an address outside the program (the desktop's web browser).
    using Opener = std::function<void(const QUrl&)>;

    static constexpr int kMaxNotices = 3;

    WebView(ProfileSource profile, Opener openExternally, const QString& accessibleName, QWidget* parent = nullptr);
    ~WebView() override;

    // The origins the page may show; other addresses go to `openExternally`. Set before the address.
    void setAllowedOrigins(const QList<QUrl>& origins);
    // The page, or nullptr before the tab was first shown.
    EnginePage* page() const { return m_page; }
    // The notices shown, oldest first.
    QStringList notices() const;

    QUrl url() const { return m_url; }
    // The address to show (see the class comment).
    void setUrl(const QUrl& url);
    // A one-line note above the page and its notices (plain text) that stays until replaced, for a standing
    // condition rather than an event; empty hides it.
    void setStandingNotice(const QString& notice);
    QString standingNotice() const;
    // Navigations of this page to `page` (its origin and path, any query) other than to the tab's own address are
    // not taken: pageDiverted reports them, for the tab that shows that page. An empty address diverts nothing.
    void setDivertedPage(const QUrl& page);
    // Shows the tab's own address: loads it unless the browser shows that page already (after a load that did
    // not fail). Creates the browser when it is not there yet.
    void showHome();
    // Back, Forward and Reload of the bar.
    void back();
    void forward();
    void reload();
    // The embedded browser, or nullptr before the tab was first shown.
    QWebEngineView* browser() const { return m_browser; }
    // Creates the browser now (normally done on the first show).
    void ensureBrowser();
    // Whether the browser's last load of `url` failed (the engine was not answering yet, for instance).
    bool lastLoadFailed() const { return m_lastLoadFailed; }
    // Loads `url` again when its last load failed; does nothing otherwise.
    void retryIfFailed();

    // The web profile every tab shares: named, with cookies and site storage on disk under the program's data
    // folder, so sign-ins and site data are kept across runs, and the HTTP cache in memory only (it would
    // otherwise write the web terminal's address, token included, to disk).
    static QWebEngineProfile* createProfile(QObject* parent);

signals:
    // The browser was created (first show).
    void browserCreated();
    // A navigation to the diverted page (see setDivertedPage) was held back.
    void pageDiverted(const QUrl& url);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Creates the browser once the window is on screen and painted, so starting QtWebEngine never holds up
    // the window's first paint.
    void scheduleBrowser();
    void load();
    void showMessageOrBrowser();
    QWidget* buildNavigationBar();
    void updateNavigation();
    // Whether `a` and `b` name the same page: scheme, host, port and path (a trailing '/' aside), any query.
    static bool samePage(const QUrl& a, const QUrl& b);
    // Shows one notice line; the same text as the newest line only counts up on that line.
    void addNotice(const QString& text, bool offerDialogBlock);
    void saveDownload(QWebEngineDownloadRequest* download, const QString& fileName);
    // Replaces the loaded address by the same path without its query, then drops every other history entry.
    void scrubTokenAddress();

    ProfileSource m_profile;
    Opener m_open;
    QList<QUrl> m_allowed;
    QUrl m_url;
    QVBoxLayout* m_notices = nullptr;
    QStackedLayout* m_stack = nullptr;
    EnginePage* m_page = nullptr;
    bool m_scrubPending = false;
    QUrl m_divertedPage;
    KeyRepeatWatch m_keys;
    QToolButton* m_backButton = nullptr;
    QToolButton* m_forwardButton = nullptr;
    QToolButton* m_reloadButton = nullptr;
    QLabel* m_message = nullptr;
    QLabel* m_notice = nullptr;
    QWidget* m_placeholder = nullptr;
    QWebEngineView* m_browser = nullptr;
    bool m_waitingForExpose = false;
    bool m_lastLoadFailed = false;
};

} // namespace zqt
