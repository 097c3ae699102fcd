#pragma once

#include <QObject>
#include <QString>

namespace zqt {

class TerminalLink;

// The terminal's sign-in: the form's email and password, the outcome of the last login, the token the link holds
// and why it is withheld from the engine's port. Main thread only.
class TerminalSession final : public QObject {
    Q_OBJECT

public:
    // `link` must outlive the session.
    explicit TerminalSession(TerminalLink& link, QObject* parent = nullptr);

    const QString& email() const { return m_email; }
    const QString& password() const { return m_password; }
    const QString& loginError() const { return m_loginError; }
    // One line while the client withholds the token and sign-in because another user's program holds the
    // engine's port ("Port <n> is held by another user's program: sign-in and token withheld."); empty otherwise.
    const QString& portWarning() const { return m_portWarning; }
    // The client's sign-in token; tokenChanged tells when a login (or anything else) replaces it.
    QString token() const;
    // Whether a token is held: orders and the account's reads need one.
    bool isSignedIn() const { return !token().isEmpty(); }
    // The email of the sign-in that got the token held now; empty when the token came from an earlier run (or
    // none is held).
    const QString& signedInEmail() const { return m_signedInEmail; }

    void setEmail(const QString& v);
    void setPassword(const QString& v);

    // Signs in with the email and password; a success emits signedIn, a refusal or failure sets loginError (a
    // sign-in withheld from the port leaves that to portWarning).
    void login();
    // Forgets the token (see TerminalLink::forgetToken): later requests carry none. Emits signedOut.
    void signOut();

signals:
    void emailChanged();
    void passwordChanged();
    void loginErrorChanged();
    void portWarningChanged();
    void tokenChanged();
    void signedIn();
    void signedOut();
    // isSignedIn or signedInEmail may have changed.
    void signInChanged();

private:
    void setLoginError(const QString& v);
    void setPortWarning(const QString& v);

    TerminalLink& m_link;
    QString m_email;
    QString m_password;
    QString m_loginError;
    QString m_portWarning;
    QString m_signedInEmail;
};

} // namespace zqt
