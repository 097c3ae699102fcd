#pragma once

#include <QDateTime>

#include <cstdint>
#include <functional>

namespace zqt {

// Where the terminal takes the time and the randomness of its synthetic tape from; tests pass fixed ones.
struct TerminalSources {
    // The current instant; read afresh for every live candle and tape update.
    std::function<QDateTime()> clock;
    // An integer uniform on [0, 2^53] inclusive, turned into a print size (see tapeSizeFromDraw).
    std::function<std::uint64_t()> sizeDraw;

    // The system clock and the process-wide random generator.
    static TerminalSources system();
};

} // namespace zqt
