#include "terminal/views/ChartPanel.h"

#include "api/TokenStore.h"
#include "terminal/Indicators.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/ChartWidgets.h"
#include "terminal/views/MetricTile.h"
#include "terminal/views/MetricsPanel.h"
#include "terminal/views/NativeTerminalView.h"
#include "terminal/views/SegmentedControl.h"
#include "terminal/views/WatchlistPanel.h"

#include "RecordingServer.h"
#include "TestEnv.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <QDir>

#include <algorithm>
#include <span>
#include <string>

using zqt::ChartColor;
using zqt::ChartPanel;
using zqt::ChartPrimitive;
using zqt::NativeTerminalModel;
using zqt::test::CannedReply;
using zqt::test::RecordingServer;
using zqt::test::TempEnv;
using zqt::test::waitUntil;

namespace {

// Three rising and falling bars with volumes.
const std::string kCandles =
    R"({"symbol":"EURUSD","interval":15,"candles":[)"
    R"({"ts":"2024-03-05T14:30:00Z","open":1.0,"high":1.2,"low":0.9,"close":1.1,"volume":10},)"
    R"({"ts":"2024-03-05T14:30:15Z","open":1.1,"high":1.3,"low":1.0,"close":1.25,"volume":20},)"
    R"({"ts":"2024-03-05T14:30:30Z","open":1.25,"high":1.26,"low":1.05,"close":1.1,"volume":5}]})";

const char* const kReadouts[] = {"EMA", "VWAP", "ATR", "RSI", "MACD", "SMA50", "SMA200", "BB+2σ", "BB-2σ"};
const char* const kSwitches[] = {"EMA", "VWAP", "VWAP Bands", "SMA50", "SMA200", "BBands",
                                 "Vol", "RSI",  "MACD",       "HTF",   "Grid"};

// A chart panel over a terminal whose timers are held, against a recording server.
class ChartPanelTest : public ::testing::Test {
protected:
    ChartPanelTest()
        : model(QUrl(server.baseUrl()), tokens, zqt::TerminalSources::system(), NativeTerminalModel::TimerStart::Later),
          panel(model.market(), model.chart()) {
        panel.resize(1100, 1000);
        panel.show();
    }

    template <typename T> T* child(const QString& name) const {
        T* w = panel.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QString readout(const char* label) const {
        return child<zqt::MetricTile>(QStringLiteral("chartReadout_") + QString::fromUtf8(label))->value();
    }
    bool candleRequestWith(const std::string& query) const {
        const auto all = server.requests();
        return std::any_of(all.begin(), all.end(), [&](const auto& r) {
            return r.path == "/api/market/candles" && r.query.find(query) != std::string::npos;
        });
    }
    void loadBars() {
        server.setReply("GET", "/api/market/candles", {200, kCandles});
        model.refreshCandles();
        ASSERT_TRUE(waitUntil([&] { return model.market().candles().size() == 3; }, 30000));
    }
    // The readout line of bar i with the default switches (all overlays but SMA 200, RSI and MACD), every value
    // computed here from the bars.
    QString expectedReadout(std::size_t i) const {
        const QList<zqt::Candle>& list = model.market().candles();
        const std::span<const zqt::Candle> b(list.constData(), static_cast<std::size_t>(list.size()));
        const zqt::Candle& c = b[i];
        auto f4 = [](std::optional<double> v) {
            return v ? QString::asprintf("%.4f", *v) : QStringLiteral("-");
        };
        const zqt::BandSeries vwapBands = zqt::vwapBandSeries(1.35, 20, b);
        const zqt::BandSeries bb = zqt::bollingerSeries(20, 2.0, b);
        const zqt::MacdSeries macd = zqt::macdSeries(12, 26, 9, b);
        QStringList parts = {
            QDateTime::fromSecsSinceEpoch(c.bucket * 15).toString("yyyy-MM-dd HH:mm:ss"),
            "O " + f4(c.open),
            "H " + f4(c.high),
            "L " + f4(c.low),
            "C " + f4(c.close),
            "Vol " + QString::asprintf("%.2f", c.volume),
            "EMA " + f4(zqt::emaSeries(14, b)[i]),
            "VWAP " + f4(zqt::vwapSeries(b)[i]),
            "VWAP+ " + f4(vwapBands.upper[i]),
            "VWAP- " + f4(vwapBands.lower[i]),
            "SMA50 " + f4(zqt::smaSeries(50, b)[i]),
            "BB+ " + f4(bb.upper[i]),
            "BB- " + f4(bb.lower[i]),
            "RSI " + QString::asprintf("%.2f", zqt::rsiSeries(14, b)[i]),
            "MACD " + f4(macd.macd[i]),
            "Signal " + f4(macd.signal[i]),
            "Hist " + f4(macd.hist[i]),
        };
        return parts.join("  ");
    }
    std::vector<zqt::ChartCanvas*> barCharts() const {
        return {child<zqt::ChartCanvas>("mainChart"), child<zqt::ChartCanvas>("volumeChart"),
                child<zqt::ChartCanvas>("rsiChart"), child<zqt::ChartCanvas>("macdChart")};
    }
    static bool draws(const zqt::ChartPlan& plan, ChartPrimitive::Kind kind, ChartColor color) {
        return std::any_of(plan.primitives.begin(), plan.primitives.end(),
                           [&](const ChartPrimitive& p) { return p.kind == kind && p.color == color; });
    }

    TempEnv env;
    RecordingServer server;
    zqt::MemoryTokenStore tokens;
    NativeTerminalModel model;
    ChartPanel panel;
};

} // namespace

TEST_F(ChartPanelTest, noBars_mainChartWaits_subChartsAreEmptyFrames_everyReadoutIsDash) {
    const auto& main = child<zqt::CandleChartWidget>("mainChart")->plan();
    ASSERT_EQ(main.primitives.size(), 1u);
    EXPECT_EQ(main.primitives[0].text, "Waiting for candle data...");
    for (const char* name : {"volumeChart", "rsiChart", "macdChart"}) {
        auto* chart = child<zqt::ChartCanvas>(name);
        EXPECT_TRUE(chart->isVisible()) << name;
        EXPECT_TRUE(chart->plan().primitives.empty()) << name;
    }
    for (const char* label : kReadouts)
        EXPECT_EQ(readout(label), "-") << label;
    EXPECT_FALSE(child<QLabel>("lastPriceLabel")->isVisible());
    EXPECT_FALSE(child<QLabel>("chartMarketErrorLabel")->isVisible());
    EXPECT_EQ(child<QLabel>("chartSymbolPill")->text(), "EURUSD");
    EXPECT_EQ(child<QLabel>("htfLabel")->text(), "HTF 5m");
    EXPECT_EQ(child<zqt::SegmentedControl>("intervalPicker")->value(), "15s");
    EXPECT_EQ(child<zqt::SegmentedControl>("intervalPicker")->width(), 220);
}

TEST_F(ChartPanelTest, bars_drawTheChartsAndFillTheReadouts) {
    loadBars();
    const auto& main = child<zqt::CandleChartWidget>("mainChart")->plan();
    EXPECT_TRUE(draws(main, ChartPrimitive::Kind::Rect, ChartColor::Red));
    EXPECT_TRUE(draws(main, ChartPrimitive::Kind::Polyline, ChartColor::SystemOrange));
    EXPECT_EQ(child<zqt::VolumeChartWidget>("volumeChart")->plan().primitives.size(), 3u);
    EXPECT_EQ(child<zqt::MacdChartWidget>("macdChart")->plan().primitives.size(), 3u + 2u);
    EXPECT_FALSE(child<zqt::RsiChartWidget>("rsiChart")->plan().primitives.empty());

    const std::span<const zqt::Candle> bars(model.market().candles().constData(), 3);
    EXPECT_EQ(readout("EMA"), QString::asprintf("%.4f", *zqt::emaValue(14, bars)));
    EXPECT_EQ(readout("ATR"), QString::asprintf("%.4f", *zqt::atrValue(14, bars)));
    EXPECT_EQ(readout("RSI"), "50.00"); // three bars: all 50
    EXPECT_EQ(readout("MACD"), QString::asprintf("%.4f", zqt::macdSeries(12, 26, 9, bars).macd.back()));
    for (const char* label : {"SMA50", "SMA200", "BB+2σ", "BB-2σ"}) // fewer bars than the periods
        EXPECT_EQ(readout(label), "-") << label;

    server.setReply("GET", "/api/prices", {200, R"({"prices":{"AAPL":190.5}})"});
    model.refreshMarket();
    ASSERT_TRUE(waitUntil([&] { return model.market().prices().contains("AAPL"); }, 30000));
    EXPECT_FALSE(child<QLabel>("lastPriceLabel")->isVisible()); // no price for the selected symbol
    server.setReply("GET", "/api/prices", {200, R"({"prices":{"EURUSD":1.08425}})"});
    model.refreshMarket();
    ASSERT_TRUE(waitUntil([&] { return model.market().prices().contains("EURUSD"); }, 30000));
    EXPECT_TRUE(child<QLabel>("lastPriceLabel")->isVisible());
    EXPECT_EQ(child<QLabel>("lastPriceLabel")->text(), "Last: " + QString::asprintf("%.4f", 1.08425));
}

TEST_F(ChartPanelTest, intervalPicker_writesTheInterval_andTheNextBarRequestCarriesIt) {
    QTest::mouseClick(child<zqt::SegmentedControl>("intervalPicker")->button("5m"), Qt::LeftButton);
    EXPECT_EQ(model.chart().candleInterval(), 300);
    EXPECT_EQ(child<zqt::SegmentedControl>("intervalPicker")->value(), "5m");
    EXPECT_TRUE(waitUntil([&] { return candleRequestWith("symbol=EURUSD&interval=300&count=80"); }, 30000));

    // The keyboard reaches the picker too: Space on the focused "5s" segment.
    QAbstractButton* fiveSeconds = child<zqt::SegmentedControl>("intervalPicker")->button("5s");
    fiveSeconds->setFocus();
    QTest::keyClick(fiveSeconds, Qt::Key_Space);
    EXPECT_EQ(model.chart().candleInterval(), 5);
    EXPECT_TRUE(waitUntil([&] { return candleRequestWith("symbol=EURUSD&interval=5&count=80"); }, 30000));
}

TEST_F(ChartPanelTest, htfPicker_writesTheHtfInterval_relabelsTheChart_andTheNextHtfRequestCarriesIt) {
    auto* picker = child<QComboBox>("htfPicker");
    EXPECT_EQ(picker->currentText(), "HTF 5m");
    QStringList items;
    for (int i = 0; i < picker->count(); ++i)
        items << picker->itemText(i);
    EXPECT_EQ(items, QStringList({"HTF 1m", "HTF 5m", "HTF 15m"}));
    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Down);
    EXPECT_EQ(model.chart().htfInterval(), 900);
    EXPECT_EQ(child<QLabel>("htfLabel")->text(), "HTF 15m");
    EXPECT_TRUE(waitUntil([&] { return candleRequestWith("symbol=EURUSD&interval=900&count=80"); }, 30000));
}

TEST_F(ChartPanelTest, htfPicker_offersOnlyTimeframesAboveTheBars_andMovesUpWithTheInterval) {
    auto* picker = child<QComboBox>("htfPicker");
    auto* interval = child<zqt::SegmentedControl>("intervalPicker");
    auto* empty = child<QLabel>("htfEmptyLabel");
    const auto offered = [picker] {
        QStringList items;
        for (int i = 0; i < picker->count(); ++i)
            items << picker->itemText(i);
        return items;
    };
    ASSERT_EQ(model.chart().htfInterval(), 300);

    // 60s bars: 1m is not higher; the 5m choice stays.
    QTest::mouseClick(interval->button("60s"), Qt::LeftButton);
    EXPECT_EQ(offered(), QStringList({"HTF 5m", "HTF 15m"}));
    EXPECT_EQ(picker->currentText(), "HTF 5m");
    EXPECT_EQ(model.chart().htfInterval(), 300);

    // 5m bars: the 5m choice is no longer above and moves to 15m, and the HTF bars are asked for at 15m.
    QTest::mouseClick(interval->button("5m"), Qt::LeftButton);
    EXPECT_EQ(offered(), QStringList({"HTF 15m"}));
    EXPECT_EQ(picker->currentText(), "HTF 15m");
    EXPECT_EQ(model.chart().htfInterval(), 900);
    EXPECT_EQ(child<QLabel>("htfLabel")->text(), "HTF 15m");
    EXPECT_TRUE(empty->isHidden());
    EXPECT_TRUE(waitUntil([&] { return candleRequestWith("symbol=EURUSD&interval=900&count=80"); }, 30000));

    // 15m bars: nothing lies above; the HTF chart says why it is empty.
    QTest::mouseClick(interval->button("15m"), Qt::LeftButton);
    EXPECT_TRUE(offered().isEmpty());
    EXPECT_FALSE(picker->isEnabled());
    EXPECT_FALSE(empty->isHidden());
    EXPECT_EQ(empty->text(), "No higher timeframe above 15m bars.");

    // Back to 60s bars: both higher choices again, the 15m one kept.
    QTest::mouseClick(interval->button("60s"), Qt::LeftButton);
    EXPECT_EQ(offered(), QStringList({"HTF 5m", "HTF 15m"}));
    EXPECT_TRUE(picker->isEnabled());
    EXPECT_TRUE(empty->isHidden());
    EXPECT_EQ(picker->currentText(), "HTF 15m");
}

TEST_F(ChartPanelTest, switches_changeWhatIsDrawn_andSendNothing) {
    loadBars();
    server.clearRequests();
    auto* mainChart = child<zqt::CandleChartWidget>("mainChart");
    ASSERT_TRUE(draws(mainChart->plan(), ChartPrimitive::Kind::Polyline, ChartColor::SystemOrange));

    QTest::mouseClick(child<QCheckBox>("chartSwitch_EMA"), Qt::LeftButton);
    EXPECT_FALSE(model.chart().showEma());
    EXPECT_FALSE(draws(mainChart->plan(), ChartPrimitive::Kind::Polyline, ChartColor::SystemOrange));
    auto* grid = child<QCheckBox>("chartSwitch_Grid");
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_FALSE(model.chart().showGrid());
    EXPECT_FALSE(draws(mainChart->plan(), ChartPrimitive::Kind::Segments, ChartColor::Gray));
    for (const char* name : {"Vol", "RSI", "MACD", "HTF"})
        QTest::mouseClick(child<QCheckBox>(QStringLiteral("chartSwitch_") + name), Qt::LeftButton);
    for (const char* name : {"volumeChart", "rsiChart", "macdChart", "htfChart", "htfLabel"})
        EXPECT_FALSE(child<QWidget>(name)->isVisible()) << name;
    QTest::mouseClick(child<QCheckBox>("chartSwitch_RSI"), Qt::LeftButton);
    EXPECT_TRUE(child<QWidget>("rsiChart")->isVisible());
    EXPECT_FALSE(child<zqt::RsiChartWidget>("rsiChart")->plan().primitives.empty());

    // A request sent now arrives after anything the switches could have sent: only it may be recorded.
    model.refreshHtfCandles();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() >= 1; }, 30000));
    const auto seen = server.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].query, "symbol=EURUSD&interval=300&count=80");
}

TEST_F(ChartPanelTest, everyControlIsNamedAsItsLabelAndTakesKeyboardFocus) {
    std::vector<QWidget*> controls;
    for (const char* label : kSwitches) {
        auto* box = child<QCheckBox>(QStringLiteral("chartSwitch_") + QString::fromUtf8(label));
        EXPECT_EQ(box->text(), label);
        EXPECT_EQ(box->accessibleName(), label);
        EXPECT_TRUE(box->isChecked() == (std::string(label) != "SMA200")) << label;
        controls.push_back(box);
    }
    auto* interval = child<zqt::SegmentedControl>("intervalPicker");
    EXPECT_EQ(interval->choices(), QStringList({"5s", "15s", "60s", "5m", "15m"}));
    for (const QString& choice : interval->choices()) {
        EXPECT_EQ(interval->button(choice)->accessibleName(), choice);
        controls.push_back(interval->button(choice));
    }
    EXPECT_EQ(child<QComboBox>("htfPicker")->accessibleName(), "HTF");
    controls.push_back(child<QComboBox>("htfPicker"));
    for (QWidget* w : controls)
        EXPECT_TRUE(w->focusPolicy() & Qt::TabFocus) << w->objectName().toStdString();
    for (const char* label : kReadouts)
        EXPECT_EQ(child<zqt::MetricTile>(QStringLiteral("chartReadout_") + QString::fromUtf8(label))->accessibleName(),
                  label);
}

TEST_F(ChartPanelTest, scales_everyChartSharesTheLabelColumn_soBarsLineUpUnderTheCandles) {
    loadBars();
    const zqt::ChartPlan& main = child<zqt::CandleChartWidget>("mainChart")->plan();
    EXPECT_GT(main.gutter, 0);
    EXPECT_FALSE(main.scale.empty());
    for (zqt::ChartCanvas* chart : barCharts()) {
        const zqt::ChartPlan& plan = chart->plan();
        EXPECT_DOUBLE_EQ(plan.gutter, main.gutter) << chart->objectName().toStdString();
        EXPECT_FALSE(plan.scale.empty()) << chart->objectName().toStdString();
        for (std::ptrdiff_t i = 0; i < 3; ++i)
            EXPECT_DOUBLE_EQ(plan.x(i), main.x(i)) << chart->objectName().toStdString();
    }
    EXPECT_DOUBLE_EQ(child<zqt::CandleChartWidget>("htfChart")->plan().plot.right(), main.plot.right());
}

TEST_F(ChartPanelTest, pointerOverABar_crosshairOnEveryChart_readoutIsThatBar_leavingRestoresTheLastBar) {
    loadBars();
    auto* main = child<zqt::CandleChartWidget>("mainChart");
    auto* line = child<QLabel>("chartReadoutLine");
    EXPECT_EQ(line->text(), expectedReadout(2)); // the live bar
    const QImage before = main->grab().toImage();
    for (std::size_t i : {1u, 0u, 2u}) {
        const QPoint at(static_cast<int>(main->plan().x(static_cast<std::ptrdiff_t>(i))),
                        static_cast<int>(main->plan().plot.center().y()));
        QTest::mouseMove(main, at);
        ASSERT_TRUE(waitUntil([&] { return main->crosshairIndex() == i; }, 5000)) << i;
        EXPECT_EQ(line->text(), expectedReadout(i)) << i;
        for (zqt::ChartCanvas* chart : barCharts()) {
            EXPECT_EQ(chart->crosshairIndex(), i) << chart->objectName().toStdString();
            // The horizontal line and its tag only where the pointer is.
            EXPECT_EQ(chart->crosshairY().has_value(), chart == main) << chart->objectName().toStdString();
        }
        EXPECT_EQ(main->crosshair().size(), 4u); // both lines, the tag and its value
        EXPECT_NE(main->grab().toImage(), before) << i;
    }
    // Over a sub-chart: the same bar everywhere, the horizontal line moves there.
    auto* rsi = child<zqt::RsiChartWidget>("rsiChart");
    QTest::mouseMove(rsi, QPoint(static_cast<int>(rsi->plan().x(1)), 40));
    ASSERT_TRUE(waitUntil([&] { return main->crosshairIndex() == 1u && rsi->crosshairY(); }, 5000));
    EXPECT_FALSE(main->crosshairY().has_value());
    EXPECT_EQ(line->text(), expectedReadout(1));

    QTest::mouseMove(child<QLabel>("chartTitle"), QPoint(2, 2));
    ASSERT_TRUE(waitUntil([&] { return !rsi->crosshairIndex(); }, 5000));
    for (zqt::ChartCanvas* chart : barCharts()) {
        EXPECT_FALSE(chart->crosshairIndex().has_value()) << chart->objectName().toStdString();
        EXPECT_TRUE(chart->crosshair().empty()) << chart->objectName().toStdString();
    }
    EXPECT_EQ(line->text(), expectedReadout(2));
    EXPECT_EQ(main->grab().toImage(), before); // nothing of the crosshair is left drawn
}

namespace {

// Collects the regions a widget repaints.
class PaintRegions final : public QObject {
public:
    explicit PaintRegions(QWidget* w) { w->installEventFilter(this); }
    QRegion painted;
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
            ++count;
        }
        return false;
    }
};

qint64 area(const QRegion& region) {
    qint64 sum = 0;
    for (const QRect& r : region)
        sum += qint64(r.width()) * r.height();
    return sum;
}

} // namespace

TEST_F(ChartPanelTest, crosshairMove_repaintsOnlyTheStripsOfTheOldAndNewCrosshair) {
    loadBars();
    auto* main = child<zqt::CandleChartWidget>("mainChart");
    const QPoint first(static_cast<int>(main->plan().x(0)), 60);
    QTest::mouseMove(main, first);
    ASSERT_TRUE(waitUntil([&] { return main->crosshairIndex() == 0u; }, 5000));
    QCoreApplication::processEvents();
    PaintRegions regions(main);
    QTest::mouseMove(main, QPoint(static_cast<int>(main->plan().x(2)), 120));
    ASSERT_TRUE(waitUntil([&] { return regions.count > 0; }, 5000));
    EXPECT_EQ(main->crosshairIndex(), 2u);
    // Two columns and two rows a few pixels wide, and the tags: a small part of the chart.
    const qint64 chart = qint64(main->width()) * main->height();
    EXPECT_GT(area(regions.painted), 0);
    EXPECT_LT(area(regions.painted), chart / 5) << area(regions.painted) << " of " << chart;
    EXPECT_FALSE(regions.painted.contains(QPoint(static_cast<int>(main->plan().x(1)), 90)));
}

TEST_F(ChartPanelTest, keys_moveTheCrosshairOverTheFocusedMainChart_readoutFollows_escapeLeaves_nothingSent) {
    loadBars();
    server.clearRequests();
    auto* main = child<zqt::CandleChartWidget>("mainChart");
    auto* line = child<QLabel>("chartReadoutLine");
    auto* grid = child<QCheckBox>("chartSwitch_Grid");
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Tab); // the main chart follows the switches in the tab order
    ASSERT_EQ(QApplication::focusWidget(), main);
    EXPECT_EQ(main->accessibleName(), "Price chart");

    struct Step {
        Qt::Key key;
        bool autoRepeat;
        std::optional<std::size_t> bar;
    };
    const Step steps[] = {{Qt::Key_Left, false, 2}, {Qt::Key_Left, false, 1},  {Qt::Key_Left, true, 0},
                          {Qt::Key_Left, true, 0},  {Qt::Key_Right, false, 1}, {Qt::Key_End, false, 2},
                          {Qt::Key_Right, true, 2}, {Qt::Key_Home, false, 0},  {Qt::Key_Escape, false, std::nullopt}};
    for (const Step& s : steps) {
        QKeyEvent press(QEvent::KeyPress, s.key, Qt::NoModifier, QString(), s.autoRepeat);
        QApplication::sendEvent(main, &press);
        EXPECT_TRUE(press.isAccepted());
        QKeyEvent release(QEvent::KeyRelease, s.key, Qt::NoModifier, QString(), s.autoRepeat);
        QApplication::sendEvent(main, &release);
        for (zqt::ChartCanvas* chart : barCharts())
            EXPECT_EQ(chart->crosshairIndex(), s.bar) << chart->objectName().toStdString() << " key " << s.key;
        EXPECT_EQ(line->text(), expectedReadout(s.bar.value_or(2))) << s.key;
    }
    EXPECT_TRUE(main->crosshair().empty());
    // Escape with no crosshair is not the chart's: it goes on to the parents.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(main, &escape);
    EXPECT_FALSE(escape.isAccepted());

    // A request sent now arrives after anything the keys could have sent: only it may be recorded.
    model.refreshHtfCandles();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() >= 1; }, 30000));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].path, "/api/market/candles");
}

TEST_F(ChartPanelTest, chartImage_copiedAndSavedAsShown_aFailedSaveIsShownAsAFailure) {
    loadBars();
    auto* main = child<zqt::CandleChartWidget>("mainChart");
    QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(40, 40), main->mapToGlobal(QPoint(40, 40)));
    QApplication::sendEvent(main, &request);
    auto* menu = child<QMenu>("chartImageMenu");
    ASSERT_TRUE(waitUntil([&] { return menu->isVisible(); }, 5000));
    QStringList offered;
    for (QAction* a : menu->actions())
        offered << a->text();
    EXPECT_EQ(offered, QStringList({"Copy Chart Image", "Save Chart Image..."}));
    menu->hide();

    const QSize pixels = (QSizeF(panel.size()) * panel.devicePixelRatioF()).toSize();
    child<QAction>("copyChartImageAction")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), pixels);
    auto* outcome = child<QLabel>("chartImageOutcomeLabel");
    EXPECT_EQ(outcome->text(), "Chart image copied.");

    const QString path = env.path("shots/chart.png");
    ASSERT_TRUE(QDir().mkpath(env.path("shots")));
    ASSERT_TRUE(panel.saveChartImage(path));
    QImage saved;
    ASSERT_TRUE(saved.load(path, "PNG"));
    EXPECT_EQ(saved.size(), pixels);
    EXPECT_EQ(outcome->text(), "Chart image saved to " + path);

    // A folder that does not exist: the failure is shown, no file appears, the earlier picture is untouched.
    const QString missing = env.path("missing/chart.png");
    EXPECT_FALSE(panel.saveChartImage(missing));
    EXPECT_TRUE(outcome->text().startsWith("Could not save the chart image: ")) << outcome->text().toStdString();
    EXPECT_FALSE(QFile::exists(missing));
    ASSERT_TRUE(QFile::setPermissions(env.path("shots"), QFile::ReadOwner | QFile::ExeOwner));
    const QByteArray first = zqt::test::readFile(path);
    const bool refused = !panel.saveChartImage(path); // root may write anyway; then it is a whole new picture
    ASSERT_TRUE(QFile::setPermissions(env.path("shots"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    if (refused) {
        EXPECT_TRUE(outcome->text().startsWith("Could not save the chart image: "));
        EXPECT_EQ(zqt::test::readFile(path), first);
    }
}

namespace {

// Counts the paint events a widget receives.
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

TEST(ChartRow, aPriceTickRepaintsTheChartCardButNotTheCardsBesideIt) {
    TempEnv env;
    RecordingServer server;
    zqt::MemoryTokenStore tokens;
    NativeTerminalModel model(QUrl(server.baseUrl()), tokens, zqt::TerminalSources::system(),
                              NativeTerminalModel::TimerStart::Later);
    QWidget page;
    auto* column = new QVBoxLayout(&page);
    auto* metrics = new zqt::MetricsPanel(model, &page);
    auto* watchlist = new zqt::WatchlistPanel(model.market(), &page);
    auto* chartPanel = new ChartPanel(model.market(), model.chart(), &page);
    column->addWidget(metrics);
    column->addWidget(watchlist);
    column->addWidget(chartPanel);
    page.resize(1200, 1400);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    // A first bar (readouts go from "-" to numbers, so the card's layout may change), then a price tick.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    model.market().updateCandles(1.25, now);
    QCoreApplication::processEvents();
    PaintCounter chart(chartPanel->findChild<QWidget*>("mainChart"));
    PaintCounter volume(chartPanel->findChild<QWidget*>("volumeChart"));
    PaintCounter metricsPaints(metrics);
    PaintCounter watchlistPaints(watchlist);

    model.market().updateCandles(1.26, now);
    ASSERT_TRUE(waitUntil([&] { return chart.count > 0 && volume.count > 0; }, 30000));
    QCoreApplication::processEvents();
    EXPECT_EQ(metricsPaints.count, 0);
    EXPECT_EQ(watchlistPaints.count, 0);
}
