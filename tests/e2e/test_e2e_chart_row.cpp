// The chart row of the terminal page against the real demo engine: after sign-in the bars arrive, the main chart,
// the HTF chart and the volume, RSI and MACD sub-charts draw them with their overlays, and the readouts fill in.
// Then rows 5 and 6 (ladder, time and sales, quick actions, microstructure) once the book and the tape have data.
// The pictures are kept for the README.

#include "terminal/NativeTerminalModel.h"
#include "terminal/views/ChartWidgets.h"
#include "terminal/views/MetricTile.h"
#include "terminal/views/NativeTerminalView.h"

#include "DemoTerminal.h"
#include "TestEnv.h"

#include <QAbstractItemView>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using zqt::test::kReplyDeadlineMs;
using zqt::test::waitUntil;

namespace {

int countOf(const zqt::ChartPlan& plan, zqt::ChartPrimitive::Kind kind) {
    return static_cast<int>(std::count_if(plan.primitives.begin(), plan.primitives.end(),
                                          [kind](const zqt::ChartPrimitive& p) { return p.kind == kind; }));
}

} // namespace

TEST(ChartRowEndToEnd, barsFromTheEngine_drawnInEveryChartWithReadouts) {
    zqt::test::DemoTerminal demo;
    ASSERT_NO_FATAL_FAILURE(demo.start());
    zqt::NativeTerminalModel& terminal = *demo.terminal;
    zqt::NativeTerminalView& view = *demo.view;
    ASSERT_NO_FATAL_FAILURE(demo.demoLogin());

    // The engine serves 80 bars a list: enough for the Bollinger and VWAP bands (20) and the SMA 50.
    ASSERT_TRUE(waitUntil(
        [&] { return terminal.market().candles().size() >= 50 && terminal.market().htfCandles().size() >= 20; },
        kReplyDeadlineMs))
        << terminal.market().candles().size() << " bars, " << terminal.market().htfCandles().size() << " HTF bars; "
        << terminal.market().marketError().toStdString();
    QWidget* panel = view.findChild<QWidget*>("chartPanel");
    auto* main = view.findChild<zqt::CandleChartWidget*>("mainChart");
    auto* htf = view.findChild<zqt::CandleChartWidget*>("htfChart");
    auto* volume = view.findChild<zqt::VolumeChartWidget*>("volumeChart");
    auto* rsi = view.findChild<zqt::RsiChartWidget*>("rsiChart");
    auto* macd = view.findChild<zqt::MacdChartWidget*>("macdChart");
    ASSERT_TRUE(panel && main && htf && volume && rsi && macd);

    using Kind = zqt::ChartPrimitive::Kind;
    const int bars = static_cast<int>(terminal.market().candles().size());
    EXPECT_EQ(countOf(main->plan(), Kind::Rect), bars); // one body per bar
    EXPECT_EQ(countOf(main->plan(), Kind::Line), bars); // one wick per bar
    // EMA, VWAP, SMA 50, both Bollinger lines and both VWAP band lines (SMA 200 is off), and the two band fills.
    EXPECT_EQ(countOf(main->plan(), Kind::Polyline), 7);
    EXPECT_EQ(countOf(main->plan(), Kind::FilledPath), 2);
    EXPECT_EQ(countOf(htf->plan(), Kind::Rect), static_cast<int>(terminal.market().htfCandles().size()));
    EXPECT_EQ(countOf(volume->plan(), Kind::Rect), bars);
    EXPECT_EQ(countOf(rsi->plan(), Kind::Polyline), 1);
    EXPECT_EQ(countOf(macd->plan(), Kind::Rect), bars);
    EXPECT_TRUE(htf->isVisible() && volume->isVisible() && rsi->isVisible() && macd->isVisible());
    for (const char* name : {"EMA", "VWAP", "ATR", "RSI", "MACD", "SMA50", "BB+2σ", "BB-2σ"}) {
        auto* tile = view.findChild<zqt::MetricTile*>(QStringLiteral("chartReadout_") + QString::fromUtf8(name));
        ASSERT_TRUE(tile) << name;
        EXPECT_NE(tile->value(), QStringLiteral("-")) << name;
    }

    // The scales: price labels and the last close's tag beside the main and HTF charts, times under the main chart.
    auto scaleTexts = [](const zqt::ChartPlan& plan) {
        return std::count_if(plan.scale.begin(), plan.scale.end(),
                             [](const zqt::ChartPrimitive& p) { return p.kind == Kind::Text; });
    };
    EXPECT_GE(scaleTexts(main->plan()), 4 + 1 + 3); // 4 to 8 prices, the tag, several times
    EXPECT_GE(scaleTexts(htf->plan()), 4);
    EXPECT_EQ(scaleTexts(rsi->plan()), 2);

    // The picture shows a crosshair: the pointer over a bar two thirds along the main chart.
    view.ensureWidgetVisible(main, 0, 0); // the pointer must reach it through the page's viewport
    QCoreApplication::processEvents();
    const std::size_t hovered = static_cast<std::size_t>(bars) * 2 / 3;
    QTest::mouseMove(main, QPoint(static_cast<int>(main->plan().x(static_cast<std::ptrdiff_t>(hovered))),
                                  static_cast<int>(main->plan().plot.top() + main->plan().plot.height() * 0.4)));
    ASSERT_TRUE(waitUntil([&] { return main->crosshairIndex().has_value(); }, kReplyDeadlineMs));
    auto* readout = view.findChild<QLabel*>("chartReadoutLine");
    ASSERT_TRUE(readout);
    const std::size_t shown = *main->crosshairIndex();
    const zqt::Candle& bar = main->view().candles[shown];
    EXPECT_TRUE(readout->text().contains(QStringLiteral("O ") + QString::asprintf("%.4f", bar.open) +
                                         QStringLiteral("  H ") + QString::asprintf("%.4f", bar.high)))
        << readout->text().toStdString();
    EXPECT_EQ(volume->crosshairIndex(), shown);

    const QString artifacts = QStringLiteral(ZQT_TEST_ARTIFACTS_DIR);
    QDir().mkpath(artifacts);
    EXPECT_TRUE(panel->grab().save(artifacts + "/chart-row.png"));
    QTest::mouseMove(view.findChild<QWidget*>("chartTitle"), QPoint(2, 2));
    ASSERT_TRUE(waitUntil([&] { return !main->crosshairIndex().has_value(); }, kReplyDeadlineMs));

    // A few price ticks make a tape; the book of the selected symbol arrives with every refresh.
    ASSERT_TRUE(waitUntil(
        [&] { return terminal.market().tapeRows().size() >= 6 && !terminal.market().depthLevels().isEmpty(); },
        kReplyDeadlineMs))
        << terminal.market().tapeRows().size() << " prints, " << terminal.market().depthLevels().size() << " levels";
    // A print that grows the tape's table asks its card, then the card's row, for a new layout: a pass each.
    for (int pass = 0; pass < 4; ++pass) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }
    for (const char* name : {"ladderTable", "tapeTable"}) {
        auto* table = view.findChild<QWidget*>(name);
        ASSERT_TRUE(table) << name;
        auto* card = table->parentWidget();
        EXPECT_TRUE(card->rect().contains(table->geometry()))
            << name << " at y " << table->geometry().y() << " + " << table->height() << " in a card " << card->height()
            << " high";
    }
    QRect rows;
    for (const char* name : {"ladderPanel", "tapePanel", "hotkeysPanel", "microstructurePanel"}) {
        auto* card = view.findChild<QWidget*>(name);
        ASSERT_TRUE(card) << name;
        EXPECT_TRUE(card->isVisible()) << name;
        rows = rows.united(card->geometry());
    }
    EXPECT_GT(view.findChild<QAbstractItemView*>("ladderTable")->model()->rowCount(), 0);
    EXPECT_GT(view.findChild<QAbstractItemView*>("tapeTable")->model()->rowCount(), 0);
    EXPECT_TRUE(view.widget()->grab(rows.adjusted(-8, -8, 8, 8)).save(artifacts + "/trading-rows.png"));
}
