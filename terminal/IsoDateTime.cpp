#include "terminal/IsoDateTime.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QTimeZone>

namespace zqt {

namespace {

// Reads `count` ASCII digits starting at `pos`; -1 when any of them is not a digit.
int digits(const QString& s, qsizetype pos, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = s.at(pos + i);
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

} // namespace

std::optional<double> parseIsoDateTime(const QString& text) {
    // 2024-03-05T14:30:00 is 19 characters; then "Z" (20) or "+02:00" (25).
    if (text.size() != 20 && text.size() != 25)
        return std::nullopt;
    if (text.at(4) != u'-' || text.at(7) != u'-' || text.at(10) != u'T' || text.at(13) != u':' || text.at(16) != u':')
        return std::nullopt;
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;

    int offsetSeconds = 0;
    if (text.size() == 20) {
        if (text.at(19) != u'Z')
            return std::nullopt;
    } else {
        const QChar sign = text.at(19);
        if ((sign != u'+' && sign != u'-') || text.at(22) != u':')
            return std::nullopt;
        const int offHours = digits(text, 20, 2);
        const int offMinutes = digits(text, 23, 2);
        if (offHours < 0 || offMinutes < 0 || offHours > 23 || offMinutes > 59)
            return std::nullopt;
        offsetSeconds = (offHours * 3600 + offMinutes * 60) * (sign == u'-' ? -1 : 1);
    }
    // The wall-clock reading at the given offset, taken as UTC, is `offsetSeconds` ahead of the instant.
    const QDateTime asUtc(date, time, QTimeZone::utc());
    return static_cast<double>(asUtc.toSecsSinceEpoch() - offsetSeconds);
}

} // namespace zqt
