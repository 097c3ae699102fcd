#pragma once

#include "terminal/views/PanelCard.h"

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zqt {

class MarketModel;
class TicketModel;
class SegmentedControl;

// Row 3, right (`orderPanel`): the order ticket. Symbol, order type and side pickers, the quantity, the limit or
// stop price (shown for LIMIT and STOP only; a hidden field keeps its text and is still sent), SL and TP, each
// field with its label beside it, "Place Order" with the order's notional beside it, and the outcome line. Fields
// are sent as typed. Before sign-in Place Order is off and says why ("Sign in to trade"); an order above the
// notional limit asks first (see NotionalCheck.h).
class OrderTicketPanel final : public PanelCard {
    Q_OBJECT

public:
    // Longest text a ticket field takes, in characters.
    static constexpr int kTicketFieldChars = 32;

    // `ticket` and `market` (whose symbol it picks) must outlive the panel.
    OrderTicketPanel(TicketModel& ticket, MarketModel& market, QWidget* parent = nullptr);

    static constexpr int kContentWidth = 360;

private:
    QLineEdit* addField(const QString& placeholder, const QString& name, const QString& (TicketModel::*get)() const,
                        void (TicketModel::*set)(const QString&));
    void updateForm();
    void updateMessage();
    void updateSymbol();
    void updateTrading();

    TicketModel& m_model;
    MarketModel& m_market;
    QComboBox* m_symbol = nullptr;
    SegmentedControl* m_orderType = nullptr;
    SegmentedControl* m_side = nullptr;
    QList<std::pair<QLineEdit*, const QString& (TicketModel::*)() const>> m_fields;
    QLineEdit* m_limitPrice = nullptr;
    QLineEdit* m_stopPrice = nullptr;
    QLabel* m_message = nullptr;
    QFormLayout* m_fieldForm = nullptr;
    QPushButton* m_place = nullptr;
    QLabel* m_notional = nullptr;
    QLabel* m_signIn = nullptr;
};

} // namespace zqt
