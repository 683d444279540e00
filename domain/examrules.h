#pragma once
// The rules of an exam's definition: the level marks a full mark gives a subject, and the three
// summed totals (all subjects, main subjects of type 0 and 1, base subjects of type 0) of the
// eight marks over the chosen subjects.

#include "domain/domain_export.h"

#include <QList>

#include <array>
#include <optional>

namespace lumeko::domain {

// The eight level marks of a subject, in the order the exam's totals name them.
enum Mark { FullMark, ExcelMark, GoodMark, PassMark, BadMark, DistanceMark, HighMark, LowMark, MarkCount };
using Marks = std::array<double, MarkCount>;

struct SubjectDefaults {
    Marks marks{};
    double per = 1;        // the subject's weight
    int modifyRight = 33;  // academic administrator and subject teacher
    int spinStep = 5;      // the full mark's step in the editor
};

// What a full mark V gives: nothing for 0; above 10, excellent 80%, good 70%, pass 60%, poor 30%
// of V (rounded to the nearest whole number, halves to even), upper end V − 10, lower end 10, band
// 10; from 1 to 10 (a five-point scale) 5, 4, 3, 2, upper end V, lower end 2, band 1.
LUMEKO_DOMAIN_EXPORT std::optional<SubjectDefaults> marksForFullMark(double fullMark);

struct ExamSubject {
    int subjectType = 2; // 0 base, 1 main, 2 auxiliary
    Marks marks{};
};
struct ExamTotals {
    Marks all{}, main{}, base{};
};
LUMEKO_DOMAIN_EXPORT ExamTotals examTotals(const QList<ExamSubject> &chosen);
// The totals an exam keeps when the grade's subjects change: each subject's marks rounded to whole
// numbers (halves to even: 72.5 gives 72, 73.5 gives 74) before they are summed by type.
LUMEKO_DOMAIN_EXPORT ExamTotals wholeMarkTotals(QList<ExamSubject> chosen);

} // namespace lumeko::domain
