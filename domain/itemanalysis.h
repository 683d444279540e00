#pragma once
// Question-level analysis of one subject of an exam: each question's difficulty and
// discrimination from the students' question scores, its score rate per class, and the 一分一段
// table of a subject or a total. Formulas, group rules and worked examples are in
// docs/statistics.md ("Questions").
//
// Scores are doubles; NaN (kNoScore) is "no score" and leaves the student out of that question.

#include "domain/domain_export.h"

#include <QString>

#include <limits>
#include <vector>

namespace lumeko::domain {

inline constexpr double kNoQuestionScore = std::numeric_limits<double>::quiet_NaN();

struct QuestionFacts {
    int answered = 0;          // students with a score on the question
    double mean = 0;           // of those
    double difficulty = 0;     // P: mean ÷ full mark
    double discrimination = 0; // D: (upper group's mean − lower group's mean) ÷ full mark
    double upperMean = 0, lowerMean = 0;
    int fullMarks = 0, zeros = 0; // students with the full mark, with 0
};

// The upper and lower groups by subject score: the 27 % of the students with a subject score
// (rounded half up, at least one) from the top and from the bottom; students tied with the last one
// taken join the group, so a group is never cut inside one score.
struct ScoreGroups {
    std::vector<int> upper, lower; // student indexes
};
LUMEKO_DOMAIN_EXPORT ScoreGroups scoreGroups(const std::vector<double> &subjectScores, double share = 0.27);

// One question: the scores of every student (same order as the subject scores) and its full mark.
LUMEKO_DOMAIN_EXPORT QuestionFacts questionFacts(const std::vector<double> &scores, double fullMark, const ScoreGroups &groups);

// A class's score rate on a question: the class's mean ÷ the full mark; NaN when nobody of the
// class has a score on it.
LUMEKO_DOMAIN_EXPORT double scoreRate(const std::vector<double> &scores, double fullMark, const std::vector<int> &members);

// 一分一段: the students per one-point segment [s, s + 1) from the highest score down, with the
// number at or above the segment and the rank a score in it has (1 + the number above it).
struct ScoreSegment {
    int score = 0;      // the segment's lower edge
    int count = 0;      // students in it
    int cumulative = 0; // students in it or above
    int rank = 0;       // of a score in the segment
};
// Every segment from the highest score down to the lowest, empty segments included.
LUMEKO_DOMAIN_EXPORT std::vector<ScoreSegment> scoreSegments(const std::vector<double> &scores);

} // namespace lumeko::domain
