#include "api/JsonNumber.h"

#include <limits>

namespace zqt {

namespace {
bool isDigit(char ch) {
    return ch >= '0' && ch <= '9';
}
} // namespace

JsonWholeNumber parseJsonWholeNumber(std::string_view s) {
    using Kind = JsonWholeNumber::Kind;
    const std::size_t n = s.size();
    std::size_t i = 0;
    const bool negative = i < n && s[i] == '-';
    if (negative)
        ++i;

    // Integer part: "0" or a non-zero digit followed by digits.
    const std::size_t intBegin = i;
    if (i < n && s[i] == '0') {
        ++i;
    } else if (i < n && s[i] >= '1' && s[i] <= '9') {
        while (i < n && isDigit(s[i]))
            ++i;
    } else {
        return {};
    }
    const std::size_t intEnd = i;

    std::size_t fracBegin = i;
    std::size_t fracEnd = i;
    if (i < n && s[i] == '.') {
        ++i;
        fracBegin = i;
        while (i < n && isDigit(s[i]))
            ++i;
        fracEnd = i;
        if (fracEnd == fracBegin)
            return {};
    }

    // The exponent saturates far beyond any value that matters: digit counts are bounded by the text length.
    constexpr std::int64_t kExponentCap = std::int64_t(1) << 40;
    std::int64_t exponent = 0;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) {
            expNegative = s[i] == '-';
            ++i;
        }
        const std::size_t expBegin = i;
        while (i < n && isDigit(s[i])) {
            if (exponent < kExponentCap)
                exponent = exponent * 10 + (s[i] - '0');
            ++i;
        }
        if (i == expBegin)
            return {};
        if (expNegative)
            exponent = -exponent;
    }
    if (i != n)
        return {};

    // The significant digits are the integer digits followed by the fraction digits; the value is
    // digits * 10^(exponent - number of fraction digits).
    const std::size_t intLen = intEnd - intBegin;
    const std::size_t total = intLen + (fracEnd - fracBegin);
    auto digitAt = [&](std::size_t k) {
        return k < intLen ? s[intBegin + k] : s[fracBegin + (k - intLen)];
    };

    std::size_t first = 0;
    while (first < total && digitAt(first) == '0')
        ++first;
    if (first == total)
        return {Kind::Whole, 0};
    std::size_t last = total - 1;
    while (digitAt(last) == '0')
        --last;

    const std::int64_t trailingZeros = static_cast<std::int64_t>(total - 1 - last);
    const std::int64_t scale = exponent - static_cast<std::int64_t>(fracEnd - fracBegin) + trailingZeros;
    if (scale < 0)
        return {Kind::Fraction, 0};
    const std::int64_t significant = static_cast<std::int64_t>(last - first + 1);
    // 2^63 has 19 digits: anything with 20 or more is out of range; 19 digits or fewer fit in a uint64.
    if (significant + scale > 19)
        return {Kind::OutOfRange, 0};

    std::uint64_t magnitude = 0;
    for (std::size_t k = first; k <= last; ++k)
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(digitAt(k) - '0');
    for (std::int64_t k = 0; k < scale; ++k)
        magnitude *= 10;

    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!negative) {
        if (magnitude > kMax)
            return {Kind::OutOfRange, 0};
        return {Kind::Whole, static_cast<std::int64_t>(magnitude)};
    }
    if (magnitude > kMax + 1)
        return {Kind::OutOfRange, 0};
    if (magnitude == kMax + 1)
        return {Kind::Whole, std::numeric_limits<std::int64_t>::min()};
    return {Kind::Whole, -static_cast<std::int64_t>(magnitude)};
}

} // namespace zqt
