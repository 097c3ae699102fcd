#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QPlainTextEdit;

namespace zqt {

class AppState;

// The operator's engine settings. Every control edits its AppState field at once (no validation: any text is
// accepted in the port fields); "Save Settings" writes them to the preferences store. Below, while the last
// script printed anything, its output.
class SettingsView final : public QWidget {
    Q_OBJECT

public:
    explicit SettingsView(AppState& state, QWidget* parent = nullptr);

    static QStringList executionModes();
    static QStringList brokerModes();

private:
    QLineEdit* addTextRow(const QString& label, const QString& name, QString (AppState::*get)() const,
                          void (AppState::*set)(const QString&), void (AppState::*changed)());
    QCheckBox* addSwitchRow(const QString& label, const QString& name, bool (AppState::*get)() const,
                            void (AppState::*set)(bool), void (AppState::*changed)());
    QComboBox* addChoiceRow(const QString& label, const QString& name, const QStringList& choices,
                            QString (AppState::*get)() const, void (AppState::*set)(const QString&),
                            void (AppState::*changed)());
    void updateOutput();

    AppState& m_state;
    QFormLayout* m_form = nullptr;
    QWidget* m_outputBlock = nullptr;
    QPlainTextEdit* m_output = nullptr;
};

} // namespace zqt
