#include "window/LogsView.h"

#include "control/AppState.h"
#include "window/Typography.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace zqt {

QStringList LogsView::logNames() {
    return {QStringLiteral("web"), QStringLiteral("worker"), QStringLiteral("rm1"), QStringLiteral("marketing"),
            QStringLiteral("portal")};
}

LogsView::LogsView(AppState& state, QWidget* parent) : QWidget(parent), m_state(state) {
    setObjectName(QStringLiteral("logsView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);

    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    auto* label = new QLabel(QStringLiteral("Log"), this);
    row->addWidget(label);

    // A segmented picker: one checkable button per log, exclusive, joined edge to edge.
    auto* segments = new QHBoxLayout;
    segments->setSpacing(0);
    m_logs = new QButtonGroup(this);
    m_logs->setExclusive(true);
    for (const QString& name : logNames()) {
        auto* button = new QToolButton(this);
        button->setObjectName(QStringLiteral("logSegment_") + name);
        button->setText(name);
        button->setAccessibleName(QStringLiteral("Log ") + name);
        button->setCheckable(true);
        button->setAutoRaise(false);
        button->setFocusPolicy(Qt::StrongFocus);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        m_logs->addButton(button);
        segments->addWidget(button);
    }
    row->addLayout(segments);
    label->setBuddy(m_logs->buttons().constFirst());

    auto* refresh = new QPushButton(QStringLiteral("Refresh"), this);
    refresh->setObjectName(QStringLiteral("logsRefreshButton"));
    refresh->setAccessibleName(QStringLiteral("Refresh log"));
    row->addWidget(refresh);
    row->addStretch(1);
    layout->addLayout(row);

    m_output = new QPlainTextEdit(this);
    m_output->setObjectName(QStringLiteral("logOutputView"));
    m_output->setAccessibleName(QStringLiteral("Log output"));
    m_output->setReadOnly(true);
    m_output->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_output->setFont(Typography::monospaced());
    m_output->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_output->setFrameShape(QFrame::NoFrame);
    m_output->setBackgroundRole(QPalette::Base);
    m_output->document()->setDocumentMargin(12);
    m_output->setStyleSheet(QStringLiteral("QPlainTextEdit#logOutputView { background: palette(base); "
                                           "border: 1px solid palette(mid); border-radius: 8px; }"));
    layout->addWidget(m_output, 1);

    connect(m_logs, &QButtonGroup::buttonClicked, this,
            [this](QAbstractButton* button) { m_state.setSelectedLog(button->text()); });
    connect(refresh, &QPushButton::clicked, &m_state, &AppState::refreshLogs);
    connect(&m_state, &AppState::selectedLogChanged, this, &LogsView::showSelectedLog);
    connect(&m_state, &AppState::logOutputChanged, this, [this] { m_output->setPlainText(m_state.logOutput()); });
    showSelectedLog();
    m_output->setPlainText(m_state.logOutput());
}

void LogsView::showSelectedLog() {
    for (QAbstractButton* button : m_logs->buttons())
        button->setChecked(button->text() == m_state.selectedLog());
}

void LogsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_state.refreshLogs();
}

} // namespace zqt
