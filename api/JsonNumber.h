#pragma once

#include <cstdint>
#include <string_view>

namespace zqt {

// Reads the text of one JSON number exactly, without going through a double, to tell whether its value is a
// whole number within the signed 64-bit range. "17", "17.0", "1.7e1" and "170e-1" are all the whole number 17;
// "9223372036854775807.0" is exactly the largest value; "-0" is 0.
struct JsonWholeNumber {
    enum class Kind {
        Invalid,    // not a JSON number (e.g. "01", "1.", "+1", "0x10", "-")
        Whole,      // `value` holds it
        Fraction,   // a valid number with a non-zero fractional part
        OutOfRange, // a whole number beyond the signed 64-bit range
    };
    Kind kind = Kind::Invalid;
    std::int64_t value = 0;
};

JsonWholeNumber parseJsonWholeNumber(std::string_view text);

} // namespace zqt
