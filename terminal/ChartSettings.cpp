#include "terminal/ChartSettings.h"

#include <cmath>

namespace zqt {

namespace {

// Bar intervals are whole seconds; 2^53 keeps every such value exact in a double.
bool isValidInterval(double seconds) {
    return std::isfinite(seconds) && seconds >= 1.0 && seconds <= 9007199254740992.0 && std::trunc(seconds) == seconds;
}

} // namespace

void ChartSettings::setCandleInterval(double seconds) {
    if (!isValidInterval(seconds) || m_candleInterval == seconds)
        return;
    m_candleInterval = seconds;
    emit candleIntervalChanged();
}

void ChartSettings::setHtfInterval(double seconds) {
    if (!isValidInterval(seconds) || m_htfInterval == seconds)
        return;
    m_htfInterval = seconds;
    emit htfIntervalChanged();
}

void ChartSettings::setSwitch(bool ChartSettings::*field, bool v) {
    if (this->*field == v)
        return;
    this->*field = v;
    emit chartTogglesChanged();
}

} // namespace zqt
