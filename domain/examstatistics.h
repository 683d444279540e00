#pragma once
// The statistics engine of the score analyses: an exam's counted students laid out once by class
// and branch, and for each score column (a subject or a total) the sums of every class in one
// pass, which add up to the sums of a branch, of a teacher's classes and of the grade. Levels,
// ranks and letters come from the same code as score entry (scoring.h, sheetranker.h), so an
// analysis never disagrees with the score sheet. Formulas, denominators, band edges and rounding,
// with worked examples, are in docs/statistics.md.
//
// A column is an array of doubles in which NaN (kNoScore) is "no score"; 0 is a score.

#include "domain/domain_export.h"
#include "domain/scoring.h"
#include "domain/sheetranker.h"

#include <QString>

#include <array>
#include <optional>
#include <span>
#include <vector>

namespace lumeko::domain {

// What a column is judged by: the full mark, the level marks, the score bands (from the full mark
// down to HighMark, then DistanceMark wide down to LowMark, then below LowMark) and the averages
// of the county (B2) and the city (B3) it is compared with.
struct ColumnMarks {
    double full = 0;
    LevelMarks levels;
    double high = 0, distance = 0, low = 0;
    std::optional<double> county, city;
};

// One score band: the scores s with lower ≤ s < upper. The top band has no upper edge (a score
// above the full mark still counts in it), the bottom band no lower edge. A score on an edge counts
// in the upper band, as a score on a level mark gets the higher level.
struct ScoreBand {
    double upper = 0, lower = 0;
    bool top = false, bottom = false;
    QString caption; // "100~90": the band's edges from the top, the top band's from the full mark
};
// The bands the marks give, highest first; empty with `problem` set when they give none
// (DistanceMark not above 0, not 0 ≤ LowMark ≤ HighMark ≤ full mark, more than kMaxBands bands).
struct BandLayout {
    std::vector<ScoreBand> bands;
    QString problem;
};
inline constexpr int kMaxBands = 100;
LUMEKO_DOMAIN_EXPORT BandLayout scoreBands(const ColumnMarks &marks);
// The band of a score among `bands` (as scoreBands gives them); −1 for no score.
LUMEKO_DOMAIN_EXPORT int bandOf(double score, const std::vector<ScoreBand> &bands);

// What a tally counts beyond the plain figures.
struct TallyOptions {
    std::vector<ScoreBand> bands;         // none: no band counts
    std::optional<LetterShares> letters;  // the grade's letter shares: counts of A … E
    std::vector<int> topCuts, bottomCuts; // rank layers: grade rank ≤ cut, from the top or the bottom
};

// The sums of one group of students for one column. Groups add up: a branch is the sum of its
// classes, a teacher's students the sum of his classes, the grade the sum of every class.
struct LUMEKO_DOMAIN_EXPORT Tally {
    int students = 0; // counted students of the group, scored or not
    int scored = 0;   // those with a score (0 included)
    double shift = 0; // sums are of (score − shift), which keeps the squares small
    double sum = 0, squares = 0;
    double max = kNoScore, min = kNoScore;
    int excel = 0, good = 0, pass = 0, bad = 0; // at or above each level mark (cumulative)
    int full = 0;                               // at or above the full mark
    std::vector<int> bands, top, bottom;        // as TallyOptions asks
    std::array<int, 5> letters{};               // A, B, C, D, E

    void add(const Tally &other);
};

// The finished figures of a group; a figure that needs a scored student is empty without one.
// Rates are percentages of the scored students. Nothing is rounded here (roundForReport).
struct Figures {
    int students = 0, scored = 0;
    std::optional<double> average, stdDev, max, min, spread;
    int excel = 0, good = 0, pass = 0, bad = 0, low = 0, full = 0; // low: below the BadMark
    std::optional<double> excelRate, goodRate, passRate, badRate, lowRate, fullRate;
};
LUMEKO_DOMAIN_EXPORT Figures figuresOf(const Tally &t);

// How far an average lies above a reference average, in percent of the reference (超均率):
// (average − reference) ÷ reference × 100; empty without either or with a reference of 0.
LUMEKO_DOMAIN_EXPORT std::optional<double> overAverage(const std::optional<double> &average, const std::optional<double> &reference);
// Ranks of groups by their averages rounded for the report (the ranks of the figures shown),
// highest first, 1, 2, 2, 4; empty for a group without an average.
LUMEKO_DOMAIN_EXPORT std::vector<std::optional<int>> averageRanks(const std::vector<std::optional<double>> &averages);
// A figure as the reports show it: two decimals, halves away from zero.
LUMEKO_DOMAIN_EXPORT double roundForReport(double v);

// The students of an analysis: each row's class (0 … classes − 1) and each class's branch
// (0 … branches − 1, or −1 for none).
struct ExamLayout {
    std::vector<int> classOf;
    std::vector<int> branchOfClass;
    int classes = 0, branches = 0;
};

// A column's tallies: every class, every branch and the grade.
struct LUMEKO_DOMAIN_EXPORT ColumnTallies {
    std::vector<Tally> classes, branches;
    Tally grade;
    // The sum of some classes (a teacher's).
    Tally ofClasses(std::span<const int> classIndexes) const;
};

// Passing every subject (全科及格): per class, the students with a score in every subject, each at
// or above its PassMark, and the students with at least one score (the rate's denominator).
struct AllPassTally {
    int passed = 0, sat = 0;
    void add(const AllPassTally &o)
    {
        passed += o.passed;
        sat += o.sat;
    }
    std::optional<double> rate() const { return sat ? std::optional<double>(passed * 100.0 / sat) : std::nullopt; }
};
struct LUMEKO_DOMAIN_EXPORT AllPassTallies {
    std::vector<AllPassTally> classes, branches;
    AllPassTally grade;
    AllPassTally ofClasses(std::span<const int> classIndexes) const;
};

// One candidate's standing over every subject: no score at all, sat (a score in some subject) or
// passed every subject. UpExamOrder stores it per candidate (CJ_ExamStudent.iAllPass).
enum class AllPassState : qint8 { NoScore = 0, Sat = 1, Passed = 2 };
// The standing of row `row` over the subjects' columns and their pass marks.
LUMEKO_DOMAIN_EXPORT AllPassState allPassState(std::span<const std::span<const double>> subjects, std::span<const double> passMarks, std::size_t row);

class LUMEKO_DOMAIN_EXPORT ExamStatistics {
public:
    explicit ExamStatistics(ExamLayout layout);
    qsizetype rowCount() const { return qsizetype(m_layout.classOf.size()); }
    const ExamLayout &layout() const { return m_layout; }

    // One pass over the column (and the ranking when letters or layers are asked for).
    ColumnTallies tally(std::span<const double> scores, const ColumnMarks &marks, const TallyOptions &options = {}) const;
    AllPassTallies allPass(std::span<const std::span<const double>> subjects, std::span<const double> passMarks) const;
    // The same from each row's standing, as stored.
    AllPassTallies allPass(std::span<const AllPassState> states) const;

private:
    ExamLayout m_layout;
    std::vector<int> m_branchOf; // by row
    std::vector<int> m_classSize;
    SheetRanker m_ranker;
};

} // namespace lumeko::domain
