#pragma once

#include "terminal/RecordTableModel.h"

#include <QFrame>

class QLabel;

namespace zqt {

// A label (caption, grey) above a value (headline), padded 8, on a rounded (radius 8) control-coloured tile. The
// value may carry a tone (gains green, losses red); an alert tints the tile red and rims it; a stale value is grey
// whatever its tone.
class MetricTile final : public QFrame {
    Q_OBJECT

public:
    MetricTile(const QString& label, const QString& value, QWidget* parent = nullptr);

    QString label() const;
    // The value as shown (see showPlainText).
    QString value() const;
    void setValue(const QString& value);
    CellTone tone() const { return m_tone; }
    void setTone(CellTone tone);
    bool alert() const { return m_alert; }
    void setAlert(bool alert);
    bool isStale() const { return m_stale; }
    void setStale(bool stale);
    // The colour the value is drawn in.
    QColor valueColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QLabel* m_label = nullptr;
    QLabel* m_value = nullptr;
    CellTone m_tone = CellTone::Default;
    bool m_alert = false;
    bool m_stale = false;
    void updateValueColor();
};

} // namespace zqt
