// The terminal's panels as a page and as a workspace of docks: the same cards moved both ways, the default
// workspace, an arrangement saved and restored, Ctrl+1 to Ctrl+9 and the quick-action keys among docks.
#include "terminal/views/NativeTerminalView.h"

#include "api/TokenStore.h"
#include "display/WheelGuard.h"
#include "terminal/MarketModel.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/ChartPanel.h"
#include "terminal/views/ChartWidgets.h"
#include "terminal/views/PanelCard.h"

#include "ClientInFlight.h"
#include "RecordingServer.h"
#include "TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDockWidget>
#include <QHeaderView>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QPaintEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <set>

using zqt::NativeTerminalModel;
using zqt::NativeTerminalView;
using zqt::PanelCard;
using zqt::TerminalLayout;
using zqt::WheelGuard;
using zqt::test::inFlight;
using zqt::test::RecordingServer;
using zqt::test::TempEnv;
using zqt::test::waitUntil;

namespace {

bool inFront(const NativeTerminalView& view, const QString& name);

// Where every dock is: open or closed, floating, its area, the docks tabbed with it, and where it sits when in front
// (a tab behind another keeps a stale place).
std::map<std::string, std::string> arrangement(const NativeTerminalView& view) {
    std::map<std::string, std::string> out;
    for (const QString& name : zqt::workspacePanelOrder()) {
        QDockWidget* dock = view.dock(name);
        QStringList tabbed;
        for (QDockWidget* other : view.workspace()->tabifiedDockWidgets(dock))
            tabbed << other->objectName();
        tabbed.sort();
        const QRect r = inFront(view, name) || dock->isFloating() ? dock->geometry() : QRect();
        out[name.toStdString()] = QStringLiteral("%1 %2 area %3 tabs [%4] at %5,%6 %7x%8")
                                      .arg(dock->isHidden() ? "closed" : "open")
                                      .arg(dock->isFloating() ? "floating" : "docked")
                                      .arg(int(view.workspace()->dockWidgetArea(dock)))
                                      .arg(tabbed.join(' '))
                                      .arg(r.x())
                                      .arg(r.y())
                                      .arg(r.width())
                                      .arg(r.height())
                                      .toStdString();
    }
    return out;
}

// Whether a dock sits inside the workspace, in front of any tab group it is in.
bool inFront(const NativeTerminalView& view, const QString& name) {
    QDockWidget* dock = view.dock(name);
    return dock->isVisible() && !dock->isFloating() && view.workspace()->rect().contains(dock->geometry());
}

// A terminal against a recording server, 1280 x 650 (the terminal tab of a 1280 x 800 window), shown and active.
class WorkspaceTest : public ::testing::Test {
protected:
    WorkspaceTest() {
        server.setReply("GET", "/api/prices", {200, R"({"prices":{"EURUSD":1.085,"AAPL":190.25}})"});
        server.setReply("GET", "/api/market/candles", {200, R"({"symbol":"EURUSD","interval":15,"candles":[]})"});
        for (const char* path : {"/api/oms/order", "/api/oms/cancel_all", "/api/positions/close_all"})
            server.setReply("POST", path, {200, "{}"});
        terminal = std::make_unique<NativeTerminalModel>(QUrl(server.baseUrl()), tokens);
        view = makeView();
        view->show();
        view->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(view.get()));
    }
    std::unique_ptr<NativeTerminalView> makeView() const {
        auto v = std::make_unique<NativeTerminalView>(*terminal);
        v->resize(1280, 650);
        return v;
    }
    template <typename T> T* child(const QString& name) const {
        T* w = view->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    PanelCard* card(const QString& name) const { return child<PanelCard>(name); }
    bool settled() const {
        return waitUntil([&] { return zqt::test::decodesDone() && inFlight(terminal->link().api()).empty(); }, 30000);
    }
    std::vector<std::string> postPaths() const {
        std::vector<std::string> out;
        for (const auto& r : server.requests())
            if (r.method == "POST")
                out.push_back(r.path);
        return out;
    }
    // The arrangement once the workspace's layout has settled.
    std::map<std::string, std::string> settledArrangement() const {
        QApplication::processEvents();
        view->workspace()->layout()->activate();
        return arrangement(*view);
    }

    TempEnv env;
    RecordingServer server;
    zqt::MemoryTokenStore tokens{QStringLiteral("test-token")}; // signed in: the quick actions trade
    WheelGuard wheelGuard;
    std::unique_ptr<NativeTerminalModel> terminal;
    std::unique_ptr<NativeTerminalView> view;
};

} // namespace

TEST_F(WorkspaceTest, switchBothWays_movesTheSameCards_keepsTheirState_andGivesThePageItsRowsBack) {
    // Where the page puts every card, before any switch.
    std::map<std::string, QRect> pagePlaces;
    for (const QList<zqt::PagePanel>& row : zqt::terminalPageRows())
        for (const zqt::PagePanel& panel : row)
            pagePlaces[panel.name.toStdString()] = card(panel.name)->geometry();
    std::map<std::string, PanelCard*> cards;
    for (const QString& name : zqt::workspacePanelOrder())
        cards[name.toStdString()] = card(name);

    // State a trader leaves in the panels: a symbol picked on the watchlist, a typed take-profit, the page scrolled.
    QTest::mouseClick(child<QPushButton>("watchSymbol_AAPL"), Qt::LeftButton);
    auto* tp = child<QLineEdit>("tpField");
    tp->setFocus();
    QTest::keyClicks(tp, "191.5");
    view->verticalScrollBar()->setValue(300);
    ASSERT_EQ(view->verticalScrollBar()->value(), 300);

    view->setLayoutMode(TerminalLayout::Workspace);
    ASSERT_EQ(view->layoutMode(), TerminalLayout::Workspace);
    EXPECT_TRUE(view->workspace()->isVisible());
    EXPECT_FALSE(child<QWidget>("terminalPage")->isVisible());
    for (const auto& [name, c] : cards) {
        QScrollArea* holder = view->findChild<QScrollArea*>(QString::fromStdString(name) + "Scroll");
        ASSERT_NE(holder, nullptr) << name;
        EXPECT_EQ(holder->widget(), c) << name << ": the page's own card, moved into its dock";
        EXPECT_EQ(view->dock(QString::fromStdString(name))->windowTitle(), c->windowTitle()) << name;
        EXPECT_FALSE(c->windowTitle().isEmpty()) << name;
    }
    EXPECT_EQ(view->findChildren<PanelCard*>().size(), cards.size()) << "no copies";
    EXPECT_EQ(terminal->market().selectedSymbol(), "AAPL");
    EXPECT_EQ(child<QComboBox>("orderSymbolPicker")->currentText(), "AAPL");
    EXPECT_EQ(tp->text(), "191.5");
    // The chart is taller than its dock: scrolled inside it, and kept there across a round trip.
    auto* chartScroll = child<QScrollArea>("chartPanelScroll");
    ASSERT_TRUE(waitUntil([&] { return chartScroll->verticalScrollBar()->maximum() > 120; }));
    chartScroll->verticalScrollBar()->setValue(120);

    view->setLayoutMode(TerminalLayout::Page);
    ASSERT_EQ(view->layoutMode(), TerminalLayout::Page);
    EXPECT_FALSE(view->workspace()->isVisible());
    EXPECT_EQ(view->widget(), child<QWidget>("terminalPage"));
    EXPECT_EQ(view->verticalScrollBar()->value(), 300);
    EXPECT_EQ(terminal->market().selectedSymbol(), "AAPL");
    EXPECT_EQ(tp->text(), "191.5");
    QApplication::processEvents();
    for (const auto& [name, place] : pagePlaces) {
        EXPECT_EQ(cards[name]->parentWidget(), child<QWidget>("terminalPage")) << name;
        EXPECT_TRUE(cards[name]->isVisible()) << name;
        EXPECT_EQ(cards[name]->geometry(), place) << name << ": in its row and column as before";
    }

    view->setLayoutMode(TerminalLayout::Workspace);
    QApplication::processEvents();
    EXPECT_EQ(chartScroll->verticalScrollBar()->value(), 120);
    EXPECT_EQ(chartScroll->widget(), cards["chartPanel"]);
}

TEST_F(WorkspaceTest, defaultWorkspace_showsTheTradingPanelsInFront_theOthersOneTabAway) {
    view->setLayoutMode(TerminalLayout::Workspace);
    QApplication::processEvents();
    view->workspace()->layout()->activate();
    for (const char* name : {"chartPanel", "ladderPanel", "orderPanel", "hotkeysPanel", "tapePanel", "positionsPanel"})
        EXPECT_TRUE(inFront(*view, name)) << name << " " << arrangement(*view)[name];
    // The chart takes the largest area.
    const auto area = [&](const char* name) {
        const QSize s = view->dock(name)->size();
        return s.width() * s.height();
    };
    for (const char* name : {"ladderPanel", "orderPanel", "hotkeysPanel", "tapePanel", "positionsPanel"})
        EXPECT_GT(area("chartPanel"), area(name)) << name;
    // The ticket, the quick actions and the open trades fit their docks whole; the ladder and the tape as wide.
    for (const char* name : {"orderPanel", "hotkeysPanel", "positionsPanel", "ladderPanel", "tapePanel"}) {
        QScrollArea* holder = child<QScrollArea>(QString::fromLatin1(name) + "Scroll");
        const QSize need = card(name)->minimumSize().expandedTo(card(name)->minimumSizeHint());
        EXPECT_GE(holder->viewport()->width(), need.width()) << name;
        if (std::string(name) != "ladderPanel" && std::string(name) != "tapePanel")
            EXPECT_GE(holder->viewport()->height(), need.height()) << name;
    }
    // Every other panel is one tab away from a panel in front.
    for (const QString& name : zqt::workspacePanelOrder()) {
        if (inFront(*view, name))
            continue;
        const QList<QDockWidget*> tabs = view->workspace()->tabifiedDockWidgets(view->dock(name));
        EXPECT_TRUE(std::any_of(tabs.begin(), tabs.end(), [&](QDockWidget* d) {
            return inFront(*view, d->objectName().chopped(4));
        })) << name.toStdString();
    }
    // No two docks in front overlap.
    QList<QRect> shown;
    for (const QString& name : zqt::workspacePanelOrder())
        if (inFront(*view, name))
            shown << view->dock(name)->geometry();
    for (int i = 0; i < shown.size(); ++i)
        for (int j = i + 1; j < shown.size(); ++j)
            EXPECT_FALSE(shown[i].intersects(shown[j])) << i << " " << j;
}

namespace {

// The chart card's canvases, the main chart first.
const char* const kChartCanvases[] = {"mainChart", "htfChart", "volumeChart", "rsiChart", "macdChart"};

// Whether a panel's card lies whole inside its dock's viewport (nothing to scroll to) and inside the view.
::testing::AssertionResult wholeInItsDock(const NativeTerminalView& view, const QString& name) {
    QScrollArea* holder = view.findChild<QScrollArea*>(name + "Scroll");
    PanelCard* card = view.findChild<PanelCard*>(name);
    if (!holder || !card)
        return ::testing::AssertionFailure() << "no card or dock";
    const QRect inView(card->mapTo(&view, QPoint(0, 0)), card->size());
    const QRect viewport(holder->viewport()->mapTo(&view, QPoint(0, 0)), holder->viewport()->size());
    if (holder->verticalScrollBar()->maximum() != 0 || holder->horizontalScrollBar()->maximum() != 0 ||
        !viewport.contains(inView) || !view.rect().contains(inView))
        return ::testing::AssertionFailure()
               << "card " << card->width() << "x" << card->height() << " at " << inView.x() << "," << inView.y()
               << " in a viewport " << viewport.width() << "x" << viewport.height() << " at " << viewport.x() << ","
               << viewport.y() << ", scroll range " << holder->verticalScrollBar()->maximum();
    return ::testing::AssertionSuccess();
}

// Whether a card's table scrolls inside itself, its header and the card's title above it in the dock's view.
::testing::AssertionResult tableScrollsInside(const NativeTerminalView& view, const QString& name,
                                              const QString& tableName) {
    auto* table = view.findChild<QTableView*>(tableName);
    if (!table || !table->isVisible())
        return ::testing::AssertionFailure() << "no table shown";
    if (table->verticalScrollBar()->maximum() == 0)
        return ::testing::AssertionFailure() << "all " << table->model()->rowCount() << " rows in view";
    const int rowsShown = table->viewport()->height() / table->verticalHeader()->defaultSectionSize();
    auto* card = view.findChild<PanelCard*>(name);
    if (rowsShown < card->fillRows())
        return ::testing::AssertionFailure() << rowsShown << " rows shown";
    // The table (and so the card's title and badges above it) in the dock's view, the card not scrolled.
    QScrollArea* holder = view.findChild<QScrollArea*>(name + "Scroll");
    const QRect inView(table->mapTo(holder->viewport(), QPoint(0, 0)), table->size());
    if (holder->verticalScrollBar()->value() != 0 || !holder->viewport()->rect().contains(inView))
        return ::testing::AssertionFailure() << "table at " << inView.y() << " to " << inView.bottom()
                                             << " in a viewport " << holder->viewport()->height() << " high";
    return ::testing::AssertionSuccess();
}

} // namespace

TEST_F(WorkspaceTest, defaultWorkspace_atTheWindowsDefaultAndWideSizes_holdsTheTradingPanelsWhole) {
    // Full tables: a book ten levels deep each side (as the demo engine's), a long tape and a dozen open trades.
    std::string levels;
    for (int i = 0; i < 21; ++i)
        levels += (i ? "," : "") + QStringLiteral(R"({"price":%1,"bid_size":%2,"ask_size":%3%4})")
                                       .arg(1.0830 + 0.0001 * i, 0, 'f', 4)
                                       .arg(i <= 10 ? 1 + i % 5 : 0)
                                       .arg(i >= 10 ? 1 + i % 7 : 0)
                                       .arg(i == 10 ? R"(,"mid":true)" : "")
                                       .toStdString();
    server.setReply("GET", "/api/market/depth",
                    {200, R"({"symbol":"EURUSD","price":1.085,"levels":[)" + levels + "]}"});
    std::string trades;
    for (int i = 0; i < 12; ++i)
        trades += (i ? "," : "") + QStringLiteral(R"({"id":%1,"symbol":"EURUSD","side":"BUY","units":1,)"
                                                  R"("entry":1.0851,"mark":1.0839,"upl":-12})")
                                       .arg(i + 1)
                                       .toStdString();
    server.setReply("GET", "/api/trades/open", {200, R"({"positions":[)" + trades + "]}"});
    for (int i = 0; i < 14; ++i) {
        server.setReply(
            "GET", "/api/prices",
            {200,
             QStringLiteral(R"({"prices":{"EURUSD":%1}})").arg(1.0850 + 0.0001 * (i % 4), 0, 'f', 4).toStdString()});
        terminal->refreshAll();
        ASSERT_TRUE(settled());
    }
    ASSERT_GE(terminal->market().tapeRows().size(), 10);
    ASSERT_EQ(terminal->market().depthLevels().size(), 21u);
    ASSERT_EQ(terminal->account().positions().size(), 12);

    // The terminal tab of a 1280 x 800 window, and of a 1920 x 1080 one. Each table card is whole in its dock, its
    // table scrolling inside itself. At 1280 x 800 the chart card (its pickers, switches and readouts, and five
    // charts at their least) is taller than the height the open trades leave it: the price chart is in view whole
    // and the rest of the card scrolls. In the wide workspace the chart has a column of its own and is whole.
    const struct {
        QSize size;
        bool chartWhole;
    } cases[] = {{QSize(1280, 650), false}, {QSize(1920, 930), true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.size.width() << "x" << c.size.height());
        view->resize(c.size);
        view->setLayoutMode(TerminalLayout::Workspace);
        view->resetWorkspace();
        settledArrangement();
        QApplication::processEvents();
        for (const char* name : {"ladderPanel", "orderPanel", "hotkeysPanel", "tapePanel", "positionsPanel"})
            EXPECT_TRUE(inFront(*view, name)) << name;
        // The ladder's heat strip (as high as the book is deep) may lie below its dock's lower edge.
        for (const char* name : {"orderPanel", "hotkeysPanel", "tapePanel", "positionsPanel"})
            EXPECT_TRUE(wholeInItsDock(*view, name)) << name;
        EXPECT_TRUE(tableScrollsInside(*view, "ladderPanel", "ladderTable"));
        EXPECT_TRUE(tableScrollsInside(*view, "tapePanel", "tapeTable"));
        EXPECT_TRUE(tableScrollsInside(*view, "positionsPanel", "positionsTable"));
        EXPECT_TRUE(inFront(*view, "chartPanel"));
        if (c.chartWhole)
            EXPECT_TRUE(wholeInItsDock(*view, "chartPanel"));
        auto* main = child<zqt::ChartCanvas>("mainChart");
        QScrollArea* chartScroll = child<QScrollArea>("chartPanelScroll");
        EXPECT_TRUE(QRect(QPoint(), chartScroll->viewport()->size())
                        .contains(QRect(main->mapTo(chartScroll->viewport(), QPoint(0, 0)), main->size())))
            << "the price chart in view whole";
        const auto area = [&](const char* name) {
            const QSize s = view->dock(name)->size();
            return s.width() * s.height();
        };
        for (const char* name : {"ladderPanel", "orderPanel", "hotkeysPanel", "tapePanel", "positionsPanel"})
            EXPECT_GT(area("chartPanel"), area(name)) << name;
        // The main chart is the tallest canvas, its price plot high enough for its full scale; every canvas is
        // drawn at the height it has.
        EXPECT_GE(main->plan().plot.height(), 90);
        for (const char* name : kChartCanvases) {
            auto* chart = child<zqt::ChartCanvas>(name);
            EXPECT_TRUE(chart->isVisible()) << name;
            EXPECT_EQ(chart->plan().size.height(), chart->height()) << name;
            if (chart != main)
                EXPECT_GT(main->height(), chart->height()) << name;
        }
        std::cout << c.size.width() << "x" << c.size.height();
        for (const char* name : {"chartPanel", "positionsPanel", "ladderPanel", "tapePanel"})
            std::cout << ' ' << name << " dock " << view->dock(name)->width() << "x" << view->dock(name)->height();
        std::cout << " chart card " << card("chartPanel")->height() << ", charts:";
        for (const char* name : kChartCanvases)
            std::cout << ' ' << name << ' ' << child<zqt::ChartCanvas>(name)->height();
        std::cout << '\n';
    }
}

TEST_F(WorkspaceTest, chartDock_sharesItsHeightAmongTheCharts_scrollsBelowTheirMinimums_andThePageKeepsFixedHeights) {
    const std::map<std::string, int> fixed{
        {"mainChart", 240}, {"htfChart", 160}, {"volumeChart", 90}, {"rsiChart", 110}, {"macdChart", 110}};
    const auto heights = [&] {
        std::map<std::string, int> out;
        for (const char* name : kChartCanvases) {
            auto* chart = child<zqt::ChartCanvas>(name);
            EXPECT_EQ(chart->plan().size.height(), chart->height()) << name << ": planned at its height";
            out[name] = chart->height();
        }
        return out;
    };
    const auto settle = [&] {
        settledArrangement();
        QApplication::processEvents();
    };
    view->resize(1920, 930);
    QApplication::processEvents();
    EXPECT_EQ(heights(), fixed) << "on the page";

    view->setLayoutMode(TerminalLayout::Workspace);
    view->resetWorkspace();
    settle();
    auto* chartScroll = child<QScrollArea>("chartPanelScroll");
    const auto shared = heights();
    EXPECT_NE(shared, fixed);
    EXPECT_EQ(chartScroll->verticalScrollBar()->maximum(), 0);
    // Settled: no chart keeps resizing (and re-planning) by itself.
    QSignalSpy mainResized(child<zqt::ChartCanvas>("mainChart"), &zqt::ChartCanvas::resized);
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    EXPECT_EQ(mainResized.count(), 0);

    // A taller dock: every chart as high or higher, the main chart grown the most, the card still whole.
    view->resize(1920, 1100);
    settle();
    const auto taller = heights();
    for (const char* name : kChartCanvases)
        EXPECT_GE(taller.at(name), shared.at(name)) << name;
    EXPECT_GT(taller.at("mainChart") - shared.at("mainChart"), taller.at("htfChart") - shared.at("htfChart"));
    EXPECT_EQ(chartScroll->verticalScrollBar()->maximum(), 0);

    // A dock lower than the charts' minimums together: the card scrolls inside its dock, the charts still
    // readable (the main chart's price plot at least 90 high) and the main chart down to the dock's lower edge.
    view->resize(1920, 420);
    settle();
    EXPECT_GT(chartScroll->verticalScrollBar()->maximum(), 0);
    auto* main = child<zqt::ChartCanvas>("mainChart");
    EXPECT_GE(main->plan().plot.height(), 90);
    const int mainBottom = main->mapTo(chartScroll->viewport(), QPoint(0, main->height())).y();
    EXPECT_LE(mainBottom, chartScroll->viewport()->height());
    EXPECT_GE(mainBottom, chartScroll->viewport()->height() - 8);
    heights();

    // Back on the page, the fixed heights; and shared as before in the workspace again.
    view->resize(1920, 930);
    view->setLayoutMode(TerminalLayout::Page);
    settle();
    EXPECT_EQ(heights(), fixed) << "on the page again";
    view->setLayoutMode(TerminalLayout::Workspace);
    view->resetWorkspace();
    settle();
    EXPECT_EQ(heights(), shared) << "in the workspace again";
}

TEST_F(WorkspaceTest, wideWorkspace_showsMorePanelsAtOnce) {
    const auto inFrontCount = [](const NativeTerminalView& v) {
        return std::count_if(zqt::workspacePanelOrder().begin(), zqt::workspacePanelOrder().end(),
                             [&](const QString& name) { return inFront(v, name); });
    };
    view->setLayoutMode(TerminalLayout::Workspace);
    settledArrangement();
    const auto narrow = inFrontCount(*view);
    view->resize(1920, 950);
    view->resetWorkspace();
    settledArrangement();
    EXPECT_GT(inFrontCount(*view), narrow);
    for (const char* name : {"watchlistPanel", "metricsPanel", "chartPanel", "orderPanel", "positionsPanel"})
        EXPECT_TRUE(inFront(*view, name)) << name;
}

TEST_F(WorkspaceTest, docks_closeFromThePanelsActions_andComeBack) {
    view->setLayoutMode(TerminalLayout::Workspace);
    const QList<QAction*> actions = view->panelActions();
    ASSERT_EQ(actions.size(), zqt::workspacePanelOrder().size());
    for (int i = 0; i < actions.size(); ++i) {
        const QString name = zqt::workspacePanelOrder().at(i);
        QDockWidget* dock = view->dock(name);
        EXPECT_EQ(actions[i]->text(), dock->windowTitle());
        EXPECT_TRUE(actions[i]->isCheckable());
        EXPECT_TRUE(actions[i]->isChecked());
        const QDockWidget::DockWidgetFeatures floatable =
            name == "hotkeysPanel" ? QDockWidget::NoDockWidgetFeatures : QDockWidget::DockWidgetFloatable;
        EXPECT_EQ(dock->features(), QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | floatable)
            << name.toStdString();
    }
    QDockWidget* tape = view->dock("tapePanel");
    actions[4]->trigger();
    EXPECT_TRUE(tape->isHidden());
    EXPECT_FALSE(actions[4]->isChecked());
    actions[4]->trigger();
    EXPECT_TRUE(tape->isVisible());
    EXPECT_EQ(child<QScrollArea>("tapePanelScroll")->widget(), card("tapePanel"));
}

TEST_F(WorkspaceTest, arrangement_withAClosedATabbedAndAFloatingPanel_comesBackInAnotherView) {
    view->setLayoutMode(TerminalLayout::Workspace);
    QMainWindow* w = view->workspace();
    view->dock("tapePanel")->close();
    w->tabifyDockWidget(view->dock("orderPanel"), view->dock("hotkeysPanel"));
    QDockWidget* floating = view->dock("ladderPanel");
    floating->setFloating(true);
    floating->setGeometry(200, 150, 320, 480);
    const auto before = settledArrangement();
    const QByteArray state = view->saveWorkspace();

    view = makeView();
    view->show();
    view->setLayoutMode(TerminalLayout::Workspace);
    ASSERT_TRUE(view->restoreWorkspace(state));
    const auto after = settledArrangement();
    EXPECT_TRUE(view->dock("tapePanel")->isHidden());
    EXPECT_TRUE(view->workspace()->tabifiedDockWidgets(view->dock("orderPanel")).contains(view->dock("hotkeysPanel")));
    EXPECT_TRUE(view->dock("ladderPanel")->isFloating());
    EXPECT_EQ(view->dock("ladderPanel")->geometry(), QRect(200, 150, 320, 480));
    EXPECT_EQ(after, before);
}

TEST_F(WorkspaceTest, unusableArrangements_layOutTheDefaultWorkspace) {
    view->setLayoutMode(TerminalLayout::Workspace);
    const QByteArray good = view->saveWorkspace();
    QMainWindow other;
    other.addDockWidget(Qt::LeftDockWidgetArea, new QDockWidget("Other", &other));
    QByteArray otherVersion;
    {
        auto v = makeView();
        v->setLayoutMode(TerminalLayout::Workspace);
        otherVersion = v->workspace()->saveState(NativeTerminalView::kWorkspaceVersion + 1);
    }
    QWidget geometryOwner;
    const struct {
        const char* what;
        QByteArray state;
    } cases[] = {
        {"empty", QByteArray()},
        {"cut in half", good.left(good.size() / 2)},
        {"cut by one byte", good.chopped(1)},
        {"another program's window geometry", geometryOwner.saveGeometry()},
        {"another version", otherVersion},
        {"random bytes", QByteArray(4096, '\x5a')},
        {"text", QByteArray("not a workspace")},
    };
    // The default as this view lays it out: its cards' sizes follow what they show (the ticket's notional).
    view->resetWorkspace();
    const auto expected = settledArrangement();
    for (const auto& c : cases) {
        // Something to undo first: a closed, a floating and a tabbed panel.
        view->setLayoutMode(TerminalLayout::Workspace);
        view->dock("tapePanel")->close();
        view->dock("orderPanel")->setFloating(true);
        view->workspace()->tabifyDockWidget(view->dock("chartPanel"), view->dock("ladderPanel"));
        EXPECT_FALSE(view->restoreWorkspace(c.state)) << c.what;
        EXPECT_EQ(settledArrangement(), expected) << c.what;
    }
}

TEST_F(WorkspaceTest, ctrlDigits_focusTheFirstNinePanels_raisingTabbedOnes_oncePerPress) {
    view->setLayoutMode(TerminalLayout::Workspace);
    QApplication::processEvents();
    QWindow* window = view->windowHandle();
    for (int i = 0; i < 9; ++i) {
        const QString name = zqt::workspacePanelOrder().at(i);
        // The focus somewhere else first: the panel before (or the last of the nine).
        view->focusPanel((i + 8) % 9);
        QTest::keyClick(window, Qt::Key(Qt::Key_1 + i), Qt::ControlModifier);
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << name.toStdString();
        EXPECT_TRUE(view->dock(name)->isAncestorOf(focus))
            << name.toStdString() << " has " << focus->objectName().toStdString();
        EXPECT_TRUE(inFront(*view, name)) << name.toStdString();
    }
    // A closed panel comes back for its keys.
    view->dock("ladderPanel")->close();
    QTest::keyClick(window, Qt::Key_2, Qt::ControlModifier);
    EXPECT_TRUE(view->dock("ladderPanel")->isVisible());
    // In the page the keys do nothing.
    view->setLayoutMode(TerminalLayout::Page);
    QWidget* before = QApplication::focusWidget();
    QTest::keyClick(window, Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), before);
}

TEST_F(WorkspaceTest,
       quickActionKeys_inTheWorkspace_sendOncePerPress_heldOrNot_docked_tabbedAway_orBesideAFloatingPanel) {
    view->setLayoutMode(TerminalLayout::Workspace);
    ASSERT_TRUE(settled());
    QWindow* window = view->windowHandle();
    const auto press = [&](bool held) {
        server.clearRequests();
        QTest::simulateEvent(window, true, Qt::Key_B, Qt::ControlModifier, QString(), false);
        for (int i = 0; held && i < 5; ++i)
            QTest::simulateEvent(window, true, Qt::Key_B, Qt::ControlModifier, QString(), true);
        QTest::simulateEvent(window, false, Qt::Key_B, Qt::ControlModifier, QString(), false);
        EXPECT_TRUE(settled());
        return postPaths();
    };
    const std::vector<std::string> once{"/api/oms/order"};
    child<QPushButton>("placeOrderButton")->setFocus();
    EXPECT_EQ(press(false), once) << "docked";
    EXPECT_EQ(press(true), once) << "docked, held";
    // Behind another tab: the keys act as on a page scrolled away from the card.
    view->workspace()->tabifyDockWidget(view->dock("positionsPanel"), view->dock("hotkeysPanel"));
    view->dock("positionsPanel")->raise();
    child<QPushButton>("placeOrderButton")->setFocus();
    EXPECT_EQ(press(true), once) << "tabbed away";
    // The quick actions do not float off into a window of their own, where the window's keys would not reach them;
    // another panel floating leaves the keys as they are.
    EXPECT_FALSE(view->dock("hotkeysPanel")->features() & QDockWidget::DockWidgetFloatable);
    view->dock("orderPanel")->setFloating(true);
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    child<QPushButton>("quickBuyButton")->setFocus();
    EXPECT_EQ(press(true), once) << "ticket floating";
    view->dock("orderPanel")->setFloating(false);
    // After a round trip through the page, still one action per press.
    view->setLayoutMode(TerminalLayout::Page);
    view->setLayoutMode(TerminalLayout::Workspace);
    child<QPushButton>("placeOrderButton")->setFocus();
    EXPECT_EQ(press(true), once) << "after a round trip";
    // In the page, as before.
    view->setLayoutMode(TerminalLayout::Page);
    child<QPushButton>("placeOrderButton")->setFocus();
    EXPECT_EQ(press(true), once) << "page";
}

namespace {

// Where a widget sits: its class and name, and those of the cards and docks above it.
std::string widgetPath(const QWidget* w) {
    QStringList parts;
    for (; w; w = w->parentWidget())
        parts.prepend(QString::fromLatin1(w->metaObject()->className()) + "#" + w->objectName());
    return parts.join('/').toStdString();
}

// Records the layout requests and paints that widgets receive while it is on.
struct WidgetEvents : QObject {
    bool on = false;
    std::set<QWidget*> layoutRequests;
    std::map<QWidget*, QRegion> painted;
    bool eventFilter(QObject* o, QEvent* e) override {
        auto* w = qobject_cast<QWidget*>(o);
        if (!on || !w)
            return false;
        if (e->type() == QEvent::LayoutRequest)
            layoutRequests.insert(w);
        else if (e->type() == QEvent::Paint)
            painted[w] += static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};

// What a pass of the window's event loop would do for the widgets, and nothing else (no replies, no timers):
// the layouts asked for, then one repaint of what was marked dirty.
void layOutAndPaint() {
    for (int i = 0; i < 4; ++i)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
}

bool within(const QWidget* w, const QWidget* ancestor) {
    return w == ancestor || ancestor->isAncestorOf(w);
}

} // namespace

TEST_F(WorkspaceTest, onePriceTick_repaintsOnlyWhatChanged_withoutALayoutPass) {
    view->setLayoutMode(TerminalLayout::Workspace);
    ASSERT_TRUE(settled());
    zqt::MarketModel& market = terminal->market();
    qint64 t = 0;
    double price = 1.0850;
    const auto tick = [&](qint64 step) {
        t += step;
        price += t % 3 == 0 ? -0.0001 : 0.0001;
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1709649000 + t, QTimeZone::utc());
        market.updateCandles(price, now);
        market.updateTape(price, now);
    };
    // 80 bars and a full tape, laid out and painted.
    for (int i = 0; i < 80; ++i)
        tick(15);
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
        layOutAndPaint();
    }
    tick(1); // the readouts and the numbers beside them have taken their sizes for such prices
    layOutAndPaint();

    WidgetEvents seen;
    qApp->installEventFilter(&seen);
    seen.on = true;
    tick(1);
    layOutAndPaint();
    const std::set<QWidget*> laidOut = seen.layoutRequests;
    const std::map<QWidget*, QRegion> painted = seen.painted;
    // The tape's rows moved down one: its table repaints them once its delayed item layout has run.
    QWidget* tapeRows = child<QAbstractScrollArea>("tapeTable")->viewport();
    EXPECT_TRUE(waitUntil([&] { return seen.painted.count(tapeRows) > 0; }, 5000)) << "tape rows";
    seen.on = false;
    qApp->removeEventFilter(&seen);

    // No layout was asked of a card, a dock or the workspace: the texts that changed kept their sizes.
    for (QWidget* w : laidOut)
        EXPECT_TRUE(w->layout() == nullptr && !qobject_cast<QAbstractScrollArea*>(w->parentWidget()))
            << "layout requested of " << widgetPath(w);

    // The price chart was painted again, but not its card or its dock under it: the chart paints every pixel.
    QWidget* mainChart = child<QWidget>("mainChart");
    EXPECT_TRUE(painted.count(mainChart)) << "price chart";
    PanelCard* chartCard = card("chartPanel");
    const auto cardPaint = painted.find(chartCard);
    EXPECT_TRUE(cardPaint == painted.end() || !cardPaint->second.intersects(mainChart->geometry()))
        << "card under the chart";
    for (const auto& [w, region] : painted) {
        EXPECT_FALSE(qobject_cast<QDockWidget*>(w) || qobject_cast<QMainWindow*>(w) || qobject_cast<QScrollBar*>(w))
            << "frame painted: " << widgetPath(w);
        // Nor any panel whose inputs are not the bars or the tape.
        for (const char* still : {"orderPanel", "hotkeysPanel", "positionsPanel", "watchlistPanel"})
            EXPECT_FALSE(within(w, card(still))) << "painted: " << widgetPath(w);
    }
}
