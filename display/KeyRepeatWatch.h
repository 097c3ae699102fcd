#pragma once

#include <QHash>
#include <QObject>

namespace zqt {

// Tells a press that the keyboard repeats while a key is held down from a fresh one, for every key event of the
// application. Qt marks most repeats itself (QKeyEvent::isAutoRepeat), but under X11 it recognises one by the pair
// of events the X server sends for it (a release and a press with the same time stamp) only when the press is
// already queued as the release is handled; when the press is still on its way, the repeat arrives as a release
// and a fresh press. This watch counts a press as repeated when Qt says so or when it carries the time stamp of
// the release of the same key just before it: no person releases and presses a key within the same millisecond.
//
// It looks at key presses, releases and shortcut overrides as they reach the application's objects, so it has seen
// a press before any shortcut it triggers is activated. A time stamp of 0 (an event the program made itself)
// never pairs a press with a release.
class KeyRepeatWatch final : public QObject {
    Q_OBJECT

public:
    // Watches the application it is created in.
    explicit KeyRepeatWatch(QObject* parent = nullptr);
    ~KeyRepeatWatch() override;

    // Whether the latest press of `key` (a Qt::Key, whatever the modifiers) was a repeat of a held key.
    bool isRepeat(int key) const { return m_repeated.value(key, false); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QHash<int, quint64> m_releasedAt; // key -> time stamp of its latest release
    QHash<int, bool> m_repeated;      // key -> whether its latest press was a repeat
};

} // namespace zqt
