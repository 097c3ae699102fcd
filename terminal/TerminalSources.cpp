#include "terminal/TerminalSources.h"

#include "terminal/Tape.h"

namespace zqt {

TerminalSources TerminalSources::system() {
    return {&QDateTime::currentDateTimeUtc, &systemTapeSizeDraw};
}

} // namespace zqt
