#include "display/Palette.h"
#include "display/Theme.h"
#include "display/ThemeMenu.h"

#include "api/TokenStore.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/RecordTableModel.h"
#include "terminal/views/ChartPainter.h"
#include "terminal/views/ChartWidgets.h"
#include "terminal/views/NativeTerminalView.h"
#include "terminal/views/PanelCard.h"
#include "terminal/views/RecordCellDelegate.h"
#include "terminal/views/SegmentedControl.h"

#include "RecordingServer.h"
#include "TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QStyle>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cmath>

using zqt::ColorSet;
using zqt::Theme;
using zqt::ThemeChoice;

namespace {

QImage render(QWidget& w) {
    QImage image(w.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    w.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

bool near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
           std::abs(a.blue() - b.blue()) <= 2;
}

int countPixels(const QImage& image, const QColor& colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) == colour ? 1 : 0;
    }
    return n;
}

// Counts the paint events a widget receives, and those that paint from another look than the active one (the
// widget's window colour or the status colours of the other set).
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget& w) : m_widget(w) { w.installEventFilter(this); }
    int count = 0;
    int stale = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Paint)
            return false;
        ++count;
        const ColorSet& active = zqt::activeColors();
        if (m_widget.palette().color(QPalette::Window) != active.palette.color(QPalette::Window) ||
            zqt::negativeColor() != active.negative)
            ++stale;
        return false;
    }

private:
    QWidget& m_widget;
};

class ThemeTest : public ::testing::Test {
protected:
    ~ThemeTest() override { theme.setChoice(ThemeChoice::Light); }

    Theme theme;
    ColorSet light = zqt::lightColors(QApplication::style()->standardPalette());
    ColorSet dark = zqt::darkColors();
};

} // namespace

// Every text colour of a set against every background it is drawn on, WCAG contrast at least 4.5:1.
TEST(ThemeColours, everyTextOnItsBackgroundReadsAtFourAndAHalfToOne) {
    for (const ColorSet& set : {zqt::lightColors(QApplication::style()->standardPalette()), zqt::darkColors()}) {
        const QPalette& p = set.palette;
        const QColor base = p.color(QPalette::Base);
        struct Background {
            const char* name;
            QColor colour;
        };
        const std::vector<Background> panels = {
            {"Base", base},
            {"Window", p.color(QPalette::Window)},
            {"AlternateBase", p.color(QPalette::AlternateBase)},
            {"mid row on Base", zqt::composite(set.midRow, base)},
            {"picked row on Base", zqt::composite(set.selectedRow, base)},
        };
        struct Text {
            const char* name;
            QColor colour;
        };
        const std::vector<Text> texts = {
            {"Text", p.color(QPalette::Text)},
            {"WindowText", p.color(QPalette::WindowText)},
            {"secondary", zqt::secondaryTextColor(p)},
            {"positive", set.positive},
            {"negative", set.negative},
            {"warning", set.warning},
        };
        for (const Text& text : texts) {
            for (const Background& back : panels) {
                const double ratio = zqt::contrastRatio(text.colour, back.colour);
                EXPECT_GE(ratio, 4.5) << (set.dark ? "dark " : "light ") << text.name << " on " << back.name << ": "
                                      << ratio;
            }
        }
        // Controls, tooltips and selections have their own pairs.
        const std::vector<std::tuple<const char*, QColor, QColor>> pairs = {
            {"ButtonText on Button", p.color(QPalette::ButtonText), p.color(QPalette::Button)},
            {"ToolTipText on ToolTipBase", p.color(QPalette::ToolTipText), p.color(QPalette::ToolTipBase)},
            {"HighlightedText on Highlight", p.color(QPalette::HighlightedText), p.color(QPalette::Highlight)},
        };
        for (const auto& [name, fore, back] : pairs)
            EXPECT_GE(zqt::contrastRatio(fore, back), 4.5) << (set.dark ? "dark " : "light ") << name;
        for (const auto& [name, tag] : {std::pair{"chartUp", set.chartUp}, std::pair{"chartDown", set.chartDown},
                                        std::pair{"chartGray", set.chartGray}})
            EXPECT_GE(zqt::contrastRatio(set.chartOnTag, tag), 4.5)
                << (set.dark ? "dark " : "light ") << "tag text on " << name;
        if (set.chosenFill.isValid())
            EXPECT_GE(zqt::contrastRatio(p.color(QPalette::ButtonText), set.chosenFill), 4.5)
                << (set.dark ? "dark " : "light ") << "ButtonText on the chosen fill";
    }
    // The formula itself, on its known ends.
    EXPECT_DOUBLE_EQ(zqt::contrastRatio(Qt::black, Qt::white), 21.0);
    EXPECT_DOUBLE_EQ(zqt::contrastRatio(QColor(0x77, 0x77, 0x77), QColor(0x77, 0x77, 0x77)), 1.0);
}

TEST_F(ThemeTest, choiceResolvesWithTheDesktopPreference_andOnlyALookChangeAnnouncesChanged) {
    struct Case {
        ThemeChoice choice;
        bool systemDark;
        bool dark;
    };
    const Case cases[] = {
        {ThemeChoice::System, false, false}, {ThemeChoice::System, true, true},  {ThemeChoice::Light, true, false},
        {ThemeChoice::Dark, false, true},    {ThemeChoice::Light, false, false},
    };
    for (const Case& c : cases) {
        theme.setSystemPrefersDark(c.systemDark);
        theme.setChoice(c.choice);
        EXPECT_EQ(theme.isDark(), c.dark) << int(c.choice) << c.systemDark;
        EXPECT_EQ(QApplication::palette().color(QPalette::Window),
                  (c.dark ? dark : light).palette.color(QPalette::Window));
        EXPECT_EQ(zqt::negativeColor(), (c.dark ? dark : light).negative);
    }
    theme.setChoice(ThemeChoice::Dark);
    int changes = 0;
    QObject::connect(&theme, &Theme::changed, [&changes] { ++changes; });
    theme.setSystemPrefersDark(true);
    theme.setSystemPrefersDark(false);
    EXPECT_EQ(changes, 0) << "Dark ignores the desktop";
    theme.setChoice(ThemeChoice::System);
    EXPECT_EQ(changes, 1);
}

// The terminal page's cards, a chart and a table cell, read back after each switch.
TEST_F(ThemeTest, switch_repaintsEveryCardChartAndTableFromTheNewSet_andBack) {
    zqt::test::TempEnv env;
    zqt::test::RecordingServer server;
    zqt::MemoryTokenStore tokens;
    zqt::NativeTerminalModel model(QUrl(server.baseUrl()), tokens);
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    auto* page = new zqt::NativeTerminalView(model, &window);
    auto* chart = new zqt::CandleChartWidget(240, &window);
    chart->setFixedWidth(232); // plot (16, 16) 200 x 208, slots 100 wide centred on 66 and 166
    chart->view().candles = {zqt::Candle{0, 1, 4, 0, 3, 1}, zqt::Candle{1, 3, 4, 0, 1, 1}};
    chart->refresh();
    QStandardItemModel cells(1, 1);
    cells.setData(cells.index(0, 0), QStringLiteral("\u2588\u2588\u2588\u2588"), Qt::DisplayRole);
    cells.setData(cells.index(0, 0), static_cast<int>(zqt::CellTone::Negative), zqt::kCellToneRole);
    auto* table = new QTableView(&window);
    table->setModel(&cells);
    table->setItemDelegate(new zqt::RecordCellDelegate(table));
    QFont big = table->font();
    big.setPixelSize(28);
    table->setFont(big);
    table->setColumnWidth(0, 200);
    table->setRowHeight(0, 40);
    auto* label = new QLabel(QStringLiteral("loss"), &window);
    QPalette red = label->palette();
    red.setColor(QPalette::WindowText, zqt::negativeColor());
    label->setPalette(red);
    column->addWidget(page, 1);
    column->addWidget(chart);
    column->addWidget(table);
    column->addWidget(label);
    window.resize(1280, 1400);
    window.show();
    double bodyOpacity = 0;
    for (const zqt::ChartPrimitive& p : chart->plan().primitives) {
        if (p.kind == zqt::ChartPrimitive::Kind::Rect && p.color == zqt::ChartColor::Green)
            bodyOpacity = p.opacity;
    }
    ASSERT_GT(bodyOpacity, 0.5);
    const QList<zqt::PanelCard*> cards = page->findChildren<zqt::PanelCard*>();
    ASSERT_GE(cards.size(), 8);

    for (const ColorSet* set : {&dark, &light, &dark}) {
        theme.setChoice(set->dark ? ThemeChoice::Dark : ThemeChoice::Light);
        // The application palette reaches the widgets through the event loop.
        ASSERT_TRUE(zqt::test::waitUntil(
            [&] { return window.palette().color(QPalette::Window) == set->palette.color(QPalette::Window); }));
        for (zqt::PanelCard* card : cards)
            EXPECT_EQ(card->palette().color(QPalette::Window), set->palette.color(QPalette::Window))
                << card->objectName().toStdString();
        EXPECT_EQ(label->palette().color(QPalette::WindowText), set->negative) << "a copied status colour follows";

        // Bodies between the slots' centres (x 66, 166: the wicks) and their edges, around y 100.
        const QImage plot = render(*chart);
        const QColor base = set->palette.color(QPalette::Base);
        EXPECT_TRUE(near(plot.pixelColor(86, 100), zqt::composite(zqt::withOpacity(set->chartUp, bodyOpacity), base)))
            << set->dark << " " << plot.pixelColor(86, 100).name().toStdString();
        EXPECT_TRUE(
            near(plot.pixelColor(186, 100), zqt::composite(zqt::withOpacity(set->chartDown, bodyOpacity), base)))
            << set->dark << " " << plot.pixelColor(186, 100).name().toStdString();
        EXPECT_EQ(plot.pixelColor(30, 100), base) << set->dark;

        const QImage cell = render(*table->viewport());
        const ColorSet& other = set->dark ? light : dark;
        EXPECT_GT(countPixels(cell, set->negative), 20) << set->dark;
        EXPECT_EQ(countPixels(cell, other.negative), 0) << set->dark;

        QMessageBox dialog(QMessageBox::Warning, QStringLiteral("Stop"), QStringLiteral("Stop the engine?"));
        EXPECT_EQ(dialog.palette().color(QPalette::Window), set->palette.color(QPalette::Window)) << "dialogs follow";
    }
}

// Every paint after a switch paints the new look: no pass shows the old colours or a mix, and the switch paints
// no more often than Qt's own application palette change does.
TEST_F(ThemeTest, switch_paintsOnlyTheNewLook_inNoMorePassesThanAPaletteChange) {
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    auto* chart = new zqt::CandleChartWidget(240, &window);
    auto* label = new QLabel(QStringLiteral("text"), &window);
    column->addWidget(chart);
    column->addWidget(label);
    window.resize(400, 320);
    PaintCounter chartPaints(*chart);
    PaintCounter labelPaints(*label);
    window.show();
    ASSERT_TRUE(zqt::test::waitUntil([&] { return chartPaints.count > 0 && labelPaints.count > 0; }));
    auto settle = [] {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    };
    settle();

    // Qt's own cost: the same palette installed again under another object, with nothing else changed.
    chartPaints.count = labelPaints.count = 0;
    QPalette same = QApplication::palette();
    same.setColor(QPalette::ToolTipBase, same.color(QPalette::ToolTipBase).darker(101));
    QApplication::setPalette(same);
    ASSERT_TRUE(zqt::test::waitUntil([&] { return labelPaints.count > 0; }));
    settle();
    const int qtPasses = labelPaints.count;
    ASSERT_GE(qtPasses, 1);

    for (ThemeChoice choice : {ThemeChoice::Dark, ThemeChoice::Light}) {
        chartPaints.count = labelPaints.count = chartPaints.stale = labelPaints.stale = 0;
        theme.setChoice(choice);
        ASSERT_TRUE(zqt::test::waitUntil([&] { return chartPaints.count > 0 && labelPaints.count > 0; }));
        settle();
        EXPECT_LE(chartPaints.count, qtPasses) << int(choice);
        EXPECT_LE(labelPaints.count, qtPasses) << int(choice);
        EXPECT_EQ(chartPaints.stale, 0) << int(choice);
        EXPECT_EQ(labelPaints.stale, 0) << int(choice);
    }
}

TEST_F(ThemeTest, menu_holdsSystemLightDarkExclusive_aPickSetsTheChoice_andAChoiceMovesTheCheck) {
    QMenu view;
    QMenu* submenu = zqt::addThemeMenu(view, theme);
    ASSERT_NE(submenu, nullptr);
    EXPECT_EQ(submenu->title(), QStringLiteral("Theme"));
    const QList<QAction*> actions = submenu->actions();
    ASSERT_EQ(actions.size(), 3);
    QStringList names;
    for (QAction* a : actions) {
        names << a->text();
        EXPECT_TRUE(a->isCheckable());
    }
    EXPECT_EQ(names, (QStringList{"System", "Light", "Dark"}));
    auto checked = [&] {
        QStringList on;
        for (QAction* a : actions) {
            if (a->isChecked())
                on << a->text();
        }
        return on;
    };
    EXPECT_EQ(checked(), QStringList{"System"}) << "the first choice";
    actions[2]->trigger();
    EXPECT_EQ(theme.choice(), ThemeChoice::Dark);
    EXPECT_TRUE(theme.isDark());
    EXPECT_EQ(checked(), QStringList{"Dark"});
    actions[2]->trigger(); // picking the checked entry keeps it
    EXPECT_EQ(checked(), QStringList{"Dark"});
    EXPECT_EQ(theme.choice(), ThemeChoice::Dark);
    theme.setChoice(ThemeChoice::Light);
    EXPECT_EQ(checked(), QStringList{"Light"});
}

// The chart's tags (the last close, the crosshair's value) as the painter colours them, under each theme.
TEST_F(ThemeTest, chartTags_textReadsOnEveryTagColour_inBothSets) {
    for (ThemeChoice choice : {ThemeChoice::Dark, ThemeChoice::Light}) {
        theme.setChoice(choice);
        const QPalette palette = QApplication::palette();
        const QColor text = zqt::chartColor(zqt::ChartColor::OnTag, palette);
        for (zqt::ChartColor tag : {zqt::ChartColor::Green, zqt::ChartColor::Red, zqt::ChartColor::Crosshair}) {
            const QColor fill = zqt::chartColor(tag, palette);
            EXPECT_GE(zqt::contrastRatio(text, fill), 4.5)
                << int(choice) << " " << text.name().toStdString() << " on " << fill.name().toStdString();
        }
    }
}

// The chosen segment of a one-of-several choice (the ticket's side, the chart's interval, the log picker) must be
// told from the others at a glance: the style's pressed shade alone is lost on the dark set's buttons.
TEST_F(ThemeTest, chosenSegment_standsApartFromTheOthers_inTheDarkSet_andFollowsClicksAndSwitches) {
    ASSERT_TRUE(dark.chosenFill.isValid());
    EXPECT_GE(zqt::contrastRatio(dark.chosenFill, dark.palette.color(QPalette::Button)), 1.5);
    EXPECT_FALSE(light.chosenFill.isValid()) << "the light set keeps the style's own look";

    zqt::SegmentedControl side({"BUY", "SELL", "HOLD"}, QStringLiteral("Side"));
    side.setValue(QStringLiteral("BUY"));
    side.resize(300, 32);
    side.show();
    auto fillOf = [&](const QString& choice) {
        return side.button(choice)->palette().color(QPalette::Button);
    };
    // A point of a segment's background, left of its centred text.
    auto shownFill = [&](const QString& choice) {
        QToolButton* b = qobject_cast<QToolButton*>(side.button(choice));
        return render(*b).pixelColor(4, b->height() / 2);
    };

    theme.setChoice(ThemeChoice::Dark);
    ASSERT_TRUE(zqt::test::waitUntil([&] { return fillOf("BUY") == dark.chosenFill; }));
    EXPECT_EQ(fillOf("SELL"), dark.palette.color(QPalette::Button));
    EXPECT_GE(zqt::contrastRatio(shownFill("BUY"), shownFill("SELL")), 1.4)
        << shownFill("BUY").name().toStdString() << " against " << shownFill("SELL").name().toStdString();

    QTest::mouseClick(side.button("SELL"), Qt::LeftButton);
    EXPECT_EQ(side.value(), QStringLiteral("SELL"));
    EXPECT_EQ(fillOf("SELL"), dark.chosenFill);
    EXPECT_EQ(fillOf("BUY"), dark.palette.color(QPalette::Button));
    side.setValue(QStringLiteral("HOLD"));
    EXPECT_EQ(fillOf("HOLD"), dark.chosenFill);
    EXPECT_EQ(fillOf("SELL"), dark.palette.color(QPalette::Button));

    theme.setChoice(ThemeChoice::Light);
    ASSERT_TRUE(zqt::test::waitUntil([&] { return fillOf("BUY") == light.palette.color(QPalette::Button); }));
    for (const QString& choice : side.choices())
        EXPECT_FALSE(side.button(choice)->testAttribute(Qt::WA_SetPalette)) << choice.toStdString();
    theme.setChoice(ThemeChoice::Dark);
    ASSERT_TRUE(zqt::test::waitUntil([&] { return fillOf("HOLD") == dark.chosenFill; }));
    EXPECT_EQ(fillOf("BUY"), dark.palette.color(QPalette::Button));
}

TEST(ThemeChoiceNames, roundTrip_andUnknownTextIsNone) {
    for (ThemeChoice c : {ThemeChoice::System, ThemeChoice::Light, ThemeChoice::Dark})
        EXPECT_EQ(zqt::themeChoiceFromName(zqt::themeChoiceName(c)), c);
    for (const char* bad : {"", "dark", "Dark ", "Solarized"})
        EXPECT_FALSE(zqt::themeChoiceFromName(QString::fromLatin1(bad)).has_value()) << bad;
}
