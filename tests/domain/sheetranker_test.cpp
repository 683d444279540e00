// The column engine of the score sheet: the cases a school meets, and random sheets checked
// against a slow, obviously right ranking written from the definition of a rank.

#include "domain/sheetranker.h"

#include <gtest/gtest.h>

#include <random>

using namespace lumeko::domain;

namespace {

constexpr double E = kNoScore;

ColumnRanks rankColumn(std::vector<double> scores, std::vector<int> classOf = {}, std::vector<int> branchOf = {}, LetterRules letters = {})
{
    if (classOf.empty()) classOf.assign(scores.size(), 0);
    ColumnRanks out;
    SheetRanker(classOf, branchOf).rank(scores, letters, out);
    return out;
}

TEST(SheetRanker, RanksInGradeClassAndBranchAtOnce)
{
    // Class 0: 90, 85, 85, 80 and an absent student; class 1: 85, 70. Branches: rows 0-2 main, rest sub.
    const std::vector<double> scores{90, 85, 85, 80, E, 85, 70};
    const ColumnRanks r = rankColumn(scores, {0, 0, 0, 0, 0, 1, 1}, {0, 0, 0, 1, 1, 1, 1});
    EXPECT_EQ(r.grade, (std::vector<int>{1, 2, 2, 5, 0, 2, 6}));
    EXPECT_EQ(r.inClass, (std::vector<int>{1, 2, 2, 4, 0, 1, 2})) << "90, 85, 85, 80 rank 1, 2, 2, 4";
    EXPECT_EQ(r.inBranch, (std::vector<int>{1, 2, 2, 2, 0, 1, 3}));
    EXPECT_EQ(r.ranked, 6) << "the absent student is not counted";
    EXPECT_EQ(r.rankedPerBranch, (std::vector<int>{3, 3}));

    // Rows of no class or branch get ranks only where they belong.
    const ColumnRanks loose = rankColumn({50, 60}, {-1, 0}, {-1, -1});
    EXPECT_EQ(loose.grade, (std::vector<int>{2, 1}));
    EXPECT_EQ(loose.inClass, (std::vector<int>{0, 1}));
    EXPECT_EQ(loose.inBranch, (std::vector<int>{0, 0}));

    // Every path of the ordering: hundredths in a narrow range, in a wide one, and finer scores.
    for (const double scale : {1.0, 1e7, 1.0 / 3.0}) {
        const ColumnRanks s = rankColumn({3 * scale, 1 * scale, 3 * scale, E, 2 * scale});
        EXPECT_EQ(s.grade, (std::vector<int>{1, 4, 1, 0, 3})) << "scale " << scale;
    }
    const ColumnRanks none = rankColumn({E, E});
    EXPECT_EQ(none.ranked, 0);
    EXPECT_EQ(none.grade, (std::vector<int>{0, 0}));
}

TEST(SheetRanker, LettersCutOffByTheSharesOfTheScoredStudents)
{
    const auto countA = [](int students, double aShare) {
        std::vector<double> scores;
        for (int i = 0; i < students; ++i)
            scores.push_back(100 - i);
        scores.push_back(E); // not counted in N
        const ColumnRanks r = rankColumn(scores, {}, {}, {LetterShares{aShare, 35, 30, 10, 5}, {}});
        return std::count(r.gradeLetter.begin(), r.gradeLetter.end(), 5);
    };
    EXPECT_EQ(countA(40, 20), 8);
    EXPECT_EQ(countA(40, 15), 6) << "15% of 40 is exactly 6";
    EXPECT_EQ(countA(41, 15), 7) << "15% of 41 is 6.15, rounded up";

    // Ten students, A 30%: the cut-off falls on rank 3, which five students share: all five get A,
    // and the next student (rank 8) is already past B's 6.
    const ColumnRanks tie = rankColumn({100, 98, 95, 95, 95, 95, 95, 90, 89, 88}, {}, {}, {LetterShares{30, 30, 20, 10, 10}, {}});
    EXPECT_EQ(tie.gradeLetter, (std::vector<std::uint8_t>{5, 5, 5, 5, 5, 5, 5, 3, 2, 1}));

    // Branch letters use each branch's own count and shares; a branch without shares gets none.
    const ColumnRanks b = rankColumn({90, 80, 70, 60, 50}, {}, {0, 0, 0, 1, 1}, {std::nullopt, {LetterShares{33, 33, 34, 0, 0}, std::nullopt}});
    EXPECT_EQ(b.gradeLetter, (std::vector<std::uint8_t>{0, 0, 0, 0, 0})) << "no grade shares, no grade letters";
    EXPECT_EQ(b.branchLetter, (std::vector<std::uint8_t>{5, 4, 3, 0, 0})) << "33% of 3 is one A, 66% two down to B";
}

TEST(SheetColumns, LevelsTotalsWeightsAndStandardScores)
{
    std::vector<std::int8_t> levels(5);
    levelsOf(std::vector<double>{90, 89.5, 60, 59.5, E}, LevelMarks{90, 80, 60, 40}, levels);
    EXPECT_EQ(levels, (std::vector<std::int8_t>{0, 1, 2, 3, -1})) << "exactly the pass mark is a pass";

    const std::vector<double> chinese{100, E, E}, english{80, 90, E}, sports{9, E, E};
    const std::span<const double> columns[] = {chinese, english, sports};
    const TotalColumns t = totalColumns(columns, std::vector<int>{0, 1, 2});
    EXPECT_EQ(t.full[0], 189);
    EXPECT_EQ(t.main[0], 180);
    EXPECT_EQ(t.base[0], 100);
    EXPECT_EQ(t.full[1], 90);
    EXPECT_TRUE(std::isnan(t.base[1])) << "no base subject scored: no base total, not 0";
    EXPECT_TRUE(std::isnan(t.full[2]));

    EXPECT_EQ(weightedScore(87, 0.5), 43.5);
    EXPECT_DOUBLE_EQ(weightedScore(87, 0.33), 28.7) << "28.71 to one decimal";
    EXPECT_EQ(weightedScore(87, 1.0), 87) << "a weight of 1 is not applied";
    EXPECT_EQ(weightedScore(87, 1.2), 87);
    EXPECT_EQ(weightedScore(87, 0), 87) << "no weight set";
    EXPECT_TRUE(std::isnan(weightedScore(E, 0.5)));

    // Mean over all four rows, absent counting as 0: (80 + 60 + 0 + 100) / 4 = 60; deviation over
    // the scores above 0: √((400 + 0 + 1600) / 4) = √500.
    std::vector<double> s{80, 60, E, 100};
    ASSERT_TRUE(standardize(s));
    EXPECT_DOUBLE_EQ(s[0], 20 / std::sqrt(500.0) * 100 + 500);
    EXPECT_DOUBLE_EQ(s[1], 500);
    EXPECT_TRUE(std::isnan(s[2]));
    EXPECT_DOUBLE_EQ(s[3], 40 / std::sqrt(500.0) * 100 + 500);
    std::vector<double> same{75, 75, 75};
    ASSERT_TRUE(standardize(same)) << "no spread: everybody is at the mean";
    EXPECT_EQ(same, (std::vector<double>{500, 500, 500}));
    std::vector<double> zeros{0, E, 0};
    EXPECT_FALSE(standardize(zeros));
    EXPECT_EQ(zeros[0], 0);
}

// ---- random sheets against the definition --------------------------------------------------------

// A rank is one more than the number of students of the same scope with a higher score; a letter
// is A when fewer than A's share of the N ranked students stand before the student, and so on.
int slowRank(const std::vector<double> &scores, const std::vector<int> &scope, std::size_t i)
{
    if (!isScored(scores[i]) || scope[i] < 0) return 0;
    int above = 0;
    for (std::size_t j = 0; j < scores.size(); ++j)
        above += scope[j] == scope[i] && isScored(scores[j]) && scores[j] > scores[i];
    return above + 1;
}
std::uint8_t slowLetter(int rank, int ranked, const std::array<int, 5> &shares)
{
    // Shares are whole percents here, so "rank − 1 < share·N/100" is exact in integers.
    int within = 0;
    for (int letter = 0; letter < 4; ++letter) {
        within += shares[std::size_t(letter)];
        if ((rank - 1) * 100 < within * ranked) return std::uint8_t(5 - letter);
    }
    return 1;
}

TEST(SheetRanker, AgreesWithTheDefinitionOnRandomSheets)
{
    std::mt19937 rng(20261207);
    for (int sheet = 0; sheet < 300; ++sheet) {
        const int rows = std::uniform_int_distribution(1, 160)(rng);
        const int classes = std::uniform_int_distribution(1, 6)(rng);
        const int branches = std::uniform_int_distribution(0, 3)(rng);
        const int kind = sheet % 4; // half points, wide or very wide whole numbers, or finer scores
        std::vector<double> scores(static_cast<std::size_t>(rows));
        std::vector<int> classOf(scores.size()), branchOf(scores.size()), grade(scores.size(), 0);
        for (std::size_t i = 0; i < scores.size(); ++i) {
            classOf[i] = std::uniform_int_distribution(-1, classes - 1)(rng) < 0 && sheet % 7 == 0 ? -1 : int(i % std::size_t(classes));
            branchOf[i] = branches == 0 ? -1 : std::uniform_int_distribution(0, branches - 1)(rng);
            if (std::uniform_int_distribution(0, 9)(rng) == 0) {
                scores[i] = E;
            } else if (kind == 0) {
                scores[i] = std::uniform_int_distribution(0, 40)(rng) / 2.0; // many ties
            } else if (kind == 1) {
                scores[i] = std::uniform_int_distribution(0, 5)(rng) * 1e4;
            } else if (kind == 2) {
                scores[i] = std::uniform_int_distribution(0, 5)(rng) * 1e8;
            } else {
                scores[i] = std::uniform_int_distribution(0, 20)(rng) / 7.0;
            }
        }
        const std::array<int, 5> shares{std::uniform_int_distribution(0, 40)(rng), 30, 20, 10, 0};
        const LetterShares letterShares{double(shares[0]), 30, 20, 10, 0};
        LetterRules rules{letterShares, {}};
        for (int b = 0; b < branches; ++b)
            rules.perBranch.push_back(b == 1 ? std::nullopt : std::optional(letterShares));

        ColumnRanks out;
        SheetRanker(classOf, branchOf).rank(scores, rules, out);

        int ranked = 0;
        std::vector<int> perBranch(std::size_t(branches), 0);
        for (std::size_t i = 0; i < scores.size(); ++i) {
            ranked += isScored(scores[i]);
            if (isScored(scores[i]) && branchOf[i] >= 0) ++perBranch[std::size_t(branchOf[i])];
        }
        ASSERT_EQ(out.ranked, ranked);
        for (std::size_t i = 0; i < scores.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "sheet " << sheet << " row " << i << " score " << scores[i]);
            const int g = slowRank(scores, grade, i), c = slowRank(scores, classOf, i), b = slowRank(scores, branchOf, i);
            ASSERT_EQ(out.grade[i], g);
            ASSERT_EQ(out.inClass[i], c);
            ASSERT_EQ(out.inBranch[i], b);
            ASSERT_EQ(out.gradeLetter[i], g > 0 ? slowLetter(g, ranked, shares) : 0);
            const bool branchLetters = b > 0 && branchOf[i] != 1;
            ASSERT_EQ(out.branchLetter[i], branchLetters ? slowLetter(b, perBranch[std::size_t(branchOf[i])], shares) : 0);
        }
    }
}

} // namespace
