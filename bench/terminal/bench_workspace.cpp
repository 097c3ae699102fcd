// The terminal's workspace at the window's default size (1280 x 800, of which the terminal tab gets about
// 1280 x 650), offscreen, with bars and a full tape (no book):
// - one price tick, then a repaint of the panels whose inputs changed (WorkspaceTick/ChangedPanels), beside the
//   same tick followed by a repaint of the whole workspace (WorkspaceTick/WholeWorkspace); the ratio of the two is
//   the figure to watch;
// - a switch from the page to the workspace and back, each laid out and painted (LayoutSwitch/RoundTrip).
#include "api/TokenStore.h"
#include "terminal/NativeTerminalModel.h"
#include "terminal/views/NativeTerminalView.h"

#include <QApplication>
#include <QDateTime>
#include <QMainWindow>
#include <QTimeZone>

#include <benchmark/benchmark.h>

namespace {

QDateTime at(qint64 secs) {
    return QDateTime::fromSecsSinceEpoch(1709649000 + secs, QTimeZone::utc());
}

// The workspace with a tape of 24 prints and 80 bars, shown and painted once.
struct Workspace {
    zqt::MemoryTokenStore tokens;
    zqt::NativeTerminalModel model{QUrl(QStringLiteral("http://127.0.0.1:9")), tokens}; // nothing listens there
    zqt::NativeTerminalView view{model};
    qint64 t = 0;
    double price = 1.0850;

    Workspace() {
        view.resize(1280, 650);
        view.show();
        view.setLayoutMode(zqt::TerminalLayout::Workspace);
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
    void settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QCoreApplication::processEvents();
    }
};

Workspace* workspace = nullptr;

void BM_WorkspaceTick_ChangedPanels(benchmark::State& state) {
    workspace->view.setLayoutMode(zqt::TerminalLayout::Workspace);
    workspace->settle();
    for (auto _ : state) {
        workspace->tick();
        // What changed is repainted when the window's pending update request is served.
        workspace->settle();
    }
}
BENCHMARK(BM_WorkspaceTick_ChangedPanels)->Unit(benchmark::kMicrosecond);

void BM_WorkspaceTick_WholeWorkspace(benchmark::State& state) {
    workspace->view.setLayoutMode(zqt::TerminalLayout::Workspace);
    workspace->settle();
    for (auto _ : state) {
        workspace->tick();
        workspace->view.workspace()->repaint();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_WorkspaceTick_WholeWorkspace)->Unit(benchmark::kMicrosecond);

void BM_LayoutSwitch_RoundTrip(benchmark::State& state) {
    workspace->view.setLayoutMode(zqt::TerminalLayout::Page);
    workspace->settle();
    for (auto _ : state) {
        workspace->view.setLayoutMode(zqt::TerminalLayout::Workspace);
        workspace->view.repaint();
        workspace->settle();
        workspace->view.setLayoutMode(zqt::TerminalLayout::Page);
        workspace->view.repaint();
        workspace->settle();
    }
}
BENCHMARK(BM_LayoutSwitch_RoundTrip)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Workspace w;
    workspace = &w;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    workspace = nullptr;
    return 0;
}
