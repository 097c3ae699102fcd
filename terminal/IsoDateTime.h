#pragma once

#include <QString>

#include <optional>

namespace zqt {

// Strict internet date-time: extended form "YYYY-MM-DDTHH:MM:SS" followed by "Z" or a "+HH:MM"/"-HH:MM" offset,
// no fractional seconds, upper-case "T" and "Z" only. Returns the instant as seconds since
// 1970-01-01T00:00:00Z, or nothing when the text has any other form or names no real date or time.
std::optional<double> parseIsoDateTime(const QString& text);

} // namespace zqt
