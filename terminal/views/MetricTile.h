#pragma once

#include <QFrame>

class QLabel;

namespace zqt {

// A label (caption, grey) above a value (headline), padded 8, on a rounded (radius 8) control-coloured tile.
class MetricTile final : public QFrame {
    Q_OBJECT

public:
    MetricTile(const QString& label, const QString& value, QWidget* parent = nullptr);

    QString label() const;
    // The value as shown (see showPlainText).
    QString value() const;
    void setValue(const QString& value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_label = nullptr;
    QLabel* m_value = nullptr;
};

} // namespace zqt
