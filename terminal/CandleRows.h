#pragma once

#include "api/Records.h"
#include "core/Candle.h"

#include <QList>

namespace zqt {

// Bars from a candle reply, in reply order. A row whose `ts` is a strict internet date-time (see
// parseIsoDateTime) gets the bar number of that instant at `interval` seconds per bar; any other `ts` gets the
// row's position in the reply. A missing volume counts as 0.
QList<Candle> candlesFromRows(const QList<CandleRow>& rows, double interval);

} // namespace zqt
