// The scoring rules on the cases a school meets: ties, empty scores, classes, marks met exactly,
// letter cut-offs that fall between students.

#include "domain/scoring.h"

#include <gtest/gtest.h>

using namespace lumeko::domain;

namespace {

QList<std::optional<int>> ranks(std::initializer_list<Score> scores, QList<QString> groups = {})
{
    return competitionRanks(QList<Score>(scores), groups);
}

TEST(Ranks, EqualScoresShareARankAndTheNextTakesItsPosition)
{
    EXPECT_EQ(ranks({90.0, 85.0, 85.0, 80.0}), (QList<std::optional<int>>{1, 2, 2, 4}));
    EXPECT_EQ(ranks({80.0, std::nullopt, 90.0, 85.0, 85.0}), (QList<std::optional<int>>{4, std::nullopt, 1, 2, 2}))
        << "an empty score gets no rank and takes no place";
    EXPECT_EQ(ranks({70.0, 70.0, 70.0}), (QList<std::optional<int>>{1, 1, 1}));
    EXPECT_EQ(ranks({0.0, 99.5, 99.0}), (QList<std::optional<int>>{3, 1, 2})) << "half points count";
    EXPECT_TRUE(ranks({}).isEmpty());
    // Within classes: each class ranks its own students, ties included.
    EXPECT_EQ(ranks({90.0, 95.0, 80.0, 80.0, std::nullopt, 85.0}, {"701", "702", "701", "702", "701", "701"}),
              (QList<std::optional<int>>{1, 1, 3, 2, std::nullopt, 2}));
}

TEST(Totals, TheThreeTotalsFollowTheSubjectTypes)
{
    // Chinese and maths are base subjects, English a main one, sports auxiliary.
    const QList<int> types{0, 0, 1, 2};
    Totals t = totalsOf({100.0, 90.5, 80.0, 9.0}, types);
    EXPECT_EQ(t.full, 279.5);
    EXPECT_EQ(t.main, 270.5);
    EXPECT_EQ(t.base, 190.5);
    t = totalsOf({std::nullopt, 90.0, std::nullopt, std::nullopt}, types);
    EXPECT_EQ(t.full, 90.0) << "an absent subject adds nothing";
    EXPECT_EQ(t.base, 90.0);
    t = totalsOf({std::nullopt, std::nullopt, std::nullopt, 9.0}, types);
    EXPECT_EQ(t.full, 9.0);
    EXPECT_FALSE(t.main.has_value()) << "no main subject scored: no main total, not 0";
    EXPECT_FALSE(t.base.has_value());
}

TEST(Levels, AScoreEqualToAMarkGetsTheHigherLevel)
{
    const LevelMarks m{90, 80, 60, 40};
    EXPECT_EQ(levelOf(100.0, m), 0);
    EXPECT_EQ(levelOf(90.0, m), 0);
    EXPECT_EQ(levelOf(89.5, m), 1);
    EXPECT_EQ(levelOf(60.0, m), 2) << "exactly the pass mark is a pass";
    EXPECT_EQ(levelOf(59.5, m), 3);
    EXPECT_EQ(levelOf(40.0, m), 3);
    EXPECT_EQ(levelOf(0.0, m), 4);
    EXPECT_FALSE(levelOf(std::nullopt, m).has_value());
}

TEST(Letters, CutOffsRoundUpAndTiesAtACutOffShareTheHigherLetter)
{
    const LetterShares twenty{20, 30, 30, 15, 5};
    // 40 students, A 20%: ranks 1 … 8 are A, then B up to 20, C up to 32, D up to 38.
    EXPECT_EQ(letterOf(8, 40, twenty), 5);
    EXPECT_EQ(letterOf(9, 40, twenty), 4);
    EXPECT_EQ(letterOf(20, 40, twenty), 4);
    EXPECT_EQ(letterOf(21, 40, twenty), 3);
    EXPECT_EQ(letterOf(38, 40, twenty), 2);
    EXPECT_EQ(letterOf(39, 40, twenty), 1);
    const LetterShares fifteen{15, 35, 30, 15, 5};
    EXPECT_EQ(letterOf(6, 40, fifteen), 5) << "15% of 40 is exactly 6";
    EXPECT_EQ(letterOf(7, 40, fifteen), 4);
    EXPECT_EQ(letterOf(7, 41, fifteen), 5) << "15% of 41 is 6.15, rounded up to 7";
    // Ranks 1, 2, 2, 4 …: a student tied at the cut-off rank keeps the higher letter.
    const QList<std::optional<int>> r = competitionRanks({100.0, 98.0, 95.0, 95.0, 95.0, 95.0, 95.0, 90.0, 89.0, 88.0});
    EXPECT_EQ(letterOf(*r[6], 10, LetterShares{30, 30, 20, 10, 10}), 5) << "rank 3 is within the first 3 students";
    EXPECT_EQ(letterOf(*r[7], 10, LetterShares{30, 30, 20, 10, 10}), 3) << "rank 8 falls beyond B's 6";
}

} // namespace
