#pragma once

#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;

namespace zqt {

// A row of joined checkable buttons, one per choice, of which at most one is checked: one exclusive choice whose
// value is the chosen label. Mouse, keyboard (Tab to a segment, Space to choose it, arrow keys to move the choice)
// and assistive technology (a segment's Press or Toggle action) all go through the same exclusive group, so a
// segment is never unchecked by a second press and two are never checked at once. Each segment's accessible name
// is its label; the control carries the name of the whole choice. setValue with a label that is not a choice
// leaves none chosen.
class SegmentedControl final : public QWidget {
    Q_OBJECT

public:
    SegmentedControl(const QStringList& choices, const QString& accessibleName, QWidget* parent = nullptr);

    QString value() const;
    // Shows `value` as chosen without emitting activated.
    void setValue(const QString& value);
    QStringList choices() const { return m_choices; }
    // The button of one choice (for tests and keyboard focus).
    QAbstractButton* button(const QString& choice) const;

protected:
    void changeEvent(QEvent* event) override;

signals:
    // The user chose `value`, another label than the one chosen before.
    void activated(const QString& value);

private:
    // Gives the chosen segment the display kit's chosen fill, the others the inherited palette.
    void showChosen();

    QStringList m_choices;
    QButtonGroup* m_group = nullptr;
    bool m_settingValue = false;
};

} // namespace zqt
