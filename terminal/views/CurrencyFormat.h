#pragma once

#include <QLocale>
#include <QString>

namespace zqt {

// A US-dollar amount in the locale's currency form: its grouping, decimal mark, sign and symbol position, with
// two decimals ("$1,234.56" and "-$1,234.56" in en_US; "-1.234,56 $" in de_DE). Where the locale's own currency
// also uses "$" but is not the US dollar (en_CA, es_MX, ...), the symbol is "US$" so the amount is not misread.
// Values that are not finite give "$0.00". The C locale (no LANG set) is taken as US English.
QString fmtCurrency(double value);
QString fmtCurrency(double value, const QLocale& locale);

} // namespace zqt
