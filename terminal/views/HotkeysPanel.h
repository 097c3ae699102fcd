#pragma once

#include "display/KeyRepeatWatch.h"
#include "terminal/views/PanelCard.h"

class QLabel;
class QShortcut;

namespace zqt {

class TicketModel;

// Row 5, right (`hotkeysPanel`, all the width left): "Quick Actions" with Buy (B) and Sell (S) at market,
// Limit (L) on the ticket's side, Cancel All (C), Close All (X), and the caption on the ladder price. Below them,
// what a quick order carries from the ticket (TicketModel::quickOrderSummary, kept current) and the outcome of the
// latest quick action (TicketModel::quickMessage; a ticket order's outcome stays under the ticket). Before sign-in
// the buttons are off and the card says "Sign in to trade"; the keys then send nothing either. An order above the
// notional limit asks first (see NotionalCheck.h).
//
// Ctrl+B, S, L, C and X do the same, but only while the page is on screen (the Native Terminal tab is the
// current one) and never while the focus is where those keys edit: in a text field or selectable text all five
// are off, so Ctrl+C and Ctrl+X copy and cut there, and a second caption says "Shortcuts paused while typing"
// (it is hidden otherwise); in a table Ctrl+C and Ctrl+X copy. A held key acts once: the repeats the keyboard
// sends while it is down are ignored.
class HotkeysPanel final : public PanelCard {
    Q_OBJECT

public:
    explicit HotkeysPanel(TicketModel& model, QWidget* parent = nullptr);
    // Leaves the application's focus signal first: deleting the children moves the focus, which would otherwise
    // call back into this half-destroyed panel.
    ~HotkeysPanel() override;

    // Whether the focus is on a widget where typing or selecting text happens (a line edit, a text view,
    // a spin box, an editable combo box, a label whose text can be selected).
    static bool isTextFocus(const QWidget* focus);
    // Whether the focus is on a list whose cells Ctrl+C copies.
    static bool isCopyFocus(const QWidget* focus);

private:
    void updateShortcuts();
    void updateTrading();
    void updateCarried();
    void updateOutcome();

    TicketModel& m_model;
    QList<QShortcut*> m_shortcuts;
    QList<QShortcut*> m_editShortcuts; // Ctrl+C and Ctrl+X
    QLabel* m_paused = nullptr;
    QList<QWidget*> m_buttons;
    QLabel* m_carried = nullptr;
    QLabel* m_signIn = nullptr;
    QLabel* m_outcome = nullptr;
    KeyRepeatWatch m_keys;
};

} // namespace zqt
