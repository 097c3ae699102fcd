#include "window/WebView.h"

#include "display/Palette.h"
#include "window/EnginePage.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QShortcut>
#include <QShowEvent>
#include <QStackedLayout>
#include <QStandardPaths>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QWindow>

#include <utility>

namespace zqt {

namespace {

const char kNoticeText[] = "noticeText";
const char kNoticeCount[] = "noticeCount";

} // namespace

WebView::WebView(ProfileSource profile, Opener openExternally, const QString& accessibleName, QWidget* parent)
    : QWidget(parent), m_profile(std::move(profile)), m_open(std::move(openExternally)) {
    setAccessibleName(accessibleName);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildNavigationBar());

    // One line above the page while there is something to say about it.
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("webViewNotice"));
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_notice->setContentsMargins(8, 4, 8, 4);
    m_notice->setForegroundRole(QPalette::WindowText);
    QPalette palette = m_notice->palette();
    palette.setColor(QPalette::WindowText, negativeColor());
    m_notice->setPalette(palette);
    m_notice->hide();
    column->addWidget(m_notice);
    m_notices = new QVBoxLayout;
    m_notices->setContentsMargins(0, 0, 0, 0);
    m_notices->setSpacing(0);
    column->addLayout(m_notices);
    m_stack = new QStackedLayout;
    m_stack->setContentsMargins(0, 0, 0, 0);
    column->addLayout(m_stack, 1);

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

QWidget* WebView::buildNavigationBar() {
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("webNavigationBar"));
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(2);
    struct Button {
        QToolButton** slot;
        const char* name;
        const char* text;
        const char* themeIcon;
        QStyle::StandardPixmap fallback;
        QKeySequence key;
        void (WebView::*act)();
    };
    const Button buttons[] = {
        {&m_backButton, "webBackButton", "Back", "go-previous", QStyle::SP_ArrowBack,
         QKeySequence(Qt::ALT | Qt::Key_Left), &WebView::back},
        {&m_forwardButton, "webForwardButton", "Forward", "go-next", QStyle::SP_ArrowForward,
         QKeySequence(Qt::ALT | Qt::Key_Right), &WebView::forward},
        {&m_reloadButton, "webReloadButton", "Reload", "view-refresh", QStyle::SP_BrowserReload,
         QKeySequence(Qt::Key_F5), &WebView::reload},
    };
    for (const Button& b : buttons) {
        auto* action = new QAction(QIcon::fromTheme(QLatin1String(b.themeIcon), style()->standardIcon(b.fallback)),
                                   QString::fromLatin1(b.text), this);
        action->setToolTip(QStringLiteral("%1 (%2)").arg(action->text(), b.key.toString(QKeySequence::NativeText)));
        connect(action, &QAction::triggered, this, b.act);
        // One press is one step, however long the key is held: the presses the keyboard repeats are dropped
        // whether Qt marks them as repeats or not (see KeyRepeatWatch).
        auto* shortcut = new QShortcut(b.key, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        shortcut->setAutoRepeat(false);
        connect(shortcut, &QShortcut::activated, this, [this, action, key = b.key[0].key()] {
            if (!m_keys.isRepeat(key) && action->isEnabled())
                action->trigger();
        });
        auto* button = new QToolButton(bar);
        button->setObjectName(QLatin1String(b.name));
        button->setDefaultAction(action);
        button->setAutoRaise(true);
        button->setAccessibleName(action->text());
        row->addWidget(button);
        *b.slot = button;
    }
    row->addStretch(1);
    updateNavigation();
    return bar;
}

void WebView::updateNavigation() {
    QWebEngineHistory* history = m_page ? m_page->history() : nullptr;
    m_backButton->defaultAction()->setEnabled(history && history->canGoBack());
    m_forwardButton->defaultAction()->setEnabled(history && history->canGoForward());
    m_reloadButton->defaultAction()->setEnabled(m_browser && m_url.isValid());
}

void WebView::back() {
    if (m_page && m_page->history()->canGoBack())
        m_page->triggerAction(QWebEnginePage::Back);
}

void WebView::forward() {
    if (m_page && m_page->history()->canGoForward())
        m_page->triggerAction(QWebEnginePage::Forward);
}

void WebView::reload() {
    if (!m_browser)
        return;
    // The tab's own page (its address may carry the sign-in, which the history no longer does) loads that address.
    if (samePage(m_page->url(), m_url) || m_page->url().isEmpty())
        load();
    else
        m_page->triggerAction(QWebEnginePage::Reload);
}

void WebView::setDivertedPage(const QUrl& page) {
    m_divertedPage = page;
}

void WebView::showHome() {
    if (!m_browser) {
        ensureBrowser();
        return;
    }
    if (m_lastLoadFailed || !samePage(m_page->url(), m_url))
        load();
}

bool WebView::samePage(const QUrl& a, const QUrl& b) {
    auto path = [](const QUrl& u) {
        QString p = u.path();
        while (p.endsWith(QLatin1Char('/')))
            p.chop(1);
        return p;
    };
    return a.isValid() && b.isValid() && a.scheme() == b.scheme() && a.host() == b.host() &&
           a.port(a.scheme() == QLatin1String("https") ? 443 : 80) ==
               b.port(b.scheme() == QLatin1String("https") ? 443 : 80) &&
           path(a) == path(b);
}

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

void WebView::setAllowedOrigins(const QList<QUrl>& origins) {
    m_allowed = origins;
    if (m_page)
        m_page->setAllowedOrigins(origins);
}

void WebView::setUrl(const QUrl& url) {
    if (url == m_url)
        return;
    m_url = url;
    showMessageOrBrowser();
    if (m_browser)
        load();
    updateNavigation();
}

void WebView::setStandingNotice(const QString& notice) {
    m_notice->setText(notice);
    m_notice->setVisible(!notice.isEmpty());
}

QString WebView::standingNotice() const {
    return m_notice->text();
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
    m_page = new EnginePage(m_profile(), m_open, m_browser);
    m_page->setAllowedOrigins(m_allowed);
    m_page->setDivert(
        [this](const QUrl& url) { return !m_divertedPage.isEmpty() && samePage(url, m_divertedPage) && url != m_url; });
    connect(m_page, &EnginePage::diverted, this, &WebView::pageDiverted);
    // Transparent until the page paints, so the window's background shows instead of a white flash.
    m_page->setBackgroundColor(Qt::transparent);
    m_browser->setPage(m_page);
    connect(m_page, &EnginePage::notice, this, &WebView::addNotice);
    connect(m_page, &EnginePage::downloadStaged, this, &WebView::saveDownload);
    connect(m_browser, &QWebEngineView::loadFinished, this, [this](bool ok) {
        m_lastLoadFailed = !ok;
        if (ok && QUrlQuery(m_page->url()).hasQueryItem(QStringLiteral("token")))
            scrubTokenAddress();
    });
    connect(m_page, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) {
        if (m_scrubPending && !url.hasQuery()) {
            m_scrubPending = false;
            m_page->history()->clear();
        }
        updateNavigation();
    });
    connect(m_page, &QWebEnginePage::loadFinished, this, &WebView::updateNavigation);
    // The page keeps its own Back and Forward actions current with its history.
    for (auto which : {QWebEnginePage::Back, QWebEnginePage::Forward})
        connect(m_page->action(which), &QAction::changed, this, &WebView::updateNavigation);
    m_stack->addWidget(m_browser);
    showMessageOrBrowser();
    load();
    updateNavigation();
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

void WebView::scrubTokenAddress() {
    m_scrubPending = true;
    // A new entry for the same path without the query; clearing the history then leaves only that one. Run in
    // the program's own script world, where the page's script cannot replace history.pushState.
    m_page->runJavaScript(QStringLiteral("history.pushState(history.state, '', location.pathname + location.hash);"),
                          QWebEngineScript::ApplicationWorld);
}

QStringList WebView::notices() const {
    QStringList texts;
    for (int i = 0; i < m_notices->count(); ++i) {
        if (auto* label = m_notices->itemAt(i)->widget()->findChild<QLabel*>(QStringLiteral("webNoticeText")))
            texts << label->text();
    }
    return texts;
}

void WebView::addNotice(const QString& text, bool offerDialogBlock) {
    // A page repeating itself (an alert in a loop) counts up on its line instead of adding lines.
    if (m_notices->count() > 0) {
        QWidget* last = m_notices->itemAt(m_notices->count() - 1)->widget();
        if (last->property(kNoticeText).toString() == text) {
            const int count = last->property(kNoticeCount).toInt() + 1;
            last->setProperty(kNoticeCount, count);
            last->findChild<QLabel*>(QStringLiteral("webNoticeText"))
                ->setText(QStringLiteral("%1 (%2 times)").arg(text).arg(count));
            if (offerDialogBlock)
                last->findChild<QToolButton*>(QStringLiteral("blockDialogsButton"))->show();
            return;
        }
    }
    while (m_notices->count() >= kMaxNotices) {
        QLayoutItem* oldest = m_notices->takeAt(0);
        delete oldest->widget();
        delete oldest;
    }

    auto* row = new QFrame(this);
    row->setObjectName(QStringLiteral("webNotice"));
    row->setFrameShape(QFrame::StyledPanel);
    row->setProperty(kNoticeText, text);
    row->setProperty(kNoticeCount, 1);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(8, 2, 4, 2);
    auto* label = new QLabel(text, row);
    label->setObjectName(QStringLiteral("webNoticeText"));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long line is cut at the tab's edge instead of widening the window.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    line->addWidget(label, 1);
    auto* block = new QToolButton(row);
    block->setObjectName(QStringLiteral("blockDialogsButton"));
    block->setText(QStringLiteral("Block dialogs from this page"));
    block->setAccessibleName(block->text());
    block->setVisible(offerDialogBlock);
    line->addWidget(block);
    auto* dismiss = new QToolButton(row);
    dismiss->setObjectName(QStringLiteral("dismissNoticeButton"));
    dismiss->setText(QStringLiteral("Dismiss"));
    dismiss->setAccessibleName(QStringLiteral("Dismiss notice"));
    line->addWidget(dismiss);
    connect(block, &QToolButton::clicked, this, [this, row] {
        if (m_page)
            m_page->blockDialogs();
        row->deleteLater();
    });
    connect(dismiss, &QToolButton::clicked, row, &QObject::deleteLater);
    m_notices->addWidget(row);
}

void WebView::saveDownload(QWebEngineDownloadRequest* download, const QString& fileName) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    // Not modal: the window and the other tabs go on while the operator picks a place.
    auto* dialog = new QFileDialog(this, QStringLiteral("Save Download"), folder + QLatin1Char('/') + fileName);
    dialog->setObjectName(QStringLiteral("downloadDialog"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setWindowModality(Qt::NonModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<QWebEngineDownloadRequest> request(download);
    connect(dialog, &QFileDialog::fileSelected, this, [this, request, fileName](const QString& target) {
        if (!request)
            return;
        auto move = [this, request, fileName, target] {
            if (!request)
                return;
            const QString staged = QDir(request->downloadDirectory()).filePath(request->downloadFileName());
            const bool ok = request->state() == QWebEngineDownloadRequest::DownloadCompleted &&
                            (!QFile::exists(target) || QFile::remove(target)) && QFile::rename(staged, target);
            addNotice(ok ? QStringLiteral("Downloaded: %1").arg(fileName)
                         : QStringLiteral("Download failed: %1").arg(fileName),
                      false);
            request->deleteLater();
        };
        if (request->isFinished())
            move();
        else
            connect(request, &QWebEngineDownloadRequest::stateChanged, this,
                    [move](QWebEngineDownloadRequest::DownloadState state) {
                        if (state != QWebEngineDownloadRequest::DownloadRequested &&
                            state != QWebEngineDownloadRequest::DownloadInProgress)
                            move();
                    });
    });
    connect(dialog, &QFileDialog::rejected, this, [this, request, fileName] {
        if (!request)
            return;
        request->cancel();
        request->deleteLater();
        addNotice(QStringLiteral("Download cancelled: %1").arg(fileName), false);
    });
    dialog->show();
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
