// libFuzzer target over the reply decoder: the first byte picks the record type, the rest is the reply body.
// Any input must end in a record or a failure with a description; never a crash, a hang or a leak.
#include "api/JsonDecoder.h"
#include "api/JsonNumber.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

template <class T> void decodeOne(std::string_view body) {
    const auto result = zqt::decodeJson<T>(body);
    if (!result.ok() && result.error().description.isEmpty())
        std::abort(); // every failure must say what was wrong
}

// The exact whole-number reader must agree with from_chars on plain integers.
void checkNumber(std::string_view text) {
    const auto n = zqt::parseJsonWholeNumber(text);
    if (text.empty() || text.find_first_not_of("-0123456789") != std::string_view::npos)
        return;
    std::int64_t expected = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), expected);
    const bool plain = ec == std::errc() && end == text.data() + text.size() && text != "-" &&
                       !(text.size() > 1 && text[0] == '0') && !(text.size() > 2 && text.substr(0, 2) == "-0");
    if (plain && (n.kind != zqt::JsonWholeNumber::Kind::Whole || n.value != expected))
        std::abort();
    if (n.kind == zqt::JsonWholeNumber::Kind::Whole && ec == std::errc() && n.value != expected)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 13) {
    case 0:
        decodeOne<zqt::LoginResponse>(body);
        break;
    case 1:
        decodeOne<zqt::MetricsResponse>(body);
        break;
    case 2:
        decodeOne<zqt::PositionsResponse>(body);
        break;
    case 3:
        decodeOne<zqt::PortfolioSummary>(body);
        break;
    case 4:
        decodeOne<zqt::OrdersResponse>(body);
        break;
    case 5:
        decodeOne<zqt::FillsResponse>(body);
        break;
    case 6:
        decodeOne<zqt::RM1Response>(body);
        break;
    case 7:
        decodeOne<zqt::PricesResponse>(body);
        break;
    case 8:
        decodeOne<zqt::DepthResponse>(body);
        break;
    case 9:
        decodeOne<zqt::CandlesResponse>(body);
        break;
    case 10:
        decodeOne<zqt::PnlAttributionResponse>(body);
        break;
    case 11:
        decodeOne<zqt::ExecutionQualityResponse>(body);
        break;
    default:
        checkNumber(body);
        break;
    }
    return 0;
}
