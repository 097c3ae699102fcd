#pragma once

#include "api/Records.h"
#include "terminal/RecordTableModel.h"

#include <QList>
#include <QString>

namespace zqt {

// The column tables of the account and analytics tables, each in the order the table shows its columns.
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
