#include "terminal/views/SegmentedControl.h"

#include "display/Palette.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QToolButton>

namespace zqt {

SegmentedControl::SegmentedControl(const QStringList& choices, const QString& accessibleName, QWidget* parent)
    : QWidget(parent), m_choices(choices) {
    setAccessibleName(accessibleName);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    m_group = new QButtonGroup(this);
    m_group->setExclusive(true);
    for (const QString& choice : choices) {
        auto* b = new QToolButton(this);
        b->setObjectName(QStringLiteral("segment_") + choice);
        b->setText(choice);
        b->setAccessibleName(choice);
        b->setAccessibleDescription(accessibleName);
        b->setCheckable(true);
        b->setFocusPolicy(Qt::StrongFocus);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_group->addButton(b);
        row->addWidget(b);
    }
    // Every way of checking a segment (click, Space, arrow keys, an accessibility action) toggles it in the
    // exclusive group, which unchecks the previous one; the checked segment refuses to be unchecked.
    connect(m_group, &QButtonGroup::buttonToggled, this, [this](QAbstractButton* b, bool checked) {
        showChosen();
        if (checked && !m_settingValue)
            emit activated(b->text());
    });
}

void SegmentedControl::changeEvent(QEvent* event) {
    // A theme switch installs a new application palette: the fill follows the new set.
    if (event->type() == QEvent::PaletteChange)
        showChosen();
    QWidget::changeEvent(event);
}

void SegmentedControl::showChosen() {
    const QColor fill = chosenFillColor();
    for (QAbstractButton* b : m_group->buttons()) {
        QPalette own; // nothing set: everything inherited
        if (b->isChecked() && fill.isValid())
            own.setColor(QPalette::Button, fill);
        b->setPalette(own); // Qt skips an unchanged palette
    }
}

QString SegmentedControl::value() const {
    const QAbstractButton* b = m_group->checkedButton();
    return b ? b->text() : QString();
}

void SegmentedControl::setValue(const QString& value) {
    m_settingValue = true;
    if (QAbstractButton* b = button(value)) {
        b->setChecked(true);
    } else if (QAbstractButton* checked = m_group->checkedButton()) {
        // An exclusive group keeps its checked button: lift the rule for the moment it takes to clear it.
        m_group->setExclusive(false);
        checked->setChecked(false);
        m_group->setExclusive(true);
    }
    m_settingValue = false;
}

QAbstractButton* SegmentedControl::button(const QString& choice) const {
    for (QAbstractButton* b : m_group->buttons())
        if (b->text() == choice)
            return b;
    return nullptr;
}

} // namespace zqt
