#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace zqt {

class AppState;

// The engine's status and health replies, shown exactly as received. Each time the view is shown it asks for
// them once; its Refresh asks again. There is no periodic refresh.
class StatusView final : public QWidget {
    Q_OBJECT

public:
    explicit StatusView(AppState& state, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    AppState& m_state;
    QPlainTextEdit* m_health = nullptr;
    QPlainTextEdit* m_system = nullptr;
};

} // namespace zqt
