#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPoint>
#include <QScrollArea>
#include <QString>

class QAction;
class QDockWidget;
class QMainWindow;
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

// The panels of the workspace in the order of its Panels menu and of Ctrl+1 to Ctrl+9: the trading panels first.
const QStringList& workspacePanelOrder();

// How the terminal shows its panels: the page of rows, or the workspace of dockable panels.
enum class TerminalLayout { Page, Workspace };

// The native terminal: the same panel cards shown either as a page or as a workspace.
//
// The page is a vertically scrolling column of the cards in the rows of terminalPageRows(), one row after another,
// 16 apart and padded 16, each row centred. The workspace is a dock host filling the view, each card in a dock of
// its own (titled with the card's title) that can be moved, resized, tabbed with others, floated and closed; a card
// taller or wider than its dock scrolls inside it. Switching moves the cards themselves, so everything they hold
// (selection, typed text, scroll positions) stays; the page always gets its rows back as the table lays them out.
//
// It hands each panel the areas of the terminal model it is given (built by the program's entry, whose timers run
// from construction, so its data is live before the page is first seen) and runs the model's "shown" hook each time
// it is shown.
class NativeTerminalView final : public QScrollArea {
    Q_OBJECT

public:
    // `model` must outlive the view.
    explicit NativeTerminalView(NativeTerminalModel& model, QWidget* parent = nullptr);
    ~NativeTerminalView() override;

    NativeTerminalModel& model() const { return m_model; }

    TerminalLayout layoutMode() const { return m_layout; }
    void setLayoutMode(TerminalLayout layout);

    // The dock host of the workspace, and the dock holding a panel (by the panel's object name).
    QMainWindow* workspace() const { return m_workspace; }
    QDockWidget* dock(const QString& panelName) const { return m_docks.value(panelName); }
    // One checkable action per dock in workspacePanelOrder(), checked while its dock is open.
    QList<QAction*> panelActions();

    // The workspace's arrangement (which docks are open, where, their sizes, the floating ones), as saveState()
    // writes it; restoreWorkspace() takes it back, or lays out the default workspace and returns false when it
    // cannot (empty, cut, of another program or version).
    QByteArray saveWorkspace();
    bool restoreWorkspace(const QByteArray& state);
    // Lays out the default workspace: chart in the middle, ticket and quick actions on the left, ladder and tape
    // on the right, open trades under the chart, the other panels one tab away. In a wide window the watchlist, the
    // account metrics and the open trades share a column of their own left of the ticket, and the chart has the
    // whole height. The chart's charts share out its dock's height.
    void resetWorkspace();
    // Brings the `index`th panel of workspacePanelOrder() to the front (opening its dock, raising its tab) and
    // gives it the focus.
    void focusPanel(int index);

    // Version stamped into saveWorkspace(); a state of another version is not restored.
    static constexpr int kWorkspaceVersion = 1;
    // A workspace at least this wide (device-independent pixels) gets the wide default.
    static constexpr int kWideWorkspace = 1600;

signals:
    // The docks were made afresh (the workspace was reset): panelActions() has new actions.
    void panelsRebuilt();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Appends a row of cards laid side by side, top-aligned, 16 apart. A card whose horizontal size policy
    // expands takes the width left; otherwise the row is centred.
    void addRow(const QList<PanelCard*>& cards);
    void buildWorkspace();
    // Puts every card in its dock's scroll area.
    void holdCardsInDocks();
    // Puts every card back on the page in the rows of the table.
    void layOutPage();
    // Places the docks of the default workspace and, once the workspace has its size, their sizes.
    void arrangeDefault();
    void sizeDefault();

    NativeTerminalModel& m_model;
    TerminalLayout m_layout = TerminalLayout::Page;
    QWidget* m_page = nullptr;
    QVBoxLayout* m_rows = nullptr;
    QMainWindow* m_workspace = nullptr;
    QHash<QString, PanelCard*> m_cards;
    QHash<QString, QDockWidget*> m_docks;
    QHash<QString, QScrollArea*> m_dockScrolls;
    int m_pageScroll = 0;
    QHash<QString, QPoint> m_dockScrollPos;
    // The default workspace's sizes wait for the workspace's first real size.
    bool m_defaultSizesPending = false;
    bool m_defaultWide = false;
    // A restored arrangement applied again once the workspace has its size.
    QByteArray m_pendingState;
};

} // namespace zqt
