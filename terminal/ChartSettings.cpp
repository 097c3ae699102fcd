#include "terminal/ChartSettings.h"

#include "terminal/ChartSeries.h"

#include <cmath>

namespace zqt {

namespace {

// Bar intervals are whole seconds; 2^53 keeps every such value exact in a double.
bool isValidInterval(double seconds) {
    return std::isfinite(seconds) && seconds >= 1.0 && seconds <= 9007199254740992.0 && std::trunc(seconds) == seconds;
}

} // namespace

const QList<double>& ChartSettings::htfChoices() {
    static const QList<double> choices = {60, 300, 900};
    return choices;
}

void ChartSettings::setCandleInterval(double seconds) {
    if (!isValidInterval(seconds) || m_candleInterval == seconds)
        return;
    m_candleInterval = seconds;
    const std::optional<double> htf = htfIntervalFor(seconds, m_htfInterval, htfChoices());
    const bool htfMoved = htf && *htf != m_htfInterval;
    if (htfMoved)
        m_htfInterval = *htf;
    emit candleIntervalChanged();
    if (htfMoved)
        emit htfIntervalChanged();
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
