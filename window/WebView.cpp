#include "window/WebView.h"

#include <QDir>
#include <QLabel>
#include <QShowEvent>
#include <QStackedLayout>
#include <QStandardPaths>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QWindow>

#include <utility>

namespace zqt {

WebView::WebView(ProfileSource profile, const QString& accessibleName, QWidget* parent)
    : QWidget(parent), m_profile(std::move(profile)) {
    setAccessibleName(accessibleName);
    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);

    // Shown until the browser exists (and after it while its first page paints): the window's own background.
    m_placeholder = new QWidget(this);
    m_stack->addWidget(m_placeholder);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("webViewMessage"));
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setForegroundRole(QPalette::PlaceholderText);
    m_stack->addWidget(m_message);
}

WebView::~WebView() = default;

QWebEngineProfile* WebView::createProfile(QObject* parent) {
    auto* profile = new QWebEngineProfile(QStringLiteral("zqt-desktop"), parent);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    profile->setPersistentStoragePath(data + QStringLiteral("/web"));
    profile->setCachePath(cache + QStringLiteral("/web"));
    profile->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);
    // The HTTP cache stays in memory: it keys its entries by the full address, and the web terminal's address
    // carries the sign-in token, which must be in no file but the preferences.
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    // A disk cache left there by an earlier version holds such addresses too. (An empty cache location would make
    // the path "/web".)
    if (!cache.isEmpty())
        QDir(cache + QStringLiteral("/web")).removeRecursively();
    return profile;
}

void WebView::setUrl(const QUrl& url) {
    if (url == m_url)
        return;
    m_url = url;
    showMessageOrBrowser();
    if (m_browser)
        load();
}

void WebView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_browser && !event->spontaneous())
        scheduleBrowser();
}

void WebView::scheduleBrowser() {
    QWindow* handle = window()->windowHandle();
    if (handle && !handle->isExposed()) {
        if (!m_waitingForExpose) {
            handle->installEventFilter(this);
            m_waitingForExpose = true;
        }
        return;
    }
    // The window paints while it handles its expose event; this runs after that.
    QTimer::singleShot(0, this, [this] {
        if (isVisible())
            ensureBrowser();
    });
}

bool WebView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
        watched->removeEventFilter(this);
        m_waitingForExpose = false;
        scheduleBrowser();
    }
    return QWidget::eventFilter(watched, event);
}

void WebView::ensureBrowser() {
    if (m_browser)
        return;
    m_browser = new QWebEngineView(this);
    m_browser->setObjectName(QStringLiteral("webBrowser"));
    m_browser->setAccessibleName(accessibleName());
    auto* page = new QWebEnginePage(m_profile(), m_browser);
    // Transparent until the page paints, so the window's background shows instead of a white flash.
    page->setBackgroundColor(Qt::transparent);
    m_browser->setPage(page);
    connect(m_browser, &QWebEngineView::loadFinished, this, [this](bool ok) { m_lastLoadFailed = !ok; });
    m_stack->addWidget(m_browser);
    showMessageOrBrowser();
    load();
    emit browserCreated();
}

void WebView::retryIfFailed() {
    if (m_browser && m_lastLoadFailed)
        load();
}

void WebView::load() {
    // A load under way is not a failed one: a retry asked for meanwhile does not start it again.
    m_lastLoadFailed = false;
    if (m_url.isValid())
        m_browser->load(m_url);
}

void WebView::showMessageOrBrowser() {
    if (!m_url.isValid()) {
        m_message->setText(QStringLiteral("No page: the host and port in the settings do not form an address."));
        m_stack->setCurrentWidget(m_message);
    } else {
        m_stack->setCurrentWidget(m_browser ? m_browser : m_placeholder);
    }
}

} // namespace zqt
