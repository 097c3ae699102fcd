#include "window/LogsView.h"

#include "control/AppState.h"
#include "control/LogLines.h"
#include "control/LogReader.h"
#include "display/Palette.h"
#include "terminal/views/SegmentedControl.h"
#include "window/LogHighlighter.h"
#include "window/Typography.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace zqt {

namespace {

// Widest the filter field grows, in device-independent pixels.
constexpr int kFilterMaxWidth = 480;

QLabel* makeErrorLabel(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, negativeColor());
    label->setPalette(p);
    label->hide();
    return label;
}

void showError(QLabel* label, const QString& text) {
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

} // namespace

QStringList LogsView::logNames() {
    return {QStringLiteral("web"), QStringLiteral("worker"), QStringLiteral("rm1"), QStringLiteral("marketing"),
            QStringLiteral("portal")};
}

QString LogsView::countText(qsizetype shown, qsizetype held) {
    return QStringLiteral("%1 of %2 lines").arg(shown).arg(held);
}

LogsView::LogsView(AppState& state, QWidget* parent) : QWidget(parent), m_state(state), m_logs(state.logs()) {
    setObjectName(QStringLiteral("logsView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);

    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    auto* label = new QLabel(QStringLiteral("Log"), this);
    row->addWidget(label);

    m_picker = new SegmentedControl(logNames(), QStringLiteral("Log"), this);
    m_picker->setObjectName(QStringLiteral("logPicker"));
    for (const QString& name : logNames())
        m_picker->button(name)->setObjectName(QStringLiteral("logSegment_") + name);
    row->addWidget(m_picker);
    label->setBuddy(m_picker->button(logNames().constFirst()));

    auto* refresh = new QPushButton(QStringLiteral("Refresh"), this);
    refresh->setObjectName(QStringLiteral("logsRefreshButton"));
    refresh->setAccessibleName(QStringLiteral("Refresh log"));
    row->addWidget(refresh);
    auto* openFolder = new QPushButton(QStringLiteral("Open Folder"), this);
    openFolder->setObjectName(QStringLiteral("logsOpenFolderButton"));
    openFolder->setToolTip(QStringLiteral("Show the engine's logs folder in the file manager"));
    row->addWidget(openFolder);
    row->addStretch(1);
    m_follow = new QCheckBox(QStringLiteral("Follow"), this);
    m_follow->setObjectName(QStringLiteral("logsFollowSwitch"));
    m_follow->setToolTip(QStringLiteral("Show lines as they are written to the log"));
    m_follow->setChecked(true);
    row->addWidget(m_follow);
    layout->addLayout(row);

    auto* filterRow = new QHBoxLayout;
    filterRow->setSpacing(12);
    auto* filterLabel = new QLabel(QStringLiteral("Filter"), this);
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("logsFilterField"));
    m_filter->setAccessibleName(QStringLiteral("Filter log lines"));
    m_filter->setPlaceholderText(QStringLiteral("Text in any case, or /regular expression/"));
    m_filter->setMaximumWidth(kFilterMaxWidth);
    filterLabel->setBuddy(m_filter);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("logsCountLabel"));
    m_count->setTextFormat(Qt::PlainText);
    m_count->setForegroundRole(QPalette::PlaceholderText);
    m_jump = new QPushButton(QStringLiteral("Jump to End"), this);
    m_jump->setObjectName(QStringLiteral("logsJumpToEndButton"));
    m_jump->setToolTip(QStringLiteral("Show the newest lines and keep to them"));
    m_jump->hide();
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(m_filter, 1);
    filterRow->addWidget(m_count);
    filterRow->addStretch(1);
    filterRow->addWidget(m_jump);
    layout->addLayout(filterRow);

    m_filterError = makeErrorLabel(QStringLiteral("logsFilterError"), this);
    m_folderError = makeErrorLabel(QStringLiteral("logsFolderError"), this);
    layout->addWidget(m_filterError);
    layout->addWidget(m_folderError);

    m_output = new QPlainTextEdit(this);
    m_output->setObjectName(QStringLiteral("logOutputView"));
    m_output->setAccessibleName(QStringLiteral("Log output"));
    m_output->setReadOnly(true);
    m_output->setUndoRedoEnabled(false); // the view's own edits must not pile up in an undo stack
    m_output->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_output->setFont(Typography::monospaced());
    m_output->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_output->setFrameShape(QFrame::NoFrame);
    m_output->setBackgroundRole(QPalette::Base);
    m_output->document()->setDocumentMargin(12);
    m_output->setStyleSheet(QStringLiteral("QPlainTextEdit#logOutputView { background: palette(base); "
                                           "border: 1px solid palette(mid); border-radius: 8px; }"));
    layout->addWidget(m_output, 1);
    m_highlighter = new LogHighlighter(m_logs.lines(), m_output->document());

    m_filterDelay.setSingleShot(true);
    m_filterDelay.setInterval(kFilterDelayMs);
    m_nextPass.setSingleShot(true);
    m_nextPass.setInterval(0);
    connect(&m_nextPass, &QTimer::timeout, this, [this] {
        if (m_behind && !isPaused())
            sync();
    });

    // Picking a log shows that log: the lines under its name are never another log's.
    connect(m_picker, &SegmentedControl::activated, this, [this](const QString& name) {
        const bool changed = name != m_state.selectedLog();
        m_state.setSelectedLog(name);
        if (changed)
            m_state.refreshLogs();
    });
    connect(refresh, &QPushButton::clicked, &m_state, &AppState::refreshLogs);
    connect(openFolder, &QPushButton::clicked, this, &LogsView::openFolder);
    connect(m_follow, &QCheckBox::toggled, this, &LogsView::updateFollowing);
    connect(&m_state, &AppState::selectedLogChanged, this, &LogsView::showSelectedLog);

    connect(m_filter, &QLineEdit::textChanged, &m_filterDelay, qOverload<>(&QTimer::start));
    auto applyFilter = [this] {
        m_filterDelay.stop();
        m_logs.lines().setFilterText(m_filter->text());
    };
    connect(&m_filterDelay, &QTimer::timeout, this, applyFilter);
    connect(m_filter, &QLineEdit::returnPressed, this, applyFilter);
    connect(&m_logs.lines(), &LogLines::filterChanged, this,
            [this] { showError(m_filterError, m_logs.lines().filter().error()); });
    connect(&m_logs.lines(), &LogLines::linesReset, this, &LogsView::rebuild);
    connect(&m_logs.lines(), &LogLines::linesChanged, this, &LogsView::sync);

    QScrollBar* bar = m_output->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (m_adjusting)
            return;
        m_scrolledUp = value < bar->maximum();
        if (!isPaused() && m_behind)
            sync();
        updateJumpButton();
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this] {
        if (!m_adjusting && !isPaused())
            scrollToEnd();
    });
    connect(m_output, &QPlainTextEdit::selectionChanged, this, [this] {
        if (m_adjusting)
            return;
        m_selecting = m_output->textCursor().hasSelection();
        if (!isPaused() && m_behind)
            sync();
        updateJumpButton();
    });
    connect(m_jump, &QPushButton::clicked, this, &LogsView::jumpToEnd);

    showSelectedLog();
    showError(m_filterError, m_logs.lines().filter().error());
    m_filter->setText(m_logs.lines().filter().text());
    m_filterDelay.stop();
    rebuild();
}

LogsView::~LogsView() {
    m_logs.setFollowing(false);
}

void LogsView::showSelectedLog() {
    m_picker->setValue(m_state.selectedLog());
}

void LogsView::updateFollowing() {
    m_logs.setFollowing(m_follow->isChecked() && isVisible());
}

void LogsView::rebuild() {
    const LogLines& lines = m_logs.lines();
    m_shown.clear();
    QString text;
    for (qsizetype i = 0; i < lines.count(); ++i) {
        const LogLines::Line& line = lines.at(i);
        if (!line.matched)
            continue;
        if (!m_shown.empty())
            text += u'\n';
        text += line.text;
        m_shown.push_back(line.seq);
    }
    if (lines.count() > 0)
        m_syncedSeq = std::max(m_syncedSeq, lines.at(lines.count() - 1).seq);
    m_adjusting = true;
    m_output->setPlainText(text);
    m_adjusting = false;
    m_scrolledUp = false;
    m_selecting = false;
    m_behind = false;
    scrollToEnd();
    updateCount();
    updateJumpButton();
}

void LogsView::sync() {
    updateCount();
    if (isPaused()) {
        m_behind = true;
        updateJumpButton();
        return;
    }
    const LogLines& lines = m_logs.lines();
    // Lines no longer held: the oldest, dropped to keep within the limits, and an unfinished last line that a
    // longer version replaced.
    const quint64 firstHeld = lines.count() > 0 ? lines.at(0).seq : std::numeric_limits<quint64>::max();
    int dropTop = 0;
    while (!m_shown.empty() && m_shown.front() < firstHeld) {
        m_shown.pop_front();
        ++dropTop;
    }
    int dropEnd = 0;
    while (!m_shown.empty() && lines.indexOf(m_shown.back()) < 0) {
        m_shown.pop_back();
        ++dropEnd;
    }
    const bool emptyBefore = m_shown.empty();
    QString added;
    int addedLines = 0;
    bool more = false;
    qsizetype i = lines.firstAfter(m_syncedSeq);
    for (; i < lines.count(); ++i) {
        const LogLines::Line& line = lines.at(i);
        if (!line.matched)
            continue;
        if (addedLines == kMaxLinesPerPass) {
            more = true;
            break;
        }
        if (!added.isEmpty() || !m_shown.empty())
            added += u'\n';
        added += line.text;
        m_shown.push_back(line.seq);
        ++addedLines;
    }
    if (i > 0 && i <= lines.count())
        m_syncedSeq = std::max(m_syncedSeq, lines.at(i - 1).seq);

    m_adjusting = true;
    QTextDocument* doc = m_output->document();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    if (emptyBefore && (dropTop > 0 || dropEnd > 0)) {
        cursor.select(QTextCursor::Document);
        cursor.removeSelectedText();
    } else {
        if (dropTop > 0) {
            cursor.setPosition(0);
            cursor.setPosition(doc->findBlockByNumber(dropTop).position(), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        if (dropEnd > 0) {
            const QTextBlock lastKept = doc->findBlockByNumber(doc->blockCount() - dropEnd - 1);
            cursor.setPosition(lastKept.position() + lastKept.length() - 1);
            cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
    }
    if (!added.isEmpty()) {
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(added);
    }
    cursor.endEditBlock();
    m_adjusting = false;
    m_behind = more;
    scrollToEnd();
    updateJumpButton();
    if (more)
        m_nextPass.start();
}

void LogsView::scrollToEnd() {
    m_adjusting = true;
    QScrollBar* bar = m_output->verticalScrollBar();
    bar->setValue(bar->maximum());
    m_adjusting = false;
}

void LogsView::jumpToEnd() {
    m_adjusting = true;
    QTextCursor cursor = m_output->textCursor();
    cursor.clearSelection();
    m_output->setTextCursor(cursor);
    m_adjusting = false;
    m_scrolledUp = false;
    m_selecting = false;
    sync();
}

void LogsView::updateCount() {
    const LogLines& lines = m_logs.lines();
    m_count->setText(countText(lines.matchCount(), lines.count()));
}

void LogsView::updateJumpButton() {
    m_jump->setVisible(m_scrolledUp || (m_selecting && m_behind));
}

void LogsView::openFolder() {
    const QString folder = QDir::cleanPath(m_state.settings().text(Setting::Home) + QStringLiteral("/storage/logs"));
    const bool opened = QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    showError(m_folderError, opened ? QString() : QStringLiteral("Could not open %1").arg(folder));
}

void LogsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    m_state.refreshLogs();
    updateFollowing();
}

void LogsView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        updateFollowing();
}

} // namespace zqt
