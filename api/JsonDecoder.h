#pragma once

#include "api/Records.h"
#include "api/Result.h"

#include <QByteArray>

#include <string_view>

namespace zqt {

// Decodes one reply body into a record, strictly:
// - the document and every row of a list must be JSON objects; keys match exactly (case-sensitive); keys the
//   record does not name are ignored, but their values must still be valid JSON;
// - Int fields take a number whose value is a whole number within the signed 64-bit range (17, 17.0 and 1.7e1
//   give 17; 17.5 and 9223372036854775808 fail); Double fields take any number a double can hold (integers
//   beyond 64 bits included; 1e400 fails); strings, numbers and booleans are never converted into each other;
// - an optional field is absent when its key is missing or its value is null; a required field must be present
//   and not null; a key repeated inside one object is an error when the record names it;
// - any error anywhere fails the whole document: no partial record is ever produced.
// A failure's description names the place and the fault, e.g. "positions[3].units: expected a number, found a
// string". Safe to call from any thread.
template <class T> Result<T> decodeJson(std::string_view json);
template <class T> Result<T> decodeJsonBytes(const QByteArray& json) {
    return decodeJson<T>(std::string_view(json.constData(), static_cast<std::size_t>(json.size())));
}

// Deepest nesting accepted inside values that the records do not name; deeper documents fail cleanly.
inline constexpr int kMaxJsonDepth = 256;

template <class T> inline constexpr bool isApiRecord = inTypeList<T, ApiRecords>;

} // namespace zqt
