#include "window/ContentView.h"

#include "control/AppState.h"
#include "control/ServiceManager.h"

#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace zqt {

namespace {

// Header metrics, in device-independent pixels.
constexpr int kHeaderMargin = 16;
constexpr int kHeaderSpacing = 16;
constexpr int kTitleSpacing = 4;

QPushButton* makeButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

} // namespace

ContentView::ContentView(AppState& state, QWidget* parent) : QWidget(parent), m_state(state) {
    setObjectName(QStringLiteral("contentView"));
    setWindowTitle(QStringLiteral("ZQT Desktop Control"));
    setMinimumSize(1200, 760);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildHeader());

    auto* divider = new QFrame(this);
    divider->setObjectName(QStringLiteral("headerDivider"));
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    layout->addWidget(divider);

    // The body: for now the output of the last script.
    auto* body = new QWidget(this);
    body->setObjectName(QStringLiteral("body"));
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(kHeaderMargin, kHeaderMargin, kHeaderMargin, kHeaderMargin);
    m_outputView = new QPlainTextEdit(body);
    m_outputView->setObjectName(QStringLiteral("lastOutputView"));
    m_outputView->setReadOnly(true);
    m_outputView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_outputView->setPlaceholderText(QStringLiteral("Output of the last start or stop appears here."));
    bodyLayout->addWidget(m_outputView);
    layout->addWidget(body, 1);

    connect(&m_state, &AppState::isRunningChanged, this, &ContentView::updateRunState);
    connect(&m_state, &AppState::operatorUnlockedChanged, this, &ContentView::updateOperatorButton);
    connect(&m_state, &AppState::busyChanged, this, &ContentView::updateBusy);
    connect(&m_state, &AppState::lastOutputChanged, this, [this] { m_outputView->setPlainText(m_state.lastOutput()); });
    updateRunState();
    updateOperatorButton();
    updateBusy();
    m_outputView->setPlainText(m_state.lastOutput());
}

QWidget* ContentView::buildHeader() {
    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("header"));
    header->setBackgroundRole(QPalette::Window);
    header->setAutoFillBackground(true);

    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(kHeaderMargin, kHeaderMargin, kHeaderMargin, kHeaderMargin);
    row->setSpacing(kHeaderSpacing);

    auto* titleBlock = new QVBoxLayout;
    titleBlock->setSpacing(kTitleSpacing);
    auto* title = new QLabel(QStringLiteral("ZQT Desktop Control"), header);
    title->setObjectName(QStringLiteral("titleLabel"));
    QFont headline = title->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.25);
    title->setFont(headline);
    m_runStateLabel = new QLabel(header);
    m_runStateLabel->setObjectName(QStringLiteral("runStateLabel"));
    titleBlock->addWidget(title);
    titleBlock->addWidget(m_runStateLabel);
    row->addLayout(titleBlock);

    row->addStretch(1);

    m_busyIndicator = new QProgressBar(header);
    m_busyIndicator->setObjectName(QStringLiteral("busyIndicator"));
    m_busyIndicator->setRange(0, 0); // indeterminate
    m_busyIndicator->setTextVisible(false);
    m_busyIndicator->setFixedWidth(120);
    m_busyLabel = new QLabel(header);
    m_busyLabel->setObjectName(QStringLiteral("busyLabel"));
    row->addWidget(m_busyIndicator);
    row->addWidget(m_busyLabel);

    auto* refresh = makeButton(QStringLiteral("Refresh"), QStringLiteral("refreshButton"), header);
    auto* start = makeButton(QStringLiteral("Start"), QStringLiteral("startButton"), header);
    auto* stop = makeButton(QStringLiteral("Stop"), QStringLiteral("stopButton"), header);
    m_operatorButton = makeButton(QString(), QStringLiteral("operatorButton"), header);
    row->addWidget(refresh);
    row->addWidget(start);
    row->addWidget(stop);
    row->addWidget(m_operatorButton);

    connect(refresh, &QPushButton::clicked, &m_state, &AppState::refreshRunState);
    connect(start, &QPushButton::clicked, &m_state, &AppState::start);
    connect(stop, &QPushButton::clicked, &m_state, &AppState::stop);
    connect(m_operatorButton, &QPushButton::clicked, this, &ContentView::onOperatorClicked);
    return header;
}

QColor ContentView::onlineColor() {
    return QColor(0x28, 0xa7, 0x45);
}

void ContentView::setShowOperatorSheet(bool show) {
    if (m_showOperatorSheet == show)
        return;
    m_showOperatorSheet = show;
    emit showOperatorSheetChanged();
}

void ContentView::updateRunState() {
    const bool online = m_state.isRunning();
    m_runStateLabel->setText(online ? QStringLiteral("Services online") : QStringLiteral("Services offline"));
    QPalette p = m_runStateLabel->palette();
    p.setColor(QPalette::WindowText, online ? onlineColor() : palette().color(QPalette::PlaceholderText));
    m_runStateLabel->setPalette(p);
}

void ContentView::updateOperatorButton() {
    m_operatorButton->setText(m_state.operatorUnlocked() ? QStringLiteral("Operator: ON")
                                                         : QStringLiteral("Operator Unlock"));
}

void ContentView::updateBusy() {
    const bool busy = m_state.busy();
    m_busyIndicator->setVisible(busy);
    m_busyLabel->setVisible(busy);
    m_busyLabel->setText(m_state.busyText());
}

void ContentView::onOperatorClicked() {
    if (m_state.operatorUnlocked())
        m_state.lockOperator();
    else
        setShowOperatorSheet(true);
}

} // namespace zqt
