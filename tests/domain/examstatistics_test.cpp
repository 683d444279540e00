// The statistics engine of the score analyses against the worked example of docs/statistics.md
// (three classes in two branches, a class with an empty and a zero score, a teacher of two
// classes, scores on band edges, B2 and B3, a total) and against a slow, obvious implementation on
// random exams.

#include "domain/examstatistics.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <map>

using namespace lumeko::domain;

namespace {

const double E = kNoScore;

// 数学 of the worked example.
ColumnMarks mathsMarks()
{
    ColumnMarks m;
    m.full = 100;
    m.levels = {90, 80, 60, 30};
    m.high = 90;
    m.distance = 10;
    m.low = 30;
    m.county = 70;
    m.city = 75;
    return m;
}

// 一班 (本部) 100, 90, 80, 60, 0, —; 二班 (本部) 85, 75, 60, 45; 三班 (分校) 95, 70, 30, —.
struct Example {
    std::vector<double> maths{100, 90, 80, 60, 0, E, 85, 75, 60, 45, 95, 70, 30, E};
    ExamLayout layout{{0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2}, {0, 0, 1}, 3, 2};
    ExamStatistics engine{layout};
};

double shown(const std::optional<double> &v)
{
    EXPECT_TRUE(v.has_value());
    return v ? roundForReport(*v) : -999;
}

TEST(ExamStatisticsAverages, AClassWithAnEmptyAndAZeroScoreCountsTheZeroAndNotTheEmpty)
{
    Example x;
    const ColumnTallies t = x.engine.tally(x.maths, mathsMarks());
    const Figures one = figuresOf(t.classes[0]);
    EXPECT_EQ(one.students, 6);
    EXPECT_EQ(one.scored, 5);
    EXPECT_EQ(shown(one.average), 66);
    EXPECT_EQ(shown(one.stdDev), 35.55);
    EXPECT_EQ(shown(one.max), 100);
    EXPECT_EQ(shown(one.min), 0);
    EXPECT_EQ(shown(one.spread), 100);
    EXPECT_EQ(one.full, 1);

    const Figures two = figuresOf(t.classes[1]), three = figuresOf(t.classes[2]);
    EXPECT_EQ(shown(two.average), 66.25);
    EXPECT_EQ(shown(two.stdDev), 15.16);
    EXPECT_EQ(three.students, 4);
    EXPECT_EQ(three.scored, 3);
    EXPECT_EQ(shown(three.average), 65);
    EXPECT_EQ(shown(three.stdDev), 26.77);

    const Figures grade = figuresOf(t.grade);
    EXPECT_EQ(grade.students, 14);
    EXPECT_EQ(grade.scored, 12);
    EXPECT_EQ(shown(grade.average), 65.83);
    EXPECT_EQ(shown(grade.stdDev), 27.98);
}

TEST(ExamStatisticsAverages, AGroupWithoutAScoreHasNoAverageNorRates)
{
    ExamStatistics engine({{0, 0, 1}, {-1, -1}, 2, 0});
    const std::vector<double> scores{E, E, 50};
    const Figures f = figuresOf(engine.tally(scores, mathsMarks()).classes[0]);
    EXPECT_EQ(f.students, 2);
    EXPECT_EQ(f.scored, 0);
    EXPECT_FALSE(f.average || f.stdDev || f.max || f.min || f.excelRate || f.lowRate);
    EXPECT_EQ(f.low, 0);
}

TEST(ExamStatisticsAverages, ClassesAreRankedByTheirAveragesAsShown)
{
    Example x;
    const ColumnTallies t = x.engine.tally(x.maths, mathsMarks());
    std::vector<std::optional<double>> averages;
    for (const Tally &c : t.classes)
        averages.push_back(figuresOf(c).average);
    EXPECT_EQ(averageRanks(averages), (std::vector<std::optional<int>>{2, 1, 3}));
    // Equal as shown share a rank; a group without an average has none.
    EXPECT_EQ(averageRanks({70.004, 70.001, std::nullopt, 69.0}), (std::vector<std::optional<int>>{1, 1, std::nullopt, 3}));
}

TEST(ExamStatisticsRates, LevelsCountCumulativelyAtOrAboveEachMark)
{
    Example x;
    const ColumnTallies t = x.engine.tally(x.maths, mathsMarks());
    const Figures one = figuresOf(t.classes[0]);
    EXPECT_EQ(std::vector<int>({one.excel, one.good, one.pass, one.bad, one.low}), std::vector<int>({2, 3, 4, 4, 1}));
    EXPECT_EQ(shown(one.excelRate), 40);
    EXPECT_EQ(shown(one.goodRate), 60);
    EXPECT_EQ(shown(one.passRate), 80);
    EXPECT_EQ(shown(one.badRate), 80);
    EXPECT_EQ(shown(one.lowRate), 20);
    const Figures three = figuresOf(t.classes[2]);
    EXPECT_EQ(three.bad, 3) << "30 is on BadMark and counts";
    const Figures grade = figuresOf(t.grade);
    EXPECT_EQ(std::vector<int>({grade.excel, grade.good, grade.pass, grade.bad, grade.low}), std::vector<int>({3, 5, 9, 11, 1}));
    EXPECT_EQ(shown(grade.excelRate), 25);
    EXPECT_EQ(shown(grade.goodRate), 41.67);
    EXPECT_EQ(shown(grade.passRate), 75);
    EXPECT_EQ(shown(grade.badRate), 91.67);
    EXPECT_EQ(shown(grade.lowRate), 8.33);
}

TEST(ExamStatisticsBands, BandsRunFromTheFullMarkDownAndAScoreOnAnEdgeCountsAbove)
{
    const BandLayout layout = scoreBands(mathsMarks());
    ASSERT_TRUE(layout.problem.isEmpty()) << layout.problem.toStdString();
    std::vector<QString> captions;
    for (const ScoreBand &b : layout.bands)
        captions.push_back(b.caption);
    EXPECT_EQ(captions, (std::vector<QString>{"100~90", "90~80", "80~70", "70~60", "60~50", "50~40", "40~30", "30~0"}));
    EXPECT_EQ(bandOf(90, layout.bands), 0);
    EXPECT_EQ(bandOf(89.99, layout.bands), 1);
    EXPECT_EQ(bandOf(80, layout.bands), 1);
    EXPECT_EQ(bandOf(30, layout.bands), 6);
    EXPECT_EQ(bandOf(29.5, layout.bands), 7);
    EXPECT_EQ(bandOf(0, layout.bands), 7);
    EXPECT_EQ(bandOf(101, layout.bands), 0);
    EXPECT_EQ(bandOf(E, layout.bands), -1);

    Example x;
    TallyOptions options;
    options.bands = layout.bands;
    const ColumnTallies t = x.engine.tally(x.maths, mathsMarks(), options);
    EXPECT_EQ(t.classes[0].bands, (std::vector<int>{2, 1, 0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(t.classes[1].bands, (std::vector<int>{0, 1, 1, 1, 0, 1, 0, 0}));
    EXPECT_EQ(t.classes[2].bands, (std::vector<int>{1, 0, 1, 0, 0, 0, 1, 0}));
    EXPECT_EQ(t.grade.bands, (std::vector<int>{3, 2, 2, 2, 0, 1, 1, 1}));
}

TEST(ExamStatisticsBands, UnevenWidthsFineWidthsAndMarksThatGiveNoBands)
{
    ColumnMarks m = mathsMarks();
    m.high = 95;
    m.distance = 20;
    m.low = 40;
    std::vector<QString> captions;
    for (const ScoreBand &b : scoreBands(m).bands)
        captions.push_back(b.caption);
    EXPECT_EQ(captions, (std::vector<QString>{"100~95", "95~75", "75~55", "55~40", "40~0"}));

    m.high = 90;
    m.distance = 0.1;
    m.low = 89;
    const BandLayout fine = scoreBands(m);
    ASSERT_EQ(fine.bands.size(), 12u);
    EXPECT_EQ(bandOf(89.7, fine.bands), 3) << "89.7 lies on the edge 90 − 3 × 0.1";
    EXPECT_EQ(fine.bands[3].caption, "89.8~89.7");

    m.low = 0;
    m.distance = 10;
    EXPECT_EQ(scoreBands(m).bands.back().caption, "10~0") << "without LowMark the last band reaches 0 and none is below it";
    EXPECT_EQ(scoreBands(m).bands.size(), 10u);

    m.distance = 0;
    EXPECT_FALSE(scoreBands(m).problem.isEmpty());
    m.distance = 10;
    m.high = 110;
    EXPECT_FALSE(scoreBands(m).problem.isEmpty());
    m.high = 90;
    m.low = 95;
    EXPECT_FALSE(scoreBands(m).problem.isEmpty());
    m.low = 0;
    m.distance = 0.5;
    EXPECT_TRUE(scoreBands(m).problem.contains("at most 100"));
}

TEST(ExamStatisticsOverAverage, AgainstTheGradeTheBranchAndTheStoredCountyAndCityAverages)
{
    Example x;
    const ColumnMarks marks = mathsMarks();
    const ColumnTallies t = x.engine.tally(x.maths, marks);
    const auto avg = [](const Tally &tally) { return figuresOf(tally).average; };
    EXPECT_EQ(shown(overAverage(avg(t.classes[0]), avg(t.grade))), 0.25);
    EXPECT_EQ(shown(overAverage(avg(t.classes[1]), avg(t.grade))), 0.63);
    EXPECT_EQ(shown(overAverage(avg(t.classes[2]), avg(t.grade))), -1.27);
    ASSERT_EQ(t.branches.size(), 2u);
    EXPECT_EQ(shown(avg(t.branches[0])), 66.11);
    EXPECT_EQ(shown(avg(t.branches[1])), 65);
    EXPECT_EQ(shown(overAverage(avg(t.classes[0]), avg(t.branches[0]))), -0.17);
    EXPECT_EQ(shown(overAverage(avg(t.classes[1]), avg(t.branches[0]))), 0.21);
    EXPECT_EQ(shown(overAverage(avg(t.classes[0]), marks.county)), -5.71);
    EXPECT_EQ(shown(overAverage(avg(t.grade), marks.county)), -5.95);
    EXPECT_EQ(shown(overAverage(avg(t.classes[0]), marks.city)), -12);
    EXPECT_EQ(shown(overAverage(avg(t.grade), marks.city)), -12.22);
    EXPECT_FALSE(overAverage(avg(t.grade), std::nullopt)) << "no B2";
    EXPECT_FALSE(overAverage(avg(t.grade), 0.0));
    EXPECT_FALSE(overAverage(std::nullopt, 70.0));
}

TEST(ExamStatisticsTeachers, ATeacherOfTwoClassesIsCountedOverAllTheirStudents)
{
    Example x;
    const ColumnTallies t = x.engine.tally(x.maths, mathsMarks());
    const std::vector<int> zhang{0, 2};
    const Figures f = figuresOf(t.ofClasses(zhang));
    EXPECT_EQ(f.students, 10);
    EXPECT_EQ(f.scored, 8);
    EXPECT_EQ(shown(f.average), 65.63) << "65.625, not the mean 65.5 of the two class averages";
    EXPECT_EQ(shown(f.stdDev), 32.54);
    EXPECT_EQ(std::vector<int>({f.excel, f.good, f.pass, f.bad}), std::vector<int>({3, 4, 6, 7}));
    EXPECT_EQ(shown(f.excelRate), 37.5);
    EXPECT_EQ(shown(f.goodRate), 50);
    EXPECT_EQ(shown(f.passRate), 75);
    EXPECT_EQ(shown(f.badRate), 87.5);
    EXPECT_EQ(shown(overAverage(f.average, figuresOf(t.grade).average)), -0.32);
    const std::vector<int> li{1};
    EXPECT_EQ(shown(figuresOf(t.ofClasses(li)).average), 66.25);
}

TEST(ExamStatisticsTotals, ATotalIsTheScoreSheetsTotalAndAllSubjectPassNeedsEverySubject)
{
    // 甲 90, 100, 80; 乙 —, 0, —; 丙 —, —, —: 语文 and 数学 base subjects, 音乐 auxiliary.
    const std::vector<double> chinese{90, E, E}, maths{100, 0, E}, music{80, E, E};
    const std::vector<std::span<const double>> subjects{chinese, maths, music};
    const std::vector<int> types{0, 0, 2};
    const TotalColumns totals = totalColumns(subjects, types);
    ExamStatistics engine({{0, 0, 0}, {-1}, 1, 0});
    ColumnMarks marks;
    marks.full = 300;
    marks.levels = {270, 240, 180, 90};
    const Figures f = figuresOf(engine.tally(totals.full, marks).grade);
    EXPECT_EQ(f.students, 3);
    EXPECT_EQ(f.scored, 2);
    EXPECT_EQ(shown(f.average), 135);
    EXPECT_EQ(f.excel, 1);
    EXPECT_EQ(f.bad, 1);
    EXPECT_EQ(f.low, 1);
    EXPECT_EQ(shown(f.excelRate), 50);
    EXPECT_EQ(shown(f.lowRate), 50);
    EXPECT_EQ(shown(f.max), 270);
    EXPECT_EQ(shown(f.min), 0);
    EXPECT_EQ(roundForReport(totals.base[0]), 190);

    const std::vector<double> pass{60, 60, 60};
    const AllPassTallies all = engine.allPass(subjects, pass);
    EXPECT_EQ(all.grade.passed, 1);
    EXPECT_EQ(all.grade.sat, 2);
    EXPECT_EQ(shown(all.grade.rate()), 50);
}

TEST(ExamStatisticsBranches, ABranchIsTheSumOfItsClassesAndAClassWithoutOneIsInNone)
{
    Example x;
    const ColumnTallies t = x.engine.tally(x.maths, mathsMarks());
    const Figures main = figuresOf(t.branches[0]);
    EXPECT_EQ(main.students, 10);
    EXPECT_EQ(main.scored, 9);
    EXPECT_EQ(std::vector<int>({main.excel, main.good, main.pass, main.bad}), std::vector<int>({2, 4, 7, 8}));
    EXPECT_EQ(shown(main.max), 100);
    EXPECT_EQ(shown(main.min), 0);

    ExamStatistics partial({x.layout.classOf, {0, -1, 0}, 3, 1});
    const ColumnTallies p = partial.tally(x.maths, mathsMarks());
    EXPECT_EQ(p.branches[0].scored, 8) << "一班 and 三班; 二班 has no branch";
    EXPECT_EQ(p.grade.scored, 12);
}

TEST(ExamStatisticsLetters, LettersAndRankLayersFollowTheScoreSheetsRanks)
{
    Example x;
    TallyOptions options;
    options.letters = LetterShares{30, 30, 20, 10, 10};
    options.topCuts = {3, 8};
    options.bottomCuts = {2, 4};
    const ColumnTallies t = x.engine.tally(x.maths, mathsMarks(), options);
    EXPECT_EQ(t.grade.letters, (std::array<int, 5>{4, 5, 1, 1, 1}));
    EXPECT_EQ(t.classes[0].letters, (std::array<int, 5>{2, 2, 0, 0, 1}));
    EXPECT_EQ(t.classes[1].letters, (std::array<int, 5>{1, 2, 1, 0, 0}));
    EXPECT_EQ(t.classes[2].letters, (std::array<int, 5>{1, 1, 0, 1, 0}));
    EXPECT_EQ(t.classes[0].top, (std::vector<int>{2, 4}));
    EXPECT_EQ(t.classes[1].top, (std::vector<int>{0, 3}));
    EXPECT_EQ(t.classes[2].top, (std::vector<int>{1, 2}));
    EXPECT_EQ(t.grade.top, (std::vector<int>{3, 9})) << "the two 60s share rank 8";
    EXPECT_EQ(t.classes[0].bottom, (std::vector<int>{1, 2}));
    EXPECT_EQ(t.classes[1].bottom, (std::vector<int>{0, 2}));
    EXPECT_EQ(t.classes[2].bottom, (std::vector<int>{1, 1}));
}

// ---- a slow, obvious implementation on random exams ------------------------------------------------

struct Slow {
    int students = 0, scored = 0, excel = 0, good = 0, pass = 0, bad = 0, full = 0;
    double sum = 0;
    std::vector<double> scores;
    std::vector<int> bands;
    std::vector<int> top, bottom;
    std::array<int, 5> letters{};
};

// Every figure straight from its definition: a student of the group is looked at once per figure.
Slow slowTally(const std::vector<double> &scores, const std::vector<int> &classOf, const std::vector<int> &members, const ColumnMarks &m,
               const std::vector<ScoreBand> &bands, const std::vector<int> &topCuts, const std::vector<int> &bottomCuts,
               const std::optional<LetterShares> &shares)
{
    Slow s;
    s.bands.assign(bands.size(), 0);
    s.top.assign(topCuts.size(), 0);
    s.bottom.assign(bottomCuts.size(), 0);
    std::vector<double> all;
    for (double v : scores)
        if (isScored(v)) all.push_back(v);
    const int n = int(all.size());
    for (std::size_t i = 0; i < scores.size(); ++i) {
        if (std::find(members.begin(), members.end(), classOf[i]) == members.end()) continue;
        ++s.students;
        const double v = scores[i];
        if (!isScored(v)) continue;
        ++s.scored;
        s.sum += v;
        s.scores.push_back(v);
        s.excel += v >= m.levels.excel;
        s.good += v >= m.levels.good;
        s.pass += v >= m.levels.pass;
        s.bad += v >= m.levels.bad;
        s.full += v >= m.full;
        for (std::size_t b = 0; b < bands.size(); ++b) {
            const bool inBand = (bands[b].top || v < bands[b].upper) && (bands[b].bottom || v >= bands[b].lower);
            if (inBand) {
                ++s.bands[b];
                break;
            }
        }
        int higher = 0, lower = 0;
        for (double w : all) {
            higher += w > v;
            lower += w < v;
        }
        for (std::size_t k = 0; k < topCuts.size(); ++k)
            s.top[k] += higher + 1 <= topCuts[k];
        for (std::size_t k = 0; k < bottomCuts.size(); ++k)
            s.bottom[k] += lower + 1 <= bottomCuts[k];
        if (shares) {
            const double cum[] = {shares->a, shares->a + shares->b, shares->a + shares->b + shares->c, shares->a + shares->b + shares->c + shares->d};
            int letter = 4;
            for (int l = 3; l >= 0; --l)
                if (higher + 1 <= int(std::ceil(cum[l] * n / 100.0 - 1e-9))) letter = l;
            ++s.letters[std::size_t(letter)];
        }
    }
    return s;
}

TEST(ExamStatisticsProperty, RatesAndCountsAgreeWithASlowImplementationOnRandomExams)
{
    QRandomGenerator rng(20261207);
    for (int round = 0; round < 60; ++round) {
        const int classes = 1 + int(rng.bounded(6)), branches = int(rng.bounded(3));
        ExamLayout layout;
        layout.classes = classes;
        layout.branches = branches;
        for (int c = 0; c < classes; ++c)
            layout.branchOfClass.push_back(branches ? int(rng.bounded(branches + 1)) - 1 : -1);
        const int rows = int(rng.bounded(120));
        std::vector<double> scores;
        for (int i = 0; i < rows; ++i) {
            layout.classOf.push_back(int(rng.bounded(classes)));
            const int kind = int(rng.bounded(10));
            // Whole, half and quarter marks, many ties, empties and zeros, now and then above full.
            scores.push_back(kind == 0 ? E : kind == 1 ? 0 : kind == 2 ? 120 : int(rng.bounded(401)) / double(1 << rng.bounded(3)));
        }
        ColumnMarks m;
        m.full = 100 + 10 * rng.bounded(3);
        m.levels = {double(rng.bounded(60, 100)), 0, 0, 0};
        m.levels.good = m.levels.excel - rng.bounded(20);
        m.levels.pass = m.levels.good - rng.bounded(30);
        m.levels.bad = m.levels.pass - rng.bounded(30);
        m.high = m.full - rng.bounded(30);
        m.distance = 2.5 * (1 + rng.bounded(8));
        m.low = rng.bounded(int(m.high) + 1);
        const BandLayout bands = scoreBands(m);
        ASSERT_TRUE(bands.problem.isEmpty()) << bands.problem.toStdString();
        TallyOptions options;
        options.bands = bands.bands;
        options.topCuts = {1 + int(rng.bounded(20)), 1 + int(rng.bounded(60))};
        options.bottomCuts = {1 + int(rng.bounded(30))};
        if (rng.bounded(2)) options.letters = LetterShares{15, 35, 30, 15, 5};

        ExamStatistics engine(layout);
        const ColumnTallies t = engine.tally(scores, m, options);
        const auto check = [&](const Tally &got, const std::vector<int> &members, const char *what) {
            const Slow want = slowTally(scores, layout.classOf, members, m, bands.bands, options.topCuts, options.bottomCuts, options.letters);
            SCOPED_TRACE(testing::Message() << "round " << round << ", " << what);
            EXPECT_EQ(got.students, want.students);
            EXPECT_EQ(got.scored, want.scored);
            EXPECT_EQ(std::vector<int>({got.excel, got.good, got.pass, got.bad, got.full}),
                      std::vector<int>({want.excel, want.good, want.pass, want.bad, want.full}));
            EXPECT_EQ(got.bands, want.bands);
            EXPECT_EQ(got.top, want.top);
            EXPECT_EQ(got.bottom, want.bottom);
            if (options.letters) {
                EXPECT_EQ(got.letters, want.letters);
            }
            const Figures f = figuresOf(got);
            if (want.scored == 0) {
                EXPECT_FALSE(f.average);
                return;
            }
            EXPECT_NEAR(*f.average, want.sum / want.scored, 1e-9);
            double squares = 0;
            for (double v : want.scores)
                squares += (v - want.sum / want.scored) * (v - want.sum / want.scored);
            EXPECT_NEAR(*f.stdDev, std::sqrt(squares / want.scored), 1e-6);
            EXPECT_EQ(*f.max, *std::max_element(want.scores.begin(), want.scores.end()));
            EXPECT_EQ(*f.min, *std::min_element(want.scores.begin(), want.scores.end()));
            EXPECT_DOUBLE_EQ(*f.passRate, want.pass * 100.0 / want.scored);
            EXPECT_EQ(f.low, want.scored - want.bad);
        };
        std::vector<int> every;
        for (int c = 0; c < classes; ++c) {
            check(t.classes[std::size_t(c)], {c}, "a class");
            every.push_back(c);
        }
        check(t.grade, every, "the grade");
        for (int b = 0; b < branches; ++b) {
            std::vector<int> members;
            for (int c = 0; c < classes; ++c)
                if (layout.branchOfClass[std::size_t(c)] == b) members.push_back(c);
            check(t.branches[std::size_t(b)], members, "a branch");
        }
        if (classes >= 3) {
            const std::vector<int> two{0, 2};
            check(t.ofClasses(two), two, "a teacher of two classes");
        }
    }
}

} // namespace
