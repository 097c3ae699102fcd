#include "terminal/views/SegmentedControl.h"

#include <QAbstractButton>
#include <QButtonGroup>
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
    m_group->setExclusive(false); // exclusivity is kept by setValue, so "none chosen" can be shown
    for (const QString& choice : choices) {
        auto* b = new QToolButton(this);
        b->setObjectName(QStringLiteral("segment_") + choice);
        b->setText(choice);
        b->setAccessibleName(accessibleName + QStringLiteral(" ") + choice);
        b->setCheckable(true);
        b->setFocusPolicy(Qt::StrongFocus);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_group->addButton(b);
        row->addWidget(b);
    }
    connect(m_group, &QButtonGroup::buttonClicked, this, [this](QAbstractButton* b) {
        setValue(b->text());
        emit activated(b->text());
    });
}

QString SegmentedControl::value() const {
    for (QAbstractButton* b : m_group->buttons())
        if (b->isChecked())
            return b->text();
    return {};
}

void SegmentedControl::setValue(const QString& value) {
    for (QAbstractButton* b : m_group->buttons())
        b->setChecked(b->text() == value);
}

QAbstractButton* SegmentedControl::button(const QString& choice) const {
    for (QAbstractButton* b : m_group->buttons())
        if (b->text() == choice)
            return b;
    return nullptr;
}

} // namespace zqt
