#pragma once

#include "core/TradingTerms.h"

#include <QString>
#include <QUuid>

namespace zqt {

// One synthetic trade on the tape.
struct TapePrint {
    QUuid id;     // fresh random identifier per print
    QString time; // local wall-clock time, "HH:mm:ss"
    double price = 0.0;
    double size = 0.0; // 0.5 to 2.5 inclusive
    Side side = Side::Buy;
};

} // namespace zqt
