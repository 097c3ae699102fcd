#pragma once

#include "api/StringOrInt.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace zqt {

// The number formats of the terminal's tables and tiles, printf-style with a period as decimal mark whatever the
// locale, and no scaling: a value is shown as the engine sent it. Only money is grouped in thousands (with commas).
QString fmtAmount(double value);            // sizes and other two-decimal figures: "%.2f"
QString fmtMoney(double value);             // money: two decimals, thousands grouped ("-1,234.50")
QString fmtPrice(double value);             // prices: "%.4f"
QString fmtPercent(double value);           // already a percentage: "%.1f%%" (0.42 gives "0.4%")
QString fmtPercentHundredths(double value); // already a percentage, to the hundredth: "%.2f%%"
QString fmtLatency(double ms);              // "%.0f ms"
QString fmtOscillator(double value);        // an oscillator from 0 to 100 (RSI): "%.2f"
QString fmtInteger(std::int64_t value);
// `format` applied to a value that may be absent; an absent value is "-".
QString fmtOptional(const std::optional<double>& value, QString (*format)(double));
// The text of an identifier that arrived as a number or a string (the number 17 is "17"; null is empty).
QString idText(const StringOrInt& id);

} // namespace zqt
