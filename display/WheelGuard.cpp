#include "display/WheelGuard.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QScrollBar>

namespace zqt {

namespace {

// A picker keeps tab and click focus but is no longer focused by the wheel.
void dropWheelFocus(QWidget* picker) {
    if (picker->focusPolicy() == Qt::WheelFocus)
        picker->setFocusPolicy(Qt::StrongFocus);
}

} // namespace

WheelGuard::WheelGuard(QObject* parent) : QObject(parent) {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

WheelGuard::~WheelGuard() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool WheelGuard::isPicker(const QWidget* widget) {
    return qobject_cast<const QComboBox*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
           (qobject_cast<const QAbstractSlider*>(widget) && !qobject_cast<const QScrollBar*>(widget));
}

bool WheelGuard::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::Polish && type != QEvent::Wheel)
        return false;
    if (!watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (!isPicker(widget))
        return false;
    dropWheelFocus(widget);
    if (type == QEvent::Wheel && !widget->hasFocus()) {
        // Ignored and taken: the application then offers the wheel to the picker's parent, and so on up to the
        // scroll area that holds it.
        event->ignore();
        return true;
    }
    return false;
}

} // namespace zqt
