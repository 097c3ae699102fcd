#pragma once

#include <QHashFunctions>
#include <QString>

namespace zqt {

// An identifier that the engine sends either as a JSON integer or as a JSON string, held as text.
// Equality, hashing and the displayed text all use `value` alone.
struct StringOrInt {
    QString value;

    const QString& text() const { return value; }
    friend bool operator==(const StringOrInt&, const StringOrInt&) = default;
};

inline size_t qHash(const StringOrInt& id, size_t seed = 0) noexcept {
    return qHash(id.value, seed);
}

} // namespace zqt
