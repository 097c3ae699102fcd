#pragma once

#include <QList>
#include <QSet>

#include <algorithm>
#include <type_traits>

namespace zqt {

// Rows first .. last, both included.
struct RowRun {
    qsizetype first = 0;
    qsizetype last = 0;
    bool operator==(const RowRun&) const = default;
};

// How a list of rows known by their keys becomes a new list: unchanged in shape (the same keys in the same
// order), reshaped by removing and then inserting runs of rows, or reset. Removals are positions in the current
// list, last run first, so each leaves the positions of the runs still to come as they were; insertions are
// positions in the new list, first run first, each made once every row before it is in place.
struct RowDiffPlan {
    enum class Kind { Same, Reshape, Reset };
    Kind kind = Kind::Same;
    QList<RowRun> removals;
    QList<RowRun> insertions;
    bool operator==(const RowDiffPlan&) const = default;
};

// The plan from the oldCount keys oldKey(0) .. to the newCount keys newKey(0) ... Rows whose keys open or close
// both lists stay; between them, the rows both lists hold must keep their order and every key there must be
// unique, otherwise the plan is a reset, as it is when the lists share no row at all (one reset is cheaper than
// removing and inserting everything).
template <class OldKey, class NewKey>
RowDiffPlan planRowDiff(qsizetype oldCount, OldKey oldKey, qsizetype newCount, NewKey newKey) {
    using Key = std::decay_t<decltype(oldKey(qsizetype{0}))>;
    RowDiffPlan plan;
    const qsizetype common = std::min(oldCount, newCount);
    qsizetype head = 0;
    while (head < common && oldKey(head) == newKey(head))
        ++head;
    if (head == oldCount && head == newCount)
        return plan;
    plan.kind = RowDiffPlan::Kind::Reset;
    qsizetype tail = 0;
    while (tail < common - head && oldKey(oldCount - 1 - tail) == newKey(newCount - 1 - tail))
        ++tail;
    // The rows that differ: [head, oldEnd) of the current keys, [head, newEnd) of the new ones.
    const qsizetype oldEnd = oldCount - tail;
    const qsizetype newEnd = newCount - tail;

    const auto uniqueKeys = [head](qsizetype end, const auto& key, QSet<Key>& keys) {
        keys.reserve(end - head);
        for (qsizetype i = head; i < end; ++i) {
            const qsizetype before = keys.size();
            keys.insert(key(i));
            if (keys.size() == before)
                return false;
        }
        return true;
    };
    QSet<Key> newKeys;
    QSet<Key> oldKeys;
    if (!uniqueKeys(newEnd, newKey, newKeys) || !uniqueKeys(oldEnd, oldKey, oldKeys))
        return plan;
    // The kept rows must appear in the new list in their current order.
    qsizetype kept = head + tail;
    qsizetype j = head;
    for (qsizetype i = head; i < oldEnd; ++i) {
        if (!newKeys.contains(oldKey(i)))
            continue;
        while (j < newEnd && !(newKey(j) == oldKey(i)))
            ++j;
        if (j == newEnd)
            return plan;
        ++j;
        ++kept;
    }
    if (kept == 0)
        return plan;

    plan.kind = RowDiffPlan::Kind::Reshape;
    for (qsizetype i = oldEnd - 1; i >= head;) {
        if (newKeys.contains(oldKey(i))) {
            --i;
            continue;
        }
        qsizetype first = i;
        while (first > head && !newKeys.contains(oldKey(first - 1)))
            --first;
        plan.removals.append({first, i});
        i = first - 1;
    }
    for (qsizetype i = head; i < newEnd;) {
        if (oldKeys.contains(newKey(i))) {
            ++i;
            continue;
        }
        qsizetype last = i;
        while (last + 1 < newEnd && !oldKeys.contains(newKey(last + 1)))
            ++last;
        plan.insertions.append({i, last});
        i = last + 1;
    }
    return plan;
}

template <class Key> RowDiffPlan planRowDiff(const QList<Key>& current, const QList<Key>& next) {
    return planRowDiff(
        current.size(), [&current](qsizetype i) -> const Key& { return current[i]; }, next.size(),
        [&next](qsizetype i) -> const Key& { return next[i]; });
}

} // namespace zqt
