#include "window/SettingsView.h"

#include "control/AppState.h"
#include "control/EngineAddresses.h"
#include "display/Palette.h"
#include "display/PlainText.h"
#include "terminal/TicketModel.h"
#include "window/Typography.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
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

const QString kLive = QStringLiteral("LIVE");

// The control's object name: the key without its "zqt" prefix, then what the control is ("homeField",
// "autoStartSwitch", "executionModePicker").
QString controlName(const SettingSpec& row) {
    QString name = QString::fromLatin1(row.key).mid(3);
    name[0] = name[0].toLower();
    if (row.type == QMetaType::Bool)
        return name + QStringLiteral("Switch");
    return name + (row.choices.empty() ? QStringLiteral("Field") : QStringLiteral("Picker"));
}

} // namespace

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

    for (const SettingSpec* row : Settings::formRows()) {
        if (row->type == QMetaType::Bool)
            addSwitchRow(*row);
        else if (!row->choices.empty())
            addChoiceRow(*row);
        else
            addTextRow(*row);
    }

    m_pendingNote = new QLabel(formArea);
    m_pendingNote->setObjectName(QStringLiteral("pendingPortsLabel"));
    m_pendingNote->setTextFormat(Qt::PlainText);
    m_pendingNote->setWordWrap(true);
    m_pendingNote->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_form->addRow(QString(), m_pendingNote);

    auto* save = new QPushButton(QStringLiteral("Save Settings"), formArea);
    save->setObjectName(QStringLiteral("saveSettingsButton"));
    save->setAccessibleName(QStringLiteral("Save Settings"));
    // As wide as its text whatever the notes beside it show, so it never moves from under the pointer.
    save->setSizePolicy(QSizePolicy::Fixed, save->sizePolicy().verticalPolicy());
    // What the last save came to, beside the button: "Saved." or why not.
    m_saveResult = new QLabel(formArea);
    m_saveResult->setObjectName(QStringLiteral("saveResultLabel"));
    m_saveResult->setTextFormat(Qt::PlainText);
    auto* saveRow = new QHBoxLayout;
    saveRow->setSpacing(12);
    saveRow->addWidget(save, 0, Qt::AlignTop);
    saveRow->addWidget(m_saveResult);
    m_unsavedNote = new QLabel(QStringLiteral("Unsaved changes: Save Settings, Start and Stop save them."), formArea);
    m_unsavedNote->setObjectName(QStringLiteral("unsavedChangesLabel"));
    m_unsavedNote->setWordWrap(true);
    m_unsavedNote->setForegroundRole(QPalette::PlaceholderText);
    saveRow->addWidget(m_unsavedNote, 1);
    m_form->addRow(QString(), saveRow);
    connect(save, &QPushButton::clicked, this, [this] {
        commitAddressEdits();
        m_state.savePreferences();
        const QString error = m_state.settings().saveError();
        showPlainText(m_saveResult, error.isEmpty() ? QStringLiteral("Saved.") : error, kMessageTextChars);
        QPalette p = m_saveResult->palette();
        p.setColor(QPalette::WindowText,
                   error.isEmpty() ? palette().color(QPalette::PlaceholderText) : negativeColor());
        m_saveResult->setPalette(p);
    });
    // Any later edit makes "Saved." old news.
    connect(&m_state, &AppState::settingChanged, m_saveResult, [this] {
        if (m_state.settings().saveError().isEmpty())
            m_saveResult->clear();
    });

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
    connect(&m_state, &AppState::unsavedEditsChanged, this, &SettingsView::updateNotes);
    connect(&m_state, &AppState::pendingPortsChanged, this, &SettingsView::updateNotes);
    connect(&m_state, &AppState::settingChanged, this, &SettingsView::updateNotes);
    updateOutput();
    updateNotes();
}

void SettingsView::updateNotes() {
    bool unsaved = m_state.hasUnsavedEdits();
    // An address field's text counts once typed: Start and Stop commit and save it too.
    for (const auto& [field, setting] : std::as_const(m_addressFields))
        unsaved = unsaved || field->text() != m_state.settings().text(setting);
    m_unsavedNote->setVisible(unsaved);
    // The ports are settings' text: plain, bounded.
    showPlainText(m_pendingNote, m_state.pendingPortsNote(), kMessageTextChars);
    m_pendingNote->setVisible(!m_state.pendingPortsNote().isEmpty());
}

void SettingsView::commitAddressEdits() {
    for (const auto& [field, setting] : std::as_const(m_addressFields))
        m_state.set(setting, field->text());
}

void SettingsView::addTextRow(const SettingSpec& row) {
    const QString label = QString::fromUtf8(row.label);
    const Setting setting = row.setting;
    auto* field = new QLineEdit(m_form->parentWidget());
    field->setObjectName(controlName(row));
    field->setAccessibleName(label);
    field->setText(m_state.settings().text(setting));
    field->setClearButtonEnabled(false);
    if (setting == Setting::NotionalLimit)
        field->setPlaceholderText(QStringLiteral("Off (no limit)"));
    m_form->addRow(label, field);
    if (setting == Setting::NotionalLimit)
        addNotionalLimitNote(field);
    if (EngineAddresses::dependsOn(setting)) {
        m_addressFields.append({field, setting});
        // Return, or focus moving elsewhere (the Save button included).
        connect(field, &QLineEdit::editingFinished, this,
                [this, field, setting] { m_state.set(setting, field->text()); });
        connect(field, &QLineEdit::textEdited, this, &SettingsView::updateNotes);
    } else {
        connect(field, &QLineEdit::textEdited, this,
                [this, setting](const QString& text) { m_state.set(setting, text); });
    }
    connect(&m_state, &AppState::settingChanged, field, [this, field, setting](Setting changed) {
        const QString value = m_state.settings().text(setting);
        if (changed == setting && field->text() != value)
            field->setText(value);
        if (changed == setting)
            updateNotes();
    });
}

void SettingsView::addNotionalLimitNote(QLineEdit* field) {
    auto* note =
        new QLabel(QStringLiteral("Not a positive number: no notional limit is in force."), m_form->parentWidget());
    note->setObjectName(QStringLiteral("notionalLimitNote"));
    note->setWordWrap(true);
    // As wide as the fields (a wrapping label alone settles for a narrow block).
    note->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    QPalette p = note->palette();
    p.setColor(QPalette::WindowText, warningColor());
    note->setPalette(p);
    m_form->addRow(QString(), note);
    auto update = [note, field] {
        note->setVisible(!field->text().trimmed().isEmpty() && !TicketModel::notionalLimitFrom(field->text()));
    };
    connect(field, &QLineEdit::textChanged, note, update);
    update();
}

void SettingsView::addSwitchRow(const SettingSpec& row) {
    const QString label = QString::fromUtf8(row.label);
    const Setting setting = row.setting;
    auto* box = new QCheckBox(m_form->parentWidget());
    box->setObjectName(controlName(row));
    box->setAccessibleName(label);
    box->setChecked(m_state.settings().flag(setting));
    m_form->addRow(label, box);
    connect(box, &QCheckBox::toggled, this, [this, setting](bool on) { m_state.set(setting, on); });
    connect(&m_state, &AppState::settingChanged, box, [this, box, setting](Setting changed) {
        if (changed == setting)
            box->setChecked(m_state.settings().flag(setting));
    });
}

void SettingsView::addChoiceRow(const SettingSpec& row) {
    const QString label = QString::fromUtf8(row.label);
    const Setting setting = row.setting;
    auto* box = new QComboBox(m_form->parentWidget());
    box->setObjectName(controlName(row));
    box->setAccessibleName(label);
    box->addItems(Settings::choices(setting));
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // A stored value that is not one of the choices shows no choice and stays as it is until one is picked.
    auto show = [this, box, setting] {
        const QSignalBlocker block(box);
        box->setCurrentIndex(box->findText(m_state.settings().text(setting)));
    };
    show();
    m_form->addRow(label, box);
    connect(box, &QComboBox::activated, this, [this, box, setting, show](int index) {
        const QString value = box->itemText(index);
        if (setting == Setting::ExecutionMode && value == kLive &&
            m_state.settings().text(Setting::ExecutionMode) != kLive) {
            show(); // the current mode stays chosen until the operator confirms
            confirmLive();
            return;
        }
        m_state.set(setting, value);
    });
    connect(&m_state, &AppState::settingChanged, box, [setting, show](Setting changed) {
        if (changed == setting)
            show();
    });
}

void SettingsView::confirmLive() {
    auto* question =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Switch to LIVE?"), QString(), QMessageBox::Cancel, this);
    question->setObjectName(QStringLiteral("liveConfirmation"));
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->setWindowModality(Qt::WindowModal);
    // The broker mode is a stored setting: shown as plain text, bounded.
    question->setTextFormat(Qt::PlainText);
    question->setText(QStringLiteral("Orders will go to the live broker.\nBroker mode: ") +
                      shownText(m_state.settings().text(Setting::BrokerMode), kShortTextChars));
    QPushButton* live = question->addButton(QStringLiteral("Switch to LIVE"), QMessageBox::AcceptRole);
    live->setObjectName(QStringLiteral("confirmLiveButton"));
    question->setDefaultButton(QMessageBox::Cancel);
    question->setEscapeButton(QMessageBox::Cancel);
    connect(question, &QMessageBox::buttonClicked, this, [this, live](QAbstractButton* clicked) {
        if (clicked == live)
            m_state.set(Setting::ExecutionMode, kLive);
    });
    question->open();
}

void SettingsView::updateOutput() {
    const QString text = m_state.lastOutput();
    m_outputBlock->setVisible(!text.isEmpty());
    m_output->setPlainText(text);
}

} // namespace zqt
