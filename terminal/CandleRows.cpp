#include "terminal/CandleRows.h"

#include "terminal/IsoDateTime.h"
#include "terminal/LiveCandles.h"

namespace zqt {

QList<Candle> candlesFromRows(const QList<CandleRow>& rows, double interval) {
    QList<Candle> bars;
    bars.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const CandleRow& row = rows[i];
        std::optional<std::int64_t> bucket;
        if (const auto seconds = parseIsoDateTime(row.ts))
            bucket = candleBucket(*seconds, interval);
        bars.append(Candle{bucket.value_or(static_cast<std::int64_t>(i)), row.open, row.high, row.low, row.close,
                           row.volume.value_or(0.0)});
    }
    return bars;
}

} // namespace zqt
