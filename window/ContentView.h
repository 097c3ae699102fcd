#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace zqt {

class AppState;

// The program's one window. The header shows the title, the engine's run state, a busy indicator while a start
// or stop script runs, and the Refresh, Start, Stop and operator buttons; the body below it holds the content.
// Everything shown is bound to the shared AppState; every action goes through its operations.
class ContentView final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool showOperatorSheet READ showOperatorSheet WRITE setShowOperatorSheet NOTIFY showOperatorSheetChanged)

public:
    explicit ContentView(AppState& state, QWidget* parent = nullptr);

    AppState& state() const { return m_state; }

    // The operator sheet is asked for ("Operator Unlock" sets it).
    bool showOperatorSheet() const { return m_showOperatorSheet; }
    void setShowOperatorSheet(bool show);

    // Colour of "Services online".
    static QColor onlineColor();

signals:
    void showOperatorSheetChanged();

private:
    QWidget* buildHeader();
    void updateRunState();
    void updateOperatorButton();
    void updateBusy();
    void onOperatorClicked();

    AppState& m_state;
    bool m_showOperatorSheet = false;

    QLabel* m_runStateLabel = nullptr;
    QProgressBar* m_busyIndicator = nullptr;
    QLabel* m_busyLabel = nullptr;
    QPushButton* m_operatorButton = nullptr;
    QPlainTextEdit* m_outputView = nullptr;
};

} // namespace zqt
