#include "terminal/views/NotionalCheck.h"

#include "terminal/TicketModel.h"

#include <QMessageBox>
#include <QPushButton>

namespace zqt {

void sendWithinNotionalLimit(QWidget* parent, const TicketModel& ticket, std::function<void()> send) {
    if (!ticket.exceedsNotionalLimit()) {
        send();
        return;
    }
    auto* question = new QMessageBox(QMessageBox::Warning, QStringLiteral("Above the notional limit"), QString(),
                                     QMessageBox::Yes | QMessageBox::No, parent);
    question->setObjectName(QStringLiteral("notionalConfirmation"));
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->setWindowModality(Qt::WindowModal);
    // The quantity is the trader's free text, but only the computed figures are shown.
    question->setTextFormat(Qt::PlainText);
    question->setText(
        QStringLiteral("Send an order of %1?\nIts notional is above your limit of %2 %3.")
            .arg(ticket.notionalText(), TicketModel::moneyText(*ticket.notionalLimit()), TicketModel::quoteCurrency()));
    question->button(QMessageBox::Yes)->setObjectName(QStringLiteral("confirmNotionalButton"));
    question->button(QMessageBox::No)->setObjectName(QStringLiteral("refuseNotionalButton"));
    question->setDefaultButton(QMessageBox::No);
    question->setEscapeButton(QMessageBox::No);
    QObject::connect(question, &QMessageBox::buttonClicked, question,
                     [question, send = std::move(send)](QAbstractButton* clicked) {
                         if (question->buttonRole(clicked) == QMessageBox::YesRole)
                             send();
                     });
    question->open();
}

} // namespace zqt
