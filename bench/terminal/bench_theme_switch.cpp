// One theme switch with the terminal page shown at 1280 x 800, offscreen: the UI thread's time from the choice to
// the page repainted in the new colours (ThemeSwitch/DarkLight, one switch per iteration, alternating), beside a
// repaint of the whole page alone (ThemeSwitch/WholePageRepaint) for scale. The page is filled first with 80 bars
// and a tape of 24 prints.
#include "api/TokenStore.h"
#include "display/Theme.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/NativeTerminalView.h"

#include <QApplication>
#include <QDateTime>
#include <QScrollArea>
#include <QTimeZone>

#include <benchmark/benchmark.h>

namespace {

QDateTime at(qint64 secs) {
    return QDateTime::fromSecsSinceEpoch(1709649000 + secs, QTimeZone::utc());
}

struct Page {
    zqt::MemoryTokenStore tokens;
    zqt::NativeTerminalModel model{QUrl(QStringLiteral("http://127.0.0.1:9")), tokens}; // nothing listens there
    zqt::Theme theme;
    zqt::NativeTerminalView view{model};
    qint64 t = 0;
    double price = 1.0850;

    Page() {
        theme.setChoice(zqt::ThemeChoice::Light);
        view.resize(1280, 800);
        view.show();
        for (int i = 0; i < 80; ++i) {
            t += 15;
            price += (t % 3 == 0 ? -0.0001 : 0.0001);
            view.model().market().updateCandles(price, at(t));
            view.model().market().updateTape(price, at(t));
        }
        settle();
    }
    // Delivers the palette change and serves the repaint it asked for.
    static void settle() {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QCoreApplication::processEvents();
    }
};

Page* page = nullptr;

void BM_ThemeSwitch_DarkLight(benchmark::State& state) {
    bool dark = page->theme.isDark();
    for (auto _ : state) {
        dark = !dark;
        page->theme.setChoice(dark ? zqt::ThemeChoice::Dark : zqt::ThemeChoice::Light);
        Page::settle();
    }
}
BENCHMARK(BM_ThemeSwitch_DarkLight)->Unit(benchmark::kMillisecond);

void BM_ThemeSwitch_WholePageRepaint(benchmark::State& state) {
    for (auto _ : state) {
        page->view.repaint();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_ThemeSwitch_WholePageRepaint)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Page p;
    page = &p;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    page = nullptr;
    return 0;
}
