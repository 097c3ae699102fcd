#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace zqt {

class AppState;
class SegmentedControl;

// The tail of one of the engine's five logs. Choosing a log only selects it; the text is reloaded by Refresh,
// by a start or stop, and each time the view is shown.
class LogsView final : public QWidget {
    Q_OBJECT

public:
    explicit LogsView(AppState& state, QWidget* parent = nullptr);

    // The logs offered, in the picker's order.
    static QStringList logNames();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showSelectedLog();
    void showLogOutput();

    AppState& m_state;
    SegmentedControl* m_logs = nullptr;
    QPlainTextEdit* m_output = nullptr;
};

} // namespace zqt
