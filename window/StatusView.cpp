#include "window/StatusView.h"

#include "control/AppState.h"
#include "window/Typography.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTextOption>
#include <QVBoxLayout>

namespace zqt {

namespace {

// Height of the health box's text area, in device-independent pixels.
constexpr int kHealthHeight = 80;

QPlainTextEdit* makeReplyView(const QString& name, const QString& accessibleName, QWidget* parent) {
    auto* view = new QPlainTextEdit(parent);
    view->setObjectName(name);
    view->setAccessibleName(accessibleName);
    view->setReadOnly(true);
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    view->setFont(Typography::monospaced());
    view->setPlaceholderText(QStringLiteral("No data"));
    // Long replies (a status object on one line) wrap at the box's edge, anywhere when a word is wider; the text
    // itself stays as received.
    view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return view;
}

} // namespace

StatusView::StatusView(AppState& state, QWidget* parent) : QWidget(parent), m_state(state) {
    setObjectName(QStringLiteral("statusView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);

    auto* titleRow = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("System Status"), this);
    title->setFont(Typography::headline(this));
    auto* refresh = new QPushButton(QStringLiteral("Refresh"), this);
    refresh->setObjectName(QStringLiteral("statusRefreshButton"));
    refresh->setAccessibleName(QStringLiteral("Refresh system status"));
    titleRow->addWidget(title);
    titleRow->addStretch(1);
    titleRow->addWidget(refresh);
    layout->addLayout(titleRow);

    auto* healthBox = new QGroupBox(QStringLiteral("Health"), this);
    auto* healthLayout = new QVBoxLayout(healthBox);
    m_health = makeReplyView(QStringLiteral("healthView"), QStringLiteral("Health"), healthBox);
    m_health->setFixedHeight(kHealthHeight);
    healthLayout->addWidget(m_health);
    layout->addWidget(healthBox);

    auto* apiBox = new QGroupBox(QStringLiteral("API Status"), this);
    auto* apiLayout = new QVBoxLayout(apiBox);
    m_system = makeReplyView(QStringLiteral("systemStatusView"), QStringLiteral("API Status"), apiBox);
    apiLayout->addWidget(m_system);
    layout->addWidget(apiBox, 1);

    connect(refresh, &QPushButton::clicked, &m_state, &AppState::refreshSystemStatus);
    auto showHealth = [this] {
        m_health->setPlainText(m_state.healthStatus());
    };
    auto showSystem = [this] {
        m_system->setPlainText(m_state.systemStatus());
    };
    connect(&m_state, &AppState::healthStatusChanged, this, showHealth);
    connect(&m_state, &AppState::systemStatusChanged, this, showSystem);
    showHealth();
    showSystem();
}

void StatusView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_state.refreshSystemStatus();
}

} // namespace zqt
