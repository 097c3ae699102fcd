#pragma once

#include <QTimer>
#include <QWidget>

#include <deque>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zqt {

class AppState;
class LogHighlighter;
class LogReader;
class SegmentedControl;

// The tail of one of the engine's five logs. Choosing a log only selects it; the text is reloaded by Refresh, by a
// start or stop, and each time the view is shown. While "Follow" is on (it is at first) and the view is shown, lines
// written to the log appear as they come, and the view keeps to the newest line unless the user has scrolled up or
// is selecting text: then the text stands still and "Jump to End" brings it up to date. A filter above the log
// keeps the lines that hold its text (any case) or match it as a regular expression written /like this/, marking
// each match; error and warning lines are coloured. "Open Folder" shows the engine's logs folder in the desktop's
// file manager.
class LogsView final : public QWidget {
    Q_OBJECT

public:
    explicit LogsView(AppState& state, QWidget* parent = nullptr);
    ~LogsView() override;

    // The logs offered, in the picker's order.
    static QStringList logNames();
    // "<n> of <m> lines".
    static QString countText(qsizetype shown, qsizetype held);

    // The text stands still: the user has scrolled up from the newest line or is selecting text.
    bool isPaused() const { return m_scrolledUp || m_selecting; }

    // A filter edit takes effect once typing has paused this long, in ms.
    static constexpr int kFilterDelayMs = 150;
    // Most lines added to the text in one pass; the rest follow in the next turns of the event loop, so that a
    // burst of lines never holds the UI thread for long.
    static constexpr int kMaxLinesPerPass = 250;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showSelectedLog();
    void updateFollowing();
    // The text anew from every line that passes the filter, scrolled to the newest.
    void rebuild();
    // Brings the text up to the lines held: drops lines no longer held, adds new ones, keeps to the newest.
    void sync();
    void scrollToEnd();
    void jumpToEnd();
    void updateCount();
    void updateJumpButton();
    void openFolder();

    AppState& m_state;
    LogReader& m_logs;
    SegmentedControl* m_picker = nullptr;
    QCheckBox* m_follow = nullptr;
    QLineEdit* m_filter = nullptr;
    QLabel* m_count = nullptr;
    QLabel* m_filterError = nullptr;
    QLabel* m_folderError = nullptr;
    QPushButton* m_jump = nullptr;
    QPlainTextEdit* m_output = nullptr;
    LogHighlighter* m_highlighter = nullptr;
    QTimer m_filterDelay;
    QTimer m_nextPass; // the rest of a burst

    // The sequence number (see LogLines) of each line of the text, top to bottom.
    std::deque<quint64> m_shown;
    // The newest line the text has been brought up to, shown or filtered out.
    quint64 m_syncedSeq = 0;
    bool m_scrolledUp = false;
    bool m_selecting = false;
    bool m_behind = false;    // lines came while the text stood still
    bool m_adjusting = false; // the view itself is changing the text or the scroll position
};

} // namespace zqt
