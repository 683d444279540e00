// The marks a full mark gives and the three totals of an exam's chosen subjects.

#include "domain/examrules.h"

#include <gtest/gtest.h>

using namespace lumeko::domain;

namespace {

TEST(ExamRules, AFullMarkGivesItsLevelMarks)
{
    std::optional<SubjectDefaults> d = marksForFullMark(150);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->marks, (Marks{150, 120, 105, 90, 45, 10, 140, 10}));
    EXPECT_EQ(d->spinStep, 5);
    EXPECT_EQ(d->per, 1);
    EXPECT_EQ(d->modifyRight, 33);
    d = marksForFullMark(5);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->marks, (Marks{5, 5, 4, 3, 2, 1, 5, 2})) << "a five-point scale";
    EXPECT_EQ(d->spinStep, 1);
    EXPECT_FALSE(marksForFullMark(0)) << "0 changes nothing";
    // Halves go to the even number: 15 × 0.7 = 10.5 → 10; 25 × 0.3 = 7.5 → 8; 45 × 0.7 = 31.5 → 32;
    // 35 × 0.3 = 10.5 → 10.
    EXPECT_EQ(marksForFullMark(15)->marks[GoodMark], 10);
    EXPECT_EQ(marksForFullMark(25)->marks[BadMark], 8);
    EXPECT_EQ(marksForFullMark(45)->marks[GoodMark], 32);
    EXPECT_EQ(marksForFullMark(35)->marks[BadMark], 10);
    EXPECT_EQ(marksForFullMark(12.5)->marks[ExcelMark], 10) << "a full mark with a half is worked in floating point";
    EXPECT_EQ(marksForFullMark(11)->marks[HighMark], 1) << "just above the five-point scale";
}

TEST(ExamRules, TotalsSumTheMarksOfTheRightSubjectTypes)
{
    const ExamTotals t = examTotals({{0, {150, 120, 105, 90, 45, 10, 140, 10}}, {1, {100, 80, 70, 60, 30, 10, 90, 10}}, {2, {50, 40, 35, 30, 15, 10, 40, 10}}});
    EXPECT_EQ(t.all[FullMark], 300);
    EXPECT_EQ(t.main[FullMark], 250);
    EXPECT_EQ(t.base[FullMark], 150);
    EXPECT_EQ(t.main[PassMark], 150);
    EXPECT_EQ(t.base[LowMark], 10);
    EXPECT_EQ(examTotals({}).all[FullMark], 0);
}

TEST(ExamRules, TotalsAfterAGradeSubjectChangeRoundEachMarkHalfToEvenFirst)
{
    // 72.5 → 72 and 73.5 → 74: summed unrounded they would make 146 as well, so the goods tell:
    // 84.5 → 84 and 84.5 → 84 give 168 where the plain sum gives 169.
    const ExamTotals t = wholeMarkTotals(
        {{0, {120, 102.5, 84.5, 72.5, 36.4, 10, 110, 10}}, {1, {120, 101.5, 84.5, 73.5, 36.6, 10, 110, 10}}, {2, {100, 90.5, 80, 60, 30, 10, 90, 10}}});
    EXPECT_EQ(t.base[GoodMark], 84);
    EXPECT_EQ(t.main[GoodMark], 168);
    EXPECT_EQ(examTotals({{0, {0, 0, 84.5}}, {0, {0, 0, 84.5}}}).main[GoodMark], 169) << "the plain sum keeps the halves";
    EXPECT_EQ(t.main[PassMark], 146);
    EXPECT_EQ(t.main[BadMark], 36 + 37) << "below and above a half";
    EXPECT_EQ(t.all[ExcelMark], 102 + 102 + 90) << "90.5 → 90";
    EXPECT_EQ(t.all[FullMark], 340);
}

} // namespace
