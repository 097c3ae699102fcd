#include "display/KeyRepeatWatch.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace zqt {

KeyRepeatWatch::KeyRepeatWatch(QObject* parent) : QObject(parent) {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

KeyRepeatWatch::~KeyRepeatWatch() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool KeyRepeatWatch::eventFilter(QObject* /*watched*/, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return false;
    // One event reaches the window and then the widget with the focus: both look the same here.
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (type == QEvent::KeyRelease) {
        m_releasedAt.insert(key->key(), key->timestamp());
    } else {
        // A time stamp of 0 is none: events made by the program itself carry it.
        const auto released = m_releasedAt.constFind(key->key());
        const bool pairedWithRelease =
            key->timestamp() != 0 && released != m_releasedAt.constEnd() && *released == key->timestamp();
        m_repeated.insert(key->key(), key->isAutoRepeat() || pairedWithRelease);
    }
    return false;
}

} // namespace zqt
