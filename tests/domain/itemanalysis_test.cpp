// Question-level analysis against the worked examples of docs/statistics.md ("Questions"): ten
// students and ten one-mark questions, a tie at the edge of the 27 % groups, a question of five
// marks with a student who has no score on it, class score rates, and a 一分一段 table.

#include "domain/itemanalysis.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace lumeko::domain;

namespace {

// Student i (0 … 9) answered the first 10 − i questions right: subject scores 10, 9, … 1.
std::vector<double> question(int q)
{
    std::vector<double> out;
    for (int i = 0; i < 10; ++i)
        out.push_back(q < 10 - i ? 1 : 0);
    return out;
}

TEST(ItemAnalysis, TenStudentsTenOneMarkQuestions)
{
    std::vector<double> subject;
    for (int i = 0; i < 10; ++i)
        subject.push_back(10 - i);
    const ScoreGroups g = scoreGroups(subject);
    EXPECT_EQ(g.upper, (std::vector<int>{0, 1, 2})) << "27 % of 10 is 2.7, three students";
    EXPECT_EQ(g.lower, (std::vector<int>{7, 8, 9}));

    const QuestionFacts q1 = questionFacts(question(0), 1, g);
    EXPECT_EQ(q1.answered, 10);
    EXPECT_DOUBLE_EQ(q1.difficulty, 1.0);
    EXPECT_DOUBLE_EQ(q1.discrimination, 0.0) << "everybody right tells nobody apart";
    EXPECT_EQ(q1.fullMarks, 10);

    const QuestionFacts q2 = questionFacts(question(1), 1, g);
    EXPECT_DOUBLE_EQ(q2.difficulty, 0.9);
    EXPECT_NEAR(q2.discrimination, 1.0 / 3, 1e-12) << "upper 3/3, lower 2/3";

    const QuestionFacts q5 = questionFacts(question(4), 1, g);
    EXPECT_DOUBLE_EQ(q5.difficulty, 0.6);
    EXPECT_DOUBLE_EQ(q5.discrimination, 1.0);
    EXPECT_EQ(q5.zeros, 4);

    const QuestionFacts q10 = questionFacts(question(9), 1, g);
    EXPECT_DOUBLE_EQ(q10.difficulty, 0.1);
    EXPECT_NEAR(q10.discrimination, 1.0 / 3, 1e-12);
}

TEST(ItemAnalysis, StudentsTiedAtTheEdgeOfAGroupAllJoinIt)
{
    const std::vector<double> subject{10, 9, 8, 8, 6, 5, 4, 3, 2, 1};
    const ScoreGroups g = scoreGroups(subject);
    EXPECT_EQ(g.upper, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(g.lower, (std::vector<int>{7, 8, 9}));
    // Without a subject score a student is in no group; one student makes a group of one.
    const ScoreGroups one = scoreGroups({kNoQuestionScore, 7, kNoQuestionScore});
    EXPECT_EQ(one.upper, std::vector<int>{1});
    EXPECT_EQ(one.lower, std::vector<int>{1});
    EXPECT_TRUE(scoreGroups({kNoQuestionScore}).upper.empty());
}

TEST(ItemAnalysis, AFiveMarkQuestionCountsOnlyTheStudentsWithAScore)
{
    const std::vector<double> scores{5, 3, 0, kNoQuestionScore};
    const ScoreGroups g{{0}, {2}};
    const QuestionFacts f = questionFacts(scores, 5, g);
    EXPECT_EQ(f.answered, 3);
    EXPECT_NEAR(f.mean, 8.0 / 3, 1e-12);
    EXPECT_NEAR(f.difficulty, 8.0 / 15, 1e-12);
    EXPECT_DOUBLE_EQ(f.discrimination, 1.0) << "(5 − 0) ÷ 5";
    EXPECT_EQ(f.fullMarks, 1);
    EXPECT_EQ(f.zeros, 1);
    EXPECT_NEAR(scoreRate(scores, 5, {0, 1}), 0.8, 1e-12) << "class of the first two: (5 + 3) ÷ 2 ÷ 5";
    EXPECT_TRUE(std::isnan(scoreRate(scores, 5, {3}))) << "nobody of the class has a score";
    EXPECT_EQ(questionFacts({kNoQuestionScore}, 5, {}).answered, 0);
}

TEST(ItemAnalysis, OnePointSegmentsFromTheTopWithCumulativeCountsAndRanks)
{
    const std::vector<ScoreSegment> s = scoreSegments({100, 99.5, 99, 97, 97.5, kNoQuestionScore});
    ASSERT_EQ(s.size(), 4u);
    const auto row = [](const ScoreSegment &x) {
        return std::to_string(x.score) + ":" + std::to_string(x.count) + "/" + std::to_string(x.cumulative) + "#" + std::to_string(x.rank);
    };
    EXPECT_EQ(row(s[0]), "100:1/1#1");
    EXPECT_EQ(row(s[1]), "99:2/3#2") << "99 and 99.5 share the segment";
    EXPECT_EQ(row(s[2]), "98:0/3#4") << "an empty segment is listed";
    EXPECT_EQ(row(s[3]), "97:2/5#4");
    EXPECT_TRUE(scoreSegments({kNoQuestionScore}).empty());
}

} // namespace
