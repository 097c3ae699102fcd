#pragma once

#include <QFrame>

class QLabel;

namespace zqt {

// The three tones of a badge's value: green, red, grey.
enum class BadgeTone { positive, negative, neutral };

// A fully rounded pill: the label upper-cased (small, grey), 4 apart from the value (caption, in the tone's
// colour), padded 8 left and right and 4 top and bottom, on the text-background colour.
class Badge final : public QFrame {
    Q_OBJECT

public:
    Badge(const QString& label, const QString& value, BadgeTone tone, QWidget* parent = nullptr);

    QString label() const;
    QString value() const;
    BadgeTone tone() const { return m_tone; }
    void setValue(const QString& value, BadgeTone tone);

    static QColor toneColor(BadgeTone tone, const QPalette& palette);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyColours();

    BadgeTone m_tone;
    QLabel* m_label = nullptr;
    QLabel* m_value = nullptr;
};

} // namespace zqt
