// The UI thread's cost of a refresh of the open trades, orders and fills tables, 1,000 rows each, on the record
// table model (updated by row identity) against rebuilding a QStandardItemModel with the same rows. Each
// iteration hands the three tables their new lists and lets the views repaint what became dirty (the tables
// are shown offscreen, 200 px high, so about seven rows of each are visible). The "paints" counter is the number
// of viewport paint events per refresh.
//
// Run: build-bench/bench/terminal/bench_account_tables
#include "terminal/AccountTables.h"
#include "terminal/RecordTableModel.h"
#include "terminal/views/RecordTableView.h"

#include <QApplication>
#include <QEvent>
#include <QItemSelectionModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include <benchmark/benchmark.h>

#include <array>
#include <memory>

namespace {

constexpr int kRows = 1000;

using namespace zqt;

// One version of the three lists. `base` moves every value (marks, quantities, PnL); `firstId` shifts every
// identity.
struct Lists {
    QList<PositionRow> positions;
    QList<OrderRow> orders;
    QList<FillRow> fills;
};

Lists makeLists(double base, int firstId, int rows = kRows) {
    Lists l;
    for (int i = 0; i < rows; ++i) {
        const int id = firstId + i;
        const QString symbol = i % 2 ? QStringLiteral("EURUSD") : QStringLiteral("BTCUSD");
        const QString side = i % 3 ? QStringLiteral("BUY") : QStringLiteral("SELL");
        l.positions << PositionRow{{QString::number(id)}, symbol, side, 1.0 + i, 1.1 + i, base + i * 0.01, base - i};
        l.orders << OrderRow{
            id, symbol, side, QStringLiteral("MARKET"), base + i, QStringLiteral("FILLED"), std::nullopt, std::nullopt};
        l.fills << FillRow{id, symbol, side, base * 2 - i, QStringLiteral("CLOSED")};
    }
    return l;
}

// Counts paint events of the watched viewports.
class PaintCounter final : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

// Runs what a refresh leaves queued: delayed item layouts and the repaint of the dirty regions.
void flush() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
}

// A shown window with three tables 200 px high.
struct Window {
    QWidget window;
    std::array<QTableView*, 3> views{};
    PaintCounter counter;

    template <class Make> explicit Window(Make makeView) {
        auto* column = new QVBoxLayout(&window);
        for (int i = 0; i < 3; ++i) {
            views[static_cast<std::size_t>(i)] = makeView(i, &window);
            column->addWidget(views[static_cast<std::size_t>(i)]);
            views[static_cast<std::size_t>(i)]->viewport()->installEventFilter(&counter);
        }
        window.resize(900, 700);
        window.show();
        flush();
    }
};

struct RecordTables {
    RecordTableModel<PositionRow> positions{positionColumns()};
    RecordTableModel<OrderRow> orders{orderColumns()};
    RecordTableModel<FillRow> fills{fillColumns()};
    Window w{[this](int i, QWidget* parent) -> QTableView* {
        QAbstractItemModel* models[] = {&positions, &orders, &fills};
        return new RecordTableView(models[i], QStringLiteral("table"), 200, parent);
    }};

    void set(const Lists& l) {
        positions.setRows(l.positions);
        orders.setRows(l.orders);
        fills.setRows(l.fills);
        flush();
    }
};

// Alternates between two versions of the lists on the record tables.
void runRecordTables(benchmark::State& state, const Lists& a, const Lists& b) {
    RecordTables t;
    t.set(a);
    t.w.counter.paints = 0;
    bool flip = false;
    for (auto _ : state) {
        t.set(flip ? a : b);
        flip = !flip;
    }
    state.counters["paints"] = benchmark::Counter(t.w.counter.paints, benchmark::Counter::kAvgIterations);
}

void BM_RecordTables_ValuesChanged(benchmark::State& state) {
    runRecordTables(state, makeLists(100, 1), makeLists(200, 1));
}

void BM_RecordTables_NewIdentities(benchmark::State& state) {
    runRecordTables(state, makeLists(100, 1), makeLists(200, 1 + kRows));
}

void BM_RecordTables_OneNewRowOnTop(benchmark::State& state) {
    runRecordTables(state, makeLists(100, 1), [] {
        Lists l = makeLists(100, 1);
        const Lists top = makeLists(100, 0, 1);
        l.positions.prepend(top.positions.first());
        l.orders.prepend(top.orders.first());
        l.fills.prepend(top.fills.first());
        return l;
    }());
}

// The same rows decoded again: equal lists that share no memory with the shown ones.
void BM_RecordTables_Unchanged(benchmark::State& state) {
    runRecordTables(state, makeLists(100, 1), makeLists(100, 1));
}

// The rebuild a table widget would do: three fresh QStandardItemModels with every cell formatted, swapped in.
void BM_StandardItemModel_Rebuild(benchmark::State& state) {
    const std::array<Lists, 2> versions{makeLists(100, 1), makeLists(200, 1)};
    Window w([](int, QWidget* parent) { return new QTableView(parent); });
    const auto positionCols = positionColumns();
    const auto orderCols = orderColumns();
    const auto fillCols = fillColumns();
    const auto rebuild = [](const auto& columns, const auto& rows) {
        auto* m = new QStandardItemModel(static_cast<int>(rows.size()), static_cast<int>(columns.size()));
        for (int c = 0; c < columns.size(); ++c)
            m->setHorizontalHeaderItem(c, new QStandardItem(columns[c].header));
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < columns.size(); ++c)
                m->setItem(r, c, new QStandardItem(columns[c].text(rows[r])));
        return m;
    };
    const auto swapIn = [](QTableView* view, QStandardItemModel* m) {
        QAbstractItemModel* oldModel = view->model();
        QItemSelectionModel* oldSelection = view->selectionModel();
        view->setModel(m);
        delete oldSelection;
        delete oldModel;
    };
    const auto set = [&](const Lists& l) {
        swapIn(w.views[0], rebuild(positionCols, l.positions));
        swapIn(w.views[1], rebuild(orderCols, l.orders));
        swapIn(w.views[2], rebuild(fillCols, l.fills));
        flush();
    };
    set(versions[0]);
    w.counter.paints = 0;
    std::size_t k = 1;
    for (auto _ : state) {
        set(versions[k]);
        k ^= 1;
    }
    state.counters["paints"] = benchmark::Counter(w.counter.paints, benchmark::Counter::kAvgIterations);
    for (QTableView* v : w.views)
        swapIn(v, nullptr);
}

BENCHMARK(BM_StandardItemModel_Rebuild)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordTables_ValuesChanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordTables_NewIdentities)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordTables_OneNewRowOnTop)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordTables_Unchanged)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
