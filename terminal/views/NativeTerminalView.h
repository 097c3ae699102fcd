#pragma once

#include <QList>
#include <QScrollArea>
#include <QString>

class QVBoxLayout;

namespace zqt {

class NativeTerminalModel;
class PanelCard;

// One panel of the terminal page: its object name and how it is made from the areas of the terminal model it
// shows.
struct PagePanel {
    QString name;
    PanelCard* (*make)(NativeTerminalModel& model, QWidget* parent);
};

// The terminal page's rows, top to bottom, each its panels left to right: login; metrics; watchlist and ticket;
// chart; ladder, tape and quick actions; microstructure; then the account and analytics rows.
const QList<QList<PagePanel>>& terminalPageRows();

// The native terminal page: a vertically scrolling column of panel cards in the rows of terminalPageRows(), one
// row after another, 16 apart and padded 16, each row centred. It hands each panel the areas of the terminal model it
// is given (built by the program's entry, whose timers run from construction, so its data is live before the page is
// first seen) and runs the model's "shown" hook each time the page is shown.
class NativeTerminalView final : public QScrollArea {
    Q_OBJECT

public:
    // `model` must outlive the view.
    explicit NativeTerminalView(NativeTerminalModel& model, QWidget* parent = nullptr);
    ~NativeTerminalView() override;

    NativeTerminalModel& model() const { return m_model; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Appends a row of cards laid side by side, top-aligned, 16 apart. A card whose horizontal size policy
    // expands takes the width left; otherwise the row is centred.
    void addRow(const QList<PanelCard*>& cards);

    NativeTerminalModel& m_model;
    QVBoxLayout* m_rows = nullptr;
};

} // namespace zqt
