#pragma once

#include <QScrollArea>
#include <QUrl>

#include <initializer_list>
#include <memory>

class QVBoxLayout;

namespace zqt {

class NativeTerminalModel;

// The native terminal page: a vertically scrolling column of panel cards, one row after another, 16 apart and
// padded 16, each row centred. It owns the terminal model (whose timers run from construction, so its data is
// live before the page is first seen) and runs the model's "shown" hook each time the page is shown.
class NativeTerminalView final : public QScrollArea {
    Q_OBJECT

public:
    explicit NativeTerminalView(const QUrl& baseUrl, QWidget* parent = nullptr);
    ~NativeTerminalView() override;

    NativeTerminalModel& model() const { return *m_model; }
    // Follows the engine to a new address (see NativeTerminalModel::setBaseUrl).
    void setBaseUrl(const QUrl& baseUrl);

    // Appends a row of cards laid side by side, top-aligned, 16 apart. A card whose horizontal size policy
    // expands takes the width left; otherwise the row is centred.
    void addRow(std::initializer_list<QWidget*> cards);

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<NativeTerminalModel> m_model;
    QVBoxLayout* m_rows = nullptr;
};

} // namespace zqt
