#include "terminal/views/LoginPanel.h"

#include "terminal/MarketModel.h"
#include "terminal/TerminalSession.h"
#include "terminal/views/DisplayHelpers.h"

#include "display/PlainText.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace zqt {

namespace {

QLabel* makeErrorLine(const QString& name, const QColor& color, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The role is named because on the page's text-coloured background a label would otherwise draw in Text.
    label->setForegroundRole(QPalette::WindowText);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
    label->hide();
    return label;
}

} // namespace

QString LoginPanel::demoEmail() {
    return QStringLiteral("demo@zqt.local");
}

QString LoginPanel::demoPassword() {
    return QStringLiteral("demo-pass-1");
}

LoginPanel::LoginPanel(TerminalSession& session, const MarketModel& market, QWidget* parent)
    : PanelCard(parent), m_model(session), m_market(market) {
    setObjectName(QStringLiteral("loginPanel"));
    addTitle(QStringLiteral("Native Terminal Login"));

    m_form = new QWidget(this);
    m_form->setObjectName(QStringLiteral("loginForm"));
    auto* row = new QHBoxLayout(m_form);
    row->setContentsMargins(0, 0, 0, 0);
    m_email = new QLineEdit(this);
    m_email->setObjectName(QStringLiteral("emailField"));
    m_email->setPlaceholderText(QStringLiteral("Email"));
    m_email->setAccessibleName(QStringLiteral("Email"));
    m_email->setMinimumWidth(220);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("passwordField"));
    m_password->setPlaceholderText(QStringLiteral("Password"));
    m_password->setAccessibleName(QStringLiteral("Password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMinimumWidth(180);
    auto* login = new QPushButton(QStringLiteral("Login"), this);
    login->setObjectName(QStringLiteral("loginButton"));
    login->setAutoDefault(false);
    auto* demo = new QPushButton(QStringLiteral("Demo Login"), this);
    demo->setObjectName(QStringLiteral("demoLoginButton"));
    demo->setAutoDefault(false);
    row->addWidget(m_email);
    row->addWidget(m_password);
    row->addWidget(login);
    row->addWidget(demo);
    column()->addWidget(m_form);

    m_signedIn = new QWidget(this);
    m_signedIn->setObjectName(QStringLiteral("signedInRow"));
    auto* signedInRow = new QHBoxLayout(m_signedIn);
    signedInRow->setContentsMargins(0, 0, 0, 0);
    m_signedInLabel = new QLabel(m_signedIn);
    m_signedInLabel->setObjectName(QStringLiteral("signedInLabel"));
    auto* signOut = new QPushButton(QStringLiteral("Sign Out"), m_signedIn);
    signOut->setObjectName(QStringLiteral("signOutButton"));
    signOut->setAutoDefault(false);
    signedInRow->addWidget(m_signedInLabel);
    signedInRow->addWidget(signOut);
    signedInRow->addStretch(1);
    column()->addWidget(m_signedIn);
    connect(signOut, &QPushButton::clicked, &m_model, &TerminalSession::signOut);

    m_loginError = makeErrorLine(QStringLiteral("loginErrorLabel"), negativeColor(), this);
    m_marketError = makeErrorLine(QStringLiteral("marketErrorLabel"), warningColor(), this);
    m_portWarning = makeErrorLine(QStringLiteral("portWarningLabel"), negativeColor(), this);
    m_portWarning->setTextFormat(Qt::PlainText);
    column()->addWidget(m_portWarning);
    column()->addWidget(m_loginError);
    column()->addWidget(m_marketError);

    m_email->setText(m_model.email());
    m_password->setText(m_model.password());
    // Every keystroke reaches the terminal; Return signs in (see eventFilter).
    m_email->installEventFilter(this);
    m_password->installEventFilter(this);
    connect(m_email, &QLineEdit::textEdited, &m_model, &TerminalSession::setEmail);
    connect(m_password, &QLineEdit::textEdited, &m_model, &TerminalSession::setPassword);
    connect(&m_model, &TerminalSession::emailChanged, this, [this] {
        if (m_email->text() != m_model.email())
            m_email->setText(m_model.email());
    });
    connect(&m_model, &TerminalSession::passwordChanged, this, [this] {
        if (m_password->text() != m_model.password())
            m_password->setText(m_model.password());
    });
    connect(login, &QPushButton::clicked, &m_model, &TerminalSession::login);
    connect(demo, &QPushButton::clicked, this, [this] {
        m_model.setEmail(demoEmail());
        m_model.setPassword(demoPassword());
        m_model.login();
    });
    connect(&m_model, &TerminalSession::loginErrorChanged, this, &LoginPanel::updateErrors);
    connect(&m_market, &MarketModel::marketErrorChanged, this, &LoginPanel::updateErrors);
    connect(&m_model, &TerminalSession::portWarningChanged, this, &LoginPanel::updateErrors);
    connect(&m_model, &TerminalSession::signInChanged, this, &LoginPanel::updateSignIn);
    updateErrors();
    updateSignIn();
}

bool LoginPanel::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == m_email || watched == m_password) && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
            // One sign-in per press: the presses a held key repeats send nothing.
            if (!key->isAutoRepeat() && !m_keys.isRepeat(key->key()))
                m_model.login();
            return true;
        }
    }
    return PanelCard::eventFilter(watched, event);
}

void LoginPanel::updateSignIn() {
    const bool signedIn = m_model.isSignedIn();
    const QString email = m_model.signedInEmail();
    // The email is the one typed for this sign-in: plain text, bounded.
    showPlainText(m_signedInLabel,
                  email.isEmpty() ? QStringLiteral("Signed in") : QStringLiteral("Signed in as ") + email,
                  kMessageTextChars);
    m_signedIn->setVisible(signedIn);
    m_form->setVisible(!signedIn);
}

void LoginPanel::updateErrors() {
    showPlainText(m_portWarning, m_model.portWarning(), kMessageTextChars);
    m_portWarning->setVisible(!m_model.portWarning().isEmpty());
    // The login error quotes the network layer or a redirect's target: plain text, bounded.
    showPlainText(m_loginError, m_model.loginError(), kMessageTextChars);
    m_loginError->setVisible(!m_model.loginError().isEmpty());
    showPlainText(m_marketError, m_market.marketError(), kMessageTextChars);
    m_marketError->setVisible(!m_market.marketError().isEmpty());
}

} // namespace zqt
