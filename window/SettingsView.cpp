#include "window/SettingsView.h"

#include "control/AppState.h"
#include "window/Typography.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace zqt {

namespace {

// Tallest the output block's text area grows, in device-independent pixels.
constexpr int kOutputMaxHeight = 200;
// Widest the form grows.
constexpr int kFormMaxWidth = 760;

} // namespace

QStringList SettingsView::executionModes() {
    return {QStringLiteral("DRY_RUN"), QStringLiteral("LIVE")};
}

QStringList SettingsView::brokerModes() {
    return {QStringLiteral("SIM_BROKER"), QStringLiteral("OANDA"), QStringLiteral("IBKR"), QStringLiteral("TRADOVATE"),
            QStringLiteral("COINBASE")};
}

SettingsView::SettingsView(AppState& state, QWidget* parent) : QWidget(parent), m_state(state) {
    setObjectName(QStringLiteral("settingsView"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);

    // The form scrolls when the window is short; its width follows the window.
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);
    auto* content = new QWidget(scroll);
    scroll->setWidget(content);

    // Fields at a comfortable reading width on wide windows, left-aligned.
    auto* holder = new QHBoxLayout(content);
    holder->setContentsMargins(0, 0, 0, 0);
    auto* formArea = new QWidget(content);
    formArea->setMaximumWidth(kFormMaxWidth);
    holder->addWidget(formArea, 10); // takes all the width up to its maximum
    holder->addStretch(1);
    auto* column = new QVBoxLayout(formArea);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(16);

    m_form = new QFormLayout;
    m_form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    m_form->setHorizontalSpacing(12);
    m_form->setVerticalSpacing(8);
    column->addLayout(m_form);

    using S = AppState;
    addTextRow(QStringLiteral("ZQT Home Path"), QStringLiteral("homeField"), &S::zqtHome, &S::setZqtHome,
               &S::zqtHomeChanged);
    addTextRow(QStringLiteral("Bind Host"), QStringLiteral("hostField"), &S::host, &S::setHost, &S::hostChanged);
    addTextRow(QStringLiteral("Port"), QStringLiteral("portField"), &S::port, &S::setPort, &S::portChanged);
    addSwitchRow(QStringLiteral("Auto-start Services"), QStringLiteral("autoStartSwitch"), &S::autoStart,
                 &S::setAutoStart, &S::autoStartChanged);
    addSwitchRow(QStringLiteral("Start Marketing Site"), QStringLiteral("startMarketingSwitch"), &S::startMarketing,
                 &S::setStartMarketing, &S::startMarketingChanged);
    addTextRow(QStringLiteral("Marketing Port"), QStringLiteral("marketingPortField"), &S::marketingPort,
               &S::setMarketingPort, &S::marketingPortChanged);
    addSwitchRow(QStringLiteral("Start Trader Portal"), QStringLiteral("startPortalSwitch"), &S::startPortal,
                 &S::setStartPortal, &S::startPortalChanged);
    addTextRow(QStringLiteral("Portal Port"), QStringLiteral("portalPortField"), &S::portalPort, &S::setPortalPort,
               &S::portalPortChanged);
    addSwitchRow(QStringLiteral("Demo Mode"), QStringLiteral("demoModeSwitch"), &S::demoMode, &S::setDemoMode,
                 &S::demoModeChanged);
    addChoiceRow(QStringLiteral("Execution Mode"), QStringLiteral("executionModePicker"), executionModes(),
                 &S::executionMode, &S::setExecutionMode, &S::executionModeChanged);
    addChoiceRow(QStringLiteral("Broker Mode"), QStringLiteral("brokerModePicker"), brokerModes(), &S::brokerMode,
                 &S::setBrokerMode, &S::brokerModeChanged);

    auto* save = new QPushButton(QStringLiteral("Save Settings"), formArea);
    save->setObjectName(QStringLiteral("saveSettingsButton"));
    save->setAccessibleName(QStringLiteral("Save Settings"));
    m_form->addRow(QString(), save);
    connect(save, &QPushButton::clicked, &m_state, &AppState::savePreferences);

    m_outputBlock = new QWidget(formArea);
    m_outputBlock->setObjectName(QStringLiteral("lastOutputBlock"));
    auto* outputLayout = new QVBoxLayout(m_outputBlock);
    outputLayout->setContentsMargins(0, 0, 0, 0);
    outputLayout->setSpacing(8);
    auto* heading = new QLabel(QStringLiteral("Last Output"), m_outputBlock);
    heading->setFont(Typography::headline(this));
    m_output = new QPlainTextEdit(m_outputBlock);
    m_output->setObjectName(QStringLiteral("lastOutputView"));
    m_output->setAccessibleName(QStringLiteral("Last Output"));
    m_output->setReadOnly(true);
    m_output->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_output->setFont(Typography::monospaced());
    m_output->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_output->setMaximumHeight(kOutputMaxHeight);
    heading->setBuddy(m_output);
    outputLayout->addWidget(heading);
    outputLayout->addWidget(m_output);
    column->addWidget(m_outputBlock);
    column->addStretch(1);

    connect(&m_state, &AppState::lastOutputChanged, this, &SettingsView::updateOutput);
    updateOutput();
}

QLineEdit* SettingsView::addTextRow(const QString& label, const QString& name, QString (AppState::*get)() const,
                                    void (AppState::*set)(const QString&), void (AppState::*changed)()) {
    auto* field = new QLineEdit(m_form->parentWidget());
    field->setObjectName(name);
    field->setAccessibleName(label);
    field->setText((m_state.*get)());
    field->setClearButtonEnabled(false);
    m_form->addRow(label, field);
    connect(field, &QLineEdit::textEdited, &m_state, [this, set](const QString& text) { (m_state.*set)(text); });
    connect(&m_state, changed, field, [this, field, get] {
        const QString value = (m_state.*get)();
        if (field->text() != value)
            field->setText(value);
    });
    return field;
}

QCheckBox* SettingsView::addSwitchRow(const QString& label, const QString& name, bool (AppState::*get)() const,
                                      void (AppState::*set)(bool), void (AppState::*changed)()) {
    auto* box = new QCheckBox(m_form->parentWidget());
    box->setObjectName(name);
    box->setAccessibleName(label);
    box->setChecked((m_state.*get)());
    m_form->addRow(label, box);
    connect(box, &QCheckBox::toggled, &m_state, [this, set](bool on) { (m_state.*set)(on); });
    connect(&m_state, changed, box, [this, box, get] { box->setChecked((m_state.*get)()); });
    return box;
}

QComboBox* SettingsView::addChoiceRow(const QString& label, const QString& name, const QStringList& choices,
                                      QString (AppState::*get)() const, void (AppState::*set)(const QString&),
                                      void (AppState::*changed)()) {
    auto* box = new QComboBox(m_form->parentWidget());
    box->setObjectName(name);
    box->setAccessibleName(label);
    box->addItems(choices);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // A stored value that is not one of the choices shows no choice and stays as it is until one is picked.
    auto show = [this, box, get] {
        const QSignalBlocker block(box);
        box->setCurrentIndex(box->findText((m_state.*get)()));
    };
    show();
    m_form->addRow(label, box);
    connect(box, &QComboBox::activated, &m_state,
            [this, box, set](int index) { (m_state.*set)(box->itemText(index)); });
    connect(&m_state, changed, box, show);
    return box;
}

void SettingsView::updateOutput() {
    const QString text = m_state.lastOutput();
    m_outputBlock->setVisible(!text.isEmpty());
    m_output->setPlainText(text);
}

} // namespace zqt
