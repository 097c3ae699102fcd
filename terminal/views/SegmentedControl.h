#pragma once

#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;

namespace zqt {

// A row of joined, exclusive, checkable buttons, one per choice, whose value is the chosen label. Each button is
// reachable with Tab and chosen with Space; setValue with a label that is not a choice leaves none chosen.
class SegmentedControl final : public QWidget {
    Q_OBJECT

public:
    SegmentedControl(const QStringList& choices, const QString& accessibleName, QWidget* parent = nullptr);

    QString value() const;
    void setValue(const QString& value);
    QStringList choices() const { return m_choices; }
    // The button of one choice (for tests and keyboard focus).
    QAbstractButton* button(const QString& choice) const;

signals:
    // The user chose `value`.
    void activated(const QString& value);

private:
    QStringList m_choices;
    QButtonGroup* m_group = nullptr;
};

} // namespace zqt
