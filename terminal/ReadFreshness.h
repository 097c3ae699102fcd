#pragma once

#include <QDateTime>
#include <QString>

namespace zqt {

// How fresh the data of one read is: when a reply last succeeded, and whether the reads since have failed. The
// data a failed read leaves in place is stale only when there is some (a read that never succeeded left nothing to
// mark).
class ReadFreshness {
public:
    // A reply succeeded at `at`.
    void succeeded(const QDateTime& at);
    // A read failed: what the last good reply left is now stale.
    void failed();
    // Forgets everything (the data it described was dropped).
    void reset();

    bool stale() const { return m_failing && m_lastGood.isValid(); }
    bool failing() const { return m_failing; }
    // When a reply last succeeded; invalid before the first.
    const QDateTime& lastGood() const { return m_lastGood; }

    friend bool operator==(const ReadFreshness&, const ReadFreshness&) = default;

private:
    QDateTime m_lastGood;
    bool m_failing = false;
};

// "as of 12:03:04": the local time of the last good reply while `freshness` is stale; empty otherwise.
QString staleMarkText(const ReadFreshness& freshness);

// The freshness of data drawn from two reads: stale when either is, as of the older of their last good replies.
ReadFreshness stalerOf(const ReadFreshness& a, const ReadFreshness& b);

} // namespace zqt
