#pragma once

#include <QString>

#include <optional>
#include <ostream>

// Readable gtest output for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
