#pragma once
// The scoring rules the score page and the server both apply, in one place: totals by subject
// type, levels by the level marks, competition ranks within a scope, and letter grades by the
// shares of each letter. Columns of numbers in, columns out; no widgets, no SQL.

#include "domain/domain_export.h"

#include <QList>
#include <QString>

#include <optional>

namespace lumeko::domain {

using Score = std::optional<double>; // empty: not scored

// The three totals of an exam: every subject (全总 "FUL"), main subjects of type 0 and 1 (主总
// "MAI"), base subjects of type 0 (基总 "BAS"). A total over no scored subject stays empty.
struct Totals {
    Score full, main, base;
};
// One student's totals from the scores of the exam's subjects and those subjects' types
// (SubjectType 0 base, 1 main, 2 auxiliary), position by position.
LUMEKO_DOMAIN_EXPORT Totals totalsOf(const QList<Score> &scores, const QList<int> &subjectTypes);

// Level marks of a subject (CJ_ExamSubject): at or above ExcelMark excellent (0), GoodMark good (1),
// PassMark pass (2), BadMark qualified (3); below it failed (4).
struct LevelMarks {
    double excel = 0, good = 0, pass = 0, bad = 0;
};
// The level of a score; empty for an empty score. A score equal to a mark gets the higher level.
LUMEKO_DOMAIN_EXPORT std::optional<int> levelOf(const Score &score, const LevelMarks &marks);

// Competition ranks, highest score first: equal scores share a rank and the next different score
// takes its position (1, 2, 2, 4). Empty scores get no rank. With `groups` (one key per score:
// a class, a branch) ranks count within each group; without, over all.
LUMEKO_DOMAIN_EXPORT QList<std::optional<int>> competitionRanks(const QList<Score> &scores, const QList<QString> &groups = {});

// The shares of the letters A … E in percent (CJ_ExamGradePer: APer … EPer).
struct LetterShares {
    double a = 0, b = 0, c = 0, d = 0, e = 0;
};
// The letter grade of a rank among `ranked` scored students: 5 (A) … 1 (E). The last rank of each
// letter is the share of the students so far rounded up (40 students, A 15% → ranks 1 … 6), and a
// student tied at that rank gets the higher letter with all of his rank.
LUMEKO_DOMAIN_EXPORT int letterOf(int rank, int ranked, const LetterShares &shares);

} // namespace lumeko::domain
