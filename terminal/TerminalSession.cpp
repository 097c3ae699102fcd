#include "terminal/TerminalSession.h"

#include "terminal/TerminalLink.h"

namespace zqt {

TerminalSession::TerminalSession(TerminalLink& link, QObject* parent) : QObject(parent), m_link(link) {
    connect(&m_link, &TerminalLink::withheldNoticeChanged, this, &TerminalSession::setPortWarning);
    connect(&m_link, &TerminalLink::tokenChanged, this, &TerminalSession::tokenChanged);
    connect(&m_link, &TerminalLink::tokenChanged, this, &TerminalSession::signInChanged);
    setPortWarning(m_link.api().withheldNotice());
}

QString TerminalSession::token() const {
    return m_link.token();
}

void TerminalSession::setEmail(const QString& v) {
    if (m_email == v)
        return;
    m_email = v;
    emit emailChanged();
}

void TerminalSession::setPassword(const QString& v) {
    if (m_password == v)
        return;
    m_password = v;
    emit passwordChanged();
}

void TerminalSession::setLoginError(const QString& v) {
    if (m_loginError == v)
        return;
    m_loginError = v;
    emit loginErrorChanged();
}

void TerminalSession::setPortWarning(const QString& v) {
    if (m_portWarning == v)
        return;
    m_portWarning = v;
    emit portWarningChanged();
}

void TerminalSession::login() {
    setLoginError(QString());
    m_link.login(m_email, m_password, [this, email = m_email](bool ok, const QString& message) {
        if (ok) {
            m_signedInEmail = email;
            // The password has done its work: it stays in no field once the engine took it.
            setPassword(QString());
            emit signedIn();
            emit signInChanged();            // the email that goes with the token is known now
        } else if (message != m_portWarning) // a withheld sign-in: the port warning says so
            setLoginError(message);
    });
}

void TerminalSession::signOut() {
    m_signedInEmail.clear();
    setLoginError(QString());
    m_link.forgetToken();
    emit signInChanged(); // also when no token was held: the email is gone
    emit signedOut();
}

} // namespace zqt
