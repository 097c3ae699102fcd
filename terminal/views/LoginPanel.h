#pragma once

#include "display/KeyRepeatWatch.h"
#include "terminal/views/PanelCard.h"

class QLabel;
class QLineEdit;

namespace zqt {

class MarketModel;
class TerminalSession;

// Row 1: e-mail and password bound to the session, "Login", "Demo Login", and the login and market error lines.
// Return in either field signs in as Login does, once per press however long the key is held. Once a token is
// held the form gives way to "Signed in as <email>" and "Sign Out".
class LoginPanel final : public PanelCard {
    Q_OBJECT

public:
    // `session` and `market` (whose error line it shows) must outlive the panel.
    LoginPanel(TerminalSession& session, const MarketModel& market, QWidget* parent = nullptr);

    // The demo account the engine seeds.
    static QString demoEmail();
    static QString demoPassword();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateErrors();
    void updateSignIn();

    TerminalSession& m_model;
    const MarketModel& m_market;
    QLineEdit* m_email = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_loginError = nullptr;
    QLabel* m_marketError = nullptr;
    QLabel* m_portWarning = nullptr;
    QWidget* m_form = nullptr;
    QWidget* m_signedIn = nullptr;
    QLabel* m_signedInLabel = nullptr;
    KeyRepeatWatch m_keys;
};

} // namespace zqt
