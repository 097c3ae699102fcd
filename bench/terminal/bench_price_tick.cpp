// One price tick on the whole terminal page (rows 1 to 6 as they exist), 1400 x 900, offscreen: the UI thread's
// time to fold the selected symbol's new price into the live bar and the tape and to repaint what changed
// (PriceTick/ChangedCards), beside the same tick followed by a repaint of the whole page (PriceTick/WholePage).
// The ratio of the two is the figure to watch; the page is filled first with a book, bars and a full tape.
#include "api/TokenStore.h"
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

// The page with a tape of 24 prints and 80 bars, shown and painted once.
struct Page {
    zqt::MemoryTokenStore tokens;
    zqt::NativeTerminalModel model{QUrl(QStringLiteral("http://127.0.0.1:9")), tokens}; // nothing listens there
    zqt::NativeTerminalView view{model};
    qint64 t = 0;
    double price = 1.0850;

    Page() {
        view.resize(1400, 900);
        view.show();
        for (int i = 0; i < 80; ++i)
            tick(15);
        QCoreApplication::processEvents();
    }
    void tick(qint64 step = 1) {
        t += step;
        price += (t % 3 == 0 ? -0.0001 : 0.0001);
        view.model().market().updateCandles(price, at(t));
        view.model().market().updateTape(price, at(t));
    }
};

Page* page = nullptr;

void BM_PriceTick_ChangedCards(benchmark::State& state) {
    for (auto _ : state) {
        page->tick();
        // What changed is repainted when the window's pending update request is served.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QCoreApplication::sendPostedEvents(&page->view, QEvent::UpdateLater);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_PriceTick_ChangedCards)->Unit(benchmark::kMicrosecond);

void BM_PriceTick_WholePage(benchmark::State& state) {
    for (auto _ : state) {
        page->tick();
        page->view.widget()->repaint();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_PriceTick_WholePage)->Unit(benchmark::kMicrosecond);

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
