#include "terminal/CellFormats.h"

#include <QLocale>

namespace zqt {

QString fmtAmount(double value) {
    return QString::asprintf("%.2f", value);
}

QString fmtMoney(double value) {
    // US English groups with commas and marks decimals with a period, as the other formats do.
    static const QLocale grouped(QLocale::English, QLocale::UnitedStates);
    return grouped.toString(value, 'f', 2);
}

QString fmtOscillator(double value) {
    return QString::asprintf("%.2f", value);
}

QString fmtPrice(double value) {
    return QString::asprintf("%.4f", value);
}

QString fmtPercent(double value) {
    return QString::asprintf("%.1f%%", value);
}

QString fmtPercentHundredths(double value) {
    return QString::asprintf("%.2f%%", value);
}

QString fmtLatency(double ms) {
    return QString::asprintf("%.0f ms", ms);
}

QString fmtInteger(std::int64_t value) {
    return QString::number(value);
}

QString fmtOptional(const std::optional<double>& value, QString (*format)(double)) {
    return value ? format(*value) : QStringLiteral("-");
}

QString idText(const StringOrInt& id) {
    return id.text();
}

} // namespace zqt
