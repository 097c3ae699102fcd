#include "terminal/RowDiff.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace zqt;

namespace {

using Kind = RowDiffPlan::Kind;
using Keys = QList<std::int64_t>;

// The current keys with the plan's removals and then its insertions made, as a model makes them.
Keys applied(const RowDiffPlan& plan, Keys current, const Keys& next) {
    for (const RowRun& run : plan.removals)
        current.remove(run.first, run.last - run.first + 1);
    for (const RowRun& run : plan.insertions)
        for (qsizetype i = run.first; i <= run.last; ++i)
            current.insert(i, next[i]);
    return current;
}

} // namespace

TEST(RowDiff, plan_fromTwoKeyLists_keepsInsertsRemovesOrResets) {
    struct Case {
        const char* what;
        Keys current;
        Keys next;
        Kind kind;
        QList<RowRun> removals;
        QList<RowRun> insertions;
    };
    const Case cases[] = {
        {"same keys", {1, 2, 3}, {1, 2, 3}, Kind::Same, {}, {}},
        {"both empty", {}, {}, Kind::Same, {}, {}},
        {"same repeated keys", {5, 5}, {5, 5}, Kind::Same, {}, {}},
        {"rows appended", {1, 2}, {1, 2, 3, 4}, Kind::Reshape, {}, {{2, 3}}},
        {"rows prepended", {3, 4}, {1, 2, 3, 4}, Kind::Reshape, {}, {{0, 1}}},
        {"rows inserted between", {1, 4}, {1, 2, 3, 4}, Kind::Reshape, {}, {{1, 2}}},
        {"two runs inserted", {2, 4}, {1, 2, 3, 4, 5}, Kind::Reshape, {}, {{0, 0}, {2, 2}, {4, 4}}},
        {"a run removed", {1, 2, 3, 4, 5}, {1, 5}, Kind::Reshape, {{1, 3}}, {}},
        {"two runs removed, last first", {1, 2, 3, 4, 5, 6}, {1, 3, 6}, Kind::Reshape, {{3, 4}, {1, 1}}, {}},
        {"last row removed", {1, 2, 3}, {1, 2}, Kind::Reshape, {{2, 2}}, {}},
        {"one row replaced", {1, 2, 3}, {1, 9, 3}, Kind::Reshape, {{1, 1}}, {{1, 1}}},
        {"removed and inserted apart", {1, 2, 3, 4}, {2, 3, 4, 8}, Kind::Reshape, {{0, 0}}, {{3, 3}}},
        {"repeated keys in the kept ends", {7, 7, 1}, {7, 7, 1, 2}, Kind::Reshape, {}, {{3, 3}}},
        {"a row moved to the front", {1, 2, 3}, {3, 1, 2}, Kind::Reset, {}, {}},
        {"two rows swapped", {1, 2, 3, 4}, {1, 3, 2, 4}, Kind::Reset, {}, {}},
        {"nothing in common", {1, 2}, {3, 4}, Kind::Reset, {}, {}},
        {"from empty", {}, {1, 2}, Kind::Reset, {}, {}},
        {"to empty", {1, 2}, {}, Kind::Reset, {}, {}},
        {"a key repeated among the new rows", {1, 2}, {1, 3, 3}, Kind::Reset, {}, {}},
        {"a key repeated among the rows that went", {1, 4, 4, 2}, {1, 2}, Kind::Reset, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RowDiffPlan plan = planRowDiff(c.current, c.next);
        EXPECT_EQ(plan.kind, c.kind);
        EXPECT_EQ(plan.removals, c.removals);
        EXPECT_EQ(plan.insertions, c.insertions);
        if (plan.kind != Kind::Reset)
            EXPECT_EQ(applied(plan, c.current, c.next), c.next);
    }
}
