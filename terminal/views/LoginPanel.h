#pragma once

#include "terminal/views/PanelCard.h"

class QLabel;
class QLineEdit;

namespace zqt {

class NativeTerminalModel;

// Row 1: e-mail and password bound to the terminal, "Login", "Demo Login", and the login and market error lines.
class LoginPanel final : public PanelCard {
    Q_OBJECT

public:
    explicit LoginPanel(NativeTerminalModel& model, QWidget* parent = nullptr);

    // The demo account the engine seeds.
    static QString demoEmail();
    static QString demoPassword();

private:
    void updateErrors();

    NativeTerminalModel& m_model;
    QLineEdit* m_email = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_loginError = nullptr;
    QLabel* m_marketError = nullptr;
    QLabel* m_portWarning = nullptr;
};

} // namespace zqt
