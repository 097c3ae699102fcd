#pragma once

#include "terminal/views/PanelCard.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace zqt {

class MarketModel;
class TicketModel;
class SegmentedControl;

// Row 3, right (`orderPanel`): the order ticket. Symbol, order type and side pickers, the quantity, the limit or
// stop price (shown for LIMIT and STOP only; a hidden field keeps its text and is still sent), SL and TP,
// "Place Order", and the outcome line. Fields are sent as typed.
class OrderTicketPanel final : public PanelCard {
    Q_OBJECT

public:
    // `ticket` and `market` (whose symbol it picks) must outlive the panel.
    OrderTicketPanel(TicketModel& ticket, MarketModel& market, QWidget* parent = nullptr);

    static constexpr int kContentWidth = 360;

private:
    QLineEdit* addField(const QString& placeholder, const QString& name, const QString& (TicketModel::*get)() const,
                        void (TicketModel::*set)(const QString&));
    void updateForm();
    void updateMessage();
    void updateSymbol();

    TicketModel& m_model;
    MarketModel& m_market;
    QComboBox* m_symbol = nullptr;
    SegmentedControl* m_orderType = nullptr;
    SegmentedControl* m_side = nullptr;
    QList<std::pair<QLineEdit*, const QString& (TicketModel::*)() const>> m_fields;
    QLineEdit* m_limitPrice = nullptr;
    QLineEdit* m_stopPrice = nullptr;
    QLabel* m_message = nullptr;
};

} // namespace zqt
