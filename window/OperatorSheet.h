#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

namespace zqt {

class AppState;

// The operator unlock sheet: a window-modal dialog with a masked passcode field. "Unlock" opens the lock through
// AppState and closes the sheet, or shows "Invalid passcode." and keeps the typed passcode; "Cancel" (or Escape)
// clears the passcode and the error line and closes it, so the sheet opens clean next time.
class OperatorSheet final : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString operatorPass READ operatorPass NOTIFY operatorPassChanged)
    Q_PROPERTY(QString operatorError READ operatorError NOTIFY operatorErrorChanged)

public:
    OperatorSheet(AppState& state, QWidget* parent);

    QString operatorPass() const;
    QString operatorError() const { return m_error; }

    void unlock();
    void cancel();

    void reject() override;

signals:
    void operatorPassChanged();
    void operatorErrorChanged();

private:
    void setError(const QString& error);

    AppState& m_state;
    QString m_error;
    QLineEdit* m_pass = nullptr;
    QLabel* m_errorLabel = nullptr;
};

} // namespace zqt
