#include "terminal/AccountTables.h"

#include "terminal/CellFormats.h"

namespace zqt {

namespace {

constexpr Qt::Alignment kText = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kNumber = Qt::AlignRight | Qt::AlignVCenter;

template <class Row> TableColumn<Row> textColumn(const char* header, QString Row::*field) {
    return {QString::fromLatin1(header), [field](const Row& r) { return r.*field; }, kText, {}};
}

template <class Row, class Field>
TableColumn<Row> numberColumn(const char* header, Field Row::*field, QString (*format)(Field)) {
    return {QString::fromLatin1(header), [field, format](const Row& r) { return format(r.*field); }, kNumber, {}};
}

template <class Row>
TableColumn<Row> optionalColumn(const char* header, std::optional<double> Row::*field, QString (*format)(double)) {
    return {QString::fromLatin1(header),
            [field, format](const Row& r) { return fmtOptional(r.*field, format); },
            kNumber,
            {}};
}

// Profit or loss: grouped money in its sign's tone.
template <class Row> TableColumn<Row> pnlColumn(const char* header, double Row::*field) {
    return {QString::fromLatin1(header), [field](const Row& r) { return fmtMoney(r.*field); }, kNumber,
            [field](const Row& r) {
                return pnlTone(r.*field);
            }};
}

template <class Row> TableColumn<Row> pnlColumn(const char* header, std::optional<double> Row::*field) {
    return {QString::fromLatin1(header), [field](const Row& r) { return fmtOptional(r.*field, fmtMoney); }, kNumber,
            [field](const Row& r) {
                return (r.*field) ? pnlTone(*(r.*field)) : CellTone::Default;
            }};
}

} // namespace

CellTone pnlTone(double value) {
    if (value > 0)
        return CellTone::Positive;
    return value < 0 ? CellTone::Negative : CellTone::Default;
}

CellTone debitTone(double value) {
    return value < 0 ? CellTone::Negative : CellTone::Default;
}

bool isLossBufferSpent(const MetricsResponse& metrics) {
    return metrics.daily_loss_buffer <= 0;
}

QList<TableColumn<ExposureRow>> exposureColumns() {
    return {textColumn("Symbol", &ExposureRow::symbol), numberColumn("Net Units", &ExposureRow::net_units, fmtAmount),
            optionalColumn("Mark", &ExposureRow::mark, fmtPrice), pnlColumn("UPL", &ExposureRow::upl)};
}

QList<TableColumn<PositionRow>> positionColumns() {
    // Aligned as the other tables' ids, also when the engine sends this one as text.
    return {{QStringLiteral("ID"), [](const PositionRow& r) { return idText(r.id); }, kNumber, {}},
            textColumn("Symbol", &PositionRow::symbol),
            textColumn("Side", &PositionRow::side),
            numberColumn("Units", &PositionRow::units, fmtAmount),
            numberColumn("Entry", &PositionRow::entry, fmtPrice),
            optionalColumn("Mark", &PositionRow::mark, fmtPrice),
            pnlColumn("UPL", &PositionRow::upl)};
}

QList<TableColumn<OrderRow>> orderColumns() {
    return {numberColumn("ID", &OrderRow::id, fmtInteger),
            textColumn("Symbol", &OrderRow::symbol),
            textColumn("Side", &OrderRow::side),
            textColumn("Type", &OrderRow::type),
            numberColumn("Qty", &OrderRow::qty, fmtAmount),
            textColumn("Status", &OrderRow::status)};
}

QList<TableColumn<RM1Row>> rm1Columns() {
    return {textColumn("Signal", &RM1Row::signal_id), textColumn("Symbol", &RM1Row::symbol),
            textColumn("Side", &RM1Row::side), numberColumn("Entry", &RM1Row::entry, fmtPrice)};
}

QList<TableColumn<FillRow>> fillColumns() {
    return {numberColumn("ID", &FillRow::id, fmtInteger), textColumn("Symbol", &FillRow::symbol),
            textColumn("Side", &FillRow::side), pnlColumn("PnL", &FillRow::pnl),
            textColumn("Status", &FillRow::status)};
}

QList<TableColumn<PnlSymbolRow>> pnlColumns() {
    return {textColumn("Symbol", &PnlSymbolRow::symbol),
            numberColumn("Trades", &PnlSymbolRow::trades, fmtInteger),
            numberColumn("Win%", &PnlSymbolRow::win_rate, fmtPercent),
            pnlColumn("Realized", &PnlSymbolRow::realized),
            pnlColumn("Unrealized", &PnlSymbolRow::unrealized),
            pnlColumn("Total", &PnlSymbolRow::total)};
}

QList<TableColumn<ExecRecentRow>> execRecentColumns() {
    return {numberColumn("ID", &ExecRecentRow::id, fmtInteger),
            textColumn("Symbol", &ExecRecentRow::symbol),
            textColumn("Side", &ExecRecentRow::side),
            textColumn("Type", &ExecRecentRow::type),
            textColumn("Status", &ExecRecentRow::status),
            optionalColumn("Latency", &ExecRecentRow::latency_ms, fmtLatency)};
}

QList<QList<LabelledValue>> diagnosticsTiles(const ExecutionQualityResponse& q) {
    return {{{QStringLiteral("Orders"), fmtInteger(q.order_count)},
             {QStringLiteral("Fill %"), fmtPercent(q.fill_rate)},
             {QStringLiteral("Cancel %"), fmtPercent(q.cancel_rate)}},
            {{QStringLiteral("Avg Lat"), fmtLatency(q.avg_latency_ms)},
             {QStringLiteral("P50"), fmtLatency(q.p50_latency_ms)},
             {QStringLiteral("P95"), fmtLatency(q.p95_latency_ms)}}};
}

} // namespace zqt
