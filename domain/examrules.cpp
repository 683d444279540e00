#include "domain/examrules.h"

#include <cmath>

namespace lumeko::domain {

namespace {
// tenths/10 of v to the nearest whole number, halves to the even one. Worked in whole numbers for a
// whole full mark, so that 15 × 0.7 = 10.5 is a true half (binary fractions would make it 10.4999…).
double percentOf(double v, int tenths)
{
    if (v != std::trunc(v) || std::abs(v) > 1e12) return std::nearbyint(v * tenths / 10.0);
    const long long x = (long long)v * tenths;
    long long q = x / 10, r = x % 10;
    if (r > 5 || (r == 5 && q % 2 != 0)) ++q;
    return double(q);
}
} // namespace

std::optional<SubjectDefaults> marksForFullMark(double v)
{
    if (v <= 0) return std::nullopt;
    SubjectDefaults d;
    d.marks[FullMark] = v;
    if (v > 10) {
        d.marks[ExcelMark] = percentOf(v, 8);
        d.marks[GoodMark] = percentOf(v, 7);
        d.marks[PassMark] = percentOf(v, 6);
        d.marks[BadMark] = percentOf(v, 3);
        d.marks[HighMark] = v - 10;
        d.marks[LowMark] = 10;
        d.marks[DistanceMark] = 10;
        d.spinStep = 5;
    } else {
        d.marks[ExcelMark] = 5;
        d.marks[GoodMark] = 4;
        d.marks[PassMark] = 3;
        d.marks[BadMark] = 2;
        d.marks[HighMark] = v;
        d.marks[LowMark] = 2;
        d.marks[DistanceMark] = 1;
        d.spinStep = 1;
    }
    return d;
}

ExamTotals examTotals(const QList<ExamSubject> &chosen)
{
    ExamTotals t;
    for (const ExamSubject &s : chosen)
        for (int m = 0; m < MarkCount; ++m) {
            t.all[m] += s.marks[m];
            if (s.subjectType == 0 || s.subjectType == 1) t.main[m] += s.marks[m];
            if (s.subjectType == 0) t.base[m] += s.marks[m];
        }
    return t;
}

ExamTotals wholeMarkTotals(QList<ExamSubject> chosen)
{
    for (ExamSubject &s : chosen)
        for (double &m : s.marks)
            m = std::nearbyint(m); // the default rounding mode: to nearest, ties to even
    return examTotals(chosen);
}

} // namespace lumeko::domain
