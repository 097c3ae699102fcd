#include "window/LogsView.h"

#include "control/AppState.h"
#include "terminal/views/SegmentedControl.h"
#include "window/Typography.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
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

    m_logs = new SegmentedControl(logNames(), QStringLiteral("Log"), this);
    m_logs->setObjectName(QStringLiteral("logPicker"));
    for (const QString& name : logNames())
        m_logs->button(name)->setObjectName(QStringLiteral("logSegment_") + name);
    row->addWidget(m_logs);
    label->setBuddy(m_logs->button(logNames().constFirst()));

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

    connect(m_logs, &SegmentedControl::activated, &m_state, &AppState::setSelectedLog);
    connect(refresh, &QPushButton::clicked, &m_state, &AppState::refreshLogs);
    connect(&m_state, &AppState::selectedLogChanged, this, &LogsView::showSelectedLog);
    connect(&m_state, &AppState::logOutputChanged, this, &LogsView::showLogOutput);
    showSelectedLog();
    showLogOutput();
}

void LogsView::showSelectedLog() {
    m_logs->setValue(m_state.selectedLog());
}

void LogsView::showLogOutput() {
    // A line of up to 1 MiB would be laid out and shaped whole on every change: the view gets it in pieces.
    m_output->setPlainText(LogReader::breakLongLines(m_state.logOutput()));
}

void LogsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_state.refreshLogs();
}

} // namespace zqt
