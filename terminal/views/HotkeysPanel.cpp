#include "terminal/views/HotkeysPanel.h"

#include "display/PlainText.h"
#include "terminal/TicketModel.h"
#include "terminal/views/DisplayHelpers.h"
#include "terminal/views/NotionalCheck.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextEdit>

#include <functional>

namespace zqt {

HotkeysPanel::HotkeysPanel(TicketModel& model, QWidget* parent) : PanelCard(parent), m_model(model) {
    setObjectName(QStringLiteral("hotkeysPanel"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addTitle(QStringLiteral("Quick Actions"));

    struct Action {
        const char* label;
        const char* name;
        Qt::Key key;
        std::function<void()> run;
        int row;
        int column;
    };
    TicketModel* m = &m_model;
    // An order is checked against the notional limit first; cancel-all and close-all carry no size.
    auto order = [this, m](std::function<void()> send) {
        return [this, m, send = std::move(send)] {
            sendWithinNotionalLimit(this, *m, send);
        };
    };
    const Action actions[] = {
        {"Buy (B)", "quickBuyButton", Qt::Key_B, order([m] { m->quickOrder(Side::Buy, OrderType::Market); }), 0, 0},
        {"Sell (S)", "quickSellButton", Qt::Key_S, order([m] { m->quickOrder(Side::Sell, OrderType::Market); }), 0, 1},
        // Limit takes its side from the ticket.
        {"Limit (L)", "quickLimitButton", Qt::Key_L, order([m] { m->quickOrder(m->side(), OrderType::Limit); }), 1, 0},
        {"Cancel All (C)", "cancelAllButton", Qt::Key_C, [m] { m->cancelAll(); }, 1, 1},
        {"Close All (X)", "closeAllButton", Qt::Key_X, [m] { m->closeAll(); }, 2, 0},
    };
    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    for (const Action& a : actions) {
        const QString label = QString::fromLatin1(a.label);
        auto* button = new QPushButton(label, this);
        button->setObjectName(QString::fromLatin1(a.name));
        button->setAccessibleName(label);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, run = a.run] {
            if (m_model.canTrade())
                run();
        });
        grid->addWidget(button, a.row, a.column);
        m_buttons.append(button);

        // Window-wide, so the keys work wherever the focus is on the page; a shortcut of a hidden widget (the
        // page while another tab is current) never fires. A held key acts once: the presses the keyboard repeats
        // while it is down are not new orders, whether Qt marks them as repeats or not (see KeyRepeatWatch).
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | a.key), this);
        shortcut->setContext(Qt::WindowShortcut);
        shortcut->setAutoRepeat(false);
        connect(shortcut, &QShortcut::activated, this, [this, key = a.key, run = a.run] {
            // Before sign-in nothing goes out; the card says why.
            if (!m_keys.isRepeat(key) && m_model.canTrade())
                run();
        });
        m_shortcuts.append(shortcut);
        if (a.key == Qt::Key_C || a.key == Qt::Key_X)
            m_editShortcuts.append(shortcut);
        button->setToolTip(shortcut->key().toString(QKeySequence::NativeText));
    }
    grid->setColumnStretch(2, 1);
    column()->addLayout(grid);

    auto* caption = new QLabel(QStringLiteral("Uses selected ladder price for LIMIT."), this);
    caption->setObjectName(QStringLiteral("hotkeysCaption"));
    caption->setFont(captionFont(font()));
    caption->setForegroundRole(QPalette::PlaceholderText);
    column()->addWidget(caption);

    // What a quick order carries from the ticket: it may quote the trader's typed text, so plain and bounded.
    m_carried = new QLabel(this);
    m_carried->setObjectName(QStringLiteral("quickCarriedLabel"));
    m_carried->setAccessibleName(QStringLiteral("Quick orders send"));
    m_carried->setWordWrap(true);
    column()->addWidget(m_carried);

    m_signIn = new QLabel(QStringLiteral("Sign in to trade"), this);
    m_signIn->setObjectName(QStringLiteral("quickSignInLabel"));
    m_signIn->setForegroundRole(QPalette::PlaceholderText);
    column()->addWidget(m_signIn);

    // The engine's words about the latest quick action: plain text, bounded.
    m_outcome = new QLabel(this);
    m_outcome->setObjectName(QStringLiteral("quickOutcomeLabel"));
    m_outcome->setAccessibleName(QStringLiteral("Last quick action"));
    m_outcome->setWordWrap(true);
    column()->addWidget(m_outcome);

    m_paused = new QLabel(QStringLiteral("Shortcuts paused while typing"), this);
    m_paused->setObjectName(QStringLiteral("shortcutsPausedLabel"));
    m_paused->setFont(captionFont(font()));
    m_paused->setForegroundRole(QPalette::PlaceholderText);
    // Its line stays reserved while it is hidden, so the focus moving in and out of a text field moves nothing.
    QSizePolicy keep = m_paused->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_paused->setSizePolicy(keep);
    m_paused->hide();
    column()->addWidget(m_paused);

    connect(qApp, &QApplication::focusChanged, this, &HotkeysPanel::updateShortcuts);
    connect(&m_model, &TicketModel::canTradeChanged, this, &HotkeysPanel::updateTrading);
    connect(&m_model, &TicketModel::quickOrderChanged, this, &HotkeysPanel::updateCarried);
    connect(&m_model, &TicketModel::quickMessageChanged, this, &HotkeysPanel::updateOutcome);
    updateShortcuts();
    updateTrading();
    updateCarried();
    updateOutcome();
}

void HotkeysPanel::updateTrading() {
    const bool canTrade = m_model.canTrade();
    for (QWidget* button : std::as_const(m_buttons))
        button->setEnabled(canTrade);
    m_signIn->setVisible(!canTrade);
}

void HotkeysPanel::updateCarried() {
    showPlainText(m_carried, m_model.quickOrderSummary(), kMessageTextChars);
}

void HotkeysPanel::updateOutcome() {
    showPlainText(m_outcome, m_model.quickMessage(), kMessageTextChars);
    m_outcome->setVisible(!m_model.quickMessage().isEmpty());
}

HotkeysPanel::~HotkeysPanel() {
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
}

bool HotkeysPanel::isTextFocus(const QWidget* focus) {
    if (!focus)
        return false;
    if (qobject_cast<const QLineEdit*>(focus) || qobject_cast<const QTextEdit*>(focus) ||
        qobject_cast<const QPlainTextEdit*>(focus) || qobject_cast<const QAbstractSpinBox*>(focus))
        return true;
    if (const auto* combo = qobject_cast<const QComboBox*>(focus))
        return combo->isEditable();
    if (const auto* label = qobject_cast<const QLabel*>(focus))
        return label->textInteractionFlags() & (Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // The viewport of a text view holds the focus while its text is being selected with the mouse.
    return focus->parentWidget() && (qobject_cast<const QTextEdit*>(focus->parentWidget()) ||
                                     qobject_cast<const QPlainTextEdit*>(focus->parentWidget()));
}

bool HotkeysPanel::isCopyFocus(const QWidget* focus) {
    return qobject_cast<const QAbstractItemView*>(focus) != nullptr;
}

void HotkeysPanel::updateShortcuts() {
    const QWidget* focus = QApplication::focusWidget();
    const bool text = isTextFocus(focus);
    const bool copy = isCopyFocus(focus);
    for (QShortcut* s : m_shortcuts)
        s->setEnabled(!text && !(copy && m_editShortcuts.contains(s)));
    m_paused->setVisible(text);
}

} // namespace zqt
