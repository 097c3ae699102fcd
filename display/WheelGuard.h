#pragma once

#include <QObject>

class QWidget;

namespace zqt {

// Keeps the mouse wheel from changing a picker (a drop-down, a spin box or a slider; scroll bars excepted) that does
// not have the keyboard focus: over such a picker the wheel passes on to what holds it, so a scrolling page scrolls
// as it does over any other part of it. A picker with the focus still steps with the wheel. Pickers also stop
// taking the focus from the wheel, which would focus them and step them with the same turn.
//
// One guard covers the whole program: it watches every widget of the application it is created in. Create it
// before the windows, so that it sees every picker being readied for the screen.
class WheelGuard final : public QObject {
    Q_OBJECT

public:
    explicit WheelGuard(QObject* parent = nullptr);
    ~WheelGuard() override;

    // Whether `widget` is a picker the guard looks after.
    static bool isPicker(const QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace zqt
