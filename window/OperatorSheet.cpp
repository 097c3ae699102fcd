#include "window/OperatorSheet.h"

#include "control/AppState.h"
#include "display/Palette.h"
#include "window/Typography.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zqt {

namespace {

constexpr int kSheetWidth = 320; // content width, device-independent pixels

} // namespace

OperatorSheet::OperatorSheet(AppState& state, QWidget* parent) : QDialog(parent), m_state(state) {
    setObjectName(QStringLiteral("operatorSheet"));
    setWindowTitle(QStringLiteral("Operator Unlock"));
    setWindowModality(Qt::WindowModal);
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(12);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* title = new QLabel(QStringLiteral("Operator Unlock"), this);
    title->setFont(Typography::headline(this));
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    m_pass = new QLineEdit(this);
    m_pass->setObjectName(QStringLiteral("operatorPassField"));
    m_pass->setAccessibleName(QStringLiteral("Passcode"));
    m_pass->setPlaceholderText(QStringLiteral("Passcode"));
    m_pass->setEchoMode(QLineEdit::Password);
    m_pass->setFixedWidth(kSheetWidth);
    layout->addWidget(m_pass);

    m_errorLabel = new QLabel(this);
    m_errorLabel->setObjectName(QStringLiteral("operatorErrorLabel"));
    m_errorLabel->setAlignment(Qt::AlignCenter);
    QPalette red = m_errorLabel->palette();
    red.setColor(QPalette::WindowText, negativeColor());
    m_errorLabel->setPalette(red);
    m_errorLabel->hide();
    layout->addWidget(m_errorLabel);

    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("operatorCancelButton"));
    cancelButton->setAutoDefault(false);
    auto* unlockButton = new QPushButton(QStringLiteral("Unlock"), this);
    unlockButton->setObjectName(QStringLiteral("operatorUnlockButton"));
    unlockButton->setDefault(true);
    row->addStretch(1);
    row->addWidget(cancelButton);
    row->addWidget(unlockButton);
    row->addStretch(1);
    layout->addLayout(row);

    connect(cancelButton, &QPushButton::clicked, this, &OperatorSheet::cancel);
    connect(unlockButton, &QPushButton::clicked, this, &OperatorSheet::unlock);
    connect(m_pass, &QLineEdit::textChanged, this, &OperatorSheet::operatorPassChanged);
}

QString OperatorSheet::operatorPass() const {
    return m_pass->text();
}

void OperatorSheet::unlock() {
    if (m_state.unlockOperator(m_pass->text())) {
        m_pass->clear();
        setError({});
        accept();
    } else {
        setError(QStringLiteral("Invalid passcode."));
        m_pass->setFocus();
    }
}

void OperatorSheet::cancel() {
    m_pass->clear();
    setError({});
    QDialog::reject();
}

void OperatorSheet::reject() {
    cancel();
}

void OperatorSheet::setError(const QString& error) {
    if (m_error == error)
        return;
    m_error = error;
    m_errorLabel->setText(error);
    m_errorLabel->setVisible(!error.isEmpty());
    emit operatorErrorChanged();
}

} // namespace zqt
