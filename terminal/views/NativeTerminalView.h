#pragma once

#include <QScrollArea>

#include <initializer_list>

class QVBoxLayout;

namespace zqt {

class NativeTerminalModel;

// The native terminal page: a vertically scrolling column of panel cards, one row after another, 16 apart and
// padded 16, each row centred. It hands each panel the areas of the terminal model it is given (built by the
// program's entry, whose timers run from construction, so its data is live before the page is first seen) and runs
// the model's "shown" hook each time the page is shown.
class NativeTerminalView final : public QScrollArea {
    Q_OBJECT

public:
    // `model` must outlive the view.
    explicit NativeTerminalView(NativeTerminalModel& model, QWidget* parent = nullptr);
    ~NativeTerminalView() override;

    NativeTerminalModel& model() const { return m_model; }

    // Appends a row of cards laid side by side, top-aligned, 16 apart. A card whose horizontal size policy
    // expands takes the width left; otherwise the row is centred.
    void addRow(std::initializer_list<QWidget*> cards);

protected:
    void showEvent(QShowEvent* event) override;

private:
    NativeTerminalModel& m_model;
    QVBoxLayout* m_rows = nullptr;
};

} // namespace zqt
