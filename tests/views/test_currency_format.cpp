#include "terminal/views/CurrencyFormat.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>

namespace {

struct CurrencyCase {
    const char* locale;
    double value;
    const char* expected;
};

void PrintTo(const CurrencyCase& c, std::ostream* os) {
    *os << c.locale << " " << c.value;
}

class CurrencyFormatTest : public ::testing::TestWithParam<CurrencyCase> {};

} // namespace

TEST_P(CurrencyFormatTest, fmtCurrency_usesLocaleFormWithDollarSymbol) {
    const CurrencyCase& c = GetParam();
    EXPECT_EQ(zqt::fmtCurrency(c.value, QLocale(QString::fromLatin1(c.locale))).toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Locales, CurrencyFormatTest,
                         ::testing::Values(CurrencyCase{"en_US", 1234567.891, "$1,234,567.89"},
                                           CurrencyCase{"en_US", -1234.5, "-$1,234.50"},
                                           CurrencyCase{"en_US", 0.0, "$0.00"}, CurrencyCase{"en_US", 0.005, "$0.01"},
                                           CurrencyCase{"de_DE", -1234.5, "-1.234,50\u00a0$"},
                                           // A locale whose own dollar is not the US one marks the US dollar.
                                           CurrencyCase{"en_CA", 1234.5, "US$1,234.50"},
                                           CurrencyCase{"C", -1234.5, "-$1,234.50"},
                                           CurrencyCase{"en_US", std::numeric_limits<double>::quiet_NaN(), "$0.00"},
                                           CurrencyCase{"en_US", std::numeric_limits<double>::infinity(), "$0.00"}));

TEST(CurrencyFormat, defaultLocale_isTheProcessLocale) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(zqt::fmtCurrency(2.5), zqt::fmtCurrency(2.5, QLocale(QLocale::German, QLocale::Germany)));
    QLocale::setDefault(QLocale::c());
}
