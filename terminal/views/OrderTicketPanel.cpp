#include "terminal/views/OrderTicketPanel.h"

#include "display/PlainText.h"
#include "terminal/MarketModel.h"
#include "terminal/TicketModel.h"
#include "terminal/views/NotionalCheck.h"
#include "terminal/views/SegmentedControl.h"
#include "terminal/views/TradingLabels.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace zqt {

OrderTicketPanel::OrderTicketPanel(TicketModel& ticket, MarketModel& market, QWidget* parent)
    : PanelCard(parent), m_model(ticket), m_market(market) {
    setObjectName(QStringLiteral("orderPanel"));
    setContentMaximumWidth(kContentWidth);
    addTitle(QStringLiteral("Order Ticket"));

    auto* pickers = new QFormLayout;
    pickers->setContentsMargins(0, 0, 0, 0);
    pickers->setHorizontalSpacing(12);
    pickers->setVerticalSpacing(8);
    pickers->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_symbol = new QComboBox(this);
    m_symbol->setObjectName(QStringLiteral("orderSymbolPicker"));
    m_symbol->setAccessibleName(QStringLiteral("Symbol"));
    m_symbol->addItems(m_market.watchlist());
    pickers->addRow(QStringLiteral("Symbol"), m_symbol);
    QStringList typeLabels;
    for (OrderType t : allOrderTypes())
        typeLabels.append(orderTypeLabel(t));
    m_orderType = new SegmentedControl(typeLabels, QStringLiteral("Order Type"), this);
    m_orderType->setObjectName(QStringLiteral("orderTypePicker"));
    pickers->addRow(QStringLiteral("Order Type"), m_orderType);
    QStringList sideLabels;
    for (Side s : allSides())
        sideLabels.append(sideLabel(s));
    m_side = new SegmentedControl(sideLabels, QStringLiteral("Side"), this);
    m_side->setObjectName(QStringLiteral("sidePicker"));
    pickers->addRow(QStringLiteral("Side"), m_side);
    column()->addLayout(pickers);

    // The typed fields keep their labels in view when they hold text.
    m_fieldForm = new QFormLayout;
    m_fieldForm->setContentsMargins(0, 0, 0, 0);
    m_fieldForm->setHorizontalSpacing(12);
    m_fieldForm->setVerticalSpacing(8);
    m_fieldForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    column()->addLayout(m_fieldForm);

    using M = TicketModel;
    addField(QStringLiteral("Qty"), QStringLiteral("qtyField"), &M::qty, &M::setQty);
    m_limitPrice =
        addField(QStringLiteral("Limit Price"), QStringLiteral("limitPriceField"), &M::limitPrice, &M::setLimitPrice);
    m_stopPrice =
        addField(QStringLiteral("Stop Price"), QStringLiteral("stopPriceField"), &M::stopPrice, &M::setStopPrice);
    addField(QStringLiteral("SL"), QStringLiteral("slField"), &M::sl, &M::setSl);
    addField(QStringLiteral("TP"), QStringLiteral("tpField"), &M::tp, &M::setTp);

    auto* place = new QPushButton(QStringLiteral("Place Order"), this);
    place->setObjectName(QStringLiteral("placeOrderButton"));
    place->setAutoDefault(false);
    m_place = place;
    m_notional = new QLabel(this);
    m_notional->setObjectName(QStringLiteral("notionalLabel"));
    m_notional->setTextFormat(Qt::PlainText);
    m_notional->setAccessibleName(QStringLiteral("Notional"));
    m_signIn = new QLabel(QStringLiteral("Sign in to trade"), this);
    m_signIn->setObjectName(QStringLiteral("ticketSignInLabel"));
    m_signIn->setForegroundRole(QPalette::PlaceholderText);
    auto* placeRow = new QHBoxLayout;
    placeRow->setContentsMargins(0, 0, 0, 0);
    placeRow->setSpacing(12);
    placeRow->addWidget(place);
    placeRow->addWidget(m_notional);
    placeRow->addWidget(m_signIn);
    placeRow->addStretch(1);
    column()->addLayout(placeRow);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("orderMessageLabel"));
    m_message->setForegroundRole(QPalette::PlaceholderText);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column()->addWidget(m_message);

    connect(m_symbol, &QComboBox::activated, this,
            [this](int index) { m_market.setSelectedSymbol(m_symbol->itemText(index)); });
    connect(m_orderType, &SegmentedControl::activated, this, [this](const QString& label) {
        if (const auto type = orderTypeForLabel(label))
            m_model.setOrderType(*type);
    });
    connect(m_side, &SegmentedControl::activated, this, [this](const QString& label) {
        if (const auto side = sideForLabel(label))
            m_model.setSide(*side);
    });
    connect(place, &QPushButton::clicked, this, [this] {
        if (m_model.canTrade())
            sendWithinNotionalLimit(this, m_model, [this] { m_model.placeOrder(); });
    });
    connect(&m_model, &TicketModel::canTradeChanged, this, &OrderTicketPanel::updateTrading);
    connect(&m_model, &TicketModel::notionalChanged, this, &OrderTicketPanel::updateTrading);
    connect(&m_model, &TicketModel::orderFormChanged, this, &OrderTicketPanel::updateForm);
    connect(&m_model, &TicketModel::orderMessageChanged, this, &OrderTicketPanel::updateMessage);
    connect(&m_market, &MarketModel::selectedSymbolChanged, this, &OrderTicketPanel::updateSymbol);
    updateForm();
    updateMessage();
    updateSymbol();
    updateTrading();
}

QLineEdit* OrderTicketPanel::addField(const QString& placeholder, const QString& name,
                                      const QString& (TicketModel::*get)() const,
                                      void (TicketModel::*set)(const QString&)) {
    auto* field = new QLineEdit(this);
    field->setObjectName(name);
    // Sizes and prices are short; a longer paste is a mistake, and echoed in the notional and the quick-order
    // line it would widen the cards past their docks.
    field->setMaxLength(kTicketFieldChars);
    field->setPlaceholderText(placeholder);
    field->setAccessibleName(placeholder);
    m_fieldForm->addRow(placeholder, field);
    connect(field, &QLineEdit::textEdited, &m_model, [this, set](const QString& text) { (m_model.*set)(text); });
    m_fields.append({field, get});
    return field;
}

void OrderTicketPanel::updateForm() {
    for (const auto& [field, get] : m_fields) {
        const QString& value = (m_model.*get)();
        if (field->text() != value)
            field->setText(value);
    }
    m_orderType->setValue(orderTypeLabel(m_model.orderType()));
    m_side->setValue(sideLabel(m_model.side()));
    m_fieldForm->setRowVisible(m_limitPrice, m_model.orderType() == OrderType::Limit);
    m_fieldForm->setRowVisible(m_stopPrice, m_model.orderType() == OrderType::Stop);
}

void OrderTicketPanel::updateMessage() {
    // It may quote the engine or a redirect's target: plain text, bounded.
    showPlainText(m_message, m_model.orderMessage(), kMessageTextChars);
    m_message->setVisible(!m_model.orderMessage().isEmpty());
}

void OrderTicketPanel::updateTrading() {
    const bool canTrade = m_model.canTrade();
    m_place->setEnabled(canTrade);
    m_signIn->setVisible(!canTrade);
    // No price of the ticket's symbol yet, or a quantity that is no number: no figure rather than a wrong one.
    m_notional->setText(m_model.notionalText());
    m_notional->setVisible(!m_model.notionalText().isEmpty());
}

void OrderTicketPanel::updateSymbol() {
    m_symbol->setCurrentIndex(m_symbol->findText(m_market.selectedSymbol()));
}

} // namespace zqt
