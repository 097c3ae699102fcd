#pragma once

#include "api/Records.h"
#include "terminal/RecordTableModel.h"

#include <QList>
#include <QString>

namespace zqt {

// The tone of an amount of profit or loss: gains positive, losses negative, zero default.
CellTone pnlTone(double value);
// The tone of an amount that is only marked when it is below zero (a balance): negative, else default.
CellTone debitTone(double value);

// Whether the day's loss allowance is used up: a daily loss buffer at or below zero.
bool isLossBufferSpent(const MetricsResponse& metrics);

// The column tables of the account and analytics tables, each in the order the table shows its columns. Profit
// and loss columns are grouped money, green when positive and red when negative.
QList<TableColumn<ExposureRow>> exposureColumns();
QList<TableColumn<PositionRow>> positionColumns();
QList<TableColumn<OrderRow>> orderColumns();
QList<TableColumn<RM1Row>> rm1Columns();
QList<TableColumn<FillRow>> fillColumns();
QList<TableColumn<PnlSymbolRow>> pnlColumns();
QList<TableColumn<ExecRecentRow>> execRecentColumns();

// A labelled figure of the execution diagnostics.
struct LabelledValue {
    QString label;
    QString value;
    friend bool operator==(const LabelledValue&, const LabelledValue&) = default;
};

// The two rows of diagnostics tiles: order count and fill and cancel rates, then the three latencies.
// `avg_slippage` is deliberately not among them.
QList<QList<LabelledValue>> diagnosticsTiles(const ExecutionQualityResponse& quality);

} // namespace zqt
