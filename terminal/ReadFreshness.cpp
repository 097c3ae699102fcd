#include "terminal/ReadFreshness.h"

namespace zqt {

void ReadFreshness::succeeded(const QDateTime& at) {
    m_lastGood = at;
    m_failing = false;
}

void ReadFreshness::failed() {
    m_failing = true;
}

void ReadFreshness::reset() {
    *this = ReadFreshness();
}

QString staleMarkText(const ReadFreshness& freshness) {
    if (!freshness.stale())
        return QString();
    return QStringLiteral("as of ") + freshness.lastGood().toLocalTime().toString(QStringLiteral("HH:mm:ss"));
}

ReadFreshness stalerOf(const ReadFreshness& a, const ReadFreshness& b) {
    if (a.stale() != b.stale())
        return a.stale() ? a : b;
    if (!a.lastGood().isValid() || !b.lastGood().isValid())
        return a.lastGood().isValid() ? b : a;
    return a.lastGood() <= b.lastGood() ? a : b;
}

} // namespace zqt
