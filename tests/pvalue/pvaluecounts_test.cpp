// The P-value counts: the worked example of docs/statistics.md by hand, lines reached on the mark,
// and random exams against a slow count written from the rules, student by student.

#include "domain/pvaluecounts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace lumeko::domain;

namespace {

const double none = kNoScore;

// 语文, 数学 (100: 优秀 90, 及格 60, 合格 30), 物理, 化学 (50: 45, 30, 15); the six-subject total of
// 语文, 数学, 物理; the entries 语文, 数学 and 物理 + 化学.
PValueLayout exampleLayout()
{
    PValueLayout l;
    l.subjects = {{100, 90, 60, 30}, {100, 90, 60, 30}, {50, 45, 30, 15}, {50, 45, 30, 15}};
    l.six = {0, 1, 2};
    l.entries = {{0}, {1}, {2, 3}};
    return l;
}

TEST(PValueCounts, TheWorkedExampleByHand)
{
    // P01–P05 of the example: the students who should sit, by subject.
    const std::vector<std::vector<double>> columns = {{95, 80, 60, 20, none}, {92, 55, 60, 30, none}, {48, 35, 20, 10, none}, {40, 20, 45, none, none}};
    const PValueCounts c = countPValue(exampleLayout(), columns, 2);
    EXPECT_EQ(c.shouldSit, 5);
    EXPECT_EQ(c.dropOuts, 2);
    EXPECT_EQ(c.totals, 605) << "235 + 170 + 140 + 60 + 0";
    EXPECT_EQ(c.fullTotal6, 250);
    EXPECT_EQ(c.graduationLine, 75);
    EXPECT_EQ(c.excellentLine, 225);
    EXPECT_EQ(c.graduates, 3) << "140 and more; P04's 60 is short";
    EXPECT_EQ(c.excellent, 1);
    EXPECT_EQ(c.entryLines, (std::vector<double>{60, 60, 60}));
    EXPECT_EQ(c.passByEntry, (std::vector<qint64>{3, 2, 2})) << "P03's 物理 20 and 化学 45 pass together";
    EXPECT_EQ(c.passSum, 7);
    EXPECT_EQ(c.passAll, 2);

    // Unmerged, 物理 and 化学 are two entries: P03 fails 物理 and so fails passing all.
    PValueLayout apart = exampleLayout();
    apart.entries = {{0}, {1}, {2}, {3}};
    const PValueCounts a = countPValue(apart, columns, 2);
    EXPECT_EQ(a.passByEntry, (std::vector<qint64>{3, 2, 2, 2}));
    EXPECT_EQ(a.passSum, 9);
    EXPECT_EQ(a.passAll, 1);
}

TEST(PValueCounts, LinesAreReachedOnTheMarkAndSumsOfDecimalsToo)
{
    PValueLayout l;
    l.subjects = {{1, 1, 0.1, 0.1}, {1, 1, 0.2, 0.2}, {1, 1, 0.6, 0.6}};
    l.six = {0, 1, 2};
    l.entries = {{0, 1, 2}};
    // The lines add up to 0.9000000000000001 in doubles; 0.3 × 3 adds up to 0.8999999999999999 and
    // 0.6 + 0.2 + 0.1 to 0.9: both reach the 0.9 they stand for. 0.89 does not.
    const std::vector<std::vector<double>> columns = {{0.3, 0.6, 0.1}, {0.3, 0.2, 0.2}, {0.3, 0.1, 0.59}};
    const PValueCounts c = countPValue(l, columns, 0);
    EXPECT_EQ(c.graduates, 2);
    EXPECT_EQ(c.passByEntry, (std::vector<qint64>{2}));
    // No students: nothing counted, the lines still added up.
    const PValueCounts empty = countPValue(l, std::vector<std::vector<double>>(3), 4);
    EXPECT_EQ(empty.shouldSit, 0);
    EXPECT_EQ(empty.totals, 0);
    EXPECT_EQ(empty.dropOuts, 4);
    EXPECT_NEAR(empty.graduationLine, 0.9, 1e-12);
    EXPECT_EQ(empty.excellentLine, 3);
}

// The rules, student by student and entry by entry, with nothing shared with the engine.
struct Slow {
    qint64 graduates = 0, excellent = 0, passAll = 0, passSum = 0;
    double totals = 0;
};
Slow slowCount(const PValueLayout &l, const std::vector<std::vector<double>> &columns)
{
    Slow s;
    const std::size_t n = columns.empty() ? 0 : columns[0].size();
    double grad = 0, excel = 0;
    for (int k : l.six) {
        grad += l.subjects[k].bad;
        excel += l.subjects[k].excel;
    }
    for (std::size_t i = 0; i < n; ++i) {
        double total = 0;
        for (int k : l.six)
            if (!std::isnan(columns[k][i])) total += columns[k][i];
        s.totals += total;
        s.graduates += total >= grad - 1e-9;
        s.excellent += total >= excel - 1e-9;
        int passed = 0;
        for (const auto &entry : l.entries) {
            double sum = 0, line = 0;
            for (int k : entry) {
                line += l.subjects[k].pass;
                if (!std::isnan(columns[k][i])) sum += columns[k][i];
            }
            passed += sum >= line - 1e-9;
        }
        s.passSum += passed;
        s.passAll += passed == int(l.entries.size());
    }
    return s;
}

TEST(PValueCounts, RandomExamsAgreeWithASlowCount)
{
    std::mt19937 rng(20260601);
    for (int round = 0; round < 300; ++round) {
        const int subjects = 1 + int(rng() % 12), students = int(rng() % 80);
        PValueLayout l;
        for (int k = 0; k < subjects; ++k) {
            const double full = (rng() % 2) ? 100 : 50;
            l.subjects.push_back({full, std::round(full * 0.9), std::round(full * 0.6), std::round(full * 0.3)});
        }
        std::vector<int> order(subjects);
        for (int k = 0; k < subjects; ++k)
            order[k] = k;
        std::shuffle(order.begin(), order.end(), rng);
        l.six.assign(order.begin(), order.begin() + 1 + int(rng() % std::min(subjects, 6)));
        // Entries over a shuffled order, some merging two or three subjects.
        std::shuffle(order.begin(), order.end(), rng);
        for (std::size_t k = 0; k < order.size();) {
            const std::size_t width = std::min<std::size_t>(order.size() - k, 1 + rng() % 3);
            l.entries.emplace_back(order.begin() + long(k), order.begin() + long(k + width));
            k += width;
        }
        std::vector<std::vector<double>> columns(subjects, std::vector<double>(students));
        for (int k = 0; k < subjects; ++k)
            for (int i = 0; i < students; ++i)
                columns[k][i] = rng() % 10 == 0 ? kNoScore : double(rng() % int(l.subjects[k].full * 2 + 1)) / 2; // halves, marks hit exactly
        const PValueCounts c = countPValue(l, columns, round % 3);
        const Slow s = slowCount(l, columns);
        ASSERT_EQ(c.shouldSit, students) << round;
        ASSERT_EQ(c.totals, s.totals) << round;
        ASSERT_EQ(c.graduates, s.graduates) << round;
        ASSERT_EQ(c.excellent, s.excellent) << round;
        ASSERT_EQ(c.passSum, s.passSum) << round;
        ASSERT_EQ(c.passAll, s.passAll) << round;
        qint64 byEntry = 0;
        for (qint64 n : c.passByEntry)
            byEntry += n;
        ASSERT_EQ(byEntry, s.passSum) << round;
    }
}

} // namespace
