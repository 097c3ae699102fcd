#pragma once

#include "control/Settings.h"

#include <QList>
#include <QWidget>

#include <utility>

class QFormLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace zqt {

class AppState;

// The operator's engine settings, one row per setting the settings table places in the form (no validation: any text is
// accepted in the port fields); "Save Settings" writes them to the preferences store. Below, while the last script
// printed anything, its output.
//
// Switches, pickers and the home path edit their setting at once, except a switch of Execution Mode to LIVE: it
// asks first ("Orders will go to the live broker.", naming the broker mode), and the mode changes only when the
// operator confirms; until then, and after Cancel, the previous mode stays. The host and the three ports form the
// engine's addresses, so an edit there takes effect when it is committed: Return, leaving the field, or Save Settings;
// until then nothing is sent to the address being typed.
//
// Beside Save Settings, while edits are not saved (typed into an address field or set elsewhere), a note says that
// Save Settings, Start and Stop save them. Under the fields, a port the engine's runtime ports file replaced says so
// and that the operator's value applies at the next start (see AppState::pendingPortsNote).
class SettingsView final : public QWidget {
    Q_OBJECT

public:
    explicit SettingsView(AppState& state, QWidget* parent = nullptr);

    // Hands every host and port field's text to its setting.
    void commitAddressEdits();

private:
    void addTextRow(const SettingSpec& row);
    // Under the Notional Limit field, a warning while its text is neither empty nor a positive number: such a text
    // means no limit, which the operator would not guess from the field.
    void addNotionalLimitNote(QLineEdit* field);
    void addSwitchRow(const SettingSpec& row);
    void addChoiceRow(const SettingSpec& row);
    void updateOutput();
    void updateNotes();
    // Asks whether to switch the execution mode to LIVE (window-modal, returns at once); sets it on confirmation.
    void confirmLive();

    AppState& m_state;
    QFormLayout* m_form = nullptr;
    QLabel* m_saveResult = nullptr;
    QLabel* m_unsavedNote = nullptr;
    QLabel* m_pendingNote = nullptr;
    QList<std::pair<QLineEdit*, Setting>> m_addressFields;
    QWidget* m_outputBlock = nullptr;
    QPlainTextEdit* m_output = nullptr;
};

} // namespace zqt
