#include "terminal/views/CurrencyFormat.h"

#include <cmath>

namespace zqt {

QString fmtCurrency(double value) {
    return fmtCurrency(value, QLocale());
}

QString fmtCurrency(double value, const QLocale& given) {
    const QString fallback = QStringLiteral("$0.00");
    // The C/POSIX locale (no LANG set) has no currency form of its own: US English stands in for it.
    const QLocale locale = given.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : given;
    if (!std::isfinite(value))
        return fallback;
    QString symbol = QStringLiteral("$");
    if (locale.currencySymbol(QLocale::CurrencyIsoCode) != QLatin1String("USD") &&
        locale.currencySymbol(QLocale::CurrencySymbol) == QLatin1String("$"))
        symbol = QStringLiteral("US$");
    QString text = locale.toCurrencyString(value, symbol, 2);
    // Qt's data gives some locales (en_US among them) the accounting form "($1.00)" for negatives; the currency
    // style shows a leading minus sign instead.
    if (value < 0 && text.startsWith(QLatin1Char('(')) && text.endsWith(QLatin1Char(')')))
        text = locale.negativeSign() + locale.toCurrencyString(-value, symbol, 2);
    return text.isEmpty() ? fallback : text;
}

} // namespace zqt
