#pragma once
// The score sheet's number work on whole columns: ranks of one subject (or total) in the grade,
// in each class and in each branch with the letter grades that follow from them, levels, row
// totals, weights and standard scores. The score page and the server both call it; a column is a
// plain array of doubles in which NaN stands for "no score", so that a city's joint exam of tens
// of thousands of rows ranks in milliseconds.

#include "domain/domain_export.h"
#include "domain/scoring.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace lumeko::domain {

// The empty score of a column.
inline constexpr double kNoScore = std::numeric_limits<double>::quiet_NaN();
inline bool isScored(double v)
{
    return !std::isnan(v);
}
inline Score toScore(double v)
{
    return isScored(v) ? Score(v) : std::nullopt;
}
inline double fromScore(const Score &s)
{
    return s ? *s : kNoScore;
}

// What ranking a column gives each row. Ranks are 1-based, 0 where the row has no score (or no
// class, no branch); letters 5 (A) … 1 (E), 0 where none was given.
struct ColumnRanks {
    std::vector<int> grade, inClass, inBranch;
    std::vector<std::uint8_t> gradeLetter, branchLetter;
    int ranked = 0;                   // N: rows with a score
    std::vector<int> rankedPerBranch; // scored rows of each branch
};

// The shares the letters are given by: one for the whole grade and optionally one per branch
// (indexed like the branches of the sheet; a branch without shares gets no letters).
struct LetterRules {
    std::optional<LetterShares> grade;
    std::vector<std::optional<LetterShares>> perBranch;
};

// Ranks columns of one sheet. The rows' classes and branches are given once as small numbers
// (0 … n − 1; −1 for none) and every column of the sheet is ranked against them.
class LUMEKO_DOMAIN_EXPORT SheetRanker {
public:
    SheetRanker(std::vector<int> classOf, std::vector<int> branchOf);
    qsizetype rowCount() const { return qsizetype(m_classOf.size()); }

    // Competition ranks, highest score first (90, 85, 85, 80 → 1, 2, 2, 4), in the grade, each
    // class and each branch at once, and the letters of the grade and branch ranks.
    void rank(std::span<const double> scores, const LetterRules &letters, ColumnRanks &out) const;

private:
    // The scored rows, highest score first; rows of equal score in their sheet order.
    void orderByScore(std::span<const double> scores, std::vector<std::uint32_t> &order) const;

    std::vector<int> m_classOf, m_branchOf;
    int m_classCount = 0, m_branchCount = 0;
};

// The last rank each letter reaches among `ranked` students: ⌈share·N/100⌉ summed over the
// letters so far (A, A+B, A+B+C, A+B+C+D).
struct LetterCutOffs {
    int a = 0, b = 0, c = 0, d = 0;
    LetterCutOffs(const LetterShares &shares, int ranked);
    std::uint8_t letterOf(int rank) const { return rank <= a ? 5 : rank <= b ? 4 : rank <= c ? 3 : rank <= d ? 2 : 1; }
};

// ---- whole-column rules ---------------------------------------------------------------------------

// Levels of a column by the subject's marks (0 excellent … 4 failed; −1 for no score).
LUMEKO_DOMAIN_EXPORT void levelsOf(std::span<const double> scores, const LevelMarks &marks, std::span<std::int8_t> out);

// The three totals of every row from the subjects' columns and their types (0 base, 1 main,
// 2 auxiliary): NaN where nothing was added, no rounding.
struct TotalColumns {
    std::vector<double> full, main, base;
};
LUMEKO_DOMAIN_EXPORT TotalColumns totalColumns(std::span<const std::span<const double>> subjects, std::span<const int> subjectTypes);

// The weighted score shown for a stored score: stored × per rounded to one decimal as
// round(x ÷ 0.1) × 0.1, halves to even. A weight that is not set or not below 1 leaves it.
LUMEKO_DOMAIN_EXPORT double weightedScore(double stored, double per);
inline bool weightApplies(double per)
{
    return per > 0 && per < 1.0;
}

// Standard scores of a column in place: the mean is taken over every row (no score counts as 0),
// the deviation over the scores above 0 (divided by every row); each score above 0 becomes
// (score − mean) ÷ deviation × 100 + 500. When the deviation is 0 every score above 0 equals the
// mean and becomes 500. Other rows stay as they are. Answers false when no score is above 0.
LUMEKO_DOMAIN_EXPORT bool standardize(std::span<double> scores);

} // namespace lumeko::domain
